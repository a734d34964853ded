// Values that live as long as the add-on is loaded: the data folders (relative to
// the host's special location, backslash-separated with a leading backslash), the
// names used in Settings.xml, and the toolbar palette's identity.
#pragma once

#include "GSRoot.hpp"

#include <cstdint>
#include <mutex>
#include <string>

namespace tarvel {

// The add-on's version: the update query and its comparison, the environment check's
// description, the About dialog and the information page of every library part.
constexpr const char* AddOnVersionText = "1.28";

// Empty until InitializeAddOnGlobals has run.
extern std::wstring dataFolder;
extern std::wstring imagesFolder;
extern std::wstring tempFolder;
extern std::wstring libraryFolder;
extern std::wstring settingsFile;

extern std::wstring settingsElementName;
extern std::wstring updateElementName;
extern std::wstring autoUpdateEnabledName;
extern std::wstring lastUpdateCheckName;

// Set when the add-on is loaded.
extern const GS::Guid toolbarPaletteGuid;
extern const std::int32_t toolbarPaletteRefId;

// The palette's reference id: the sum, wrapping, of the GUID's four little-endian words.
std::int32_t PaletteRefIdFromGuid(const GS::Guid& guid);

// Sets the folder paths, creating each folder under the special location right after
// its path is set, then the Settings.xml names. Throws GSException when the special
// location is not available and boost's filesystem_error when a folder cannot be made.
void InitializeAddOnGlobals();

// One lock for the whole process around every read-modify-write of a shared file in
// the data root (Settings.xml) and around the choice and creation of a free name in
// the Images folder: the user-interface thread and the clipboard watcher both do them.
std::mutex& DataFilesMutex();

// The full path text of a folder global: the special location's path followed by it.
std::wstring FullDataPath(const std::wstring& relative);
// The Images folder's full path as UTF-8: the base of the dialogs' picture caches.
std::string ImagesFolderUtf8();

// The host's local time written with the strftime format; "" when the clock cannot give it.
std::string LocalTimeText(const char* format);

}  // namespace tarvel
