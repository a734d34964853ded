// The artifacts message the catalogue page sends (decoded JSON), the record of its
// artifacts and the view a download reports to.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarvel {

// Where a download reports. SetProgress, IsCancelled and OnDownloadFinished come
// from worker threads: they only store or read flags and numbers.
class ITokenAndArtifactsView {
public:
    virtual bool Close(bool accepted) = 0;
    virtual void OnDownloadFinished() = 0;
    virtual bool AskLibraryPartName(const std::wstring& name) = 0;
    virtual void SetProgress(std::int16_t percent) = 0;
    virtual bool IsCancelled() = 0;

protected:
    ~ITokenAndArtifactsView() = default;
};

constexpr const char* kCadFile = "CadFile";
constexpr const char* kAttributeFile = "AttributeFile";
constexpr const char* kProductDataSheet = "ProductDataSheet";
constexpr const char* kSemaphoreFile = "SemaphoreFile";

// One message's artifacts; index i of the three vectors describes one artifact.
struct CatalogueArtifacts {
    std::vector<std::string> fileTypes;
    std::vector<std::string> sourceUrls;
    // UTF-8 path of the downloaded file in the Temp folder; "" until downloaded.
    std::vector<std::string> localPaths;
    // Not owned.
    ITokenAndArtifactsView* view = nullptr;
};

// Longest "Artifacts" array taken: its walk counts in 16 bits.
constexpr std::size_t kMaxArtifacts = 65535;

// True when the message is well-formed; the artifacts then hold exactly its accepted
// artifacts and catalogName its catalogue ("" when absent). A string "CallbackUrl"
// is requested first, whatever follows. A URL that is not http or https, or an
// "Artifacts" array longer than kMaxArtifacts, makes the message invalid.
bool ParseArtifactsMessage(const std::string& json, CatalogueArtifacts& artifacts, std::string& catalogName);

}  // namespace tarvel
