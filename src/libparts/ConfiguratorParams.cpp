#include "libparts/ConfiguratorParams.hpp"

#include "ostrel/Text.hpp"
#include "ostrel/interop/HostApi.hpp"

#include <utf8.h>

#include <cstring>
#include <vector>

namespace tarvel {
namespace {

using namespace HostInterface;

bool AcceptedType(std::int32_t type)
{
    return type == ElemWindow || type == ElemDoor || type == ElemObject || type == ElemLamp || type == ElemSkylight;
}

// The UTF-8 of UTF-16 units; a lone surrogate throws utf8::invalid_utf16.
std::string Utf8OfUnits(const GS::uchar_t* units, std::size_t count)
{
    std::wstring wide(count, L'\0');
    for (std::size_t i = 0; i < count; ++i)
        wide[i] = static_cast<wchar_t>(units[i]);
    return ostrel::WStringToUtf8(std::move(wide));
}

// A text field's UTF-8; reads stop at the end of the field.
std::string Utf8Field(const GS::uchar_t* units, std::size_t maxUnits)
{
    std::size_t count = 0;
    while (count < maxUnits && units[count] != 0)
        ++count;
    return Utf8OfUnits(units, count);
}

// rows x columns terminated texts from the table handle as UTF-8, never read past its end.
std::vector<std::vector<std::string>> ReadTable(const ParamRecord& record)
{
    std::vector<std::vector<std::string>> rows;
    GSHandle table = record.value.table;
    if (table == nullptr || *table == nullptr || record.rows <= 0 || record.columns <= 0)
        return rows;
    const std::size_t units = static_cast<std::size_t>(BMGetHandleSize(table)) / sizeof(GS::uchar_t);
    std::vector<GS::uchar_t> data(units);
    std::memcpy(data.data(), *table, units * sizeof(GS::uchar_t));
    std::size_t at = 0;
    for (std::int32_t r = 0; r < record.rows; ++r) {
        std::vector<std::string> row;
        for (std::int32_t c = 0; c < record.columns; ++c) {
            if (at >= units)
                return rows;
            const std::size_t start = at;
            while (at < units && data[at] != 0)
                ++at;
            row.push_back(Utf8OfUnits(data.data() + start, at - start));
            ++at;
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

// Whether XML 1.0 can carry the text: no control character but tab, line feed and
// carriage return (which XmlEscape writes as references), and neither U+FFFE nor U+FFFF.
// The text is valid UTF-8, so those two are the only sequences EF BF BE and EF BF BF.
bool XmlCanCarry(const std::string& text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r')
            return false;
        if (byte == 0xEF && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0xBF &&
            (static_cast<unsigned char>(text[i + 2]) & 0xFE) == 0xBE)
            return false;
    }
    return true;
}

}  // namespace

bool ReadAcceptedSelection(GS::Guid& element)
{
    SelectionInfo info;
    ZeroRecord(info);
    SelectionList items;
    const GSErrCode err = HostApi_ReadSelection(&info, &items, true, true, 0);
    BMKillHandle(&info.outline);
    if (err != 0 || info.selectedCount != 1 || info.editableCount != 1 || items.items.size() != 1)
        return false;
    std::int32_t type = 0;
    if (HostApi_ElementTypeOfNeig(items.items[0].kind, &type) != 0 || !AcceptedType(type))
        return false;
    element = items.items[0].guid;
    return true;
}

std::string ParamRecordName(const ParamRecord& record)
{
    return std::string(record.name, strnlen(record.name, sizeof record.name));
}

bool ParamNameIs(const ParamRecord& record, const char* name)
{
    char field[ParamNameBytes + 1] = {};
    std::memcpy(field, record.name, ParamNameBytes);
    return CHCompareTexts(field, name, 0, GS::CC_Default) == 0;
}

std::size_t ParamRecordCount(GSHandle params)
{
    if (params == nullptr || *params == nullptr)
        return 0;
    return static_cast<std::size_t>(BMGetHandleSize(params)) / sizeof(ParamRecord);
}

ParamRecord ParamRecordAt(GSHandle params, std::size_t i)
{
    ParamRecord record;
    std::memcpy(&record, *params + i * sizeof(ParamRecord), sizeof record);
    return record;
}

bool ReadSelectedProductParameters(std::string& baseUrl, std::string& startOptionsXml, std::string& productId,
                                   std::string& productGroup, std::string& section, std::string& culture)
{
    GS::Guid element;
    if (!ReadAcceptedSelection(element))
        return false;
    ElementMemo memo;
    if (HostApi_ReadElementMemo(element, &memo, MemoParameters) != 0) {
        HostApi_FreeMemo(&memo);
        return false;
    }
    if (memo.params == nullptr) {
        HostApi_FreeMemo(&memo);
        return false;
    }
    // Read into copies: the outputs change only when the answer is true.
    std::string modelFile;
    std::string url = baseUrl;
    std::string id = productId;
    std::string group = productGroup;
    std::string sectionText = section;
    std::string cultureText = culture;
    std::vector<std::vector<std::string>> rows;
    struct Text {
        const char* name;
        std::string* out;
    };
    const Text texts[] = {{"tv_base_url", &url},          {"tv_catalog_productid", &id},
                          {"tv_catalog_productgroup", &group}, {"tv_catalog_modelfile", &modelFile},
                          {"tv_catalog_section", &sectionText}, {"tv_catalog_culture", &cultureText}};
    const std::size_t count = ParamRecordCount(memo.params);
    try {
        for (std::size_t i = 0; i < count; ++i) {
            const ParamRecord record = ParamRecordAt(memo.params, i);
            bool matched = false;
            for (const Text& text : texts)
                if (ParamNameIs(record, text.name)) {
                    // A text taken from a table record would be its handle's bytes.
                    if (record.tableFlag != ParamIsTable)
                        *text.out = Utf8Field(record.value.text, ParamTextUnits);
                    matched = true;
                    break;
                }
            // Stored as a table only when the product has configuration parameters.
            if (!matched && ParamNameIs(record, "tv_config_params") && record.typeCode == ParamText &&
                record.tableFlag == ParamIsTable)
                for (auto& row : ReadTable(record))
                    rows.push_back(std::move(row));
        }
    } catch (const utf8::exception&) {
        // A lone surrogate names no character: the value cannot reach the configurator
        // as it stands, so nothing is sent rather than a changed value.
        HostApi_FreeMemo(&memo);
        return false;
    } catch (...) {
        HostApi_FreeMemo(&memo);
        throw;
    }
    HostApi_FreeMemo(&memo);

    // Texts the start options cannot carry unchanged are refused the same way.
    if (!XmlCanCarry(modelFile))
        return false;
    for (const auto& row : rows)
        if (row.size() == 2 && !(XmlCanCarry(row[0]) && XmlCanCarry(row[1])))
            return false;

    std::string xml =
        "<StartOptions><gui><common><guiLanguage value=\"en-GB\" /><action value=\"show\" /><startType "
        "value=\"5\" /></common><part nLang=\"en-GB\" model=\"";
    xml += XmlEscape(modelFile);
    xml += "\"><paramList order=\"false\">";
    for (const auto& row : rows) {
        if (row.size() != 2)
            continue;
        xml += "<param name=\"" + XmlEscape(row[0]) + "\" value=\"" + XmlEscape(row[1]) + "\" />";
    }
    xml += "</paramList></part></gui></StartOptions>";
    baseUrl = std::move(url);
    productId = std::move(id);
    productGroup = std::move(group);
    section = std::move(sectionText);
    culture = std::move(cultureText);
    startOptionsXml = std::move(xml);
    return true;
}

std::string XmlEscape(const std::string& text)
{
    std::string out;
    out.reserve(static_cast<std::size_t>(1.2 * static_cast<double>(text.size())));
    for (char c : text) {
        switch (static_cast<unsigned char>(c)) {
        case '&': out += "&amp;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        // White space as references, so that the reader's normalisation of attribute
        // values does not turn it into blanks.
        case '\t': out += "&#9;"; break;
        case '\n': out += "&#10;"; break;
        case '\r': out += "&#13;"; break;
        default: out.push_back(c); break;
        }
    }
    return out;
}

}  // namespace tarvel
