// Unpacking a downloaded zip archive into a folder.
#pragma once

#include <string>

namespace tarvel {

// Longest entry name taken, in bytes; a longer one fails the extraction.
constexpr std::size_t kMaxZipEntryName = 255;

// True when the entry name, placed in the target folder with "/" and "\" as
// separators, stays inside it: not absolute, no "..", no drive or stream colon,
// valid UTF-8 and at most kMaxZipEntryName bytes.
bool IsSafeZipEntryName(const std::string& name);

// Unpacks every entry of the archive into the folder (given with a trailing "\").
// Entries are written under their stored names; no folders are created. entryName
// receives the entry to use: the last ".xml" entry, or the first entry when there
// is none. False for an archive that does not open, is empty or damaged, or names
// an entry that is not safe; such an archive is refused before anything is written.
bool ExtractZip(const std::wstring& zipPath, const std::wstring& folder, std::string& entryName);

}  // namespace tarvel
