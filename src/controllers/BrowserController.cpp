#include "controllers/BrowserController.hpp"

#include "libparts/LibPartFromArtifacts.hpp"
#include "ostrel/interop/HostApi.hpp"
#include "ostrel/interop/Interop.hpp"
#include "transfer/ClipboardMessage.hpp"
#include "transfer/Http.hpp"

#include <algorithm>

namespace tarvel {
namespace {

void ReportAlert(const std::string& utf8)
{
    HostApi_Report(GS::UniString(utf8.c_str(), GS::CC_UTF8), true);
}

}  // namespace

BrowserController::BrowserController(const std::wstring& baseUrl, const std::wstring& path, bool modifyMode)
    : baseUrl_(baseUrl), path_(path), modifyMode_(modifyMode)
{
}

BrowserController::~BrowserController()
{
    // No worker outlives the dialog's road by much: each is stopped and waited for.
    LetGoOfJob();
    const auto deadline = std::chrono::steady_clock::now() + kJobStopLimit;
    for (const auto& job : letGo_) {
        const auto rest = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (!job->ThreadEnded())
            job->Join(std::max(rest, std::chrono::milliseconds(0)));
    }
}

std::wstring BrowserController::GetUrl() const { return baseUrl_ + path_; }

void BrowserController::AddFormField(const std::string& name, const std::string& value)
{
    formFields_.emplace_back(name, value);
}

void BrowserController::SetView(ITokenAndArtifactsView* view)
{
    if (view == view_)
        return;
    LetGoOfJob();
    downloadBusy_ = false;
    view_ = view;
}

void BrowserController::LetGoOfJob()
{
    if (job_ == nullptr)
        return;
    job_->Detach();
    letGo_.erase(std::remove_if(letGo_.begin(), letGo_.end(), [](const auto& job) { return job->ThreadEnded(); }),
                 letGo_.end());
    letGo_.push_back(std::move(job_));
    job_.reset();
}

DownloadStart BrowserController::StartDownload(const std::string& payload)
{
    LetGoOfJob();
    downloadBusy_ = false;
    downloadFailed_ = false;
    // The catalogue name does not matter on this road.
    std::string catalogName;
    const bool parsed = ParseArtifactsMessage(Base64Decode(payload), artifacts_, catalogName);
    // The callback request ran here, on this thread.
    ReportBoundFailures();
    if (!parsed) {
        ReportAlert("ERROR: invalid token");
        return DownloadStart::InvalidToken;
    }
    CatalogueArtifacts record = artifacts_;
    record.view = view_;
    job_ = StartArtifactsDownload(std::move(record));
    if (job_ == nullptr)
        return DownloadStart::NoWorker;
    downloadBusy_ = true;
    return DownloadStart::Started;
}

void BrowserController::CancelDownload()
{
    LetGoOfJob();
    downloadBusy_ = false;
}

bool BrowserController::CreateLibraryPart()
{
    if (job_ == nullptr)
        return false;
    if (job_->IsFailed()) {
        job_.reset();
        ReportBoundFailures();
        ReportAlert(ostrel::ac::interop::LoadResourceStringUtf8(kDownloadFailureList, kDownloadFailureIndex));
        downloadBusy_ = false;
        downloadFailed_ = true;
        return true;
    }
    std::optional<CatalogueArtifacts> finished = job_->FinishedArtifacts();
    if (!finished)
        return false;
    // Taken once: a second completion signal finds no job. The job lives on here until
    // the part is made, so that no other download takes its folder meanwhile.
    const std::shared_ptr<DownloadJob> job = std::move(job_);
    artifacts_ = std::move(*finished);

    bool accepted = false;
    if (view_ != nullptr && view_->AskLibraryPartName(MakeUniqueLibraryPartName(artifacts_))) {
        const std::int32_t index = CreateLibraryPartFromArtifacts(artifacts_, libPartName_, modifyMode_, baseUrl_);
        if (index <= 0)
            ReportAlert(ostrel::ac::interop::LoadResourceStringUtf8(23000, 2));
        else if (modifyMode_)
            createdLibPartIndex_ = index;
        accepted = true;
    }
    if (view_ != nullptr)
        view_->Close(accepted);
    downloadBusy_ = false;
    return true;
}

}  // namespace tarvel
