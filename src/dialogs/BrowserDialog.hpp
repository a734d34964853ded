// The modal window in which the user browses a product catalogue, or the configurator
// of a placed product, inside the host. It shows the embedded browser on its
// controller's page (or posts the controller's form fields there), and on every idle
// event reads the clipboard itself: a catalogue message hides the browser behind a
// progress display and starts its download; when that has finished, the controller
// creates the library part, which closes the dialog.
//
// The download's worker reports through this dialog's view operations from its own
// thread: SetProgress, IsCancelled and OnDownloadFinished only store or read atomic
// values. Every close of the window lets the controller's running download go
// (cancelled and detached), and so does the destructor, so the worker never calls
// into a dialog or controller that is gone. Everything else runs on the
// user-interface thread.
#pragma once

#include "DG.hpp"
#include "DialogIds.hpp"
#include "ostrel/ApplicationContent.hpp"
#include "ostrel/dgx/Controls.hpp"
#include "ostrel/dgx/Panels.hpp"
#include "transfer/Artifacts.hpp"

#include <boost/noncopyable.hpp>

#include <atomic>
#include <cstdint>
#include <string>

namespace tarvel {
class BrowserController;
}

namespace tarvel::dialogs {

class DGBrowserDialog : public ostrel::ac::dgx::DialogX<DG::ModalDialog>,
                        boost::noncopyable,
                        public ITokenAndArtifactsView {
public:
    static constexpr short ResourceId = ids::Browser::Dialog;

    // Becomes the controller's view and loads the first page.
    explicit DGBrowserDialog(BrowserController& controller);
    // Lets go of a download still under way.
    ~DGBrowserDialog() override;

    void InitializeControls() override;

    // The modal loop; true when the dialog closed accepted (a name was accepted).
    bool Invoke();

    // The view.
    bool Close(bool accepted) override;
    void OnDownloadFinished() override;
    bool AskLibraryPartName(const std::wstring& name) override;
    void SetProgress(std::int16_t percent) override;
    bool IsCancelled() override;

    // Handlers.
    void OnIdle();
    void OnResize();
    void OnCancel();

private:
    // Browser shown; text, bar and Cancel out of sight.
    void ShowBrowsing();
    void ShowDownloading();

    ostrel::ApplicationContentCache dialogCache;
    BrowserController* controller;
    std::atomic<bool> downloadFinished;
    std::atomic<bool> cancelled;
    ostrel::ac::dgx::ButtonX cancelButton;
    DG::Browser browser;
    ostrel::ac::dgx::CenterTextX messageText;
    ostrel::ac::dgx::ProgressBarX progressBar;
    // The UTF-8 address loaded, whatever its length.
    std::string urlText;
    std::string lastMessage;
    std::int16_t shownPercent;
    std::atomic<std::int16_t> targetPercent;
};

}  // namespace tarvel::dialogs
