// Settings.xml, the add-on's settings in the data root: the one reader and the one
// writer that every user of the file goes through.
#pragma once

#include <pugixml.hpp>

#include <functional>
#include <string>

namespace tarvel {

// The full path text of Settings.xml (the special location followed by settingsFile).
std::wstring SettingsFilePath();

enum class SettingsLoad { Missing, Loaded, Damaged };

// Parses the file into the document (pugixml's default options, automatic encoding).
// A damaged file leaves in the document what parsed before the damage.
SettingsLoad LoadSettingsDocument(const std::wstring& path, pugi::xml_document& document);

// One read-modify-write of the file under DataFilesMutex: reads it, hands `change` its
// root element `Settings` (appended when missing), and writes the whole document,
// indented with tabs, into a temporary file in the same folder, forced to the disk and
// given the file's mode, that is then renamed over the file. A symbolic link stays: the
// file at the end of its chain is the one replaced. A file that exists but does not
// parse is kept as "Settings.xml.bad" first; the new file is built from what of it
// parsed. False when nothing could be written; the file then stays as it was.
bool RewriteSettings(const std::wstring& path, const std::function<void(pugi::xml_node settings)>& change);

// Removes the temporary files that writes killed before their rename left beside the
// file (at start-up); one whose write is under way (in another host process) stays.
void RemoveStaleSettingsTemporaries(const std::wstring& path);

}  // namespace tarvel
