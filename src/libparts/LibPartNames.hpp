// Naming a new library part: the unique name proposal and the characters a file
// name cannot hold.
#pragma once

#include <cstddef>
#include <string>

namespace tarvel {

// Replaces each of * " < > : / \ ? | by "_", in place; nothing else changes.
void SanitizeFileName(std::wstring& name);

// The longest name the user can type in the name dialog, in UTF-16 units.
constexpr std::size_t kMaxLibPartNameUnits = 99;

// The base followed by the first counter from 10 whose name no library part of the
// active libraries carries. A long base is cut, never inside a character, so that
// base and counter fit kMaxLibPartNameUnits. The search ends at 65535: empty when
// every name is taken.
std::wstring ProposeUniqueName(const std::wstring& base);

// The preview picture beside a CAD-data file: its path up to the last dot of the file
// name, then ".png"; empty when the file name has no dot.
std::string PreviewPathFor(const std::string& cadPath);

}  // namespace tarvel
