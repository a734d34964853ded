#include "ParamRecords.hpp"
#include "standin/AddOn.hpp"
#include "standin/Elements.hpp"

#include <algorithm>
#include <cstring>

namespace standin {
namespace {

using namespace HostInterface;

ElementModule& Elements() { return Host::Current().Module<ElementModule>(); }

GSErrCode ReadSelection(SelectionInfo* info, SelectionList* items, bool onlyEditable, bool ignoreSubElements,
                        std::int32_t reserved)
{
    return Elements().ReadSelection(info, items, onlyEditable, ignoreSubElements, reserved);
}
GSErrCode ElementTypeOfNeig(std::int32_t kind, std::int32_t* elementType)
{
    if (elementType == nullptr)
        return ErrBadParameter;
    *elementType = ElementModule::TypeOfKind(kind);
    return *elementType != 0 ? 0 : ErrBadParameter;
}
GSErrCode ReadElementMemo(const GS::Guid& guid, ElementMemo* memo, std::uint64_t mask)
{
    return Elements().ReadMemo(&guid, memo, mask);
}
GSErrCode FreeMemo(ElementMemo* memo)
{
    if (memo == nullptr)
        return 0;
    return records::ReleaseParameters(&memo->params);
}
GSErrCode FreeParamHandle(GSHandle* parameters)
{
    return records::ReleaseParameters(parameters);
}
GSErrCode ReadElement(ElementRecord* element, const void* reserved)
{
    return Elements().ReadElement(element, reserved);
}
GSErrCode ModifyElement(ElementRecord* element, const ElementRecord* mask, ElementMemo* memo,
                        std::uint64_t memoMask, bool withDelete)
{
    return Elements().Modify(element, mask, memo, memoMask, withDelete);
}
GSErrCode RunAsUndoStep(const GS::UniString& name, const UndoableCommand& command)
{
    return Elements().RunAsUndoStep(&name, &command);
}

constexpr std::int32_t KindBase = 0x100;

}  // namespace

std::int32_t PlacedElement::LibIndex() const
{
    return Type() == ElemObject || Type() == ElemLamp ? record.objectLibIndex : record.openingLibIndex;
}

const PartParameter* PlacedElement::Parameter(const std::string& name) const
{
    for (const auto& p : parameters)
        if (p.name == name)
            return &p;
    return nullptr;
}

ElementModule::ElementModule(Host& host) : host_(host) {}

void ElementModule::Install(FunctionTable& table)
{
    table.Provide<Slot::ReadSelection, &standin::ReadSelection>();
    table.Provide<Slot::ElementTypeOfNeig, &ElementTypeOfNeig>();
    table.Provide<Slot::ReadElementMemo, &ReadElementMemo>();
    table.Provide<Slot::FreeMemo, &FreeMemo>();
    table.Provide<Slot::FreeParamHandle, &FreeParamHandle>();
    table.Provide<Slot::ReadElement, &standin::ReadElement>();
    table.Provide<Slot::ModifyElement, &ModifyElement>();
    table.Provide<Slot::RunAsUndoStep, &standin::RunAsUndoStep>();
}

std::int32_t ElementModule::KindOfType(std::int32_t elementType) { return KindBase + elementType; }

std::int32_t ElementModule::TypeOfKind(std::int32_t kind)
{
    const std::int32_t type = kind - KindBase;
    switch (type) {
    case ElemWall:
    case ElemWindow:
    case ElemDoor:
    case ElemObject:
    case ElemLamp:
    case ElemSkylight:
        return type;
    default:
        return 0;
    }
}

GS::Guid ElementModule::Place(std::int32_t elementType, std::int32_t libIndex, double a, double b,
                              std::vector<PartParameter> parameters, bool hasParameters)
{
    PlacedElement element;
    ZeroRecord(element.record);
    element.record.elementType = elementType;
    const std::uint32_t serial = nextGuid_++;
    std::uint8_t* g = element.record.guid.Bytes();
    std::memcpy(g, &serial, sizeof serial);
    g[6] = 0x40;
    g[8] = 0x80;
    g[15] = 0x5A;
    element.record.a = a;
    element.record.b = b;
    if (elementType == ElemObject || elementType == ElemLamp)
        element.record.objectLibIndex = libIndex;
    else if (elementType != ElemWall)
        element.record.openingLibIndex = libIndex;
    // Settings of the element's own (its place): bytes the add-on never writes.
    const double x = 1.5 * serial;
    std::memcpy(reinterpret_cast<char*>(&element.record) + 64, &x, sizeof x);
    element.kind = KindOfType(elementType);
    element.hasParameters = hasParameters;
    element.parameters = std::move(parameters);
    elements_.push_back(std::move(element));
    return elements_.back().record.guid;
}

GS::Guid ElementModule::PlacePart(std::int32_t elementType, std::int32_t libIndex)
{
    const LibPart* part = host_.Module<LibPartModule>().ActivePart(libIndex);
    if (part == nullptr)
        throw std::invalid_argument("no active library part of that index");
    return Place(elementType, libIndex, part->a, part->b, part->parameters, true);
}

void ElementModule::SetEditable(const GS::Guid& guid, bool editable)
{
    if (PlacedElement* element = Find(guid))
        element->editable = editable;
}

void ElementModule::Select(const std::vector<GS::Guid>& guids)
{
    selection_ = guids;
    // The add-on hears of every change, with the items it can read.
    std::vector<SelectedItem> items;
    for (const auto& guid : selection_)
        if (const PlacedElement* element = Find(guid)) {
            SelectedItem item;
            ZeroRecord(item);
            item.kind = element->kind;
            item.guid = guid;
            items.push_back(item);
        }
    host_.Module<RegistrationModule>().NotifySelectionChanged(items);
}

std::optional<PlacedElement> ElementModule::Element(const GS::Guid& guid) const
{
    for (const auto& element : elements_)
        if (element.record.guid == guid)
            return element;
    return std::nullopt;
}

PlacedElement* ElementModule::Find(const GS::Guid& guid)
{
    for (auto& element : elements_)
        if (element.record.guid == guid)
            return &element;
    return nullptr;
}

std::vector<std::string> ElementModule::UndoSteps() const
{
    std::vector<std::string> names;
    for (const auto& step : undo_)
        names.push_back(step.name);
    return names;
}

bool ElementModule::Undo()
{
    if (undo_.empty())
        return false;
    redo_.push_back(UndoStep{undo_.back().name, std::move(elements_)});
    elements_ = std::move(undo_.back().before);
    undo_.pop_back();
    return true;
}

bool ElementModule::Redo()
{
    if (redo_.empty())
        return false;
    undo_.push_back(UndoStep{redo_.back().name, std::move(elements_)});
    elements_ = std::move(redo_.back().before);
    redo_.pop_back();
    return true;
}

GSErrCode ElementModule::ReadSelection(SelectionInfo* info, SelectionList* items, bool onlyEditable,
                                       bool ignoreSubElements, std::int32_t reserved)
{
    if (info == nullptr || items == nullptr || !onlyEditable || !ignoreSubElements || reserved != 0)
        return ErrBadParameter;
    ZeroRecord(*info);
    items->items.clear();
    std::int32_t editable = 0;
    for (const auto& guid : selection_) {
        const PlacedElement* element = Find(guid);
        if (element == nullptr)
            continue;
        SelectedItem item;
        ZeroRecord(item);
        item.kind = element->kind;
        item.guid = guid;
        items->items.push_back(item);
        editable += element->editable ? 1 : 0;
    }
    if (items->items.empty())
        return ErrNotFound;
    info->kind = 1;
    info->selectedCount = static_cast<std::int32_t>(items->items.size());
    info->editableCount = editable;
    info->outline = BMAllocateHandle(32, ALLOCATE_CLEAR, 0);
    return 0;
}

GSErrCode ElementModule::ReadMemo(const GS::Guid* guid, ElementMemo* memo, std::uint64_t mask)
{
    if (guid == nullptr || memo == nullptr || (mask != MemoParameters && mask != ReplacementMemoMask))
        return ErrBadParameter;
    // A memo still holding a list would lose it.
    if (memo->params != nullptr)
        return ErrBadParameter;
    const PlacedElement* element = Find(*guid);
    if (element == nullptr)
        return ErrNotFound;
    if ((mask & MemoParameters) != 0 && element->hasParameters) {
        memo->params = records::EncodeParameters(element->parameters);
        if (!element->parameters.empty() && memo->params == nullptr)
            return ErrMemory;
    }
    return 0;
}

GSErrCode ElementModule::ReadElement(ElementRecord* element, const void* reserved)
{
    if (element == nullptr || reserved != nullptr)
        return ErrBadParameter;
    if (!records::ZeroOutside(element, sizeof *element, offsetof(ElementRecord, guid),
                              offsetof(ElementRecord, guid) + sizeof(GS::Guid)))
        return ErrBadRecord;
    const PlacedElement* placed = Find(element->guid);
    if (placed == nullptr)
        return ErrNotFound;
    *element = placed->record;
    return 0;
}

GSErrCode ElementModule::Modify(ElementRecord* element, const ElementRecord* mask, ElementMemo* memo,
                                std::uint64_t memoMask, bool withDelete)
{
    if (!inUndoStep_)
        return ErrWrongState;
    if (element == nullptr || mask == nullptr || memoMask != MemoParameters || !withDelete)
        return ErrBadParameter;
    if (memo == nullptr || memo->params == nullptr)
        return ErrBadParameter;
    PlacedElement* placed = Find(element->guid);
    if (placed == nullptr)
        return ErrNotFound;
    const std::int32_t type = placed->Type();
    if (element->elementType != type)
        return ErrBadRecord;
    const bool object = type == ElemObject || type == ElemLamp;
    const std::size_t indexOffset = records::LibIndexOffset(type);
    if (const GSErrCode err = records::CheckElementMask(*mask, type); err != 0)
        return err;
    const std::int32_t index = object ? element->objectLibIndex : element->openingLibIndex;
    const bool newIndex = records::Marked(*mask, indexOffset);
    if (newIndex && host_.Module<LibPartModule>().ActivePart(index) == nullptr)
        return ErrNotFound;
    std::vector<PartParameter> parameters;
    if (const GSErrCode err = records::DecodeParameters(memo->params, parameters); err != 0)
        return err;
    if (newIndex)
        (object ? placed->record.objectLibIndex : placed->record.openingLibIndex) = index;
    if (records::Marked(*mask, offsetof(ElementRecord, a)))
        placed->record.a = element->a;
    if (records::Marked(*mask, offsetof(ElementRecord, b)))
        placed->record.b = element->b;
    placed->parameters = std::move(parameters);
    placed->hasParameters = true;
    return 0;
}

GSErrCode ElementModule::RunAsUndoStep(const GS::UniString* name, const UndoableCommand* command)
{
    if (name == nullptr || name->IsEmpty() || command == nullptr || !*command)
        return ErrBadParameter;
    if (inUndoStep_)
        return ErrWrongState;
    std::vector<PlacedElement> before = elements_;
    inUndoStep_ = true;
    GSErrCode result = 0;
    try {
        result = (*command)();
    } catch (...) {
        result = ErrGeneral;
    }
    inUndoStep_ = false;
    if (result != 0) {
        // A failed command leaves nothing behind.
        elements_ = std::move(before);
        return result;
    }
    undo_.push_back(UndoStep{name->ToUtf8(), std::move(before)});
    redo_.clear();
    return 0;
}

}  // namespace standin
