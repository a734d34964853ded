#include "ParamRecords.hpp"
#include "standin/Elements.hpp"

#include <cstring>

namespace standin {
namespace {

using namespace HostInterface;

ToolModule& Tools() { return Host::Current().Module<ToolModule>(); }

GSErrCode SelectTool(const ToolboxRecord* tool)
{
    return Tools().Select(tool);
}
GSErrCode ReadToolDefaults(ElementRecord* element, ElementMemo* memo)
{
    return Tools().ReadDefaults(element, memo);
}
GSErrCode GetLibPartDefaults(std::int32_t index, double* a, double* b, std::int32_t* count, GSHandle* parameters)
{
    return Tools().PartDefaults(index, a, b, count, parameters);
}
GSErrCode StoreToolDefaults(const ElementRecord* element, ElementMemo* memo, const ElementRecord* mask)
{
    return Tools().StoreDefaults(element, memo, mask);
}

}  // namespace

ToolModule::ToolModule(Host& host) : host_(host)
{
    for (std::int32_t type : {ElemWindow, ElemDoor, ElemObject, ElemLamp, ElemSkylight}) {
        ElementRecord record;
        ZeroRecord(record);
        record.elementType = type;
        record.a = 1.0;
        record.b = 1.0;
        // A setting of the tool's own that the add-on never writes.
        const double setting = 0.25 * type;
        std::memcpy(reinterpret_cast<char*>(&record) + DefaultSettingOffset, &setting, sizeof setting);
        defaults_[type] = record;
    }
}

void ToolModule::Install(FunctionTable& table)
{
    table.Provide<Slot::SelectTool, &SelectTool>();
    table.Provide<Slot::ReadToolDefaults, &ReadToolDefaults>();
    table.Provide<Slot::GetLibPartDefaults, &GetLibPartDefaults>();
    table.Provide<Slot::StoreToolDefaults, &StoreToolDefaults>();
}

bool ToolModule::IsToolType(std::int32_t type)
{
    return type == ElemWindow || type == ElemDoor || type == ElemObject || type == ElemLamp || type == ElemSkylight;
}

ElementRecord ToolModule::Defaults(std::int32_t elementType) const
{
    auto it = defaults_.find(elementType);
    if (it == defaults_.end())
        throw std::out_of_range("no tool of that element type");
    return it->second;
}

void ToolModule::SetDefaults(std::int32_t elementType, const ElementRecord& record) { defaults_[elementType] = record; }

GSErrCode ToolModule::Select(const ToolboxRecord* tool)
{
    if (tool == nullptr || !IsToolType(tool->elementType) || tool->variation != 0 ||
        !records::ZeroOutside(tool, sizeof *tool, 0, 8))
        return ErrBadRecord;
    activeTool_ = tool->elementType;
    return 0;
}

GSErrCode ToolModule::ReadDefaults(ElementRecord* element, ElementMemo* memo)
{
    if (element == nullptr || !IsToolType(element->elementType) ||
        !records::ZeroOutside(element, sizeof *element, 0, 4))
        return ErrBadRecord;
    if (memo != nullptr && memo->params != nullptr)
        return ErrBadParameter;
    *element = defaults_.at(element->elementType);
    return 0;
}

GSErrCode ToolModule::PartDefaults(std::int32_t index, double* a, double* b, std::int32_t* count,
                                   GSHandle* parameters)
{
    if (a == nullptr || b == nullptr || count == nullptr || parameters == nullptr)
        return ErrBadParameter;
    const LibPart* part = host_.Module<LibPartModule>().ActivePart(index);
    if (part == nullptr)
        return ErrNotFound;
    *a = part->a;
    *b = part->b;
    *parameters = records::EncodeParameters(part->parameters);
    if (!part->parameters.empty() && *parameters == nullptr)
        return ErrMemory;
    *count = static_cast<std::int32_t>(part->parameters.size());
    return 0;
}

GSErrCode ToolModule::StoreDefaults(const ElementRecord* element, ElementMemo* memo, const ElementRecord* mask)
{
    if (element == nullptr || mask == nullptr || !IsToolType(element->elementType))
        return ErrBadRecord;
    if (memo != nullptr && memo->params != nullptr)
        return ErrBadParameter;
    const std::int32_t type = element->elementType;
    const bool object = type == ElemObject || type == ElemLamp;
    const std::size_t indexOffset = records::LibIndexOffset(type);
    if (const GSErrCode err = records::CheckElementMask(*mask, type); err != 0)
        return err;
    ElementRecord& target = defaults_.at(type);
    if (records::Marked(*mask, indexOffset)) {
        const std::int32_t index = object ? element->objectLibIndex : element->openingLibIndex;
        if (host_.Module<LibPartModule>().ActivePart(index) == nullptr)
            return ErrNotFound;
        (object ? target.objectLibIndex : target.openingLibIndex) = index;
    }
    if (records::Marked(*mask, offsetof(ElementRecord, a)))
        target.a = element->a;
    if (records::Marked(*mask, offsetof(ElementRecord, b)))
        target.b = element->b;
    return 0;
}

}  // namespace standin
