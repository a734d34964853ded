#include "dialogs/ToolbarDialog.hpp"

#include "Main/Globals.hpp"
#include "Main/Guard.hpp"
#include "Main/ModifyProduct.hpp"
#include "Main/ShellCommands.hpp"
#include "controllers/BrowserController.hpp"
#include "dialogs/BrowserDialog.hpp"
#include "dialogs/DialogSupport.hpp"
#include "dialogs/LibpartNameDialogs.hpp"
#include "dialogs/LibraryDialog.hpp"
#include "ostrel/Text.hpp"
#include "transfer/ClipboardMessage.hpp"

#include <chrono>
#include <cstdio>
#include <utility>

namespace tarvel::dialogs {
namespace {

constexpr const char* ModifyCommand = "modify";
constexpr const char* SettingsCommand = "setting";
constexpr const char* HelpCommand = "help";
constexpr const char* AboutCommand = "about";
constexpr const char* AddLibraryCommand = "addlib";

// While a browser dialog is open the watcher leaves the clipboard to it.
class BrowserDialogOpen {
public:
    explicit BrowserDialogOpen(ToolbarController& controller) : controller_(controller)
    {
        controller_.browserDialogOpen.store(true);
    }
    ~BrowserDialogOpen() { controller_.browserDialogOpen.store(false); }
    BrowserDialogOpen(const BrowserDialogOpen&) = delete;
    BrowserDialogOpen& operator=(const BrowserDialogOpen&) = delete;

private:
    ToolbarController& controller_;
};

// A handler of the palette: nothing thrown reaches the host, and the palette is not
// destroyed under it (the shell's clean-up may run inside a dialog it started).
void RunPaletteHandler(const std::function<void()>& work, bool idle = false)
{
    const PaletteInUse inUse(idle);
    RunGuarded(work);
}

}  // namespace

ToolbarDialog::ToolbarDialog(const GS::Guid& paletteGuid)
    : PaletteX(paletteGuid),
      dialogCache(ImagesFolderUtf8()),
      controller(&toolbarController),
      horizontal(true),
      separator(GetPanel(), ids::Toolbar::Separator, &dialogCache)
{
    controller->view.store(this, std::memory_order_release);
    controller->ReloadActiveLibraries();
    GetPanel().EnableIdleEvent(false);
    InitializeControls();
    GetPanel().BeginEventProcessing();
    GetPanel().SetStatus(0);
    GetPanel().SetMinClientSize(50, 34);
}

ToolbarDialog::~ToolbarDialog()
{
    // No thread may call this view once it is gone: the watcher and the downloads
    // are stopped and waited for (the shell's clean-up has done so already).
    ITokenAndArtifactsView* self = this;
    controller->view.compare_exchange_strong(self, nullptr, std::memory_order_acq_rel);
    if (!controller->StopAndJoin(std::chrono::seconds(10)))
        std::fputs("Tarvel: a thread of the palette has not ended\n", stderr);
}

void ToolbarDialog::InitializeControls()
{
    GetPanel().EnableItems();
    // Nothing thrown in a handler may reach the host.
    onCloseRequested = [this](bool, bool) {
        RunPaletteHandler([this] { Close(true); });
        return true;
    };
    onResized = [this] { RunPaletteHandler([this] { OnResize(); }); };
    onToolTipRequested = [this](short itemId, GS::UniString* text) {
        RunPaletteHandler([&] { OnToolTipRequested(itemId, text); });
    };
    onIdle = [this] { RunPaletteHandler([this] { OnIdle(); }, true); };

    const std::shared_ptr<ActionTool> tools[] = {
        MakeActionTool(ModifyCommand, L"Modify product", "menu_modify.png", 32502),
        MakeActionTool(SettingsCommand, L"Settings", "menu_settings.png", 32503),
        MakeActionTool(HelpCommand, L"Help", "menu_help2.png", 32504),
        MakeActionTool(AboutCommand, L"About", "menu_info.png", 32508),
    };
    short x = originX;
    for (const auto& tool : tools) {
        const int index = static_cast<int>(actionButtons.size());
        actionButtons.push_back(MakeToolButton(tool, x));
        actionButtons.back()->onClick = [this, index] { RunPaletteHandler([&] { OnActionTool(index); }); };
        x = static_cast<short>(x + buttonWidth + gap);
    }
    x = static_cast<short>(x + gap);
    separator->SetPosition(x, originY);
    x = static_cast<short>(x + gap + 1);
    for (std::size_t i = 0; i < controller->activeLibraries.size(); ++i) {
        libraryButtons.push_back(MakeLibraryButton(i, DG::Rect(x, originY, static_cast<short>(x + buttonWidth),
                                                               static_cast<short>(originY + buttonHeight))));
        x = static_cast<short>(x + buttonWidth + gap);
    }
    addLibraryButtons.push_back(
        MakeToolButton(MakeActionTool(AddLibraryCommand, L"Add library", "menu_addlib.png", 32506), x));
    addLibraryButtons.back()->onClick = [this] { RunPaletteHandler([this] { OnAddLibraryTool(0); }); };

    if (GetPanel().GetClientHeight() > GetPanel().GetClientWidth())
        horizontal = false;
    LayoutButtons(false);
    EnableModifyTool(SelectionHoldsProduct());
    StopClipboardWatcher();
}

std::unique_ptr<ActionToolButton> ToolbarDialog::MakeToolButton(const std::shared_ptr<ActionTool>& tool, short x)
{
    auto button = std::make_unique<ActionToolButton>(
        GetPanel(), DG::Rect(x, originY, static_cast<short>(x + buttonWidth), static_cast<short>(originY + buttonHeight)),
        &dialogCache);
    button->SetValue(tool);
    return button;
}

std::unique_ptr<LibraryButton> ToolbarDialog::MakeLibraryButton(std::size_t index, const DG::Rect& rect)
{
    auto button = std::make_unique<LibraryButton>(GetPanel(), rect, &dialogCache);
    button->SetValue(controller->activeLibraries[index]);
    const auto i = static_cast<std::uint16_t>(index);
    button->onClick = [this, i] { RunPaletteHandler([&] { OnLibraryButton(i); }); };
    return button;
}

DG::Rect ToolbarDialog::ButtonRect(short along) const
{
    if (horizontal)
        return DG::Rect(along, originY, static_cast<short>(along + buttonWidth),
                        static_cast<short>(originY + buttonHeight));
    return DG::Rect(originX, along, static_cast<short>(originX + buttonWidth), static_cast<short>(along + buttonHeight));
}

void ToolbarDialog::Place(DG::Item& item, short along) const
{
    if (horizontal)
        item.SetPosition(along, originY);
    else
        item.SetPosition(originX, along);
}

void ToolbarDialog::LayoutButtons(bool rebuildLibraries)
{
    const short step = horizontal ? buttonWidth : buttonHeight;
    short c = horizontal ? originX : originY;
    for (const auto& button : actionButtons) {
        Place(button->GetItem(), c);
        c = static_cast<short>(c + step + gap);
    }
    short d = static_cast<short>(c + gap);
    Place(separator.GetItem(), d);
    if (horizontal)
        separator->SetSize(1, buttonHeight);
    else
        separator->SetSize(buttonWidth, 1);
    d = static_cast<short>(d + gap + 1);
    if (rebuildLibraries) {
        libraryButtons.clear();
        for (std::size_t i = 0; i < controller->activeLibraries.size(); ++i) {
            libraryButtons.push_back(MakeLibraryButton(i, ButtonRect(d)));
            libraryButtons.back()->GetItem().Show();
            libraryButtons.back()->GetItem().Redraw(true, false);
            d = static_cast<short>(d + step + gap);
        }
    } else {
        for (const auto& button : libraryButtons) {
            Place(button->GetItem(), d);
            d = static_cast<short>(d + step + gap);
        }
    }
    for (const auto& button : addLibraryButtons) {
        Place(button->GetItem(), d);
        d = static_cast<short>(d + step + gap);
    }
    if (GetPanel().IsDocked())
        return;
    const auto e = static_cast<short>(d + gap);
    if (horizontal)
        GetPanel().SetClientSize(e, static_cast<short>(buttonHeight + originY + gap), 1, false);
    else
        GetPanel().SetClientSize(static_cast<short>(buttonWidth + originX + gap), e, 1, false);
}

bool ToolbarDialog::Show()
{
    GetPanel().Activate();
    GetPanel().Show(DG::ModelessBase::TopModeless);
    GetPanel().BringToFront();
    return true;
}

void ToolbarDialog::ShowWindow() { GetPanel().Show(DG::ModelessBase::TopModeless); }

void ToolbarDialog::HideWindow() { GetPanel().Hide(); }

bool ToolbarDialog::IsWindowVisible() const { return GetPanel().IsVisible(); }

void ToolbarDialog::SendCloseRequest() { GetPanel().SendCloseRequest(); }

void ToolbarDialog::EnableModifyTool(bool enable)
{
    modifyToolEnabled = enable;
    for (const auto& button : actionButtons) {
        if (button->GetValue() && button->GetValue()->command == ModifyCommand) {
            button->GetItem().SetStatus(enable);
            button->GetItem().Redraw(true, false);
            return;
        }
    }
}

void ToolbarDialog::EnableItems()
{
    GetPanel().EnableItems();
    // Enabling the palette does not make the selection a product.
    EnableModifyTool(modifyToolEnabled);
}

void ToolbarDialog::DisableItems() { GetPanel().DisableItems(); }

void ToolbarDialog::StartClipboardWatcher() { controller->StartClipboardWatcher(GetPanel().GetWindow()); }

void ToolbarDialog::StopClipboardWatcher() { controller->StopClipboardWatcher(); }

bool ToolbarDialog::Close(bool)
{
    StopClipboardWatcher();
    GetPanel().Hide();
    return true;
}

void ToolbarDialog::OnDownloadFinished()
{
    std::lock_guard lock(flagsMutex);
    downloadFinished = true;
    downloadStarted = false;
    progressDialog.SetDone();
}

bool ToolbarDialog::AskLibraryPartName(const std::wstring& name)
{
    LibpartNameToolbarDialog dialog(controller);
    dialog.SetName(name);
    return dialog.Invoke();
}

void ToolbarDialog::SetProgress(std::int16_t percent)
{
    std::lock_guard lock(flagsMutex);
    if (progressRunning) {
        progressDialog.SetPercent(percent);
        return;
    }
    if (percent <= 0)
        return;
    // The start: what an earlier download told the progress dialog is forgotten
    // before this one's worker can report.
    if (!downloadStarted) {
        downloadStarted = true;
        progressDialog.BeginDownload();
    }
    progressDialog.SetPercent(percent);
}

bool ToolbarDialog::IsCancelled() { return false; }

void ToolbarDialog::OnIdle()
{
    // After the clean-up nothing more is done: the palette only waits to be destroyed.
    if (DialogsEnded())
        return;
    // What the watcher left for this thread: report lines, the reload of the libraries.
    controller->DrainUserInterfaceQueue();
    bool finished = false;
    {
        std::lock_guard lock(flagsMutex);
        finished = std::exchange(downloadFinished, false);
        if (finished) {
            progressRunning = false;
            downloadStarted = false;
        }
    }
    if (finished) {
        // A download that was let go is not the controller's any more: it creates nothing.
        // The name is checked against the parts of the product library folder.
        EnsureProductLibraryActive();
        controller->CreateLibraryPart();
        // The clean-up ended the name dialog: the palette is on its way out.
        if (DialogsEnded())
            return;
        ClearClipboardMessage(GetPanel().GetWindow());
        // The catalogue's library may have just become active.
        LayoutButtons(true);
    }
    bool start = false;
    {
        std::lock_guard lock(flagsMutex);
        start = std::exchange(downloadStarted, false);
        progressRunning = start;
    }
    if (!start)
        return;
    // A completion that arrives from now on closes the dialog at its first idle event.
    progressDialog.Run();
    std::lock_guard lock(flagsMutex);
    progressRunning = false;
}

void ToolbarDialog::OnResize()
{
    horizontal = GetPanel().GetClientWidth() >= GetPanel().GetClientHeight();
    const short sx = separator->GetPosition().x;
    if ((horizontal && sx == originX) || (!horizontal && sx != originX))
        LayoutButtons(false);
}

void ToolbarDialog::OnToolTipRequested(short itemId, GS::UniString* text)
{
    for (const ActionButtons* buttons : {&actionButtons, &addLibraryButtons}) {
        for (const auto& button : *buttons) {
            if (button->GetItem().GetId() == itemId) {
                if (button->GetValue())
                    *text = ostrel::ac::interop::ToUniString(button->GetValue()->caption);
                return;
            }
        }
    }
    for (const auto& button : libraryButtons) {
        if (button->GetItem().GetId() == itemId) {
            if (button->GetValue())
                *text = ostrel::ac::interop::ToUniString(button->GetValue()->name);
            return;
        }
    }
}

void ToolbarDialog::OnActionTool(int index)
{
    if (index < 0 || static_cast<std::size_t>(index) >= actionButtons.size() || !actionButtons[index]->GetValue())
        return;
    const std::string command = actionButtons[index]->GetValue()->command;
    if (command == ModifyCommand) {
        const BrowserDialogOpen open(*controller);
        ModifyProduct();
    } else if (command == SettingsCommand) {
        ShowSettingsDialog();
    } else if (command == HelpCommand) {
        OpenHelp();
    } else if (command == AboutCommand) {
        ShowAboutDialog();
    }
}

void ToolbarDialog::OnLibraryButton(std::uint16_t index)
{
    if (index >= libraryButtons.size() || !libraryButtons[index]->GetValue())
        return;
    const BrowserDialogOpen open(*controller);
    BrowserController browserController(libraryButtons[index]->GetValue()->url, kCatalogueBrowserPath, false);
    DGBrowserDialog dialog(browserController);
    dialog.Invoke();
}

void ToolbarDialog::OnAddLibraryTool(int index)
{
    if (index < 0 || static_cast<std::size_t>(index) >= addLibraryButtons.size() ||
        !addLibraryButtons[index]->GetValue() || addLibraryButtons[index]->GetValue()->command != AddLibraryCommand)
        return;
    {
        LibraryController libraries = LibraryController::ForLibraryDialog();
        if (libraries.Libraries().empty())
            return;
        LibraryDialog dialog(libraries);
        if (dialog.Invoke() && !DialogsEnded()) {
            libraries.SaveActiveLibraries(false);
            controller->ReloadActiveLibraries();
        }
    }
    if (!DialogsEnded())
        LayoutButtons(true);
}

}  // namespace tarvel::dialogs
