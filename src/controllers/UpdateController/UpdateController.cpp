#include "controllers/UpdateController/UpdateController.hpp"

#include "Main/Globals.hpp"
#include "Win32.hpp"
#include "controllers/SettingsController.hpp"
#include "ostrel/Text.hpp"
#include "ostrel/interop/HostApi.hpp"
#include "ostrel/interop/Interop.hpp"
#include "transfer/Deployment.hpp"
#include "transfer/Http.hpp"

#include <boost/filesystem/operations.hpp>
#include <pugixml.hpp>

namespace tarvel {
namespace {

void RemoveQuietly(const boost::filesystem::path& path)
{
    boost::system::error_code ignored;
    boost::filesystem::remove(path, ignored);
}

// The signature check of the file; the verify state is always released.
bool IsTrusted(const std::wstring& file)
{
    WINTRUST_FILE_INFO info{};
    info.cbStruct = sizeof(info);
    info.pcwszFilePath = file.c_str();
    WINTRUST_DATA data{};
    data.cbStruct = sizeof(data);
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_WHOLECHAIN;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &info;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    const LONG verdict = WinVerifyTrust(nullptr, &action, &data);
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust(nullptr, &action, &data);
    return verdict == ERROR_SUCCESS;
}

// The installer, complete, as Temp\installer.exe; false when it is not there whole.
bool FetchInstaller(const std::wstring& target)
{
    const std::string address = CurrentDeployment().installerServer + "/api/update?name=" + kUpdateProductName;
    if (address.rfind("https://", 0) != 0)
        return false;
    const std::wstring partial = target + L".part";
    const boost::filesystem::path partialPath = ostrel::WStringToPath(partial);
    // An earlier installer goes first: a failed download leaves none to be taken for
    // this one.
    RemoveQuietly(ostrel::WStringToPath(target));
    bool complete = false;
    {
        std::ofstream out = ostrel::OpenOutputStream(partialPath);
        complete = out.is_open() && FetchToStream(address, out, InstallerBounds());
        out.close();
        complete = complete && !out.fail();
    }
    boost::system::error_code error;
    complete = complete && boost::filesystem::file_size(partialPath, error) > 0 && !error;
    if (complete)
        boost::filesystem::rename(partialPath, ostrel::WStringToPath(target), error);
    if (!complete || error) {
        RemoveQuietly(partialPath);
        return false;
    }
    return true;
}

}  // namespace

bool UpdateController::CheckForUpdate()
{
    const std::string culture = ostrel::ac::interop::LoadResourceStringUtf8(17781, 1);
    const std::string suffix = std::string("&ver=") + AddOnVersionText + "&cul=" + culture;
    const std::string address =
        CurrentDeployment().updateServer + "/api/changelog?name=" + kUpdateProductName + "&type=0" + suffix;
    std::string body;
    const bool fetched = HttpGetToString(address.c_str(), body);
    ReportBoundFailures();
    if (!fetched)
        return false;
    pugi::xml_document document;
    if (!document.load_buffer(body.data(), body.size(), pugi::parse_default))
        return false;

    SettingsController().SetAttribute(updateElementName, lastUpdateCheckName, LocalTimeText("%Y-%m-%d %H:%M:%S").c_str());

    for (const pugi::xpath_node& changeset : document.select_nodes("changelog/data/changeset")) {
        const std::string version =
            changeset.node().select_node("metaset/meta[@name='product_version']").node().text().get();
        if (version > AddOnVersionText) {
            downloadUrl = changeset.node().select_node("metaset/meta[@name='download_url']").node().text().get();
            if (downloadUrl.find('?') != std::string::npos)
                downloadUrl += suffix;
            return true;
        }
    }
    return false;
}

bool DownloadAndRunInstaller()
{
    bool started = false;
    try {
        const std::wstring target = FullDataPath(tempFolder) + L"\\" + ostrel::Utf8ToWString(kInstallerFileName);
        if (FetchInstaller(target)) {
            if (IsTrusted(target)) {
                const HINSTANCE result =
                    ShellExecuteW(nullptr, L"open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
                started = reinterpret_cast<std::intptr_t>(result) > 32;
            } else {
                // Nothing unsigned stays where it could be taken for the real one.
                RemoveQuietly(ostrel::WStringToPath(target));
            }
        }
    } catch (const std::exception&) {
        // No special location or Temp folder: nothing to start.
        started = false;
    }
    ReportBoundFailures();
    if (!started)
        HostApi_Report(ostrel::ac::interop::ToUniString(
                           ostrel::ac::interop::LoadResourceString(kInstallerFailureList, kInstallerFailureIndex)),
                       true);
    return started;
}

}  // namespace tarvel
