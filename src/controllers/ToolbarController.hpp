// The palette road of a product: the clipboard watcher finds a catalogue message,
// the toolbar controller checks its catalogue against the library list, makes the
// library active and starts the download; after completion the user-interface thread
// creates the library part.
//
// Threads: the watcher and the download workers never call the host. What the watcher
// has for the user-interface thread (Session Report lines, requests to reload the
// active libraries) waits in a queue, in order, until the palette's idle handler
// drains it (DrainUserInterfaceQueue). Flags that cross threads are atomic.
#pragma once

#include "Win32.hpp"
#include "controllers/Library.hpp"
#include "controllers/LibraryController.hpp"
#include "transfer/Artifacts.hpp"
#include "transfer/Download.hpp"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tarvel {

constexpr const char* kInvalidToken = "ERROR: invalid token.";
constexpr const char* kEmptyCatalogue = "ERROR: empty catalogue.";
constexpr const char* kUnknownCatalogue = "ERROR: unknown catalogue.";

// The watcher's run marker: it runs while the marker holds kWatcherRunning.
constexpr std::int32_t kWatcherRunning = 16520;  // 0x4088
constexpr std::int32_t kWatcherStopped = 13;
constexpr std::chrono::milliseconds kClipboardPollPeriod{333};

// Work a thread hands to the user-interface thread, kept in order.
class UserInterfaceQueue {
public:
    struct Item {
        enum class Kind { Report, ReloadLibraries } kind;
        std::string text;  // UTF-8, for a report
        bool alert = false;
    };
    void PostReport(std::string text, bool alert);
    void PostReloadLibraries();
    std::vector<Item> Take();

private:
    std::mutex mutex_;
    std::vector<Item> items_;
};

class ToolbarController;

// The clipboard watcher's parameter block; it lives as long as its controller.
struct WatcherBlock {
    WatcherBlock();
    ~WatcherBlock();
    WatcherBlock(const WatcherBlock&) = delete;
    WatcherBlock& operator=(const WatcherBlock&) = delete;

    std::atomic<std::int32_t> runMarker{kWatcherStopped};
    ToolbarController* controller = nullptr;
    std::atomic<HWND> window{nullptr};
    // `running` is true from the thread's start until it has decided to end; a start
    // while it is true only sets the marker again.
    std::mutex mutex;
    bool running = false;
    // Set by a stop, so that the watcher's wait between two looks ends at once; a
    // start clears it. A manual-reset event.
    HANDLE wake = nullptr;
};

class ToolbarController {
public:
    ToolbarController() = default;
    // Stops and joins the threads it started (bounded).
    ~ToolbarController();
    ToolbarController(const ToolbarController&) = delete;
    ToolbarController& operator=(const ToolbarController&) = delete;

    // Neither a browser dialog is open nor a palette download under way.
    bool IsIdle() const;
    // One clipboard payload (watcher thread): parse, check the catalogue, make its
    // library active, start the download. Failures are queued as alerts. A browser
    // dialog that opened meanwhile has the clipboard: the download starts only once it
    // has closed (or not at all, when the controller stops first).
    void HandleToken(std::string& token);
    // The library part of the finished download (user-interface thread). A download
    // that was cancelled or replaced, or has not finished, is ignored. A failed one
    // makes nothing: one alert says so (kDownloadFailureList, kDownloadFailureIndex).
    void CreateLibraryPart();
    // Refills activeLibraries from Settings.xml (user-interface thread).
    void ReloadActiveLibraries();
    // The progress dialog's Cancel (user-interface thread): the download stops, its
    // view hears nothing more of it, and the controller is idle again. Also a download
    // whose start the view has heard of but whose worker is not there yet: it never starts.
    void CancelDownload();
    // Runs what the watcher queued, in order: Session Report lines and reloads of the
    // active libraries. True when the active libraries were reloaded. User-interface thread.
    bool DrainUserInterfaceQueue();

    // Starts the watcher for the palette's window, or lets a running one run on: one
    // watcher at a time. Reads what the watcher's library lists need of the host
    // (user-interface thread). Answers the watcher's thread handle, owned here.
    HANDLE StartClipboardWatcher(HWND window);
    // The watcher ends at its next look.
    void StopClipboardWatcher();
    // The shell's clean-up: stops the watcher, every transfer and every download (the
    // palette's and the browser dialogs'), and waits for all their threads, at most
    // `timeout` in all. True when every thread has ended; transfers are allowed again
    // only then.
    bool StopAndJoin(std::chrono::milliseconds timeout);

    // What the watcher's library lists need of the host, read now (user-interface thread).
    void ReadHostContext();

    std::wstring BaseUrl() const;

    // The palette's view; set by the palette.
    std::atomic<ITokenAndArtifactsView*> view{nullptr};
    // The active libraries, in Settings.xml order (user-interface thread only).
    std::vector<std::shared_ptr<Library>> activeLibraries;
    // The name the user accepted in the name dialog (user-interface thread only).
    std::wstring libPartName;
    // Set and cleared by the palette around a browser dialog.
    std::atomic<bool> browserDialogOpen{false};
    // A palette download is under way.
    std::atomic<bool> downloadBusy{false};

private:
    void Post(const char* text);
    void StartDownload(CatalogueArtifacts artifacts, const std::wstring& url);
    // Waits while a browser dialog is open; false when the controller stops first.
    bool WaitWhileBrowserDialogOpen();
    // allDownloads: also those started elsewhere; not at the add-on's unload, when the
    // list of all may be gone before this controller.
    bool StopAndJoin(std::chrono::milliseconds timeout, bool allDownloads);

    UserInterfaceQueue queue_;
    mutable std::mutex mutex_;
    // Guarded by mutex_.
    std::wstring baseUrl_;
    std::string culture_;
    std::string profile_;
    std::shared_ptr<DownloadJob> currentJob_;
    // A start the view has heard of, its worker not yet there; and whether a Cancel came.
    bool startPending_ = false;
    bool startCancelled_ = false;
    // The palette's jobs whose thread may still run; one goes only once its thread has ended.
    std::vector<std::shared_ptr<DownloadJob>> jobs_;
    bool stopping_ = false;
    std::unique_ptr<WatcherBlock> watcher_;
    HANDLE watcherThread_ = nullptr;
};

// The palette's one controller.
extern ToolbarController toolbarController;

// The watcher's thread procedure; the parameter is its WatcherBlock. Exit code 2.
DWORD ClipboardWatcherThread(LPVOID block);

}  // namespace tarvel
