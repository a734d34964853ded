#include "Main/ModifyProduct.hpp"

#include "Main/Globals.hpp"
#include "controllers/BrowserController.hpp"
#include "dialogs/BrowserDialog.hpp"
#include "dialogs/DialogSupport.hpp"
#include "libparts/ConfiguratorParams.hpp"
#include "libparts/ElementReplacement.hpp"
#include "ostrel/Text.hpp"
#include "ostrel/interop/HostApi.hpp"
#include "ostrel/interop/Interop.hpp"
#include "transfer/ClipboardMessage.hpp"
#include "transfer/DataCfg.hpp"

#include <utf8.h>

#include <algorithm>
#include <exception>
#include <fstream>
#include <string_view>

namespace tarvel {
namespace {

// STRS 22000 entry 2: the selection cannot be modified.
constexpr std::int16_t ModifyTexts = 22000;
constexpr std::int16_t WrongSelectionIndex = 2;
// STRS 22000 entry 4: the configured element is no longer the selected one.
constexpr std::int16_t SelectionChangedIndex = 4;

// The configurator's start options as sent, for the administrator: Temp\ModifyElement_
// and the time. A copy that cannot be written is left out silently.
void WriteAdministratorCopy(const std::string& xml)
{
    try {
        const std::wstring stamp = ostrel::Utf8ToWString(LocalTimeText("%Y%m%d%H%M%S"));
        const std::wstring path = FullDataPath(tempFolder) + L"\\ModifyElement_" + stamp + L".xml";
        std::ofstream out = ostrel::OpenOutputStream(ostrel::WStringToPath(path));
        out.write(xml.data(), static_cast<std::streamsize>(xml.size()));
    } catch (const std::exception&) {
    }
}

bool IsAdminMode()
{
    ConfigEntries entries;
    LoadDataCfg(entries);
    return GetConfigValue(entries, "AdminMode", "false") == "true";
}

}  // namespace

bool IsConfiguratorBaseUrl(const std::string& baseUrl)
{
    // A scheme is case-insensitive.
    const auto hasScheme = [&](std::string_view scheme) {
        return baseUrl.size() >= scheme.size() &&
               std::equal(scheme.begin(), scheme.end(), baseUrl.begin(), [](char s, char c) {
                   return s == (c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
               });
    };
    return (hasScheme("http://") || hasScheme("https://")) && utf8::is_valid(baseUrl.begin(), baseUrl.end());
}

bool ModifyProduct()
{
    std::string baseUrl;
    std::string xml;
    std::string productId;
    std::string productGroup;
    std::string section;
    std::string culture;
    if (!ReadSelectedProductParameters(baseUrl, xml, productId, productGroup, section, culture) ||
        !IsConfiguratorBaseUrl(baseUrl)) {
        const std::string text = ostrel::ac::interop::LoadResourceStringUtf8(ModifyTexts, WrongSelectionIndex);
        HostApi_Report(GS::UniString(text.c_str(), GS::CC_UTF8), true);
        return false;
    }
    // The element the configuration is read from; only it may get the new part.
    GS::Guid configured;
    const bool known = ReadAcceptedSelection(configured);

    BrowserController controller(ostrel::Utf8ToWString(baseUrl), kConfiguratorPath, true);
    controller.AddFormField("Vindle", "2");
    controller.AddFormField("XMLEncoding", "Base64");
    controller.AddFormField("QnADisplayType", "0");
    controller.AddFormField("XmlContent", Base64Encode(xml));
    if (IsAdminMode())
        WriteAdministratorCopy(xml);
    controller.AddFormField("target_system", "archicad");
    controller.AddFormField("ArtikelNr", productId);
    controller.AddFormField("pgid", productGroup);
    if (culture.size() > 1)
        controller.AddFormField("cul", culture);
    if (section.size() > 1)
        controller.AddFormField("mandant", section);

    {
        dialogs::DGBrowserDialog dialog(controller);
        dialog.Invoke();
    }
    // The clean-up closed the dialog: nothing more is done.
    if (dialogs::DialogsEnded())
        return true;
    if (controller.ModifyMode() && controller.CreatedLibPartIndex() > 0 &&
        !(known && ReplaceConfiguredElementLibPart(configured, controller.CreatedLibPartIndex()))) {
        // The user selected something else, or the element went, while the browser was open.
        const std::string text = ostrel::ac::interop::LoadResourceStringUtf8(ModifyTexts, SelectionChangedIndex);
        HostApi_Report(GS::UniString(text.c_str(), GS::CC_UTF8), true);
    }
    return true;
}

}  // namespace tarvel
