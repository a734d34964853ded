#include "HostSession.hpp"
#include "IO.hpp"
#include "TempDir.hpp"
#include "ostrel/interop/HostApi.hpp"
#include "standin/AddOn.hpp"
#include "standin/Base.hpp"
#include "standin/CoreModules.hpp"
#include "standin/Elements.hpp"
#include "standin/LibParts.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

using HostInterface::Slot;

TEST(HostCoreTest, OnlyOneHostRunsAtATime)
{
    standin::Host host;
    EXPECT_EQ(&standin::Host::Current(), &host);
    EXPECT_THROW(standin::Host second, std::logic_error);
}

// The operations' names by slot, from the list of operations.
std::string OperationName(std::size_t index)
{
    static const std::map<std::size_t, std::string> names = {
#define HOST_OPERATION(name, slot, signature) {slot, #name},
#include "HostOperations.def"
    };
    const auto it = names.find(index);
    return it != names.end() ? it->second : "unlisted slot " + std::to_string(index);
}

// The names of the operations in the table's filled slots.
std::vector<std::string> Filled(const HostInterface::Entry* table)
{
    std::vector<std::string> filled;
    for (std::size_t i = 0; i < HostInterface::FunctionTableEntries; ++i)
        if (table[i] != nullptr)
            filled.push_back(OperationName(i));
    std::sort(filled.begin(), filled.end());
    return filled;
}

// A new operation adds its name to its module's row; a new module adds a row.
TEST(HostCoreTest, EachModuleFillsTheSlotsOfItsOperationsAndTogetherExactlyTheListedOnes)
{
    standin::Host host;
    static_assert(sizeof(std::array<HostInterface::Entry, HostInterface::FunctionTableEntries>) == 5144);
    struct Family {
        const char* module;
        standin::HostModule& installed;
        std::vector<std::string> operations;
    };
    const Family families[] = {
        {"ReportModule", host.Module<standin::ReportModule>(), {"Report"}},
        {"ResourceModule", host.Module<standin::ResourceModule>(), {"ResourceModuleId", "LoadIndexedString"}},
        {"LocationModule", host.Module<standin::LocationModule>(), {"AddOnFileLocation"}},
        {"LibPartModule", host.Module<standin::LibPartModule>(),
         {"FindLibPart", "SetOverwriteLibParts", "BeginLibPart", "BuildParamSection", "SetParamSectionDetails",
          "AddLibPartSection", "BeginLibPartSection", "WriteLibPartSection", "EndLibPartSection", "SaveLibPart",
          "GetLibraryList", "SetLibraryList"}},
        {"ToolModule", host.Module<standin::ToolModule>(),
         {"SelectTool", "ReadToolDefaults", "GetLibPartDefaults", "StoreToolDefaults"}},
        {"ElementModule", host.Module<standin::ElementModule>(),
         {"ReadSelection", "ElementTypeOfNeig", "ReadElementMemo", "FreeMemo", "FreeParamHandle", "ReadElement",
          "ModifyElement", "RunAsUndoStep"}},
        {"RegistrationModule", host.Module<standin::RegistrationModule>(),
         {"AddMenu", "SetMenuCommandHandler", "AddPaletteWindow", "RemovePaletteWindow", "WatchProjectEvents",
          "WatchSelection"}},
        {"DialogModule", host.Module<standin::DialogModule>(), {}},
    };
    // Each module alone fills its operations' slots with the entries the host hands out.
    std::vector<std::string> byModules;
    for (const Family& family : families) {
        standin::FunctionTable alone;
        family.installed.Install(alone);
        std::vector<std::string> operations = family.operations;
        std::sort(operations.begin(), operations.end());
        EXPECT_EQ(Filled(alone.Data()), operations) << family.module;
        for (std::size_t i = 0; i < HostInterface::FunctionTableEntries; ++i) {
            if (alone.Data()[i] != nullptr) {
                EXPECT_EQ(host.FunctionTableData()[i], alone.Data()[i]) << family.module << ": " << OperationName(i);
            }
        }
        byModules.insert(byModules.end(), family.operations.begin(), family.operations.end());
    }
    std::sort(byModules.begin(), byModules.end());
    // Every listed operation is filled, by one module, and no other slot.
    std::vector<std::string> listed;
    for (Slot slot : HostInterface::ListedSlots)
        listed.push_back(OperationName(HostInterface::SlotIndex(slot)));
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(byModules, listed);
    EXPECT_EQ(Filled(host.FunctionTableData()), listed);
}

TEST(HostCoreTest, InjectedFailuresSkipCountAndEnd)
{
    tarvel::tools::HostSession session;
    session.Host().FailCall(Slot::Report, 7, /*skip*/ 1, /*times*/ 2);
    const GS::UniString line("line");
    EXPECT_EQ(HostApi_Report(line, false), 0);
    EXPECT_EQ(HostApi_Report(line, false), 7);
    EXPECT_EQ(HostApi_Report(line, false), 7);
    EXPECT_EQ(HostApi_Report(line, false), 0);
    EXPECT_EQ(session.Report().Lines().size(), 2u);
    EXPECT_EQ(session.Host().CallCount(Slot::Report), 4u);
}

TEST(HostCoreTest, SessionReportKeepsEveryLineInOrderFromAnyThread)
{
    tarvel::tools::HostSession session;
    HostApi_Report(GS::UniString("first"), false);
    HostApi_Report(GS::UniString("ERROR: invalid token."), true);
    std::thread watcher([] { HostApi_Report(GS::UniString("from the watcher"), true); });
    watcher.join();
    EXPECT_EQ(session.Report().Lines(),
              (std::vector<std::string>{"first", "ERROR: invalid token.", "from the watcher"}));
    EXPECT_EQ(session.Report().Alerts(), (std::vector<std::string>{"ERROR: invalid token.", "from the watcher"}));
    const auto entries = session.Report().Entries();
    EXPECT_EQ(entries[0].thread, std::this_thread::get_id());
    EXPECT_NE(entries[2].thread, std::this_thread::get_id());
    EXPECT_EQ(session.Host().CallsOffUiThread().size(), 1u);
}

TEST(HostCoreTest, ConcurrentReportsLoseNothing)
{
    tarvel::tools::HostSession session;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([] {
            for (int i = 0; i < 200; ++i)
                HostApi_Report(GS::UniString("x"), i % 2 == 0);
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(session.Report().Lines().size(), 800u);
    EXPECT_EQ(session.Report().Alerts().size(), 400u);
}

TEST(HostCoreTest, StringBufferIsNeverOverrun)
{
    tarvel::testing::TempDir resources;
    const std::string longText(2000, 'w');
    tarvel::testing::WriteFile(resources.Path() / "strings.json",
                               R"({"100": {"1": ")" + longText + R"(", "2": "short"}})");
    standin::HostOptions options;
    options.resourceDir = resources.Utf8();
    tarvel::tools::HostSession session(options);

    std::array<GS::uchar_t, HostInterface::StringBufferUnits + 8> buffer;
    buffer.fill(u'#');
    HostApi_LoadIndexedString(HostApi_ResourceModuleId(), 100, 1, buffer.data());
    EXPECT_EQ(buffer[HostInterface::StringBufferUnits - 2], u'w');
    EXPECT_EQ(buffer[HostInterface::StringBufferUnits - 1], 0);
    EXPECT_EQ(buffer[HostInterface::StringBufferUnits], u'#');

    // A missing entry or a foreign module leaves an empty text.
    buffer.fill(u'#');
    EXPECT_NE(HostApi_LoadIndexedString(HostApi_ResourceModuleId(), 100, 3, buffer.data()), 0);
    EXPECT_EQ(buffer[0], 0);
    buffer.fill(u'#');
    EXPECT_NE(HostApi_LoadIndexedString(-4, 100, 2, buffer.data()), 0);
    EXPECT_EQ(buffer[0], 0);
}

TEST(HostCoreTest, MissingResourceFolderStopsTheHost)
{
    standin::HostOptions options;
    options.resourceDir = "/nonexistent/resources";
    EXPECT_THROW(standin::Host host(options), std::runtime_error);
    EXPECT_EQ(standin::Host::TryCurrent(), nullptr);
}

TEST(UniStringTest, CharacterCodesDecodeAsTheHostDoes)
{
    // Code 0 is the Western code page; 99 is UTF-8 with a replacement per bad byte.
    EXPECT_EQ(GS::UniString("caf\xE9", GS::CC_Default).Units(), u"caf\u00E9");
    EXPECT_EQ(GS::UniString("\x80\x99", GS::CC_Default).Units(), u"\u20AC\u2122");
    EXPECT_EQ(GS::UniString("caf\xC3\xA9", GS::CC_Default).Units(), u"caf\u00C3\u00A9");
    EXPECT_EQ(GS::UniString("caf\xC3\xA9", GS::CC_UTF8).Units(), u"caf\u00E9");
    EXPECT_EQ(GS::UniString("a\xFF" "b\xC3", GS::CC_UTF8).Units(), u"a\uFFFDb\uFFFD");
    EXPECT_EQ(GS::UniString("\xF0\x9F\x98\x80", GS::CC_UTF8).GetLength(), 2u);
    standin::base::SetDefaultCodePage(28591);
    EXPECT_EQ(GS::UniString("\x80", GS::CC_Default).Units(), u"\u0080");
    standin::base::SetDefaultCodePage(1252);

    const char16_t units[] = {0xD83D, 0xDE00, u'x'};
    const GS::UniString pair(units, 3);
    EXPECT_EQ(pair.ToUtf8(), "\xF0\x9F\x98\x80x");
    EXPECT_EQ(GS::UniString(std::u16string(1, char16_t(0xDC00))).ToUtf8(), "\xEF\xBF\xBD");
}

TEST(GuidTest, TextGivesTheWindowsLayout)
{
    const GS::Guid guid("835C2B73-CBA4-4179-84BA-2D907BC7E3BA");
    const std::uint8_t expected[16] = {0x73, 0x2B, 0x5C, 0x83, 0xA4, 0xCB, 0x79, 0x41,
                                       0x84, 0xBA, 0x2D, 0x90, 0x7B, 0xC7, 0xE3, 0xBA};
    EXPECT_TRUE(std::equal(expected, expected + 16, guid.Bytes()));
    EXPECT_EQ(guid.ToString(), "835C2B73-CBA4-4179-84BA-2D907BC7E3BA");
    EXPECT_EQ(GS::Guid("{835C2B73-CBA4-4179-84BA-2D907BC7E3BA}"), guid);
    EXPECT_TRUE(GS::Guid("835C2B73-CBA4-4179-84BA").IsNull());
    EXPECT_TRUE(GS::Guid("835C2B73-CBA4-4179-84BA-2D907BC7E3BZ").IsNull());
}

TEST(MemoryTest, PointersAndHandlesTrackSizesAndLiveCounts)
{
    const auto livePtrs = standin::base::LivePointers();
    const auto liveHandles = standin::base::LiveHandles();
    GSPtr ptr = BMAllocatePtr(10, 0, 0);
    ASSERT_NE(ptr, nullptr);
    EXPECT_EQ(BMGetPtrSize(ptr), 10);
    GSHandle handle = BMAllocateHandle(1600 * 3, ALLOCATE_CLEAR, 0);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(BMGetHandleSize(handle), 4800);
    EXPECT_EQ((*handle)[4799], 0);
    (*handle)[0] = 'k';
    handle = BMReallocHandle(handle, 6400, 0, 0);
    EXPECT_EQ(BMGetHandleSize(handle), 6400);
    EXPECT_EQ((*handle)[0], 'k');
    EXPECT_EQ(standin::base::LivePointers(), livePtrs + 1);
    EXPECT_EQ(standin::base::LiveHandles(), liveHandles + 1);
    BMKillPtr(&ptr);
    BMKillHandle(&handle);
    EXPECT_EQ(ptr, nullptr);
    EXPECT_EQ(handle, nullptr);
    BMKillHandle(&handle);  // null is tolerated
    EXPECT_EQ(standin::base::LivePointers(), livePtrs);
    EXPECT_EQ(standin::base::LiveHandles(), liveHandles);

    standin::base::FailAllocation(1);
    GSHandle first = BMAllocateHandle(4, 0, 0);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(BMAllocateHandle(4, 0, 0), nullptr);
    GSHandle third = BMAllocateHandle(4, 0, 0);
    EXPECT_NE(third, nullptr);
    BMKillHandle(&first);
    BMKillHandle(&third);
}

TEST(Base64Test, EncodesPaddedAndDecodesOnlyPaddedBase64)
{
    struct Case {
        std::string bytes;
        std::string text;
    };
    const Case cases[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {std::string("\0\xff\xfe\x10", 4), "AP/+EA=="},
        {"<StartOptions>", "PFN0YXJ0T3B0aW9ucz4="},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(standin::base::Base64Encode(c.bytes), c.text);
        EXPECT_EQ(standin::base::Base64Decode(c.text), c.bytes) << c.text;
    }
    // Every byte value, and every length's padding, come back.
    std::string all;
    for (int b = 0; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    for (std::size_t length : {std::size_t(254), std::size_t(255), std::size_t(256)}) {
        const std::string bytes = all.substr(0, length);
        EXPECT_EQ(standin::base::Base64Decode(standin::base::Base64Encode(bytes)), bytes) << length;
    }

    for (const char* refused : {"Zg", "Zg=", "Zm9vY", "Z===", "====", "Zg==Zm9v", "Zm=v", "A=B=", "Zm 9", "Zm9\n",
                                "Zm-9", "Zm_9", "Zm\xc3\xa9"})
        EXPECT_EQ(standin::base::Base64Decode(refused), std::nullopt) << refused;
}

TEST(TextHelpersTest, TruncateAndCompareStayInsideTheirFields)
{
    char field[32];
    std::fill(std::begin(field), std::end(field), 'x');
    CHTruncate("a_parameter_name_that_is_longer_than_thirty_one", field, sizeof field);
    EXPECT_EQ(std::string(field), std::string("a_parameter_name_that_is_longer_than_thirty_one").substr(0, 31));
    CHTruncate("short", field, sizeof field);
    EXPECT_STREQ(field, "short");
    EXPECT_EQ(CHCompareTexts("tv_base_url", "tv_base_url"), 0);
    EXPECT_NE(CHCompareTexts("tv_base_url", "TV_BASE_URL"), 0);
    EXPECT_NE(CHCompareTexts("a", "ab"), 0);
}

TEST(LocationTest, FoldersCompareAndNamesComeOff)
{
    EXPECT_EQ(IO::Location("/a/b\\c/"), IO::Location("/a//b/c"));
    EXPECT_FALSE(IO::Location("/a/b") == IO::Location("/a/bc"));
    IO::Location file("C:\\Host\\Add-Ons\\Tarvel.apx");
    EXPECT_EQ(file.DeleteLastLocalName(), 0);
    EXPECT_EQ(file.PathText(), "C:\\Host\\Add-Ons");
    EXPECT_EQ(file.FileSystemPath(), "C:/Host/Add-Ons");
    std::string name;
    file.GetLastLocalName(&name);
    EXPECT_EQ(name, "Add-Ons");
    IO::Location empty("");
    EXPECT_NE(empty.GetStatus(), 0);
    GS::UniString text;
    EXPECT_NE(empty.ToPath(&text), 0);
    IO::Location root("/");
    EXPECT_NE(root.DeleteLastLocalName(), 0);
}

TEST(LocationTest, SpecialLocationsAreConfiguredAndCanFail)
{
    standin::HostOptions options;
    options.specialLocation = "/data/special";
    standin::Host host(options);
    IO::Location location;
    EXPECT_EQ(IO::fileSystem.GetSpecialLocation(9, &location), 0);
    EXPECT_EQ(location.PathText(), "/data/special");
    EXPECT_NE(IO::fileSystem.GetSpecialLocation(3, &location), 0);
    standin::base::FailSpecialLocation(5);
    EXPECT_EQ(IO::fileSystem.GetSpecialLocation(9, &location), 5);
    EXPECT_EQ(IO::fileSystem.GetSpecialLocation(9, &location), 0);
}

}  // namespace
