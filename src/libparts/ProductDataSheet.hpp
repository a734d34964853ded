// The product data sheet: the XML file that names a product's library part, its
// subtype, catalogue identity, opening size and descriptive parameter groups.
#pragma once

#include "libparts/LibPartSpec.hpp"

#include <string>
#include <vector>

namespace tarvel {

// True when the file was opened and parsed. Its texts arrive as the file holds them:
// UTF-16 after a byte-order mark; otherwise UTF-8, or Latin-1 when the declaration
// names ISO-8859-1 or the bytes are no UTF-8. UTF-16 that is cut or holds a lone
// surrogate is no sheet (false). Each out-parameter is written only when
// its parameter is found (a text one only when its value is not empty); groups are appended.
bool ParseProductDataSheet(const std::string& path, std::wstring& productAttrName, std::string& subtypeGid,
                           std::wstring& productId, std::wstring& productGroup, std::wstring& modelFile,
                           std::wstring& section, std::wstring& culture, std::string& holeType,
                           double& holeWidth, double& holeHeight, std::vector<ParamGroup>& groups);

// Replaces name by the sheet's product attribute name when it has a non-empty one.
void ReadProductAttrName(const std::string& path, std::wstring& name);

// pugixml's UTF-8 text to UTF-16 through the host's UTF-8 code (each malformed byte
// U+FFFD, as in the name dialogs). An empty text leaves out unchanged.
void Utf8ToWideViaUniString(const char* text, std::wstring& out);

}  // namespace tarvel
