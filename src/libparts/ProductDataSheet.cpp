#include "libparts/ProductDataSheet.hpp"

#include "ostrel/Text.hpp"
#include "ostrel/interop/Interop.hpp"

#include <pugixml.hpp>

#include <utf8.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string_view>

namespace tarvel {
namespace {

const char* const kRoot = "ProductDataSheet[@target='ARCHICAD']";

std::string InfoQuery(const char* id)
{
    return std::string(kRoot) + "/AdditionalInformation/Parameter[@id='" + id + "']";
}

bool StartsWith(const std::string& bytes, std::string_view prefix)
{
    return bytes.compare(0, prefix.size(), prefix) == 0;
}

// The encoding named by the XML declaration at the start of the bytes, lower-cased;
// empty when there is none.
std::string DeclaredEncoding(const std::string& bytes)
{
    const std::size_t start = StartsWith(bytes, "\xEF\xBB\xBF") ? 3 : 0;
    if (bytes.compare(start, 5, "<?xml") != 0 || start + 5 >= bytes.size() ||
        std::strchr(" \t\r\n", bytes[start + 5]) == nullptr)
        return std::string();
    const std::size_t close = bytes.find("?>", start);
    const std::string declaration = bytes.substr(start, close == std::string::npos ? 0 : close - start);
    std::size_t at = declaration.find("encoding");
    if (at == std::string::npos)
        return std::string();
    at = declaration.find_first_not_of(" \t\r\n", at + 8);
    if (at == std::string::npos || declaration[at] != '=')
        return std::string();
    at = declaration.find_first_not_of(" \t\r\n", at + 1);
    if (at == std::string::npos || (declaration[at] != '"' && declaration[at] != '\''))
        return std::string();
    const std::size_t end = declaration.find(declaration[at], at + 1);
    if (end == std::string::npos)
        return std::string();
    std::string name = declaration.substr(at + 1, end - at - 1);
    for (char& c : name)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return name;
}

bool IsLatin1Name(const std::string& name)
{
    for (const char* alias : {"iso-8859-1", "iso8859-1", "iso_8859-1", "iso_8859-1:1987", "latin1", "latin-1", "l1",
                              "iso-ir-100", "csisolatin1", "ibm819", "cp819"})
        if (name == alias)
            return true;
    return false;
}

// Whether UTF-16 bytes (after their byte-order mark) hold whole units and no lone surrogate.
bool IsWholeUtf16(const std::string& bytes, bool littleEndian)
{
    if (bytes.size() % 2 != 0)
        return false;
    auto unit = [&](std::size_t i) {
        const auto first = static_cast<unsigned char>(bytes[2 * i]);
        const auto second = static_cast<unsigned char>(bytes[2 * i + 1]);
        return littleEndian ? (second << 8 | first) : (first << 8 | second);
    };
    const std::size_t units = bytes.size() / 2;
    for (std::size_t i = 1; i < units; ++i) {
        const int u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 1 >= units || unit(i + 1) < 0xDC00 || unit(i + 1) > 0xDFFF)
                return false;
            ++i;
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            return false;
        }
    }
    return true;
}

// How the sheet's bytes are read: UTF-16 after its byte-order mark; otherwise UTF-8
// unless the declaration names Latin-1 or the bytes are no UTF-8, which are then read
// as Latin-1. False for UTF-16 that is cut or holds a lone surrogate.
bool ChooseEncoding(const std::string& bytes, pugi::xml_encoding& encoding)
{
    if (StartsWith(bytes, "\xFF\xFE") || StartsWith(bytes, "\xFE\xFF")) {
        const bool little = bytes[0] == '\xFF';
        encoding = little ? pugi::encoding_utf16_le : pugi::encoding_utf16_be;
        return IsWholeUtf16(bytes, little);
    }
    const bool markedUtf8 = StartsWith(bytes, "\xEF\xBB\xBF");
    if ((!markedUtf8 && IsLatin1Name(DeclaredEncoding(bytes))) || !utf8::is_valid(bytes.begin(), bytes.end()))
        encoding = pugi::encoding_latin1;
    else
        encoding = pugi::encoding_utf8;
    return true;
}

bool LoadSheet(const std::string& path, pugi::xml_document& document)
{
    try {
        std::ifstream in = ostrel::OpenInputStream(ostrel::Utf8StringToPath(path));
        if (!in.is_open())
            return false;
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (in.bad())
            return false;
        pugi::xml_encoding encoding = pugi::encoding_auto;
        if (!ChooseEncoding(bytes, encoding))
            return false;
        return static_cast<bool>(document.load_buffer(bytes.data(), bytes.size(), pugi::parse_default, encoding));
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
    out = ostrel::ac::interop::ToWString(GS::UniString(text, GS::CC_UTF8));
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
