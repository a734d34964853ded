// The update check against the update server's changelog, and the installer's
// download and start.
#pragma once

#include <cstdint>
#include <string>

namespace tarvel {

constexpr const char* kUpdateProductName = "VOV.ERIDARAD.Edazar";
constexpr const char* kInstallerFileName = "installer.exe";
// The message of a failed installer download or trust check (string list, entry).
constexpr std::int16_t kInstallerFailureList = 17771;
constexpr std::int16_t kInstallerFailureIndex = 6;

class UpdateController {
public:
    // True when the changelog names a version greater than AddOnVersionText, compared as
    // text. Every answer that parses as XML writes LastUpdateCheck (local time).
    bool CheckForUpdate();

    // The first newer change set's download address, with version and culture added
    // when it has a query. Kept for information: the installer always comes from the
    // fixed HTTPS address of the installer server.
    std::string downloadUrl;
};

// Downloads the installer over HTTPS into the Temp folder under a temporary name,
// renames it to "installer.exe" once complete and not empty, and starts it only when
// the system's trust check of its signature passes. The download keeps to
// InstallerBounds and ends on StopTransfers; an earlier installer.exe is removed
// first. On any failure nothing is started and nothing of it is left in Temp, one
// Session Report line with an alert says so, and the answer is false.
bool DownloadAndRunInstaller();

}  // namespace tarvel
