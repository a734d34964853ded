// The host application's programming interface as an add-on sees it: the error
// codes, the export table the add-on fills, and the function table the host hands
// over at load. Every operation sits in a fixed slot of that table.
#pragma once

#include "GSRoot.hpp"

#include <cstdint>
#include <functional>

namespace IO { class Location; }

namespace HostInterface {

constexpr GSErrCode ErrGeneral = static_cast<GSErrCode>(0x81060001u);
constexpr GSErrCode ErrMemory = static_cast<GSErrCode>(0x81060002u);
constexpr GSErrCode ErrNoAddOnLocation = static_cast<GSErrCode>(0x81060385u);
constexpr GSErrCode ErrNotProvided = static_cast<GSErrCode>(0x81060387u);
// Stand-in codes for records whose layout the host refuses.
constexpr GSErrCode ErrBadParameter = static_cast<GSErrCode>(0x81060003u);
constexpr GSErrCode ErrBadRecord = static_cast<GSErrCode>(0x81060004u);
// A library part of that name already exists and overwriting is off.
constexpr GSErrCode ErrExists = static_cast<GSErrCode>(0x81060005u);
// The call does not fit the host's state (no part open, not inside an undo step...).
constexpr GSErrCode ErrWrongState = static_cast<GSErrCode>(0x81060006u);
// The named library part, element or folder does not exist.
constexpr GSErrCode ErrNotFound = static_cast<GSErrCode>(0x81060007u);
// The file system refused to read or write.
constexpr GSErrCode ErrFile = static_cast<GSErrCode>(0x81060008u);

// The export table (120 bytes) that the add-on's first export fills.
constexpr std::size_t ExportTableBytes = 120;
constexpr std::int32_t ExportFormatWord = 0x001C0001;
constexpr std::int32_t ApiLevel = 28000;
constexpr std::size_t ExportFormatOffset = 0;
constexpr std::size_t ExportIdentifyOffset = 8;
constexpr std::size_t ExportRegisterOffset = 16;
constexpr std::size_t ExportStartOffset = 24;
constexpr std::size_t ExportStopOffset = 32;
constexpr std::size_t ExportLevelOffset = 40;

// The host application id an environment record carries for this host.
constexpr std::int32_t HostApplicationId = 1;
constexpr std::int32_t IdentifyLoad = 2;

// The host's function table: 643 entry pointers, 5144 bytes.
using Entry = void (*)();
constexpr std::size_t FunctionTableEntries = 643;
constexpr std::size_t FunctionTableBytes = FunctionTableEntries * sizeof(Entry);
static_assert(FunctionTableBytes == 5144);

enum class Slot : std::uint16_t {
    // registration
    AddMenu = 10,
    SetMenuCommandHandler = 11,
    AddPaletteWindow = 12,
    RemovePaletteWindow = 13,
    WatchProjectEvents = 14,
    WatchSelection = 15,
    // resources and location
    ResourceModuleId = 30,
    LoadIndexedString = 31,
    AddOnFileLocation = 32,
    // report
    Report = 40,
    // library parts
    FindLibPart = 100,
    SetOverwriteLibParts = 101,
    BeginLibPart = 102,
    BuildParamSection = 103,
    SetParamSectionDetails = 104,
    AddLibPartSection = 105,
    BeginLibPartSection = 106,
    WriteLibPartSection = 107,
    EndLibPartSection = 108,
    SaveLibPart = 109,
    // active libraries
    GetLibraryList = 120,
    SetLibraryList = 121,
    // tools
    SelectTool = 200,
    ReadToolDefaults = 201,
    GetLibPartDefaults = 202,
    StoreToolDefaults = 203,
    // selection and placed elements
    ReadSelection = 300,
    ElementTypeOfNeig = 301,
    ReadElementMemo = 302,
    FreeMemo = 303,
    FreeParamHandle = 304,
    ReadElement = 305,
    ModifyElement = 306,
    RunAsUndoStep = 307,
};

constexpr std::size_t SlotIndex(Slot slot) { return static_cast<std::size_t>(slot); }

// Records passed by pointer; their layouts are given with the operations that use them.
struct MenuCommandRecord;
struct SelectionChangeRecord;
struct LibPartRecord;
struct SectionHeader;
struct ParamDetailsRecord;
struct LibraryList;
struct ToolboxRecord;
struct ElementRecord;
struct SelectionInfo;
struct SelectionList;
struct ElementMemo;

// Callbacks the add-on registers.
using MenuCommandHandler = GSErrCode (*)(const MenuCommandRecord* command);
using PaletteMessageHandler = GSErrCode (*)(std::int32_t referenceId, std::int32_t message, void* param);
using ProjectEventHandler = GSErrCode (*)(std::int32_t eventCode);
using SelectionChangeHandler = GSErrCode (*)(const SelectionChangeRecord* change);
using UndoableCommand = std::function<GSErrCode()>;

// The string buffer of LoadIndexedString, in UTF-16 units with the terminator.
constexpr std::size_t StringBufferUnits = 1024;

// Signatures of the table entries.
namespace Fn {
using AddMenu = GSErrCode (*)(std::int16_t menuList, std::int16_t promptList, std::int32_t position,
                              std::int32_t flags);
using SetMenuCommandHandler = GSErrCode (*)(std::int16_t menuList, MenuCommandHandler handler);
using AddPaletteWindow = GSErrCode (*)(std::int32_t referenceId, PaletteMessageHandler handler,
                                       std::int32_t flags, const GS::Guid* guid);
using RemovePaletteWindow = GSErrCode (*)(std::int32_t referenceId);
using WatchProjectEvents = GSErrCode (*)(std::int32_t mask, ProjectEventHandler handler);
using WatchSelection = GSErrCode (*)(SelectionChangeHandler handler);

using ResourceModuleId = GSResModule (*)();
using LoadIndexedString = GSErrCode (*)(GSResModule module, std::int16_t list, std::int16_t index,
                                        GS::uchar_t* buffer);
using AddOnFileLocation = GSErrCode (*)(IO::Location* location);

using Report = GSErrCode (*)(const GS::UniString* text, bool alert);

using FindLibPart = GSErrCode (*)(LibPartRecord* record, bool onlyPlaceable, bool onlyActive);
using SetOverwriteLibParts = GSErrCode (*)(bool overwrite);
using BeginLibPart = GSErrCode (*)(LibPartRecord* record);
using BuildParamSection = GSErrCode (*)(LibPartRecord* record, GSHandle parameters, const double* a,
                                        const double* b, std::int32_t reserved1, GSHandle* section,
                                        std::int32_t reserved2);
using SetParamSectionDetails = GSErrCode (*)(LibPartRecord* record, GSHandle section,
                                             const ParamDetailsRecord* details);
using AddLibPartSection = GSErrCode (*)(const SectionHeader* header, GSHandle content,
                                        const void* reserved);
using BeginLibPartSection = GSErrCode (*)(const SectionHeader* header);
using WriteLibPartSection = GSErrCode (*)(std::int32_t count, const char* bytes);
using EndLibPartSection = GSErrCode (*)();
using SaveLibPart = GSErrCode (*)(LibPartRecord* record);

using GetLibraryList = GSErrCode (*)(LibraryList* list);
using SetLibraryList = GSErrCode (*)(const LibraryList* list);

using SelectTool = GSErrCode (*)(const ToolboxRecord* tool);
using ReadToolDefaults = GSErrCode (*)(ElementRecord* element, ElementMemo* memo);
using GetLibPartDefaults = GSErrCode (*)(std::int32_t libraryIndex, double* a, double* b,
                                         std::int32_t* parameterCount, GSHandle* parameters);
using StoreToolDefaults = GSErrCode (*)(const ElementRecord* element, ElementMemo* memo,
                                        const ElementRecord* mask);

using ReadSelection = GSErrCode (*)(SelectionInfo* info, SelectionList* items, bool onlyEditable,
                                    bool ignoreSubElements, std::int32_t reserved);
using ElementTypeOfNeig = GSErrCode (*)(std::int32_t kind, std::int32_t* elementType);
using ReadElementMemo = GSErrCode (*)(const GS::Guid* element, ElementMemo* memo, std::uint64_t mask);
using FreeMemo = GSErrCode (*)(ElementMemo* memo);
using FreeParamHandle = GSErrCode (*)(GSHandle* parameters);
using ReadElement = GSErrCode (*)(ElementRecord* element, const void* reserved);
using ModifyElement = GSErrCode (*)(ElementRecord* element, const ElementRecord* mask, ElementMemo* memo,
                                    std::uint64_t memoMask, bool withDelete);
using RunAsUndoStep = GSErrCode (*)(const GS::UniString* name, const UndoableCommand* command);
}  // namespace Fn

}  // namespace HostInterface
