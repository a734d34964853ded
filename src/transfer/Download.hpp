// The download worker: waits for a message's semaphore URL, fetches its other
// artifacts into the Temp folder, unpacks zip archives, and reports to the view.
//
// Each download is one DownloadJob, shared by its owner (the controller that
// started it) and its worker thread. The job holds the artifacts, the view and the
// flags, so neither side can pull them away from the other: the owner cancels and
// detaches a job it no longer wants (the view is then never called again), starts a
// new job for a new message, and takes a completion only from the job it started last.
//
// Each job writes into a folder of its own in Temp ("Download" and a number no other
// living job has): its artifacts, and each zip archive's entries in a folder of the
// archive's own inside it. So no job writes, removes or reports a file of another, and
// nothing downloaded takes the name of a file the add-on keeps in Temp (the installer).
// A job that fails or is cancelled removes its folder; a finished one leaves its files
// there until a later job takes the number, after this one has gone.
#pragma once

#include "Win32.hpp"
#include "transfer/Artifacts.hpp"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

namespace tarvel {

// The owners' alert for a failed download (string list, entry): nothing was made of it.
constexpr std::int16_t kDownloadFailureList = 23000;
constexpr std::int16_t kDownloadFailureIndex = 3;

// How a worker ended; its thread's exit code follows it.
enum class DownloadEnd : std::int32_t {
    Running = 0,
    Finished = 2,
    CancelledWaiting = 11,
    CancelledDownloading = -1,
    // An artifact did not arrive whole; no file of it is left.
    Failed = 12,
};

class DownloadJob {
public:
    // The artifacts' view becomes the job's; the job's record keeps no view of its own.
    explicit DownloadJob(CatalogueArtifacts artifacts);
    ~DownloadJob();
    DownloadJob(const DownloadJob&) = delete;
    DownloadJob& operator=(const DownloadJob&) = delete;

    // Owner side, any thread.
    // The worker ends at its next cancel question; a waiting worker wakes at once.
    void Cancel();
    // Cancel, and no view call after this returns (one under way is waited for).
    void Detach();
    // Waits for the worker thread to end; false on timeout or when none was started.
    bool Join(std::chrono::milliseconds timeout = std::chrono::milliseconds(INFINITE));
    bool IsFinished() const;
    // The worker reported that an artifact failed: nothing is to be made of the job.
    bool IsFailed() const;
    // The worker's thread has ended (false when none was started).
    bool ThreadEnded() const;
    DownloadEnd End() const;
    // The record with every local path, once the worker reported completion.
    std::optional<CatalogueArtifacts> FinishedArtifacts() const;
    // The job's folder in Temp: its name ("Download3"), and its whole path (which needs
    // the data folders; it throws without them).
    std::wstring FolderName() const;
    std::wstring Folder() const;

    // Worker side.
    const CatalogueArtifacts& Record() const { return record_; }
    std::string& LocalPath(std::size_t i) { return record_.localPaths.at(i); }
    // The cancel question: the owner's Cancel, the add-on's stop or the view's answer.
    bool AskCancelled();
    void ReportProgress(std::int16_t percent);
    void ReportFinished();
    // The end of a failed download; the view hears it as a completion, and the owner
    // finds the job failed.
    void ReportFailed();
    void SetEnd(DownloadEnd end);
    // Sleeps for the period unless cancelled meanwhile.
    void WaitPeriod(std::chrono::milliseconds period);
    void SetThread(HANDLE thread);
    // The folder made empty for the download; false when it cannot be.
    bool PrepareFolder();
    // The folder and everything in it gone (a failed or cancelled download's).
    void RemoveFolder();

private:
    // record_'s vectors are fixed once built; only the worker writes the local paths,
    // and the owner reads them after `finished_`, under stateMutex_.
    CatalogueArtifacts record_;
    mutable std::mutex stateMutex_;
    std::condition_variable wake_;
    bool cancelled_ = false;
    bool finished_ = false;
    bool failed_ = false;
    DownloadEnd end_ = DownloadEnd::Running;
    HANDLE thread_ = nullptr;
    // Guards the view and serialises calls to it, so that Detach can wait them out.
    std::mutex viewMutex_;
    ITokenAndArtifactsView* view_ = nullptr;
    // The number of the job's folder, held from construction to destruction.
    const int folderNumber_;
};

// Starts a worker thread on a new job over the artifacts; null when no thread starts.
// The job is kept among the running downloads until its thread has ended.
std::shared_ptr<DownloadJob> StartArtifactsDownload(CatalogueArtifacts artifacts);

// The add-on's stop, for every download whoever started it: each whose thread may
// still run is detached and its thread waited for, at most `timeout` in all. True
// when all have ended. Pair it with StopTransfers, so that none waits for a server.
bool StopAndJoinDownloads(std::chrono::milliseconds timeout);
// Downloads whose thread has not been seen to end.
std::size_t RunningDownloads();

// The thread procedure; the parameter is a new std::shared_ptr<DownloadJob>, which the
// thread takes over. Answers the job's end as exit code.
DWORD ArtifactsDownloadThread(LPVOID parameter);
// The worker's steps on the calling thread.
DownloadEnd RunArtifactsDownload(DownloadJob& job);

// One artifact into the folder (a wide path ending in "\") under localName (made
// safe), within FileBounds with the cancel question. A ".zip" is unpacked into the
// folder's subfolder ZipFolderName(localName), made for it, and then deleted.
// localPath receives the UTF-8 path of the file, or of the entry to use when a ".zip"
// was unpacked, or "" when unpacking failed. False, with localPath "" and no file
// left, when the transfer or the writing failed: a broken or cut-off transfer, a body
// past the bound, an error status or a redirect, a refused certificate, a cancel.
bool DownloadArtifact(const std::string& url, std::string& localPath, const std::wstring& folder,
                      const std::string& localName, const std::function<bool()>& cancelled = {});
// The same under the URL's last element.
bool DownloadArtifact(const std::string& url, std::string& localPath, const std::wstring& folder);
// The folder a ".zip" artifact is unpacked into: its name without ".zip", made safe.
std::string ZipFolderName(const std::string& archiveName);

}  // namespace tarvel
