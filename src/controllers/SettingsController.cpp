#include "controllers/SettingsController.hpp"

#include "Main/Globals.hpp"
#include "controllers/SettingsFile.hpp"
#include "ostrel/Text.hpp"

namespace tarvel {

SettingsController::SettingsController() : settingsPath_(SettingsFilePath()) {}

bool SettingsController::GetAttribute(const std::wstring& attribute, std::string& value) const
{
    pugi::xml_document document;
    if (LoadSettingsDocument(settingsPath_, document) == SettingsLoad::Missing)
        return false;
    const pugi::xml_attribute found = document.child(ostrel::WStringToUtf8(settingsElementName).c_str())
                                          .child(ostrel::WStringToUtf8(updateElementName).c_str())
                                          .attribute(ostrel::WStringToUtf8(attribute).c_str());
    if (!found)
        return false;
    value = found.value();
    return true;
}

bool SettingsController::SetAttribute(const std::wstring& element, const std::wstring& attribute, const char* value)
{
    const std::string elementName = ostrel::WStringToUtf8(element);
    const std::string attributeName = ostrel::WStringToUtf8(attribute);
    return RewriteSettings(settingsPath_, [&](pugi::xml_node settings) {
        pugi::xml_node node = settings.child(elementName.c_str());
        if (!node)
            node = settings.append_child(elementName.c_str());
        pugi::xml_attribute target = node.attribute(attributeName.c_str());
        if (!target)
            target = node.append_attribute(attributeName.c_str());
        target.set_value(value);
    });
}

void SettingsController::ApplySettings()
{
    if (view == nullptr)
        return;
    std::vector<SettingChange> changes;
    view->CollectSettings(changes);
    for (const SettingChange& change : changes)
        SetAttribute(change.element, change.attribute, change.value.c_str());
    view->Close(true);
}

}  // namespace tarvel
