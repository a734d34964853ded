// The toolbar palette: a row (or column) of picture buttons for the fixed commands
// (modify product, settings, help, about), a separator, one button per active
// product library and an add-library button. It is also the view of the toolbar
// controller's downloads: the watcher's and worker's threads only set its flags,
// and its idle handler shows the progress dialog and then has the library part made,
// on the user-interface thread.
#pragma once

#include "DialogIds.hpp"
#include "GSRoot.hpp"
#include "Main/ToolbarPalette.hpp"
#include "controllers/ToolbarController.hpp"
#include "dialogs/IconAndTextButton.hpp"
#include "dialogs/ProgressDialog.hpp"
#include "ostrel/ApplicationContent.hpp"
#include "ostrel/dgx/Controls.hpp"
#include "ostrel/dgx/Panels.hpp"
#include "transfer/Artifacts.hpp"

#include <boost/noncopyable.hpp>

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace tarvel::dialogs {

class ToolbarDialog : public ostrel::ac::dgx::PaletteX,
                      boost::noncopyable,
                      public ITokenAndArtifactsView,
                      public IToolbarPalette {
public:
    static constexpr short ResourceId = ids::Toolbar::Dialog;

    explicit ToolbarDialog(const GS::Guid& paletteGuid);
    ~ToolbarDialog() override;

    // Makes the buttons and lays them out.
    void InitializeControls() override;
    // Places every item and sizes the palette (unless docked); with rebuildLibraries
    // the library buttons are made anew from the controller's active libraries.
    void LayoutButtons(bool rebuildLibraries);

    // Activates the window, shows it at the top of the modeless windows, brings it to the front.
    bool Show() override;
    void ShowWindow() override;
    void HideWindow() override;
    bool IsWindowVisible() const override;
    // A close request on the window: the palette hides and its watcher stops.
    void SendCloseRequest() override;
    // The "modify" button on or off; it keeps that state when all items are enabled.
    void EnableModifyTool(bool enable) override;
    void EnableItems() override;
    void DisableItems() override;
    // The controller's clipboard watcher on this palette's window; one at a time.
    void StartClipboardWatcher() override;
    void StopClipboardWatcher() override;

    // The view. Close hides the palette and stops the watcher (the object stays).
    // SetProgress, OnDownloadFinished and IsCancelled come from the watcher's and the
    // worker's threads: they only set flags and hand numbers to the progress dialog.
    // A cancelled download is let go by the progress dialog's Cancel (the controller
    // detaches it), so IsCancelled never answers true: a stale true would stop the
    // next download at once.
    bool Close(bool accepted) override;
    void OnDownloadFinished() override;
    bool AskLibraryPartName(const std::wstring& name) override;
    void SetProgress(std::int16_t percent) override;
    bool IsCancelled() override;

    // Handlers.
    void OnIdle();
    void OnResize();
    void OnToolTipRequested(short itemId, GS::UniString* text);
    void OnActionTool(int index);
    void OnLibraryButton(std::uint16_t index);
    void OnAddLibraryTool(int index);

private:
    using ActionButtons = std::vector<std::unique_ptr<ActionToolButton>>;
    using LibraryButtons = std::vector<std::unique_ptr<LibraryButton>>;

    std::unique_ptr<ActionToolButton> MakeToolButton(const std::shared_ptr<ActionTool>& tool, short x);
    std::unique_ptr<LibraryButton> MakeLibraryButton(std::size_t index, const DG::Rect& rect);
    // Where a button starts on the main axis, as a rectangle.
    DG::Rect ButtonRect(short along) const;
    void Place(DG::Item& item, short along) const;

    ostrel::ApplicationContentCache dialogCache;
    ToolbarController* controller;
    bool horizontal;
    // The download's state, shared with the watcher's and the worker's threads and
    // guarded by flagsMutex: finished (set by the worker, consumed by the idle
    // handler), the progress dialog running, and started (a download has started and
    // its progress is still to be shown).
    std::mutex flagsMutex;
    bool downloadFinished = false;
    ProgressDialog progressDialog;
    bool progressRunning = false;
    bool downloadStarted = false;
    bool modifyToolEnabled = false;
    ActionButtons actionButtons;
    ostrel::ac::dgx::SeparatorX separator;
    LibraryButtons libraryButtons;
    ActionButtons addLibraryButtons;
    const short originX = 1;
    const short originY = 1;
    const short buttonWidth = 48;
    const short buttonHeight = 34;
    const short gap = 2;
};

}  // namespace tarvel::dialogs
