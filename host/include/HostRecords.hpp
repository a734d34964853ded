// The records the add-on and the host exchange through the function table, at the
// byte offsets the host reads them. Every record is filled from zero bytes and only
// the named fields set; the padding members keep the offsets exact.
#pragma once

#include "GSRoot.hpp"
#include "HostInterface.hpp"
#include "IO.hpp"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

namespace HostInterface {

// Fills a record with zero bytes, as every record is prepared.
template <typename T>
void ZeroRecord(T& record)
{
    static_assert(std::is_trivially_copyable_v<T>);
    std::memset(static_cast<void*>(&record), 0, sizeof record);
}

// Four-character codes: the first character in the most significant byte.
constexpr std::uint32_t FourCC(const char (&code)[5])
{
    return (static_cast<std::uint32_t>(static_cast<unsigned char>(code[0])) << 24) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(code[1])) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(code[2])) << 8) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(code[3]));
}

constexpr std::uint32_t SectParameters = FourCC("PARD");
constexpr std::uint32_t SectMasterScript = FourCC("1DSC");
constexpr std::uint32_t Sect2DScript = FourCC("2DSC");
constexpr std::uint32_t Sect3DScript = FourCC("3DSC");
constexpr std::uint32_t SectUIScript = FourCC("UISC");
constexpr std::uint32_t SectPreviewPicture = FourCC("GIFF");
constexpr std::uint32_t SectUIPicture = FourCC("GDLP");
static_assert(SectParameters == 0x50415244u);

// Library-part types.
constexpr std::int32_t LibPartWindow = 2;
constexpr std::int32_t LibPartDoor = 3;
constexpr std::int32_t LibPartObject = 4;
constexpr std::int32_t LibPartSkylight = 13;

// Element types.
constexpr std::int32_t ElemWall = 1;
constexpr std::int32_t ElemWindow = 4;
constexpr std::int32_t ElemDoor = 5;
constexpr std::int32_t ElemObject = 6;
constexpr std::int32_t ElemLamp = 7;
constexpr std::int32_t ElemSkylight = 44;

// Parameter type codes.
constexpr std::int32_t ParamInteger = 1;
constexpr std::int32_t ParamLength = 4;
constexpr std::int32_t ParamText = 12;
constexpr std::int32_t ParamTitle = 15;
constexpr std::int16_t ParamFlagA = 0x01;
constexpr std::int16_t ParamFlagTitle = 0x02;
constexpr std::int16_t ParamFlagB = 0x80;
constexpr std::int16_t ParamIsTable = 2;

// Memo parts.
constexpr std::uint64_t MemoParameters = 4;

constexpr std::size_t NameUnits = 256;
constexpr std::size_t ParentIdBytes = 128;
constexpr std::size_t ParamNameBytes = 32;
constexpr std::size_t ParamTextUnits = 256;

struct LibPartRecord {
    std::int32_t typeCode;
    std::int32_t index;
    GS::uchar_t name[NameUnits];
    GS::uchar_t fileName[NameUnits];
    std::uint8_t reserved1032;
    std::uint8_t byte1033;
    std::uint8_t byte1034;
    std::uint8_t reserved1035[13];
    IO::Location* location;
    std::uint8_t reserved1056[128];
    char parentId[ParentIdBytes];
};
static_assert(sizeof(LibPartRecord) == 1312);
static_assert(offsetof(LibPartRecord, index) == 4);
static_assert(offsetof(LibPartRecord, name) == 8);
static_assert(offsetof(LibPartRecord, fileName) == 520);
static_assert(offsetof(LibPartRecord, byte1033) == 1033);
static_assert(offsetof(LibPartRecord, byte1034) == 1034);
static_assert(offsetof(LibPartRecord, location) == 1048);
static_assert(offsetof(LibPartRecord, parentId) == 1184);

struct SectionHeader {
    std::uint32_t code;
    std::uint32_t reserved[2];
};
static_assert(sizeof(SectionHeader) == 12);

struct ParamDetailsRecord {
    std::int32_t version;
    std::int16_t count;
    std::uint8_t reserved[3194];
};
static_assert(sizeof(ParamDetailsRecord) == 3200);
static_assert(offsetof(ParamDetailsRecord, count) == 4);
constexpr std::int32_t ParamDetailsVersion = 0x10000;

// One parameter of a library part; a parameter list is a handle of these, back to back.
struct ParamRecord {
    std::int32_t typeCode;
    std::int16_t reserved4;
    std::int16_t tableFlag;
    char name[ParamNameBytes];
    GS::uchar_t description[ParamTextUnits];
    std::uint8_t reserved552[512];
    std::int32_t rows;
    std::int32_t columns;
    std::int16_t flags;
    std::uint8_t reserved1074[14];
    union {
        double number;
        GS::uchar_t text[ParamTextUnits];
        GSHandle table;
    } value;
};
static_assert(sizeof(ParamRecord) == 1600);
static_assert(offsetof(ParamRecord, tableFlag) == 6);
static_assert(offsetof(ParamRecord, name) == 8);
static_assert(offsetof(ParamRecord, description) == 40);
static_assert(offsetof(ParamRecord, rows) == 1064);
static_assert(offsetof(ParamRecord, columns) == 1068);
static_assert(offsetof(ParamRecord, flags) == 1072);
static_assert(offsetof(ParamRecord, value) == 1088);

struct ToolboxRecord {
    std::int32_t elementType;
    std::int32_t variation;
    std::uint8_t reserved[24];
};
static_assert(sizeof(ToolboxRecord) == 32);

// A placed element or a tool's default element; a change mask has the same layout
// and marks a written field with 0xFF in its first byte.
struct ElementRecord {
    std::int32_t elementType;
    std::uint8_t reserved4[28];
    GS::Guid guid;
    std::uint8_t reserved48[128];
    double a;
    double b;
    std::uint8_t reserved192[24];
    std::int32_t openingLibIndex;
    std::uint8_t reserved220[92];
    std::int32_t objectLibIndex;
    std::uint8_t reserved316[4956];
};
static_assert(sizeof(ElementRecord) == 5272);
static_assert(sizeof(GS::Guid) == 16);
static_assert(offsetof(ElementRecord, guid) == 32);
static_assert(offsetof(ElementRecord, a) == 176);
static_assert(offsetof(ElementRecord, b) == 184);
static_assert(offsetof(ElementRecord, openingLibIndex) == 216);
static_assert(offsetof(ElementRecord, objectLibIndex) == 312);

struct SelectionInfo {
    std::int32_t kind;
    std::int32_t selectedCount;
    std::int32_t editableCount;
    std::int32_t reserved12;
    // The selection's outline; the reader releases it with BMKillHandle.
    GSHandle outline;
};
static_assert(offsetof(SelectionInfo, selectedCount) == 4);
static_assert(offsetof(SelectionInfo, editableCount) == 8);

struct SelectedItem {
    std::int32_t kind;
    std::int32_t reserved4;
    GS::Guid guid;
};
static_assert(offsetof(SelectedItem, guid) == 8);

struct SelectionList {
    std::vector<SelectedItem> items;
};

struct ElementMemo {
    // The element's parameter list (memo part 4), or none.
    GSHandle params = nullptr;
};

// The host's description of itself, handed to the environment check; the add-on
// fills its name and description when it answers that it runs in this host.
struct EnvironmentRecord {
    std::int32_t applicationId;
    std::int32_t mainVersion;
    std::int32_t buildNumber;
    std::int32_t reserved12;
    GS::UniString addOnName;
    GS::UniString addOnDescription;
};

// A chosen menu item: the string-list id of its menu and the item's number (from 1).
struct MenuCommandRecord {
    std::int16_t menuList;
    std::int16_t itemIndex;
    std::int32_t reserved4;
    std::int64_t reserved8;
};
static_assert(sizeof(MenuCommandRecord) == 16);
static_assert(offsetof(MenuCommandRecord, itemIndex) == 2);

// After a selection change: the kind of the first selected item (0 when nothing is
// selected), the number of selected items and the first item's element.
struct SelectionChangeRecord {
    std::int32_t firstItemKind;
    std::int32_t selectedCount;
    GS::Guid firstItem;
};
static_assert(sizeof(SelectionChangeRecord) == 24);
static_assert(offsetof(SelectionChangeRecord, firstItem) == 8);

struct LibraryEntry {
    IO::Location location;
    GS::UniString name;
    GS::UniString serverUrl;
    std::int32_t kind = 0;
    std::int32_t flags = 0;
    std::uint8_t reserved[16] = {};
};
static_assert(sizeof(LibraryEntry) == 136);

struct LibraryList {
    std::vector<LibraryEntry> entries;
};

}  // namespace HostInterface
