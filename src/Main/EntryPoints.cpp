#include "Main/EntryPoints.hpp"

#include "DG.hpp"
#include "HostRecords.hpp"
#include "Main/Callbacks.hpp"
#include "Main/Globals.hpp"
#include "Main/Guard.hpp"
#include "Main/ToolbarPalette.hpp"
#include "controllers/LibraryController.hpp"
#include "controllers/SettingsController.hpp"
#include "controllers/SettingsFile.hpp"
#include "controllers/ToolbarController.hpp"
#include "controllers/UpdateController/UpdateController.hpp"
#include "dialogs/DialogSupport.hpp"
#include "ostrel/Text.hpp"
#include "ostrel/interop/HostApi.hpp"
#include "ostrel/interop/Interop.hpp"
#include "transfer/Deployment.hpp"
#include "transfer/Http.hpp"

#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

using namespace HostInterface;

template <typename T>
void Put(unsigned char* table, std::size_t offset, T value)
{
    std::memcpy(table + offset, &value, sizeof value);
}

bool Installed() { return ostrel::ac::hostapi::IsInstalled(); }

struct Menu {
    std::int16_t menuList;
    std::int16_t promptList;
    std::int32_t position;
    std::int32_t flags;
};

// The add-on's menus, registered in this order: Show toolbar, Settings, Help, About,
// and Show toolbar once more in a menu of the host's.
constexpr Menu kMenus[] = {
    {32500, 32520, 0, 2}, {32504, 32524, 0, 0}, {32505, 32525, 0, 0}, {32506, 32526, 0, 1}, {32507, 32527, 12, 0},
};

constexpr std::int32_t kPaletteFlags = 1015;
constexpr std::int32_t kProjectEventMask = ProjectNew | ProjectOpen | ProjectClose | ProjectQuit;
static_assert(kProjectEventMask == 99);

// The clean-up waits this long for the add-on's threads before it returns.
constexpr std::chrono::seconds kThreadStopLimit{10};

// The Session Report line when start-up's requests took their whole budget.
constexpr const char* kStartUpBudgetSpent =
    "Tarvel: the online services did not answer in time at start-up; the remaining requests were skipped.";

// The update alert: "Later" or "Update now" (answer 2).
constexpr short kUpdateNow = 2;

short AskForUpdate()
{
    using ostrel::ac::interop::LoadResourceString;
    using ostrel::ac::interop::ToUniString;
    constexpr std::int16_t list = 17771;
    return DGAlert(DG_ALERT_QUESTION, ToUniString(LoadResourceString(list, 1)), ToUniString(LoadResourceString(list, 2)),
                   ToUniString(LoadResourceString(list, 3)), ToUniString(LoadResourceString(list, 4)),
                   ToUniString(LoadResourceString(list, 5)), GS::UniString());
}

GSErrCode Initialize()
{
    using namespace tarvel;
    InitializeAddOnGlobals();
    dialogs::AllowDialogs();
    // What a write killed before its rename left behind goes now, before any writer runs.
    RemoveStaleSettingsTemporaries(SettingsFilePath());

    for (const Menu& menu : kMenus)
        if (const GSErrCode code = HostApi_SetMenuCommandHandler(menu.menuList, HandleMenuCommand); code != 0)
            return code;
    if (const GSErrCode code =
            HostApi_AddPaletteWindow(toolbarPaletteRefId, HandlePaletteMessage, kPaletteFlags, toolbarPaletteGuid);
        code != 0)
        return code;
    if (const GSErrCode code = HostApi_WatchProjectEvents(kProjectEventMask, HandleProjectEvent); code != 0)
        return code;
    if (const GSErrCode code = HostApi_WatchSelection(HandleSelectionChange); code != 0)
        return code;

    // The host waits for start-up: its requests share one budget, so that slow or
    // stalled servers cannot freeze it for long. What is left when it is spent is
    // skipped as failed.
    TransferBudget budget(CurrentDeployment().startUpBudget);
    bool newer = false;
    {
        const ScopedTransferBudget scoped(budget);
        {
            LibraryController libraries(true);
            std::vector<std::shared_ptr<Library>> active;
            libraries.GetActiveLibraries(active);
            if (!active.empty())
                libraries.SaveActiveLibraries(true);
        }

        SettingsController settings;
        std::string autoUpdate;
        bool check = true;
        if (settings.GetAttribute(autoUpdateEnabledName, autoUpdate))
            check = autoUpdate == "yes";
        else
            settings.SetAttribute(updateElementName, autoUpdateEnabledName, "yes");

        if (check) {
            UpdateController update;
            newer = update.CheckForUpdate();
        }
    }
    if (budget.Spent())
        HostApi_Report(ostrel::ac::interop::ToUniString(ostrel::Utf8ToWString(kStartUpBudgetSpent)), false);

    // The installer is the user's choice, with no budget: it may be large.
    if (newer && AskForUpdate() == kUpdateNow)
        DownloadAndRunInstaller();
    return 0;
}

// Each step runs whatever the one before did: the threads must end in any case. The
// clean-up may come while a dialog of the add-on runs (it is then called from inside
// that dialog's loop): the dialogs are asked to close first, and what their code still
// uses is freed only once it has returned.
void CleanUp()
{
    using namespace tarvel;
    RunGuarded([] { HostApi_WatchProjectEvents(kProjectEventMask, nullptr); });
    RunGuarded([] { dialogs::EndRunningDialogs(); });
    RunGuarded([] {
        if (toolbarDialog)
            toolbarDialog->SendCloseRequest();
    });
    RunGuarded([] {
        if (ITokenAndArtifactsView* view = toolbarController.view.load())
            view->Close(false);
    });
    // Nothing of the add-on may run once the host unloads it.
    RunGuarded([] {
        if (!toolbarController.StopAndJoin(kThreadStopLimit))
            std::fputs("Tarvel: a thread of the add-on has not ended\n", stderr);
    });
    RunGuarded([] { HostApi_RemovePaletteWindow(toolbarPaletteRefId); });
    // The palette goes now, on this thread and while the controller it uses exists,
    // rather than with the globals at unload, whose order of destruction is not ours;
    // when this runs inside one of its dialogs, as soon as that code has returned.
    RunGuarded([] { DestroyToolbarDialog(); });
}

}  // namespace

extern "C" void GetExportedFuncAddrs(void* exportTable)
{
    auto* table = static_cast<unsigned char*>(exportTable);
    std::memset(table, 0, ExportTableBytes);
    Put(table, ExportFormatOffset, ExportFormatWord);
    Put<IdentifyAddOnFn>(table, ExportIdentifyOffset, &IdentifyAddOn);
    Put<RegisterMenusFn>(table, ExportRegisterOffset, &RegisterMenus);
    Put<StartAddOnFn>(table, ExportStartOffset, &StartAddOn);
    Put<StopAddOnFn>(table, ExportStopOffset, &StopAddOn);
    Put(table, ExportLevelOffset, ApiLevel);
}

extern "C" GSErrCode SetImportedFuncAddrs(const void* functionTable)
{
    ostrel::ac::hostapi::InstallFunctionTable(functionTable);
    return 0;
}

std::int32_t IdentifyAddOn(EnvironmentRecord* environment)
{
    if (!Installed() || environment == nullptr || environment->applicationId != HostApplicationId)
        return 0;
    std::int32_t answer = 0;
    tarvel::RunGuarded([&] {
        using ostrel::ac::interop::LoadResourceString;
        using ostrel::ac::interop::ToUniString;
        GS::UniString name = ToUniString(LoadResourceString(32000, 1));
        GS::UniString description =
            ToUniString(LoadResourceString(32000, 2) + L" v" + ostrel::Utf8ToWString(tarvel::AddOnVersionText));
        environment->addOnName = std::move(name);
        environment->addOnDescription = std::move(description);
        answer = IdentifyLoad;
    });
    return answer;
}

GSErrCode RegisterMenus()
{
    if (!Installed())
        return ErrGeneral;
    GSErrCode result = 0;
    if (!tarvel::RunGuarded([&] {
            for (const Menu& menu : kMenus)
                if (const GSErrCode code = HostApi_AddMenu(menu.menuList, menu.promptList, menu.position, menu.flags);
                    code != 0) {
                    result = code;
                    return;
                }
        }))
        return ErrGeneral;
    return result;
}

GSErrCode StartAddOn()
{
    if (!Installed())
        return ErrGeneral;
    GSErrCode result = 0;
    if (!tarvel::RunGuarded([&] { result = Initialize(); }))
        return ErrGeneral;
    return result;
}

GSErrCode StopAddOn()
{
    if (!Installed())
        return ErrGeneral;
    CleanUp();
    return 0;
}
