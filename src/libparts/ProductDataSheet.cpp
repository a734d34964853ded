#include "libparts/ProductDataSheet.hpp"

#include "Win32.hpp"
#include "ostrel/Text.hpp"
#include "ostrel/interop/Interop.hpp"

#include <pugixml.hpp>

#include <cstring>
#include <fstream>

namespace tarvel {
namespace {

const char* const kRoot = "ProductDataSheet[@target='ARCHICAD']";

std::string InfoQuery(const char* id)
{
    return std::string(kRoot) + "/AdditionalInformation/Parameter[@id='" + id + "']";
}

bool LoadSheet(const std::string& path, pugi::xml_document& document)
{
    try {
        std::ifstream in = ostrel::OpenInputStream(ostrel::Utf8StringToPath(path));
        if (!in.is_open())
            return false;
        return static_cast<bool>(document.load(in, pugi::parse_default, pugi::encoding_latin1));
    } catch (const std::exception&) {
        // A path that is no UTF-8 names no file.
        return false;
    }
}

// The value attribute of the first match, or null when there is none.
pugi::xml_attribute InfoValue(const pugi::xml_document& document, const char* id)
{
    const pugi::xpath_node node = document.select_node(InfoQuery(id).c_str());
    return node.node().attribute("value");
}

void ReadText(const pugi::xml_document& document, const char* id, std::wstring& out)
{
    if (const pugi::xml_attribute value = InfoValue(document, id))
        Utf8ToWideViaUniString(value.value(), out);
}

void ReadRaw(const pugi::xml_document& document, const char* id, std::string& out)
{
    if (const pugi::xml_attribute value = InfoValue(document, id))
        out = value.value();
}

void ReadNumber(const pugi::xml_document& document, const char* id, double& out)
{
    if (const pugi::xml_attribute value = InfoValue(document, id))
        out = value.as_double(0);
}

std::wstring Text(const char* text)
{
    std::wstring out;
    Utf8ToWideViaUniString(text, out);
    return out;
}

}  // namespace

void Utf8ToWideViaUniString(const char* text, std::wstring& out)
{
    if (text == nullptr || *text == '\0')
        return;
    const int length = static_cast<int>(std::strlen(text));
    const int units = MultiByteToWideChar(CP_UTF8, 0, text, length, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    if (units > 0)
        MultiByteToWideChar(CP_UTF8, 0, text, length, wide.data(), units);
    const std::string bytes = WideToNarrowTruncate(wide);
    out = ostrel::ac::interop::ToWString(GS::UniString(bytes.c_str(), GS::CC_UTF8));
}

std::string WideToNarrowTruncate(const std::wstring& text)
{
    std::string out;
    out.reserve(text.size());
    for (wchar_t unit : text)
        out.push_back(static_cast<char>(static_cast<std::uint32_t>(unit) & 0xFF));
    return out;
}

bool ParseProductDataSheet(const std::string& path, std::wstring& productAttrName, std::string& subtypeGid,
                           std::wstring& productId, std::wstring& productGroup, std::wstring& modelFile,
                           std::wstring& section, std::wstring& culture, std::string& holeType,
                           double& holeWidth, double& holeHeight, std::vector<ParamGroup>& groups)
{
    pugi::xml_document document;
    if (!LoadSheet(path, document))
        return false;
    ReadText(document, "archicad_productattr", productAttrName);
    ReadRaw(document, "archicad_subtype_gid", subtypeGid);
    ReadText(document, "catalog_productid", productId);
    ReadText(document, "catalog_productgroup", productGroup);
    ReadText(document, "catalog_modelfile", modelFile);
    ReadText(document, "catalog_section", section);
    ReadText(document, "catalog_culture", culture);
    ReadRaw(document, "archicad_hole_type", holeType);
    ReadNumber(document, "archicad_hole_width", holeWidth);
    ReadNumber(document, "archicad_hole_height", holeHeight);

    const std::string groupQuery = std::string(kRoot) + "/ParameterGroups/ParamGroup";
    for (const pugi::xpath_node& groupNode : document.select_nodes(groupQuery.c_str())) {
        const pugi::xml_node group = groupNode.node();
        ParamGroup result;
        if (group.attribute("id") && group.attribute("name"))
            result.name = Text(group.attribute("name").value());
        for (const pugi::xpath_node& childNode : group.select_nodes("Parameter")) {
            const pugi::xml_node child = childNode.node();
            const pugi::xml_attribute id = child.attribute("id");
            const pugi::xml_attribute name = child.attribute("name");
            const pugi::xml_attribute value = child.attribute("value");
            if (!id || !name || !value)
                continue;
            result.ids.push_back(Text(id.value()));
            result.names.push_back(Text(name.value()));
            result.values.push_back(Text(value.value()));
        }
        groups.push_back(std::move(result));
    }
    return true;
}

void ReadProductAttrName(const std::string& path, std::wstring& name)
{
    pugi::xml_document document;
    if (!LoadSheet(path, document))
        return;
    ReadText(document, "archicad_productattr", name);
}

}  // namespace tarvel
