// Naming a new library part: the unique name proposal, the characters a file name
// cannot hold, and whether a name is free.
#pragma once

#include <cstddef>
#include <set>
#include <string>

namespace tarvel {

// Replaces each of * " < > : / \ ? | and each control character (U+0000 to U+001F,
// U+007F to U+009F) by "_", in place; nothing else changes.
void SanitizeFileName(std::wstring& name);

// Characters of Unicode's White_Space property (all in the Basic Multilingual Plane).
bool IsBlank(wchar_t unit);

// A typed or proposed name as it may be saved: blanks around it removed, then
// sanitized. Empty when nothing but blanks was given.
std::wstring CleanLibPartName(std::wstring name);

// The text with every character in its upper case (simple case mapping, as a file
// system that ignores case compares names), as code points; lone surrogates kept.
std::u32string FoldCase(const std::wstring& text);

// The names the files of the product library folder give, case-folded: each file's
// name without its last extension, read as it stands and with %HH escapes decoded.
struct LibraryFolderNames {
    std::set<std::u32string> names;
    // The folder exists but could not be listed: no name can be known free.
    bool unreadable = false;

    bool Holds(const std::wstring& name) const;
};
LibraryFolderNames ReadLibraryFolderNames();

// True when no library part of the active libraries has the name and no file of
// that name, in any case, is in the product library folder (a part left there when
// the folder was taken out of the active libraries would be overwritten).
bool IsLibPartNameFree(const std::wstring& name);

// The longest name the user can type in the name dialog, in UTF-16 units.
constexpr std::size_t kMaxLibPartNameUnits = 99;

// The base followed by the first counter from 10 whose name is free (as
// IsLibPartNameFree). A long base is cut, never inside a character, so that base and
// counter fit kMaxLibPartNameUnits. The search ends at 65535: empty when every name
// is taken, or at once when the product library folder cannot be listed.
std::wstring ProposeUniqueName(const std::wstring& base);

// The preview picture beside a CAD-data file: its path up to the last dot of the file
// name, then ".png"; empty when the file name has no dot.
std::string PreviewPathFor(const std::string& cadPath);

}  // namespace tarvel
