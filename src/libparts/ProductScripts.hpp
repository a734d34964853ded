// What every product library part carries around its geometry: the 2D symbol, the
// placement lines of openings, the interface script with the data sheet's groups and
// an information page, and the parameter list with the catalogue identity.
#pragma once

#include "libparts/LibPartSpec.hpp"

#include <string>
#include <vector>

namespace tarvel {

// The data-sheet values and the rest of what a product part is made of.
struct ProductPartData {
    std::string subtypeGid;
    std::string holeType;
    // Already in metres for the opening subtypes.
    double holeWidth = 0;
    double holeHeight = 0;
    std::wstring productId;
    std::wstring productGroup;
    std::wstring modelFile;
    std::wstring section;
    std::wstring culture;
    std::vector<ParamGroup> groups;
    std::wstring baseUrl;
    // One row [name, value] per configuration parameter of the product database.
    std::vector<std::vector<std::wstring>> configRows;
};

constexpr const char* SkylightSubtype = "{0E0831DD-3766-4A60-BBE7-19A9537F76E3}";
constexpr const char* WindowSubtype = "{4ABD0A6E-634B-4931-B3AA-9BEE01F35CDF}";
constexpr const char* DoorSubtype = "{11E85B84-8DD1-491B-A2FE-337454A91545}";
// The owner line of the information page.
constexpr const char* OwnerLine = "Tarvel BIM Technology";

// Whole-string comparisons with the subtype GUIDs.
bool IsSkylightSubtype(const std::string& gid);
bool IsWindowOrDoorSubtype(const std::string& gid);
bool IsOpeningSubtype(const std::string& gid);

// The text of a GDL string literal: UTF-8, quotation marks replaced by look-alike
// letters, backslashes doubled and line breaks made blanks, so that the literal stays one string.
std::string GdlStringText(const std::wstring& text);
// "%f" notation: six decimals, the classic locale.
std::string FixedNumber(double value);

std::string MakeMasterScript(const std::string& writerMaster);
std::string Make2DScript(const std::string& subtypeGid);
std::string Make3DScript(const ProductPartData& data, const std::string& writerBody);
std::string MakeUIScript(const std::vector<ParamGroup>& groups);

// The parameter list, in its order. Data-sheet parameters come from the unnamed groups;
// one whose id is no GDL name (a letter or "_", then letters, digits and "_", at most
// 31 bytes), names one of the part's own parameters (the host's A, B, ZZYZX,
// ac_roofang, SHELLBASE_MAT_REFERENCE; the add-on's tv_ and AC_edge_ ones) or repeats
// an earlier id (GDL names ignore case) is left out with one Session Report warning.
void AddDataSheetParameters(LibPartSpec& spec, const std::vector<ParamGroup>& groups);
void AddSkylightEdgeParameters(LibPartSpec& spec, const std::string& subtypeGid);
void AddCatalogueParameters(LibPartSpec& spec, const ProductPartData& data);
void AddConfigParameter(LibPartSpec& spec, const std::vector<std::vector<std::wstring>>& rows);

// Parameters and interface script in the order of creation: data-sheet parameters,
// skylight edges, the interface script, the catalogue parameters, tv_config_params.
void AddProductParametersAndUI(LibPartSpec& spec, const ProductPartData& data);

}  // namespace tarvel
