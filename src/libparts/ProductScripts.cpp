#include "libparts/ProductScripts.hpp"

#include "Main/Globals.hpp"
#include "ostrel/Text.hpp"
#include "ostrel/interop/HostApi.hpp"
#include "ostrel/interop/Interop.hpp"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <set>

namespace tarvel {
namespace {

const char* const kFixedNames[] = {"AC_edge_upper_type",   "AC_edge_lower_type",     "tv_base_url",
                                   "tv_catalog_productid", "tv_catalog_productgroup", "tv_catalog_modelfile",
                                   "tv_catalog_section",   "tv_catalog_culture",     "tv_config_params"};

// The parameters the host gives every library part (its two sizes A and B, handed
// over with every parameter section, and its height ZZYZX) and those the opening
// scripts read from the host (ac_roofang, SHELLBASE_MAT_REFERENCE): a data-sheet
// parameter of such a name would stand in for the host's own.
const char* const kHostNames[] = {"A", "B", "ZZYZX", "ac_roofang", "SHELLBASE_MAT_REFERENCE"};

// GDL names are case-insensitive.
std::string NameKey(const std::string& name)
{
    std::string key = name;
    for (char& c : key)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return key;
}

// A letter or "_", then letters, digits and "_", short enough for the host to keep whole.
bool IsGdlName(const std::string& name)
{
    auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
    return !name.empty() && name.size() < HostInterface::ParamNameBytes && letter(name[0]) &&
           std::all_of(name.begin(), name.end(), [&](char c) { return letter(c) || (c >= '0' && c <= '9'); });
}

// The id as the warning shows it: control characters as %HH, so that it stays one line.
std::string ShownId(const std::string& id)
{
    std::string shown;
    for (char c : id) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            const char* hex = "0123456789ABCDEF";
            shown += {'%', hex[byte >> 4], hex[byte & 0xF]};
        } else {
            shown.push_back(c);
        }
    }
    return shown;
}

void WarnSkipped(const std::string& id, const char* why)
{
    const std::string line = "product data sheet warning: parameter id \"" + ShownId(id) + "\" " + why + ", skipped";
    HostApi_Report(GS::UniString(line.c_str(), GS::CC_UTF8), false);
}

std::string Utf8(const std::wstring& text) { return ostrel::WStringToUtf8(text); }

}  // namespace

bool IsSkylightSubtype(const std::string& gid) { return gid == SkylightSubtype; }
bool IsWindowOrDoorSubtype(const std::string& gid) { return gid == WindowSubtype || gid == DoorSubtype; }
bool IsOpeningSubtype(const std::string& gid) { return IsSkylightSubtype(gid) || IsWindowOrDoorSubtype(gid); }

std::string GdlStringText(const std::wstring& text)
{
    std::wstring safe;
    safe.reserve(text.size());
    for (wchar_t unit : text) {
        switch (unit) {
        case L'\'':
        case 0x2018:
        case 0x2019:
            safe.push_back(0x02BC);  // modifier letter apostrophe
            break;
        case L'"':
        case 0x201C:
        case 0x201D:
            safe.push_back(0x02BA);  // modifier letter double prime
            break;
        case L'\\':
            safe += L"\\\\";
            break;
        default:
            safe.push_back(unit < 0x20 || unit == 0x7F ? L' ' : unit);
            break;
        }
    }
    return Utf8(safe);
}

std::string FixedNumber(double value)
{
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
    return std::string(buffer, result.ptr);
}

std::string MakeMasterScript(const std::string& writerMaster) { return writerMaster + "\n"; }

std::string Make2DScript(const std::string& subtypeGid)
{
    if (IsWindowOrDoorSubtype(subtypeGid))
        return "mul2 1, -1\nproject2 4, 270, 2\nhotspot2 0, 0\ndel 1\n";
    return "project2 3, 270, 2\nhotspot2 0, 0\n";
}

std::string Make3DScript(const ProductPartData& data, const std::string& writerBody)
{
    std::string script;
    if (IsSkylightSubtype(data.subtypeGid)) {
        if (data.holeType == "CIRCLE" && data.holeWidth > 0.001) {
            script += "!------------\n";
            script += "hole_diameter=" + FixedNumber(data.holeWidth) + "\n";
            script += "if SHELLBASE_MAT_REFERENCE > 0 then\n";
            script += "\tmaterial SHELLBASE_MAT_REFERENCE\n";
            script += "else\n";
            script += "\tmaterial 1\n";
            script += "endif\n";
            script += "rotx ac_roofang\n";
            script += "addy (B-hole_diameter)/2\n";
            script += "wallniche 2, 1, 2 + 16,\n";
            script += "\t0, 0, 1, 0,\n";
            script += "\t0, hole_diameter/2, 979+16*1,\n";
            script += "\thole_diameter/2, 360, 4079+16*1\n";
            script += "del 2\n";
            script += "!------------\n";
        }
        script += "rotz -90\n";
        script += "roty ac_roofang\n";
        script += "addx -" + FixedNumber(data.holeHeight / 2) + "\n";
    }
    if (IsWindowOrDoorSubtype(data.subtypeGid)) {
        script += "rotx -90\n";
        script += "addx " + FixedNumber(data.holeWidth / 2) + "\n";
        script += "mulx -1\n";
    }
    script += writerBody;
    if (IsOpeningSubtype(data.subtypeGid))
        script += "del 3\n\n";
    return script;
}

std::string MakeUIScript(const std::vector<ParamGroup>& groups)
{
    std::string script = "UI_DIALOG ''\n";
    std::uint16_t page = 1;
    for (const ParamGroup& group : groups) {
        if (group.name.empty())
            continue;
        script += "UI_PAGE " + std::to_string(page) + ", -1, '" + GdlStringText(group.name) + "'\n";
        for (std::size_t j = 0; j < group.ids.size() && j <= 11; ++j) {
            const std::string y = std::to_string(20 * j + 10);
            const std::wstring& name = j < group.names.size() ? group.names[j] : std::wstring();
            const std::wstring& value = j < group.values.size() ? group.values[j] : std::wstring();
            script += "UI_STYLE 0, 0\n";
            script += "UI_OUTFIELD '" + GdlStringText(name) + ":', 10, " + y + ", 150, 19\n";
            script += "UI_STYLE 0, 1\n";
            script += "UI_OUTFIELD '" + GdlStringText(value) + "', 200, " + y + ", 240, 19\n";
        }
        ++page;
    }
    const std::string r = ostrel::ac::interop::LoadResourceStringUtf8(17770, 3);
    script += "UI_PAGE " + std::to_string(page) + ", -1, 'Tarvel" + r + " Information'\n";
    script += "UI_PICT 'tarvel_logo.png', 10, 10\n";
    script += "UI_STYLE 2, 1\n";
    script += "UI_OUTFIELD 'Tarvel" + r + "', 100, 10, 250, 24\n";
    script += "UI_STYLE 0, 0\n";
    script += "UI_OUTFIELD 'ArchiCAD Add-On', 100, 35, 250, 19\n";
    script += std::string("UI_OUTFIELD 'Version: ") + AddOnVersionText + "', 100, 55, 250, 19\n";
    script += std::string("UI_OUTFIELD '") + OwnerLine + "', 100, 75, 250, 19\n";
    script += "UI_STYLE 2, 1\n";
    script += "UI_OUTFIELD 'In order to modify this element,', 10, 140, 420, 24\n";
    script += "UI_OUTFIELD 'please click the Modify button on Tarvel" + r + " Toolbar.', 10, 165, 420, 24\n";
    return script;
}

void AddDataSheetParameters(LibPartSpec& spec, const std::vector<ParamGroup>& groups)
{
    std::set<std::string> own;
    for (const char* name : kFixedNames)
        own.insert(NameKey(name));
    for (const char* name : kHostNames)
        own.insert(NameKey(name));
    std::set<std::string> taken;
    for (const ParamGroup& group : groups) {
        if (!group.name.empty())
            continue;
        for (std::size_t j = 0; j < group.ids.size(); ++j) {
            const std::string id = Utf8(group.ids[j]);
            // Each would be a parameter the part cannot hold, or one that shadows another.
            if (!IsGdlName(id)) {
                WarnSkipped(id, "is no GDL name");
                continue;
            }
            if (own.count(NameKey(id)) != 0) {
                WarnSkipped(id, "is one of the library part's own parameters");
                continue;
            }
            if (!taken.insert(NameKey(id)).second) {
                WarnSkipped(id, "repeats an earlier parameter");
                continue;
            }
            spec.AddStringParameter(id, j < group.names.size() ? group.names[j] : std::wstring(),
                                    j < group.values.size() ? group.values[j] : std::wstring(), false);
        }
    }
}

void AddSkylightEdgeParameters(LibPartSpec& spec, const std::string& subtypeGid)
{
    if (!IsSkylightSubtype(subtypeGid))
        return;
    spec.AddIntegerParameter("AC_edge_upper_type", L"Upper Edge Type", 1.0);
    spec.AddIntegerParameter("AC_edge_lower_type", L"Lower Edge Type", 1.0);
}

void AddCatalogueParameters(LibPartSpec& spec, const ProductPartData& data)
{
    spec.AddStringParameter("tv_base_url", L"tv_base_url", data.baseUrl, true);
    spec.AddStringParameter("tv_catalog_productid", L"tv_catalog_productid", data.productId, true);
    spec.AddStringParameter("tv_catalog_productgroup", L"tv_catalog_productgroup", data.productGroup, true);
    spec.AddStringParameter("tv_catalog_modelfile", L"tv_catalog_modelfile", data.modelFile, true);
    spec.AddStringParameter("tv_catalog_section", L"tv_catalog_section", data.section, true);
    spec.AddStringParameter("tv_catalog_culture", L"tv_catalog_culture", data.culture, true);
}

void AddConfigParameter(LibPartSpec& spec, const std::vector<std::vector<std::wstring>>& rows)
{
    spec.AddStringArrayParameter("tv_config_params", L"tv_config_params", rows);
}

void AddProductParametersAndUI(LibPartSpec& spec, const ProductPartData& data)
{
    AddDataSheetParameters(spec, data.groups);
    AddSkylightEdgeParameters(spec, data.subtypeGid);
    spec.SetUIScript(MakeUIScript(data.groups));
    AddCatalogueParameters(spec, data);
    AddConfigParameter(spec, data.configRows);
}

}  // namespace tarvel
