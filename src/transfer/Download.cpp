#include "transfer/Download.hpp"

#include "Main/Globals.hpp"
#include "ostrel/Text.hpp"
#include "transfer/Deployment.hpp"
#include "transfer/Http.hpp"
#include "transfer/LocalNames.hpp"
#include "transfer/Zip.hpp"

#include <boost/filesystem/operations.hpp>

#include <algorithm>
#include <vector>

namespace tarvel {
namespace {

std::int16_t Percent(long long step, long long count)
{
    return static_cast<std::int16_t>(std::clamp<long long>(step * 100 / count, INT16_MIN, INT16_MAX));
}

bool EndsWith(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Every started download until its thread is seen to end, so that the stop finds
// those their owner let go of (a closed browser dialog's).
struct RunningJobs {
    std::mutex mutex;
    std::vector<std::shared_ptr<DownloadJob>> jobs;

    // mutex held.
    void DropEnded()
    {
        jobs.erase(std::remove_if(jobs.begin(), jobs.end(), [](const auto& job) { return job->ThreadEnded(); }),
                   jobs.end());
    }
};

RunningJobs& Running()
{
    static RunningJobs running;
    return running;
}

}  // namespace

DownloadJob::DownloadJob(CatalogueArtifacts artifacts) : record_(std::move(artifacts)), view_(record_.view)
{
    record_.view = nullptr;
    record_.localPaths.assign(record_.sourceUrls.size(), std::string());
    record_.fileTypes.resize(record_.sourceUrls.size());
}

DownloadJob::~DownloadJob()
{
    if (thread_ != nullptr)
        CloseHandle(thread_);
}

void DownloadJob::Cancel()
{
    std::lock_guard lock(stateMutex_);
    cancelled_ = true;
    wake_.notify_all();
}

void DownloadJob::Detach()
{
    Cancel();
    std::lock_guard lock(viewMutex_);
    view_ = nullptr;
}

bool DownloadJob::Join(std::chrono::milliseconds timeout)
{
    HANDLE thread = nullptr;
    {
        std::lock_guard lock(stateMutex_);
        thread = thread_;
    }
    if (thread == nullptr)
        return false;
    const DWORD ms = timeout.count() >= static_cast<long long>(INFINITE) ? INFINITE
                                                                        : static_cast<DWORD>(std::max<long long>(0, timeout.count()));
    return WaitForSingleObject(thread, ms) == WAIT_OBJECT_0;
}

bool DownloadJob::IsFinished() const
{
    std::lock_guard lock(stateMutex_);
    return finished_;
}

bool DownloadJob::IsFailed() const
{
    std::lock_guard lock(stateMutex_);
    return failed_;
}

bool DownloadJob::ThreadEnded() const
{
    std::lock_guard lock(stateMutex_);
    return thread_ != nullptr && WaitForSingleObject(thread_, 0) == WAIT_OBJECT_0;
}

DownloadEnd DownloadJob::End() const
{
    std::lock_guard lock(stateMutex_);
    return end_;
}

std::optional<CatalogueArtifacts> DownloadJob::FinishedArtifacts() const
{
    std::lock_guard lock(stateMutex_);
    if (!finished_)
        return std::nullopt;
    return record_;
}

bool DownloadJob::AskCancelled()
{
    {
        std::lock_guard lock(stateMutex_);
        if (cancelled_ || TransfersStopped())
            return true;
    }
    bool cancelled = false;
    {
        std::lock_guard lock(viewMutex_);
        // A detached job has no view left to ask; Detach has cancelled it already.
        cancelled = view_ != nullptr && view_->IsCancelled();
    }
    if (cancelled) {
        std::lock_guard lock(stateMutex_);
        cancelled_ = true;
    }
    return cancelled;
}

void DownloadJob::ReportProgress(std::int16_t percent)
{
    std::lock_guard lock(viewMutex_);
    if (view_ != nullptr)
        view_->SetProgress(percent);
}

void DownloadJob::ReportFinished()
{
    {
        std::lock_guard lock(stateMutex_);
        finished_ = true;
        end_ = DownloadEnd::Finished;
    }
    std::lock_guard lock(viewMutex_);
    if (view_ != nullptr)
        view_->OnDownloadFinished();
}

void DownloadJob::ReportFailed()
{
    {
        std::lock_guard lock(stateMutex_);
        failed_ = true;
        end_ = DownloadEnd::Failed;
    }
    std::lock_guard lock(viewMutex_);
    if (view_ != nullptr)
        view_->OnDownloadFinished();
}

void DownloadJob::SetEnd(DownloadEnd end)
{
    std::lock_guard lock(stateMutex_);
    end_ = end;
}

void DownloadJob::WaitPeriod(std::chrono::milliseconds period)
{
    std::unique_lock lock(stateMutex_);
    wake_.wait_for(lock, period, [this] { return cancelled_; });
}

void DownloadJob::SetThread(HANDLE thread)
{
    std::lock_guard lock(stateMutex_);
    thread_ = thread;
}

bool DownloadArtifact(const std::string& url, std::string& localPath, const std::string& localName,
                      const std::function<bool()>& cancelled)
{
    localPath.clear();
    const std::string name = MakeSafeFileName(localName);
    const std::wstring temp = FullDataPath(tempFolder) + L"\\";
    const std::wstring file = temp + ostrel::Utf8ToWString(name);
    // A transfer that did not complete leaves no file and no path: an error page or
    // the first part of a file is no artifact.
    if (!DownloadToFile(url, file, FileBounds(cancelled)))
        return false;
    localPath = ostrel::WStringToUtf8(file);
    if (EndsWith(name, ".zip")) {
        std::string entry;
        const bool extracted = ExtractZip(file, temp, entry, cancelled);
        boost::system::error_code ignored;
        if (extracted) {
            localPath = ostrel::WStringToUtf8(temp + ostrel::Utf8ToWString(entry));
            boost::filesystem::remove(ostrel::WStringToPath(file), ignored);
        } else if (cancelled && cancelled()) {
            // Cut short by a cancel: neither the archive nor a path stays.
            localPath.clear();
            boost::filesystem::remove(ostrel::WStringToPath(file), ignored);
            return false;
        } else {
            localPath.clear();
        }
    }
    return true;
}

bool DownloadArtifact(const std::string& url, std::string& localPath)
{
    return DownloadArtifact(url, localPath, LocalNameFromUrl(url));
}

DownloadEnd RunArtifactsDownload(DownloadJob& job)
{
    const CatalogueArtifacts& record = job.Record();
    const long long count = static_cast<long long>(record.sourceUrls.size());
    if (count == 0) {
        job.ReportFinished();
        return DownloadEnd::Finished;
    }
    const auto cancelled = [&job] { return job.AskCancelled(); };
    long long step = 1;
    const auto semaphore = std::find(record.fileTypes.begin(), record.fileTypes.end(), kSemaphoreFile);
    if (semaphore != record.fileTypes.end()) {
        const std::string& url = record.sourceUrls[static_cast<std::size_t>(semaphore - record.fileTypes.begin())];
        const auto period = CurrentDeployment().semaphorePollPeriod;
        for (;;) {
            if (job.AskCancelled()) {
                job.SetEnd(DownloadEnd::CancelledWaiting);
                return DownloadEnd::CancelledWaiting;
            }
            // A probe cut short by a cancel answers nothing: the question above decides.
            if (UrlExists(url, cancelled) && !job.AskCancelled())
                break;
            job.WaitPeriod(period);
        }
        job.ReportProgress(Percent(step, count));
    }
    std::set<std::string> usedNames;
    for (std::size_t j = 0; j < record.sourceUrls.size(); ++j) {
        if (record.fileTypes[j] == kSemaphoreFile)
            continue;
        bool downloaded = false;
        try {
            downloaded = DownloadArtifact(record.sourceUrls[j], job.LocalPath(j),
                                          MakeUniqueName(LocalNameFromUrl(record.sourceUrls[j]), usedNames), cancelled);
        } catch (const std::exception&) {
            // No Temp folder, or a name that does not convert: nothing could be written.
            job.LocalPath(j).clear();
        }
        if (!downloaded) {
            // A transfer the user cut short is a cancel, and ends silently.
            if (job.AskCancelled()) {
                job.SetEnd(DownloadEnd::CancelledDownloading);
                return DownloadEnd::CancelledDownloading;
            }
            // One artifact missing makes no product: the others are not fetched.
            job.ReportFailed();
            return DownloadEnd::Failed;
        }
        ++step;
        job.ReportProgress(Percent(step, count));
        if (job.AskCancelled()) {
            job.SetEnd(DownloadEnd::CancelledDownloading);
            return DownloadEnd::CancelledDownloading;
        }
    }
    job.ReportFinished();
    return DownloadEnd::Finished;
}

DWORD ArtifactsDownloadThread(LPVOID parameter)
{
    std::unique_ptr<std::shared_ptr<DownloadJob>> owned(static_cast<std::shared_ptr<DownloadJob>*>(parameter));
    const std::shared_ptr<DownloadJob> job = *owned;
    owned.reset();
    DownloadEnd end = DownloadEnd::Finished;
    try {
        end = RunArtifactsDownload(*job);
    } catch (...) {
        // Whatever went wrong, the owner must not wait for ever: the download failed.
        job->ReportFailed();
        end = DownloadEnd::Failed;
    }
    return static_cast<DWORD>(static_cast<std::int32_t>(end));
}

std::shared_ptr<DownloadJob> StartArtifactsDownload(CatalogueArtifacts artifacts)
{
    auto job = std::make_shared<DownloadJob>(std::move(artifacts));
    auto* parameter = new std::shared_ptr<DownloadJob>(job);
    HANDLE thread = CreateThread(nullptr, 0, ArtifactsDownloadThread, parameter, 0, nullptr);
    if (thread == nullptr) {
        delete parameter;
        return nullptr;
    }
    job->SetThread(thread);
    RunningJobs& running = Running();
    std::lock_guard lock(running.mutex);
    running.DropEnded();
    running.jobs.push_back(job);
    return job;
}

bool StopAndJoinDownloads(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    RunningJobs& running = Running();
    std::vector<std::shared_ptr<DownloadJob>> jobs;
    {
        std::lock_guard lock(running.mutex);
        jobs.swap(running.jobs);
    }
    for (const auto& job : jobs)
        job->Detach();
    std::vector<std::shared_ptr<DownloadJob>> left;
    for (const auto& job : jobs) {
        const auto rest = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (!job->ThreadEnded() && !job->Join(std::max(rest, std::chrono::milliseconds(0))))
            left.push_back(job);
    }
    std::lock_guard lock(running.mutex);
    running.jobs.insert(running.jobs.end(), left.begin(), left.end());
    return left.empty();
}

std::size_t RunningDownloads()
{
    RunningJobs& running = Running();
    std::lock_guard lock(running.mutex);
    running.DropEnded();
    return running.jobs.size();
}

}  // namespace tarvel
