#include "Main/Globals.hpp"

#include "Win32.hpp"
#include "ostrel/Text.hpp"
#include "ostrel/interop/Interop.hpp"

#include <ctime>
#include <iomanip>
#include <locale>
#include <sstream>

namespace tarvel {

std::wstring dataFolder;
std::wstring imagesFolder;
std::wstring tempFolder;
std::wstring libraryFolder;
std::wstring settingsFile;

std::wstring settingsElementName;
std::wstring updateElementName;
std::wstring autoUpdateEnabledName;
std::wstring lastUpdateCheckName;

std::int32_t PaletteRefIdFromGuid(const GS::Guid& guid)
{
    const std::uint8_t* bytes = guid.Bytes();
    std::uint32_t sum = 0;
    for (int word = 0; word < 4; ++word) {
        std::uint32_t value = 0;
        for (int i = 3; i >= 0; --i)
            value = (value << 8) | bytes[word * 4 + i];
        sum += value;
    }
    return static_cast<std::int32_t>(sum);
}

// Defined in this order: the reference id is computed from the GUID.
const GS::Guid toolbarPaletteGuid("835C2B73-CBA4-4179-84BA-2D907BC7E3BA");
const std::int32_t toolbarPaletteRefId = PaletteRefIdFromGuid(toolbarPaletteGuid);

std::mutex& DataFilesMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::wstring FullDataPath(const std::wstring& relative)
{
    return ostrel::ac::interop::GetSpecialFolderPath() + relative;
}

std::string ImagesFolderUtf8() { return ostrel::WStringToUtf8(FullDataPath(imagesFolder)); }

namespace {

void SetFolder(std::wstring& global, std::wstring value, const std::wstring& root)
{
    global = std::move(value);
    ostrel::CreateDirectories(ostrel::WStringToPath(root + global));
}

}  // namespace

void InitializeAddOnGlobals()
{
    const std::wstring root = ostrel::ac::interop::GetSpecialFolderPath();
    SetFolder(dataFolder, L"\\Tarvel\\daVED\\ArchiCAD", root);
    SetFolder(imagesFolder, dataFolder + L"\\Images", root);
    SetFolder(tempFolder, dataFolder + L"\\Temp", root);
    SetFolder(libraryFolder, dataFolder + L"\\Tarvel Library", root);
    settingsFile = dataFolder + L"\\Settings.xml";

    settingsElementName = L"Settings";
    updateElementName = L"Update";
    autoUpdateEnabledName = L"AutoUpdateEnabled";
    lastUpdateCheckName = L"LastUpdateCheck";
}

std::string LocalTimeText(const char* format)
{
    __time64_t now = 0;
    _time64(&now);
    std::tm local{};
    if (_localtime64_s(&local, &now) != 0)
        return "";
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text << std::put_time(&local, format);
    return text.str();
}

}  // namespace tarvel
