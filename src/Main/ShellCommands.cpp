#include "Main/ShellCommands.hpp"

#include "HostRecords.hpp"
#include "IO.hpp"
#include "Main/Globals.hpp"
#include "controllers/SettingsController.hpp"
#include "controllers/SettingsFile.hpp"
#include "dialogs/AboutDialog.hpp"
#include "dialogs/SettingsDialog.hpp"
#include "libparts/ConfiguratorParams.hpp"
#include "ostrel/Text.hpp"
#include "ostrel/interop/HostApi.hpp"
#include "ostrel/interop/Interop.hpp"
#include "transfer/Deployment.hpp"

#include <algorithm>
#include <exception>
#include <new>

namespace tarvel {

using namespace HostInterface;

GSErrCode EnsureProductLibraryActive()
{
    LibraryList list;
    if (HostApi_GetLibraryList(&list) != 0)
        return 0;
    // Before the initialisation there is no library folder to name.
    if (libraryFolder.empty())
        return ErrGeneral;
    std::string path;
    try {
        path = ostrel::WStringToUtf8(FullDataPath(libraryFolder));
    } catch (const std::exception&) {
        // No special location: the folder cannot be found.
        return ErrGeneral;
    }
    const IO::Location location(path);
    const IO::Folder folder(location, IO::Folder::Ignore);
    if (folder.GetStatus() != 0)
        return ErrGeneral;
    if (std::any_of(list.entries.begin(), list.entries.end(),
                    [&](const LibraryEntry& entry) { return entry.location == location; }))
        return 0;
    try {
        LibraryEntry entry;
        entry.location = location;
        list.entries.push_back(std::move(entry));
    } catch (const std::bad_alloc&) {
        return ErrMemory;
    }
    try {
        HostApi_SetLibraryList(&list);
    } catch (...) {
        return ErrGeneral;
    }
    return 0;
}

bool SelectionHoldsProduct()
{
    GS::Guid element;
    if (!ReadAcceptedSelection(element))
        return false;
    ElementMemo memo;
    bool holds = false;
    if (HostApi_ReadElementMemo(element, &memo, MemoParameters) == 0 && memo.params != nullptr) {
        const std::size_t count = ParamRecordCount(memo.params);
        for (std::size_t i = 0; i < count && !holds; ++i)
            holds = ParamNameIs(ParamRecordAt(memo.params, i), "tv_base_url");
    }
    HostApi_FreeMemo(&memo);
    return holds;
}

namespace {

// Settings.xml's help_url when it is longer than one byte; "" otherwise.
std::string HelpUrlSetting()
{
    try {
        pugi::xml_document document;
        if (LoadSettingsDocument(SettingsFilePath(), document) != SettingsLoad::Loaded)
            return "";
        const std::string url = document.child(ostrel::WStringToUtf8(settingsElementName).c_str())
                                    .attribute("help_url")
                                    .value();
        return url.size() > 1 ? url : "";
    } catch (const std::exception&) {
        // No special location: no settings to read.
        return "";
    }
}

bool Open(const std::string& address)
{
    try {
        return ostrel::ac::interop::ShellOpen(address);
    } catch (const std::exception&) {
        // A text that is no UTF-8 names nothing the system can open.
        return false;
    }
}

}  // namespace

bool ShowSettingsDialog()
{
    SettingsController controller;
    dialogs::SettingsDialog dialog(controller);
    dialog.Invoke();
    return true;
}

bool ShowAboutDialog()
{
    dialogs::AboutDialog dialog;
    dialog.Invoke();
    return true;
}

bool OpenHelp()
{
    const std::string supportSite = CurrentDeployment().supportSite;
    const std::string helpUrl = HelpUrlSetting();
    // A help_url the system refuses still leaves the user with help.
    if (helpUrl.empty() || !Open(helpUrl))
        Open(supportSite);
    return true;
}

}  // namespace tarvel
