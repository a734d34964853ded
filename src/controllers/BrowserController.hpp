// The logic behind one browser dialog: which page it opens (a catalogue page, or the
// configurator page "Modify product" posts a form to), the download of the message it
// takes from the clipboard, and the library part made from that download.
//
// The controller holds the download job it started; the job is shared with its worker
// thread, which never touches the controller. Cancelling, starting a new download,
// changing the view or destroying the controller lets go of the running job: it is
// cancelled and detached, so its worker never calls the view again. Every job is also
// among the downloads the add-on's clean-up stops and waits for (StopAndJoinDownloads),
// and the controller's destructor waits for each it let go of. A completion is taken
// only from the job started last. Every operation runs on the user-interface thread.
#pragma once

#include "transfer/Artifacts.hpp"
#include "transfer/Download.hpp"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace tarvel {

constexpr const wchar_t* kCatalogueBrowserPath = L"?target_system=archicad";
constexpr const wchar_t* kConfiguratorPath = L"tvHandler.aspx";

// How long the controller's destructor waits for the workers it let go of, in all; a
// stopped transfer ends well within it.
constexpr std::chrono::milliseconds kJobStopLimit{3000};

enum class DownloadStart {
    Started,
    // The message does not decode or parse; reported with an alert.
    InvalidToken,
    // No worker thread could be started.
    NoWorker,
};

class BrowserController {
public:
    BrowserController(const std::wstring& baseUrl, const std::wstring& path, bool modifyMode);
    // Lets go of a running download (cancelled and detached) and waits for the workers
    // of all it let go of, at most kJobStopLimit; one still running then is left to the
    // clean-up.
    ~BrowserController();
    BrowserController(const BrowserController&) = delete;
    BrowserController& operator=(const BrowserController&) = delete;

    // The page: the base URL followed directly by the path, nothing inserted or encoded.
    std::wstring GetUrl() const;
    const std::wstring& BaseUrl() const { return baseUrl_; }
    bool ModifyMode() const { return modifyMode_; }

    // (name, value) pairs in UTF-8, in the order added; when there are any, the dialog
    // posts them to the page instead of loading it.
    void AddFormField(const std::string& name, const std::string& value);
    const std::vector<std::pair<std::string, std::string>>& FormFields() const { return formFields_; }

    // The dialog's view (not owned); downloads report to the view they started with,
    // so a change lets go of the running download.
    void SetView(ITokenAndArtifactsView* view);
    ITokenAndArtifactsView* View() const { return view_; }

    // A clipboard payload taken by the dialog: decoded, parsed into the artifacts and
    // downloaded by a new worker that reports to the view. A running download is let
    // go first. An invalid message is reported ("ERROR: invalid token", alert).
    DownloadStart StartDownload(const std::string& payload);
    // The user's Cancel: lets go of the running download; no longer busy.
    void CancelDownload();
    // A download started here is under way or waits for its library part.
    bool IsDownloadBusy() const { return downloadBusy_; }
    // The running job, for a caller that wants to wait for its worker; null when none.
    std::shared_ptr<DownloadJob> Job() const { return job_; }

    // The end of a finished download, when the view reported completion: asks the view
    // for the name, creates the library part ("Error while creating library part!"
    // with an alert when that fails), closes the view (accepted when a name was
    // accepted) and ends the busy state. A failed download makes nothing: one alert
    // (kDownloadFailureList, kDownloadFailureIndex), the busy state ends, the view
    // stays open and DownloadFailed answers true. False, doing nothing, when the job
    // started last has not ended (or was let go): a stale completion creates nothing.
    // The caller makes the product library folder active first, so that the proposed
    // name is checked against the parts already saved there.
    bool CreateLibraryPart();
    // The download CreateLibraryPart took last had failed.
    bool DownloadFailed() const { return downloadFailed_; }

    // Written by the name dialog when the user accepts a name.
    void SetLibPartName(const std::wstring& name) { libPartName_ = name; }
    const std::wstring& LibPartName() const { return libPartName_; }
    // In modify mode, the library index of the part created; 0 when none was.
    std::int32_t CreatedLibPartIndex() const { return createdLibPartIndex_; }
    // The artifacts of the message taken last; with their local paths once its
    // download finished and the part was asked for.
    const CatalogueArtifacts& Artifacts() const { return artifacts_; }

private:
    void LetGoOfJob();

    ITokenAndArtifactsView* view_ = nullptr;
    std::wstring baseUrl_;
    std::wstring path_;
    std::vector<std::pair<std::string, std::string>> formFields_;
    std::wstring libPartName_;
    bool modifyMode_ = false;
    bool downloadBusy_ = false;
    bool downloadFailed_ = false;
    std::int32_t createdLibPartIndex_ = 0;
    CatalogueArtifacts artifacts_;
    std::shared_ptr<DownloadJob> job_;
    // Jobs let go of whose thread may still run: the destructor waits for them.
    std::vector<std::shared_ptr<DownloadJob>> letGo_;
};

}  // namespace tarvel
