// The modal window that shows the progress of a download started on the toolbar
// palette's road. The palette owns one, runs it each time a download starts, and
// hears through Run's result whether the download completed or the user cancelled.
//
// SetPercent, SetDone and BeginDownload may come from any thread (the download worker
// and the clipboard watcher report through the palette's view); they only store
// numbers and flags, which the dialog's idle handler takes on the user-interface
// thread. Everything else runs on the user-interface thread.
#pragma once

#include "DialogIds.hpp"
#include "ostrel/ApplicationContent.hpp"
#include "ostrel/dgx/Controls.hpp"
#include "ostrel/dgx/Panels.hpp"

#include <boost/noncopyable.hpp>

#include <atomic>
#include <cstdint>

namespace tarvel {
class ToolbarController;
}

namespace tarvel::dialogs {

class ProgressDialog : public ostrel::ac::dgx::DialogX<DG::ModalDialog>, boost::noncopyable {
public:
    static constexpr short ResourceId = ids::Progress::Dialog;

    // Works for the palette's one controller (toolbarController).
    ProgressDialog();
    // For a controller of one's own (tests).
    explicit ProgressDialog(ToolbarController& controller);
    ~ProgressDialog() override;

    void InitializeControls() override;

    // A download is starting: the completion and progress reported for an earlier one
    // are forgotten. Called when the palette hears of the start, before the download's
    // worker can report, so that what arrives before Run's loop begins is kept: a
    // completion then closes the dialog at its first idle event.
    void BeginDownload();
    // Shows the dialog, its bar at the start, until the download completes (true) or
    // the user cancels (false). Leaves what the download reported as it is.
    bool Run();
    // The progress last reported (0 to 100); the bar follows at the next idle event.
    void SetPercent(std::int16_t percent);
    // The download has completed: the next idle event closes the dialog, accepted.
    void SetDone();
    void Close(bool accepted);

    void OnIdle();
    // Closes the dialog; its close request lets the download go.
    void OnCancel();

private:
    void LetDownloadGo();

    ostrel::ApplicationContentCache dialogCache;
    ToolbarController* controller;
    std::atomic<bool> done;
    std::int16_t shownPercent;
    std::atomic<std::int16_t> targetPercent;
    ostrel::ac::dgx::ButtonX cancelButton;
    ostrel::ac::dgx::LeftTextX messageText;
    ostrel::ac::dgx::ProgressBarX progressBar;
};

}  // namespace tarvel::dialogs
