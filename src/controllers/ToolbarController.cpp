#include "controllers/ToolbarController.hpp"

#include "libparts/LibPartFromArtifacts.hpp"
#include "ostrel/Text.hpp"
#include "ostrel/interop/HostApi.hpp"
#include "ostrel/interop/Interop.hpp"
#include "transfer/ClipboardMessage.hpp"
#include "transfer/Http.hpp"

#include <algorithm>
#include <cstdio>
#include <thread>
#include <utility>

namespace tarvel {

ToolbarController toolbarController;

namespace {

// How often a watcher that holds a message looks whether the browser dialog closed.
constexpr std::chrono::milliseconds kBrowserDialogLook{50};

}  // namespace

void UserInterfaceQueue::PostReport(std::string text, bool alert)
{
    std::lock_guard lock(mutex_);
    items_.push_back(Item{Item::Kind::Report, std::move(text), alert});
}

void UserInterfaceQueue::PostReloadLibraries()
{
    std::lock_guard lock(mutex_);
    // One pending reload reads the latest Settings.xml for all the requests after it.
    if (!items_.empty() && items_.back().kind == Item::Kind::ReloadLibraries)
        return;
    items_.push_back(Item{Item::Kind::ReloadLibraries, {}, false});
}

std::vector<UserInterfaceQueue::Item> UserInterfaceQueue::Take()
{
    std::lock_guard lock(mutex_);
    return std::exchange(items_, {});
}

WatcherBlock::WatcherBlock() : wake(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

WatcherBlock::~WatcherBlock()
{
    if (wake != nullptr)
        CloseHandle(wake);
}

ToolbarController::~ToolbarController()
{
    bool threads = false;
    {
        std::lock_guard lock(mutex_);
        threads = watcherThread_ != nullptr || !jobs_.empty();
    }
    if (threads && !StopAndJoin(std::chrono::seconds(5), false))
        std::fputs("Tarvel: a thread of the add-on has not ended\n", stderr);
}

bool ToolbarController::IsIdle() const
{
    return !browserDialogOpen.load(std::memory_order_acquire) && !downloadBusy.load(std::memory_order_acquire);
}

void ToolbarController::Post(const char* text) { queue_.PostReport(text, true); }

void ToolbarController::ReadHostContext()
{
    RepositoryContext context = HostRepositoryContext();
    std::lock_guard lock(mutex_);
    culture_ = std::move(context.culture);
    profile_ = std::move(context.profile);
}

void ToolbarController::HandleToken(std::string& token)
{
    CatalogueArtifacts artifacts;
    std::string catalogName;
    if (!ParseArtifactsMessage(Base64Decode(token), artifacts, catalogName)) {
        Post(kInvalidToken);
        return;
    }
    if (catalogName.empty()) {
        Post(kEmptyCatalogue);
        return;
    }
    RepositoryContext context;
    {
        std::lock_guard lock(mutex_);
        context.culture = culture_;
        context.profile = profile_;
    }
    context.report = [this](const std::string& text, bool alert) { queue_.PostReport(text, alert); };
    LibraryController libraries(true, std::move(context));
    if (libraries.ActivateLibrary(catalogName)) {
        libraries.SaveActiveLibraries(false);
        // The palette's list belongs to the user-interface thread: it reloads there.
        queue_.PostReloadLibraries();
    }
    std::wstring url;
    if (!libraries.GetLibraryUrl(catalogName, url)) {
        Post(kUnknownCatalogue);
        return;
    }
    StartDownload(std::move(artifacts), url);
}

void ToolbarController::StartDownload(CatalogueArtifacts artifacts, const std::wstring& url)
{
    // Looked at again just before the start: a browser dialog that opened while the
    // message was checked has the clipboard and the Temp folder's attention now.
    if (!WaitWhileBrowserDialogOpen())
        return;
    // A job that was cancelled may still be in a transfer: it is cut off from the
    // view before the new one starts.
    std::shared_ptr<DownloadJob> previous;
    {
        std::lock_guard lock(mutex_);
        if (stopping_)
            return;
        previous = std::move(currentJob_);
        // From here on a Cancel ends this download, though its worker is not there yet.
        startPending_ = true;
        startCancelled_ = false;
    }
    if (previous)
        previous->Detach();

    ITokenAndArtifactsView* target = view.load(std::memory_order_acquire);
    // The view hears of the start, and the controller is busy, before the worker exists.
    try {
        if (target != nullptr)
            target->SetProgress(1);
    } catch (...) {
        std::lock_guard lock(mutex_);
        startPending_ = false;
        throw;
    }
    artifacts.view = target;

    std::lock_guard lock(mutex_);
    startPending_ = false;
    // Cancelled since the view heard of it, or stopped: the download never starts.
    if (stopping_ || startCancelled_) {
        downloadBusy.store(false, std::memory_order_release);
        return;
    }
    downloadBusy.store(true, std::memory_order_release);
    baseUrl_ = url;
    // Under the lock: a completion handled at once still finds its job current.
    currentJob_ = StartArtifactsDownload(std::move(artifacts));
    if (!currentJob_) {
        downloadBusy.store(false, std::memory_order_release);
        return;
    }
    // A job whose end is set may still run its last steps: only an ended thread goes.
    jobs_.erase(std::remove_if(jobs_.begin(), jobs_.end(), [](const auto& job) { return job->ThreadEnded(); }),
                jobs_.end());
    jobs_.push_back(currentJob_);
}

bool ToolbarController::WaitWhileBrowserDialogOpen()
{
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (stopping_)
                return false;
        }
        if (!browserDialogOpen.load(std::memory_order_acquire))
            return true;
        // A look every few hundredths of a second; the stop is seen at the next one.
        std::this_thread::sleep_for(kBrowserDialogLook);
    }
}

void ToolbarController::CreateLibraryPart()
{
    // Held until the part is made: no other download takes the job's folder meanwhile.
    std::shared_ptr<DownloadJob> job;
    std::wstring baseUrl;
    {
        std::lock_guard lock(mutex_);
        job = currentJob_;
        baseUrl = baseUrl_;
    }
    if (!job)
        return;
    if (job->IsFailed()) {
        {
            std::lock_guard lock(mutex_);
            if (currentJob_ == job)
                currentJob_.reset();
        }
        ReportBoundFailures();
        HostApi_Report(ostrel::ac::interop::ToUniString(
                           ostrel::ac::interop::LoadResourceString(kDownloadFailureList, kDownloadFailureIndex)),
                       true);
        downloadBusy.store(false, std::memory_order_release);
        return;
    }
    const std::optional<CatalogueArtifacts> artifacts = job->FinishedArtifacts();
    if (!artifacts)
        return;
    {
        std::lock_guard lock(mutex_);
        if (currentJob_ == job)
            currentJob_.reset();
    }
    ITokenAndArtifactsView* target = view.load(std::memory_order_acquire);
    const std::wstring name = MakeUniqueLibraryPartName(*artifacts);
    if (target != nullptr && target->AskLibraryPartName(name)) {
        if (CreateLibraryPartFromArtifacts(*artifacts, libPartName, false, baseUrl) < 1)
            HostApi_Report(ostrel::ac::interop::ToUniString(ostrel::ac::interop::LoadResourceString(23000, 2)), true);
    }
    downloadBusy.store(false, std::memory_order_release);
}

void ToolbarController::ReloadActiveLibraries()
{
    activeLibraries.clear();
    LibraryController libraries(false);
    for (const auto& library : libraries.Libraries())
        if (library->active)
            activeLibraries.push_back(library);
}

void ToolbarController::CancelDownload()
{
    std::shared_ptr<DownloadJob> job;
    {
        std::lock_guard lock(mutex_);
        job = std::move(currentJob_);
        if (startPending_)
            startCancelled_ = true;
        downloadBusy.store(false, std::memory_order_release);
    }
    if (job)
        job->Detach();
}

bool ToolbarController::DrainUserInterfaceQueue()
{
    // A bound's line comes before what its failure led to.
    ReportBoundFailures();
    bool reloaded = false;
    for (const UserInterfaceQueue::Item& item : queue_.Take()) {
        if (item.kind == UserInterfaceQueue::Item::Kind::ReloadLibraries) {
            ReloadActiveLibraries();
            reloaded = true;
        } else {
            HostApi_Report(ostrel::ac::interop::ToUniString(ostrel::Utf8ToWString(item.text)), item.alert);
        }
    }
    return reloaded;
}

HANDLE ToolbarController::StartClipboardWatcher(HWND window)
{
    ReadHostContext();
    std::lock_guard lock(mutex_);
    stopping_ = false;
    if (!watcher_) {
        watcher_ = std::make_unique<WatcherBlock>();
        watcher_->controller = this;
    }
    WatcherBlock& block = *watcher_;
    std::lock_guard blockLock(block.mutex);
    block.window.store(window, std::memory_order_release);
    block.runMarker.store(kWatcherRunning, std::memory_order_release);
    ResetEvent(block.wake);
    if (block.running)
        return watcherThread_;
    if (watcherThread_ != nullptr) {
        // The last watcher has decided to end; its handle goes with it.
        WaitForSingleObject(watcherThread_, INFINITE);
        CloseHandle(watcherThread_);
    }
    block.running = true;
    watcherThread_ = CreateThread(nullptr, 0, ClipboardWatcherThread, &block, 0, nullptr);
    if (watcherThread_ == nullptr)
        block.running = false;
    return watcherThread_;
}

void ToolbarController::StopClipboardWatcher()
{
    std::lock_guard lock(mutex_);
    if (!watcher_)
        return;
    // Under the block's lock, so that a start that follows clears the event after it.
    std::lock_guard blockLock(watcher_->mutex);
    watcher_->runMarker.store(kWatcherStopped, std::memory_order_release);
    SetEvent(watcher_->wake);
}

bool ToolbarController::StopAndJoin(std::chrono::milliseconds timeout) { return StopAndJoin(timeout, true); }

bool ToolbarController::StopAndJoin(std::chrono::milliseconds timeout, bool allDownloads)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    auto remaining = [deadline] {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        return static_cast<DWORD>(std::max<long long>(0, left.count()));
    };
    StopClipboardWatcher();
    // Whatever the watcher and the workers are fetching ends now, not at its limits.
    StopTransfers();
    HANDLE watcher = nullptr;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        watcher = watcherThread_;
    }
    bool ended = true;
    // The watcher first: it may be starting a download.
    if (watcher != nullptr) {
        if (WaitForSingleObject(watcher, remaining()) == WAIT_OBJECT_0) {
            std::lock_guard lock(mutex_);
            CloseHandle(watcherThread_);
            watcherThread_ = nullptr;
        } else {
            ended = false;
        }
    }
    std::vector<std::shared_ptr<DownloadJob>> jobs;
    {
        std::lock_guard lock(mutex_);
        currentJob_.reset();
        jobs.swap(jobs_);
    }
    for (const auto& job : jobs)
        job->Detach();
    // Every job is joined, finished or not: its thread may still be in its last steps.
    std::vector<std::shared_ptr<DownloadJob>> running;
    for (const auto& job : jobs)
        if (!job->ThreadEnded() && !job->Join(std::chrono::milliseconds(remaining()))) {
            ended = false;
            running.push_back(job);
        }
    {
        std::lock_guard lock(mutex_);
        // Kept for a later stop to wait for.
        jobs_.insert(jobs_.end(), running.begin(), running.end());
    }
    // The browser dialogs' downloads that were let go.
    if (allDownloads && !StopAndJoinDownloads(std::chrono::milliseconds(remaining())))
        ended = false;
    downloadBusy.store(false, std::memory_order_release);
    // No thread of the add-on is left to fetch anything: the user-interface thread may.
    if (ended)
        ResumeTransfers();
    return ended;
}

std::wstring ToolbarController::BaseUrl() const
{
    std::lock_guard lock(mutex_);
    return baseUrl_;
}

DWORD ClipboardWatcherThread(LPVOID parameter)
{
    auto& block = *static_cast<WatcherBlock*>(parameter);
    ToolbarController& controller = *block.controller;
    std::string lastPayload;
    for (;;) {
        // One period, or less when a stop sets the event.
        const auto period = static_cast<DWORD>(kClipboardPollPeriod.count());
        if (block.wake == nullptr || WaitForSingleObject(block.wake, period) == WAIT_FAILED)
            Sleep(period);
        {
            std::lock_guard lock(block.mutex);
            if (block.runMarker.load(std::memory_order_acquire) != kWatcherRunning) {
                block.running = false;
                return 2;
            }
        }
        try {
            if (controller.IsIdle() && ReadClipboardMessage(block.window.load(std::memory_order_acquire), lastPayload))
                controller.HandleToken(lastPayload);
        } catch (...) {
            // Nothing leaves the thread: the message is dropped, the watcher goes on.
        }
    }
}

}  // namespace tarvel
