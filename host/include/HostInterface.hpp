// The host application's programming interface as an add-on sees it: the error
// codes, the export table the add-on fills, and the function table the host hands
// over at load. Every operation sits in a fixed slot of that table.
#pragma once

#include "GSRoot.hpp"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <iterator>

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

// The add-on's two exports, looked up by name in its library file: the host calls the
// first with its 120-byte export table, then the second with its function table.
struct EnvironmentRecord;
constexpr const char* ExportedFuncAddrsName = "GetExportedFuncAddrs";
constexpr const char* ImportedFuncAddrsName = "SetImportedFuncAddrs";
using GetExportedFuncAddrsFn = void (*)(void* exportTable);
using SetImportedFuncAddrsFn = GSErrCode (*)(const void* functionTable);

// The entry points the export table points to.
using IdentifyAddOnFn = std::int32_t (*)(EnvironmentRecord* environment);
using RegisterMenusFn = GSErrCode (*)();
using StartAddOnFn = GSErrCode (*)();
using StopAddOnFn = GSErrCode (*)();

// The host's function table: 643 entry pointers, 5144 bytes.
using Entry = void (*)();
constexpr std::size_t FunctionTableEntries = 643;
constexpr std::size_t FunctionTableBytes = FunctionTableEntries * sizeof(Entry);
static_assert(FunctionTableBytes == 5144);

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

// Menu flags and palette flags the host knows; other bits are refused.
constexpr std::int32_t MenuFlagBits = 0x3;
constexpr std::int32_t PaletteFlagBits = 0x3FF;

// The messages a registered palette receives. For IsVisible the third argument
// points to a byte that the palette sets to its visibility.
enum PaletteMessage : std::int32_t {
    PaletteCloseRequest = 1,
    PaletteHide = 2,
    PaletteShow = 3,
    PaletteDisableItems = 4,
    PaletteEnableItems = 5,
    PaletteOpen = 6,
    PaletteIsVisible = 7,
};

// Project events, one bit each; a handler receives those of its mask.
enum ProjectEvent : std::int32_t {
    ProjectNew = 0x01,
    ProjectOpen = 0x02,
    ProjectSave = 0x04,
    ProjectSaveAs = 0x08,
    ProjectPublish = 0x10,
    ProjectClose = 0x20,
    ProjectQuit = 0x40,
};
constexpr std::int32_t ProjectEventBits = 0x7F;

// The string buffer of LoadIndexedString, in UTF-16 units with the terminator.
constexpr std::size_t StringBufferUnits = 1024;

// The slot of every operation, from the list of operations.
enum class Slot : std::uint16_t {
#define HOST_OPERATION(name, slot, signature) name = slot,
#include "HostOperations.def"
};

constexpr std::size_t SlotIndex(Slot slot) { return static_cast<std::size_t>(slot); }

// Operation<Slot::X>::Type is the signature of operation X, a function type; its
// table entry is a pointer to it.
template <Slot S>
struct Operation;
#define HOST_OPERATION(name, slot, signature) \
    template <>                               \
    struct Operation<Slot::name> {            \
        using Type = signature;               \
    };
#include "HostOperations.def"

// Whether operation S answers a host error code; the resource module answers its id.
template <Slot S>
inline constexpr bool AnswersErrorCode = true;
template <>
inline constexpr bool AnswersErrorCode<Slot::ResourceModuleId> = false;

// Every listed slot, in the list's order.
inline constexpr Slot ListedSlots[] = {
#define HOST_OPERATION(name, slot, signature) Slot::name,
#include "HostOperations.def"
};

// Each listed slot lies in the table and is listed once.
static_assert([] {
    for (std::size_t i = 0; i < std::size(ListedSlots); ++i) {
        if (SlotIndex(ListedSlots[i]) >= FunctionTableEntries)
            return false;
        for (std::size_t j = 0; j < i; ++j)
            if (ListedSlots[i] == ListedSlots[j])
                return false;
    }
    return true;
}(), "every operation needs a slot of its own inside the function table");

}  // namespace HostInterface
