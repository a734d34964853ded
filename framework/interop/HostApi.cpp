#include "ostrel/interop/HostApi.hpp"

#include <array>
#include <cstring>

namespace {

using HostInterface::Entry;
using HostInterface::Slot;

// The add-on's own copy of the host's table. Written once at load, before any
// thread of the add-on runs; read-only afterwards.
std::array<Entry, HostInterface::FunctionTableEntries> table{};
bool installed = false;

template <typename F, typename... Args>
GSErrCode Call(Slot slot, Args... args)
{
    const Entry entry = table[HostInterface::SlotIndex(slot)];
    if (!installed || entry == nullptr)
        return HostInterface::ErrNotProvided;
    return reinterpret_cast<F>(entry)(args...);
}

}  // namespace

namespace ostrel::ac::hostapi {

void InstallFunctionTable(const void* hostTable)
{
    std::memcpy(table.data(), hostTable, HostInterface::FunctionTableBytes);
    installed = true;
}

void UninstallFunctionTable()
{
    table.fill(nullptr);
    installed = false;
}

bool IsInstalled() { return installed; }

}  // namespace ostrel::ac::hostapi

namespace Fn = HostInterface::Fn;

GSErrCode HostApi_AddMenu(std::int16_t menuList, std::int16_t promptList, std::int32_t position, std::int32_t flags)
{
    return Call<Fn::AddMenu>(Slot::AddMenu, menuList, promptList, position, flags);
}

GSErrCode HostApi_SetMenuCommandHandler(std::int16_t menuList, HostInterface::MenuCommandHandler handler)
{
    return Call<Fn::SetMenuCommandHandler>(Slot::SetMenuCommandHandler, menuList, handler);
}

GSErrCode HostApi_AddPaletteWindow(std::int32_t referenceId, HostInterface::PaletteMessageHandler handler,
                                   std::int32_t flags, const GS::Guid& guid)
{
    return Call<Fn::AddPaletteWindow>(Slot::AddPaletteWindow, referenceId, handler, flags, &guid);
}

GSErrCode HostApi_RemovePaletteWindow(std::int32_t referenceId)
{
    return Call<Fn::RemovePaletteWindow>(Slot::RemovePaletteWindow, referenceId);
}

GSErrCode HostApi_WatchProjectEvents(std::int32_t mask, HostInterface::ProjectEventHandler handler)
{
    return Call<Fn::WatchProjectEvents>(Slot::WatchProjectEvents, mask, handler);
}

GSErrCode HostApi_WatchSelection(HostInterface::SelectionChangeHandler handler)
{
    return Call<Fn::WatchSelection>(Slot::WatchSelection, handler);
}

GSResModule HostApi_ResourceModuleId()
{
    // No error code of its own: without the host there is no module (0).
    const Entry entry = table[HostInterface::SlotIndex(Slot::ResourceModuleId)];
    if (!installed || entry == nullptr)
        return 0;
    return reinterpret_cast<Fn::ResourceModuleId>(entry)();
}

GSErrCode HostApi_LoadIndexedString(GSResModule module, std::int16_t list, std::int16_t index, GS::uchar_t* buffer)
{
    return Call<Fn::LoadIndexedString>(Slot::LoadIndexedString, module, list, index, buffer);
}

GSErrCode HostApi_AddOnFileLocation(IO::Location* location)
{
    return Call<Fn::AddOnFileLocation>(Slot::AddOnFileLocation, location);
}

GSErrCode HostApi_Report(const GS::UniString& text, bool alert)
{
    return Call<Fn::Report>(Slot::Report, &text, alert);
}

GSErrCode HostApi_FindLibPart(HostInterface::LibPartRecord* record, bool onlyPlaceable, bool onlyActive)
{
    return Call<Fn::FindLibPart>(Slot::FindLibPart, record, onlyPlaceable, onlyActive);
}

GSErrCode HostApi_SetOverwriteLibParts(bool overwrite)
{
    return Call<Fn::SetOverwriteLibParts>(Slot::SetOverwriteLibParts, overwrite);
}

GSErrCode HostApi_BeginLibPart(HostInterface::LibPartRecord* record)
{
    return Call<Fn::BeginLibPart>(Slot::BeginLibPart, record);
}

GSErrCode HostApi_BuildParamSection(HostInterface::LibPartRecord* record, GSHandle parameters, const double* a,
                                    const double* b, std::int32_t reserved1, GSHandle* section,
                                    std::int32_t reserved2)
{
    return Call<Fn::BuildParamSection>(Slot::BuildParamSection, record, parameters, a, b, reserved1, section,
                                       reserved2);
}

GSErrCode HostApi_SetParamSectionDetails(HostInterface::LibPartRecord* record, GSHandle section,
                                         const HostInterface::ParamDetailsRecord* details)
{
    return Call<Fn::SetParamSectionDetails>(Slot::SetParamSectionDetails, record, section, details);
}

GSErrCode HostApi_AddLibPartSection(const HostInterface::SectionHeader* header, GSHandle content,
                                    const void* reserved)
{
    return Call<Fn::AddLibPartSection>(Slot::AddLibPartSection, header, content, reserved);
}

GSErrCode HostApi_BeginLibPartSection(const HostInterface::SectionHeader* header)
{
    return Call<Fn::BeginLibPartSection>(Slot::BeginLibPartSection, header);
}

GSErrCode HostApi_WriteLibPartSection(std::int32_t count, const char* bytes)
{
    return Call<Fn::WriteLibPartSection>(Slot::WriteLibPartSection, count, bytes);
}

GSErrCode HostApi_EndLibPartSection() { return Call<Fn::EndLibPartSection>(Slot::EndLibPartSection); }

GSErrCode HostApi_SaveLibPart(HostInterface::LibPartRecord* record)
{
    return Call<Fn::SaveLibPart>(Slot::SaveLibPart, record);
}

GSErrCode HostApi_GetLibraryList(HostInterface::LibraryList* list)
{
    return Call<Fn::GetLibraryList>(Slot::GetLibraryList, list);
}

GSErrCode HostApi_SetLibraryList(const HostInterface::LibraryList* list)
{
    return Call<Fn::SetLibraryList>(Slot::SetLibraryList, list);
}

GSErrCode HostApi_SelectTool(const HostInterface::ToolboxRecord* tool)
{
    return Call<Fn::SelectTool>(Slot::SelectTool, tool);
}

GSErrCode HostApi_ReadToolDefaults(HostInterface::ElementRecord* element, HostInterface::ElementMemo* memo)
{
    return Call<Fn::ReadToolDefaults>(Slot::ReadToolDefaults, element, memo);
}

GSErrCode HostApi_GetLibPartDefaults(std::int32_t libraryIndex, double* a, double* b, std::int32_t* parameterCount,
                                     GSHandle* parameters)
{
    return Call<Fn::GetLibPartDefaults>(Slot::GetLibPartDefaults, libraryIndex, a, b, parameterCount, parameters);
}

GSErrCode HostApi_StoreToolDefaults(const HostInterface::ElementRecord* element, HostInterface::ElementMemo* memo,
                                    const HostInterface::ElementRecord* mask)
{
    return Call<Fn::StoreToolDefaults>(Slot::StoreToolDefaults, element, memo, mask);
}

GSErrCode HostApi_ReadSelection(HostInterface::SelectionInfo* info, HostInterface::SelectionList* items,
                                bool onlyEditable, bool ignoreSubElements, std::int32_t reserved)
{
    return Call<Fn::ReadSelection>(Slot::ReadSelection, info, items, onlyEditable, ignoreSubElements, reserved);
}

GSErrCode HostApi_ElementTypeOfNeig(std::int32_t kind, std::int32_t* elementType)
{
    return Call<Fn::ElementTypeOfNeig>(Slot::ElementTypeOfNeig, kind, elementType);
}

GSErrCode HostApi_ReadElementMemo(const GS::Guid& element, HostInterface::ElementMemo* memo, std::uint64_t mask)
{
    return Call<Fn::ReadElementMemo>(Slot::ReadElementMemo, &element, memo, mask);
}

GSErrCode HostApi_FreeMemo(HostInterface::ElementMemo* memo) { return Call<Fn::FreeMemo>(Slot::FreeMemo, memo); }

GSErrCode HostApi_FreeParamHandle(GSHandle* parameters)
{
    return Call<Fn::FreeParamHandle>(Slot::FreeParamHandle, parameters);
}

GSErrCode HostApi_ReadElement(HostInterface::ElementRecord* element, const void* reserved)
{
    return Call<Fn::ReadElement>(Slot::ReadElement, element, reserved);
}

GSErrCode HostApi_ModifyElement(HostInterface::ElementRecord* element, const HostInterface::ElementRecord* mask,
                                HostInterface::ElementMemo* memo, std::uint64_t memoMask, bool withDelete)
{
    return Call<Fn::ModifyElement>(Slot::ModifyElement, element, mask, memo, memoMask, withDelete);
}

GSErrCode HostApi_RunAsUndoStep(const GS::UniString& name, const HostInterface::UndoableCommand& command)
{
    return Call<Fn::RunAsUndoStep>(Slot::RunAsUndoStep, &name, &command);
}
