// Unpacking a downloaded zip archive into a folder.
#pragma once

#include <functional>
#include <string>

namespace tarvel {

// Longest entry name taken, in bytes; a longer one fails the extraction.
constexpr std::size_t kMaxZipEntryName = 255;

// True when the entry name, placed in the target folder with "/" and "\" as
// separators, stays inside it: not absolute, no "..", no drive or stream colon,
// valid UTF-8 and at most kMaxZipEntryName bytes.
bool IsSafeZipEntryName(const std::string& name);

// Unpacks the archive into the folder (given with a trailing "\"). Entries are
// written under their stored names; no folders are made, so an entry in a folder
// that does not exist is left out, as are folder entries and entries without a name.
// entryName receives the entry to use: the last ".xml" entry written, or the first
// entry written when there is none. False when the archive does not open, writes
// nothing, or is refused: an unsafe entry name, an entry that is the archive itself,
// more entries or bytes than the deployment allows (refused before writing), or an
// entry that is damaged or cannot be written whole. A refused archive leaves none of
// its files behind. The cancel question, when given, is asked after every piece
// written; true ends the extraction like a failure.
bool ExtractZip(const std::wstring& zipPath, const std::wstring& folder, std::string& entryName,
                const std::function<bool()>& cancelled = {});

}  // namespace tarvel
