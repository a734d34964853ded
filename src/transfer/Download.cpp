#include "transfer/Download.hpp"

#include "Main/Globals.hpp"
#include "ostrel/Text.hpp"
#include "transfer/Deployment.hpp"
#include "transfer/Http.hpp"
#include "transfer/LocalNames.hpp"
#include "transfer/Zip.hpp"

#include <boost/filesystem/operations.hpp>

#include <algorithm>
#include <new>
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

// The numbers of the living jobs' folders.
struct FolderNumbers {
    std::mutex mutex;
    std::set<int> taken;

    int Take()
    {
        std::lock_guard lock(mutex);
        int number = 1;
        while (taken.count(number) != 0)
            ++number;
        taken.insert(number);
        return number;
    }
    void Give(int number)
    {
        std::lock_guard lock(mutex);
        taken.erase(number);
    }
};

FolderNumbers& Numbers()
{
    // Never destroyed, and on no heap: a job may outlive the statics of this file at
    // exit, and a library that is unloaded leaves nothing behind.
    alignas(FolderNumbers) static unsigned char storage[sizeof(FolderNumbers)];
    static FolderNumbers* numbers = new (storage) FolderNumbers;
    return *numbers;
}

// The name for an artifact, unique in its job; a ".zip" also needs its entries'
// folder unique there.
std::string ArtifactName(const std::string& url, std::set<std::string>& used)
{
    const std::string base = LocalNameFromUrl(url);
    for (;;) {
        std::string name = MakeUniqueName(base, used);
        if (!EndsWith(name, ".zip"))
            return name;
        const std::string folder = ZipFolderName(name);
        if (MakeUniqueName(folder, used) == folder)
            return name;
    }
}

}  // namespace

DownloadJob::DownloadJob(CatalogueArtifacts artifacts)
    : record_(std::move(artifacts)), view_(record_.view), folderNumber_(Numbers().Take())
{
    record_.view = nullptr;
    record_.localPaths.assign(record_.sourceUrls.size(), std::string());
    record_.fileTypes.resize(record_.sourceUrls.size());
}

DownloadJob::~DownloadJob()
{
    if (thread_ != nullptr)
        CloseHandle(thread_);
    Numbers().Give(folderNumber_);
}

std::wstring DownloadJob::FolderName() const { return L"Download" + std::to_wstring(folderNumber_); }

std::wstring DownloadJob::Folder() const { return FullDataPath(tempFolder) + L"\\" + FolderName(); }

bool DownloadJob::PrepareFolder()
{
    try {
        const boost::filesystem::path folder = ostrel::WStringToPath(Folder());
        // What an earlier job of this number left is no living job's.
        boost::system::error_code error;
        boost::filesystem::remove_all(folder, error);
        if (error)
            return false;
        boost::filesystem::create_directories(folder, error);
        return !error && boost::filesystem::is_directory(folder, error);
    } catch (const std::exception&) {
        // No Temp folder, or a path that does not convert.
        return false;
    }
}

void DownloadJob::RemoveFolder()
{
    try {
        boost::system::error_code ignored;
        boost::filesystem::remove_all(ostrel::WStringToPath(Folder()), ignored);
    } catch (const std::exception&) {
    }
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

std::string ZipFolderName(const std::string& archiveName)
{
    return MakeSafeFileName(EndsWith(archiveName, ".zip") ? archiveName.substr(0, archiveName.size() - 4) : archiveName);
}

bool DownloadArtifact(const std::string& url, std::string& localPath, const std::wstring& folder,
                      const std::string& localName, const std::function<bool()>& cancelled)
{
    localPath.clear();
    const std::string name = MakeSafeFileName(localName);
    const std::wstring file = folder + ostrel::Utf8ToWString(name);
    // A transfer that did not complete leaves no file and no path: an error page or
    // the first part of a file is no artifact.
    if (!DownloadToFile(url, file, FileBounds(cancelled)))
        return false;
    localPath = ostrel::WStringToUtf8(file);
    if (EndsWith(name, ".zip")) {
        // The entries go into a folder of their own: no entry can take the name of
        // another artifact, or of anything else beside the archive.
        const std::wstring entries = folder + ostrel::Utf8ToWString(ZipFolderName(name)) + L"\\";
        boost::system::error_code ignored;
        const boost::filesystem::path entriesPath = ostrel::WStringToPath(entries);
        bool extracted = false;
        std::string entry;
        boost::filesystem::create_directory(entriesPath, ignored);
        if (boost::filesystem::is_directory(entriesPath, ignored))
            extracted = ExtractZip(file, entries, entry, cancelled);
        if (extracted) {
            localPath = ostrel::WStringToUtf8(entries + ostrel::Utf8ToWString(entry));
            boost::filesystem::remove(ostrel::WStringToPath(file), ignored);
            return true;
        }
        // Nothing of a refused archive is used: its folder goes.
        boost::filesystem::remove_all(entriesPath, ignored);
        localPath.clear();
        if (cancelled && cancelled()) {
            // Cut short by a cancel: neither the archive nor a path stays.
            boost::filesystem::remove(ostrel::WStringToPath(file), ignored);
            return false;
        }
    }
    return true;
}

bool DownloadArtifact(const std::string& url, std::string& localPath, const std::wstring& folder)
{
    return DownloadArtifact(url, localPath, folder, LocalNameFromUrl(url));
}

namespace {

// The worker's steps; a failure is left to the caller to report.
DownloadEnd RunDownloadSteps(DownloadJob& job)
{
    const CatalogueArtifacts& record = job.Record();
    const long long count = static_cast<long long>(record.sourceUrls.size());
    if (count == 0) {
        job.ReportFinished();
        return DownloadEnd::Finished;
    }
    if (!job.PrepareFolder())
        return DownloadEnd::Failed;
    const std::wstring folder = job.Folder() + L"\\";
    const auto cancelled = [&job] { return job.AskCancelled(); };
    long long step = 1;
    const auto semaphore = std::find(record.fileTypes.begin(), record.fileTypes.end(), kSemaphoreFile);
    if (semaphore != record.fileTypes.end()) {
        const std::string& url = record.sourceUrls[static_cast<std::size_t>(semaphore - record.fileTypes.begin())];
        const auto period = CurrentDeployment().semaphorePollPeriod;
        for (;;) {
            if (job.AskCancelled())
                return DownloadEnd::CancelledWaiting;
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
            downloaded = DownloadArtifact(record.sourceUrls[j], job.LocalPath(j), folder,
                                          ArtifactName(record.sourceUrls[j], usedNames), cancelled);
        } catch (const std::exception&) {
            // A name that does not convert: nothing could be written.
            job.LocalPath(j).clear();
        }
        if (!downloaded) {
            // A transfer the user cut short is a cancel, and ends silently.
            if (job.AskCancelled())
                return DownloadEnd::CancelledDownloading;
            // One artifact missing makes no product: the others are not fetched.
            return DownloadEnd::Failed;
        }
        ++step;
        job.ReportProgress(Percent(step, count));
        if (job.AskCancelled())
            return DownloadEnd::CancelledDownloading;
    }
    job.ReportFinished();
    return DownloadEnd::Finished;
}

}  // namespace

DownloadEnd RunArtifactsDownload(DownloadJob& job)
{
    const DownloadEnd end = RunDownloadSteps(job);
    if (end == DownloadEnd::Finished)
        return end;
    // Nothing of a download that did not finish stays: only its own folder goes.
    job.RemoveFolder();
    if (end == DownloadEnd::Failed)
        job.ReportFailed();
    else
        job.SetEnd(end);
    return end;
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
        job->RemoveFolder();
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
    // First made after the platform's first thread, so that it goes before the
    // platform's thread records at exit.
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
