#include "libparts/ConfiguratorParams.hpp"

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

// Each UTF-16 unit becomes its low byte; reads stop at the end of the field.
std::string NarrowField(const GS::uchar_t* units, std::size_t maxUnits)
{
    std::string out;
    for (std::size_t i = 0; i < maxUnits && units[i] != 0; ++i)
        out.push_back(static_cast<char>(units[i] & 0xFF));
    return out;
}

// rows x columns terminated texts from the table handle, never read past its end.
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
            std::string cell;
            while (at < units && data[at] != 0)
                cell.push_back(static_cast<char>(data[at++] & 0xFF));
            ++at;
            row.push_back(std::move(cell));
        }
        rows.push_back(std::move(row));
    }
    return rows;
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
    for (std::size_t i = 0; i < count; ++i) {
        const ParamRecord record = ParamRecordAt(memo.params, i);
        bool matched = false;
        for (const Text& text : texts)
            if (ParamNameIs(record, text.name)) {
                // A text taken from a table record would be its handle's bytes.
                if (record.tableFlag != ParamIsTable)
                    *text.out = NarrowField(record.value.text, ParamTextUnits);
                matched = true;
                break;
            }
        // Stored as a table only when the product has configuration parameters.
        if (!matched && ParamNameIs(record, "tv_config_params") && record.typeCode == ParamText &&
            record.tableFlag == ParamIsTable)
            for (auto& row : ReadTable(record))
                rows.push_back(std::move(row));
    }
    HostApi_FreeMemo(&memo);

    // The base URL becomes a UTF-8 text for the configurator's address: bytes that are no
    // UTF-8 name no usable address.
    if (!utf8::is_valid(url.begin(), url.end()))
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
        case 0xAE: out += "&#174;"; break;
        default: out.push_back(c); break;
        }
    }
    return out;
}

}  // namespace tarvel
