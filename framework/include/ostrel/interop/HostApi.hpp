// Every call of the add-on into the host's programming interface. Each goes through
// the copy of the host's function table that the add-on took at load; a slot the
// host leaves empty answers HostInterface::ErrNotProvided.
#pragma once

#include "GSRoot.hpp"
#include "HostInterface.hpp"

#include <cstddef>
#include <cstdint>

namespace IO { class Location; }

namespace ostrel::ac::hostapi {

// Copies the host's table (HostInterface::FunctionTableBytes) and marks it installed.
void InstallFunctionTable(const void* table);
void UninstallFunctionTable();
bool IsInstalled();

}  // namespace ostrel::ac::hostapi

// registration
GSErrCode HostApi_AddMenu(std::int16_t menuList, std::int16_t promptList, std::int32_t position, std::int32_t flags);
GSErrCode HostApi_SetMenuCommandHandler(std::int16_t menuList, HostInterface::MenuCommandHandler handler);
GSErrCode HostApi_AddPaletteWindow(std::int32_t referenceId, HostInterface::PaletteMessageHandler handler,
                                   std::int32_t flags, const GS::Guid& guid);
GSErrCode HostApi_RemovePaletteWindow(std::int32_t referenceId);
GSErrCode HostApi_WatchProjectEvents(std::int32_t mask, HostInterface::ProjectEventHandler handler);
GSErrCode HostApi_WatchSelection(HostInterface::SelectionChangeHandler handler);

// resources and location
GSResModule HostApi_ResourceModuleId();
GSErrCode HostApi_LoadIndexedString(GSResModule module, std::int16_t list, std::int16_t index, GS::uchar_t* buffer);
GSErrCode HostApi_AddOnFileLocation(IO::Location* location);

// report
GSErrCode HostApi_Report(const GS::UniString& text, bool alert);

// library parts
GSErrCode HostApi_FindLibPart(HostInterface::LibPartRecord* record, bool onlyPlaceable, bool onlyActive);
GSErrCode HostApi_SetOverwriteLibParts(bool overwrite);
GSErrCode HostApi_BeginLibPart(HostInterface::LibPartRecord* record);
GSErrCode HostApi_BuildParamSection(HostInterface::LibPartRecord* record, GSHandle parameters, const double* a,
                                    const double* b, std::int32_t reserved1, GSHandle* section,
                                    std::int32_t reserved2);
GSErrCode HostApi_SetParamSectionDetails(HostInterface::LibPartRecord* record, GSHandle section,
                                         const HostInterface::ParamDetailsRecord* details);
GSErrCode HostApi_AddLibPartSection(const HostInterface::SectionHeader* header, GSHandle content,
                                    const void* reserved);
GSErrCode HostApi_BeginLibPartSection(const HostInterface::SectionHeader* header);
GSErrCode HostApi_WriteLibPartSection(std::int32_t count, const char* bytes);
GSErrCode HostApi_EndLibPartSection();
GSErrCode HostApi_SaveLibPart(HostInterface::LibPartRecord* record);

// active libraries
GSErrCode HostApi_GetLibraryList(HostInterface::LibraryList* list);
GSErrCode HostApi_SetLibraryList(const HostInterface::LibraryList* list);

// tools
GSErrCode HostApi_SelectTool(const HostInterface::ToolboxRecord* tool);
GSErrCode HostApi_ReadToolDefaults(HostInterface::ElementRecord* element, HostInterface::ElementMemo* memo);
GSErrCode HostApi_GetLibPartDefaults(std::int32_t libraryIndex, double* a, double* b, std::int32_t* parameterCount,
                                     GSHandle* parameters);
GSErrCode HostApi_StoreToolDefaults(const HostInterface::ElementRecord* element, HostInterface::ElementMemo* memo,
                                    const HostInterface::ElementRecord* mask);

// selection and placed elements
GSErrCode HostApi_ReadSelection(HostInterface::SelectionInfo* info, HostInterface::SelectionList* items,
                                bool onlyEditable, bool ignoreSubElements, std::int32_t reserved);
GSErrCode HostApi_ElementTypeOfNeig(std::int32_t kind, std::int32_t* elementType);
GSErrCode HostApi_ReadElementMemo(const GS::Guid& element, HostInterface::ElementMemo* memo, std::uint64_t mask);
GSErrCode HostApi_FreeMemo(HostInterface::ElementMemo* memo);
GSErrCode HostApi_FreeParamHandle(GSHandle* parameters);
GSErrCode HostApi_ReadElement(HostInterface::ElementRecord* element, const void* reserved);
GSErrCode HostApi_ModifyElement(HostInterface::ElementRecord* element, const HostInterface::ElementRecord* mask,
                                HostInterface::ElementMemo* memo, std::uint64_t memoMask, bool withDelete);
GSErrCode HostApi_RunAsUndoStep(const GS::UniString& name, const HostInterface::UndoableCommand& command);
