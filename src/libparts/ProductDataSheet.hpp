// The product data sheet: the XML file that names a product's library part, its
// subtype, catalogue identity, opening size and descriptive parameter groups.
#pragma once

#include "libparts/LibPartSpec.hpp"

#include <string>
#include <vector>

namespace tarvel {

// True when the file was opened and parsed. Each out-parameter is written only when
// its parameter is found (a text one only when its value is not empty); groups are appended.
bool ParseProductDataSheet(const std::string& path, std::wstring& productAttrName, std::string& subtypeGid,
                           std::wstring& productId, std::wstring& productGroup, std::wstring& modelFile,
                           std::wstring& section, std::wstring& culture, std::string& holeType,
                           double& holeWidth, double& holeHeight, std::vector<ParamGroup>& groups);

// Replaces name by the sheet's product attribute name when it has a non-empty one.
void ReadProductAttrName(const std::string& path, std::wstring& name);

// pugixml's UTF-8 text (the file's bytes, read as Latin-1) to UTF-16: through UTF-16,
// narrowed to bytes, decoded by the host's UTF-8 code (each malformed byte U+FFFD).
// An empty text leaves out unchanged.
void Utf8ToWideViaUniString(const char* text, std::wstring& out);
// Each UTF-16 unit becomes its low byte.
std::string WideToNarrowTruncate(const std::wstring& text);

}  // namespace tarvel
