#include "Main/Callbacks.hpp"

#include "DG.hpp"
#include "HostRecords.hpp"
#include "Main/Globals.hpp"
#include "Main/Guard.hpp"
#include "Main/ShellCommands.hpp"
#include "Main/ToolbarPalette.hpp"
#include "controllers/ToolbarController.hpp"
#include "ostrel/interop/HostApi.hpp"

namespace tarvel {
namespace {

using namespace HostInterface;

constexpr std::int16_t kShowToolbarMenu = 32500;
constexpr std::int16_t kSettingsMenu = 32504;
constexpr std::int16_t kHelpMenu = 32505;
constexpr std::int16_t kAboutMenu = 32506;
constexpr std::int16_t kToolbarMenu = 32507;

}  // namespace

bool ShowToolbarPalette()
{
    if (!toolbarDialog)
        toolbarDialog = CreateToolbarPalette(toolbarPaletteGuid);
    if (!toolbarDialog)
        return false;
    toolbarController.ReloadActiveLibraries();
    toolbarDialog->StartClipboardWatcher();
    toolbarDialog->Show();
    return true;
}

GSErrCode HandleMenuCommand(const MenuCommandRecord* command)
{
    GSErrCode result = 0;
    RunGuarded([&] {
        DGResetDialogRectangles();
        if (const GSErrCode code = EnsureProductLibraryActive(); code != 0) {
            HostApi_Report(GS::UniString(kLibraryNotLoaded), true);
            result = code;
            return;
        }
        if (command == nullptr)
            return;
        switch (command->menuList) {
        case kShowToolbarMenu:
        case kToolbarMenu:
            ShowToolbarPalette();
            break;
        case kHelpMenu:
            OpenHelp();
            break;
        case kAboutMenu:
            ShowAboutDialog();
            break;
        case kSettingsMenu:
            ShowSettingsDialog();
            break;
        default:
            break;
        }
    });
    return result;
}

GSErrCode HandlePaletteMessage(std::int32_t referenceId, std::int32_t message, void* param)
{
    if (referenceId != toolbarPaletteRefId)
        return 0;
    RunGuarded([&] {
        if (message == PaletteOpen) {
            const bool created = !toolbarDialog;
            if (ShowToolbarPalette() && created)
                EnsureProductLibraryActive();
            return;
        }
        if (!toolbarDialog)
            return;
        switch (message) {
        case PaletteCloseRequest:
            toolbarDialog->StopClipboardWatcher();
            toolbarDialog->SendCloseRequest();
            break;
        case PaletteHide:
            toolbarDialog->HideWindow();
            break;
        case PaletteShow:
            toolbarDialog->ShowWindow();
            break;
        case PaletteDisableItems:
            toolbarDialog->DisableItems();
            break;
        case PaletteEnableItems:
            toolbarDialog->EnableItems();
            break;
        case PaletteIsVisible:
            if (param != nullptr)
                *static_cast<std::uint8_t*>(param) = toolbarDialog->IsWindowVisible() ? 1 : 0;
            break;
        default:
            break;
        }
    });
    return 0;
}

GSErrCode HandleProjectEvent(std::int32_t event)
{
    RunGuarded([&] {
        switch (event) {
        case ProjectNew:
        case ProjectOpen:
        case ProjectClose:
        case ProjectQuit:
            if (toolbarDialog)
                toolbarDialog->SendCloseRequest();
            break;
        default:
            break;
        }
    });
    return 0;
}

GSErrCode HandleSelectionChange(const SelectionChangeRecord* change)
{
    RunGuarded([&] {
        const bool enabled = change != nullptr && change->firstItemKind != 0 && SelectionHoldsProduct();
        if (toolbarDialog)
            toolbarDialog->EnableModifyTool(enabled);
    });
    return 0;
}

}  // namespace tarvel
