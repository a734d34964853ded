#include "ParamRecords.hpp"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <set>

namespace standin::records {
namespace {

using HostInterface::ParamRecord;

// Text tables inside the host's own parameter lists: released with them.
std::mutex tablesMutex;
std::set<GSHandle> hostTables;

constexpr std::int16_t KnownFlags = HostInterface::ParamFlagA | HostInterface::ParamFlagB |
                                    HostInterface::ParamFlagTitle;

GSErrCode DecodeTable(const ParamRecord& record, PartParameter& out)
{
    GSHandle table = record.value.table;
    if (record.typeCode != HostInterface::ParamText || record.rows <= 0 || record.columns <= 0 ||
        table == nullptr || *table == nullptr)
        return HostInterface::ErrBadRecord;
    const GSSize size = BMGetHandleSize(table);
    if (size <= 0 || size % 2 != 0)
        return HostInterface::ErrBadRecord;
    const std::size_t units = static_cast<std::size_t>(size / 2);
    const auto* data = reinterpret_cast<const GS::uchar_t*>(*table);
    const std::size_t cells = static_cast<std::size_t>(record.rows) * static_cast<std::size_t>(record.columns);
    std::size_t at = 0;
    for (std::size_t c = 0; c < cells; ++c) {
        const std::size_t start = at;
        while (at < units && data[at] != 0)
            ++at;
        if (at == units)
            return HostInterface::ErrBadRecord;
        out.cells.emplace_back(data + start, at - start);
        ++at;
    }
    if (at != units)
        return HostInterface::ErrBadRecord;
    out.rows = record.rows;
    out.columns = record.columns;
    return 0;
}

GSErrCode DecodeOne(const ParamRecord& record, PartParameter& out)
{
    const std::int32_t type = record.typeCode;
    if (type != HostInterface::ParamInteger && type != HostInterface::ParamLength &&
        type != HostInterface::ParamText && type != HostInterface::ParamTitle)
        return HostInterface::ErrBadRecord;
    if (record.reserved4 != 0 || (record.tableFlag != 0 && record.tableFlag != HostInterface::ParamIsTable))
        return HostInterface::ErrBadRecord;
    if (!TerminatedWithin(record.name, sizeof record.name) || record.name[0] == '\0')
        return HostInterface::ErrBadRecord;
    if (!TerminatedWithin(record.description, HostInterface::ParamTextUnits))
        return HostInterface::ErrBadRecord;
    if ((record.flags & ~KnownFlags) != 0)
        return HostInterface::ErrBadRecord;
    out = PartParameter{};
    out.typeCode = type;
    out.tableFlag = record.tableFlag;
    out.flags = record.flags;
    out.name = record.name;
    out.description = FieldUnits(record.description, HostInterface::ParamTextUnits);
    if (record.tableFlag == HostInterface::ParamIsTable)
        return DecodeTable(record, out);
    if (record.rows != 0 || record.columns != 0)
        return HostInterface::ErrBadRecord;
    if (type == HostInterface::ParamInteger || type == HostInterface::ParamLength) {
        out.number = record.value.number;
        return 0;
    }
    if (!TerminatedWithin(record.value.text, HostInterface::ParamTextUnits))
        return HostInterface::ErrBadRecord;
    out.text = FieldUnits(record.value.text, HostInterface::ParamTextUnits);
    return 0;
}

template <typename T>
void CopyUnits(const std::u16string& text, T* field, std::size_t units)
{
    const std::size_t n = std::min(text.size(), units - 1);
    std::copy_n(text.data(), n, field);
    field[n] = 0;
}

}  // namespace

bool TerminatedWithin(const GS::uchar_t* field, std::size_t units)
{
    return std::find(field, field + units, GS::uchar_t(0)) != field + units;
}

bool TerminatedWithin(const char* field, std::size_t bytes)
{
    return std::memchr(field, 0, bytes) != nullptr;
}

std::u16string FieldUnits(const GS::uchar_t* field, std::size_t units)
{
    const auto* end = std::find(field, field + units, GS::uchar_t(0));
    return std::u16string(field, end);
}

GSErrCode DecodeParameters(GSHandle handle, std::vector<PartParameter>& out)
{
    out.clear();
    if (handle == nullptr)
        return 0;
    const GSSize size = BMGetHandleSize(handle);
    if (size % static_cast<GSSize>(sizeof(ParamRecord)) != 0 || *handle == nullptr)
        return HostInterface::ErrBadRecord;
    const std::size_t count = static_cast<std::size_t>(size) / sizeof(ParamRecord);
    for (std::size_t i = 0; i < count; ++i) {
        ParamRecord record;
        std::memcpy(&record, *handle + i * sizeof(ParamRecord), sizeof record);
        PartParameter parameter;
        if (const GSErrCode err = DecodeOne(record, parameter); err != 0) {
            out.clear();
            return err;
        }
        out.push_back(std::move(parameter));
    }
    return 0;
}

GSHandle EncodeParameters(const std::vector<PartParameter>& parameters)
{
    if (parameters.empty())
        return nullptr;
    GSHandle handle = BMAllocateHandle(static_cast<GSSize>(parameters.size() * sizeof(ParamRecord)),
                                       ALLOCATE_CLEAR, 0);
    if (handle == nullptr)
        return nullptr;
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        const PartParameter& p = parameters[i];
        ParamRecord record;
        HostInterface::ZeroRecord(record);
        record.typeCode = p.typeCode;
        record.tableFlag = p.tableFlag;
        record.flags = p.flags;
        std::strncpy(record.name, p.name.c_str(), sizeof record.name - 1);
        CopyUnits(p.description, record.description, HostInterface::ParamTextUnits);
        if (p.IsTable()) {
            record.rows = p.rows;
            record.columns = p.columns;
            std::u16string packed;
            for (const auto& cell : p.cells) {
                packed += cell;
                packed.push_back(0);
            }
            GSHandle table = BMAllocateHandle(static_cast<GSSize>(packed.size() * 2), ALLOCATE_CLEAR, 0);
            if (table != nullptr) {
                std::memcpy(*table, packed.data(), packed.size() * 2);
                std::lock_guard lock(tablesMutex);
                hostTables.insert(table);
            }
            record.value.table = table;
        } else if (p.typeCode == HostInterface::ParamInteger || p.typeCode == HostInterface::ParamLength) {
            record.value.number = p.number;
        } else {
            CopyUnits(p.text, record.value.text, HostInterface::ParamTextUnits);
        }
        std::memcpy(*handle + i * sizeof(ParamRecord), &record, sizeof record);
    }
    return handle;
}

GSErrCode ReleaseParameters(GSHandle* handle)
{
    if (handle == nullptr || *handle == nullptr)
        return 0;
    const GSSize size = BMGetHandleSize(*handle);
    if (size % static_cast<GSSize>(sizeof(ParamRecord)) != 0)
        return HostInterface::ErrBadRecord;
    const std::size_t count = static_cast<std::size_t>(size) / sizeof(ParamRecord);
    for (std::size_t i = 0; i < count; ++i) {
        ParamRecord record;
        std::memcpy(&record, **handle + i * sizeof(ParamRecord), sizeof record);
        if (record.typeCode != HostInterface::ParamText || record.tableFlag != HostInterface::ParamIsTable)
            continue;
        GSHandle table = record.value.table;
        std::lock_guard lock(tablesMutex);
        if (hostTables.erase(table) != 0)
            BMKillHandle(&table);
    }
    BMKillHandle(handle);
    return 0;
}

GSErrCode CheckMask(const HostInterface::ElementRecord& mask, std::initializer_list<std::size_t> allowed)
{
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&mask);
    for (std::size_t i = 0; i < sizeof mask; ++i) {
        if (bytes[i] == 0)
            continue;
        if (bytes[i] != 0xFF || std::find(allowed.begin(), allowed.end(), i) == allowed.end())
            return HostInterface::ErrBadRecord;
    }
    return 0;
}

bool Marked(const HostInterface::ElementRecord& mask, std::size_t offset)
{
    return reinterpret_cast<const std::uint8_t*>(&mask)[offset] == 0xFF;
}

std::size_t LibIndexOffset(std::int32_t elementType)
{
    using HostInterface::ElementRecord;
    const bool object = elementType == HostInterface::ElemObject || elementType == HostInterface::ElemLamp;
    return object ? offsetof(ElementRecord, objectLibIndex) : offsetof(ElementRecord, openingLibIndex);
}

GSErrCode CheckElementMask(const HostInterface::ElementRecord& mask, std::int32_t elementType)
{
    using HostInterface::ElementRecord;
    return CheckMask(mask, {offsetof(ElementRecord, a), offsetof(ElementRecord, b), LibIndexOffset(elementType)});
}

bool ZeroOutside(const void* record, std::size_t size, std::size_t from, std::size_t to)
{
    const auto* bytes = static_cast<const std::uint8_t*>(record);
    for (std::size_t i = 0; i < size; ++i)
        if ((i < from || i >= to) && bytes[i] != 0)
            return false;
    return true;
}

}  // namespace standin::records
