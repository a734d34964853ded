// The add-on's settings in Settings.xml: read and written one attribute at a time,
// nothing kept in memory, and the Settings dialog's view.
#pragma once

#include <string>
#include <vector>

namespace tarvel {

// One change chosen in the Settings dialog.
struct SettingChange {
    std::wstring element;
    std::wstring attribute;
    std::string value;  // UTF-8
};

// The Settings dialog as its controller sees it.
class ISettingsView {
public:
    // Ends the dialog: modal response 1 when accepted, otherwise 2.
    virtual void Close(bool accepted) = 0;
    // Empties `changes` and appends the changes the user chose.
    virtual void CollectSettings(std::vector<SettingChange>& changes) = 0;

protected:
    ~ISettingsView() = default;
};

class SettingsController {
public:
    // Throws GSException when the special location is not available.
    SettingsController();

    // The attribute of the `Update` element; false (value unchanged) when the file does
    // not open or the attribute is missing.
    bool GetAttribute(const std::wstring& attribute, std::string& value) const;
    // Sets the attribute of that child element of `Settings` (both created as needed)
    // and rewrites the file; the other elements and attributes keep their order. False
    // when the file could not be written.
    bool SetAttribute(const std::wstring& element, const std::wstring& attribute, const char* value);
    // The Settings dialog's OK: writes what the view collects, then closes it accepted.
    void ApplySettings();

    const std::wstring& SettingsPath() const { return settingsPath_; }

    // The open Settings dialog (set by it); not owned.
    ISettingsView* view = nullptr;

private:
    std::wstring settingsPath_;
};

}  // namespace tarvel
