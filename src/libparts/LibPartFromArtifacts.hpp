// Turning the downloaded artifacts of one catalogue message into a saved library
// part, and switching the host's tool to it for a new product.
#pragma once

#include "transfer/Artifacts.hpp"

#include <cstdint>
#include <string>

namespace tarvel {

constexpr const wchar_t* DefaultLibPartBaseName = L"Tarvel_LibPart";
constexpr const char* DefaultSubtypeGid =
    "{103E8D2C-8230-42E1-9597-46F84CCE28C0}-{00000000-0000-0000-0000-000000000000}";
constexpr const char* UIPictureFileName = "zavidede_cad_de.png";

// The proposed name: the data sheet's product attribute name made a part name
// (CleanLibPartName; "Tarvel_LibPart" when there is none or nothing is left),
// followed by the first free counter from 10. Empty when no name is free.
std::wstring MakeUniqueLibraryPartName(const CatalogueArtifacts& artifacts);

// The library index of the new part; 0 when the assembly failed, otherwise the result
// of saving (0 or less when it failed). A CAD-data file that was not read whole makes
// no part; an exception's text goes to the Session Report. Never throws.
std::int32_t CreateLibraryPartFromArtifacts(const CatalogueArtifacts& artifacts, const std::wstring& name,
                                            bool modifyMode, std::wstring baseUrl);

}  // namespace tarvel
