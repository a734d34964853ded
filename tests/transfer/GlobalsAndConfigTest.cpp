#include "TransferFixture.hpp"

#include "ostrel/interop/Interop.hpp"
#include "standin/Base.hpp"
#include "transfer/DataCfg.hpp"

#include <sstream>

namespace tarvel::testing {
namespace {

using GlobalsTest = HostFixture;

TEST_F(GlobalsTest, FoldersAreMadeUnderTheSpecialLocationAndNamesSet)
{
    InitializeAddOnGlobals();
    const std::string root = SpecialFolder().string();
    EXPECT_EQ(ostrel::WStringToUtf8(FullDataPath(settingsFile)), root + "\\Tarvel\\daVED\\ArchiCAD\\Settings.xml");
    EXPECT_EQ(ostrel::WStringToUtf8(FullDataPath(libraryFolder)), root + "\\Tarvel\\daVED\\ArchiCAD\\Tarvel Library");
    for (const char* folder : {"", "Images", "Temp", "Tarvel Library"})
        EXPECT_TRUE(boost::filesystem::is_directory(SpecialFolder() / "Tarvel" / "daVED" / "ArchiCAD" / folder))
            << folder;
    EXPECT_FALSE(boost::filesystem::exists(SpecialFolder() / "Tarvel" / "daVED" / "ArchiCAD" / "Settings.xml"));
    EXPECT_EQ(settingsElementName, L"Settings");
    EXPECT_EQ(updateElementName, L"Update");
    EXPECT_EQ(autoUpdateEnabledName, L"AutoUpdateEnabled");
    EXPECT_EQ(lastUpdateCheckName, L"LastUpdateCheck");
    // Running again over existing folders is fine.
    EXPECT_NO_THROW(InitializeAddOnGlobals());
}

TEST_F(GlobalsTest, NoSpecialLocationThrowsTheHostCode)
{
    standin::base::FailSpecialLocation(0x1234);
    try {
        InitializeAddOnGlobals();
        FAIL() << "no exception";
    } catch (const ostrel::ac::interop::GSException& e) {
        EXPECT_EQ(e.Code(), 0x1234);
    }
}

TEST(PaletteIdentity, ReferenceIdIsTheSumOfTheGuidWords)
{
    EXPECT_EQ(toolbarPaletteGuid.ToString(), "835C2B73-CBA4-4179-84BA-2D907BC7E3BA");
    EXPECT_EQ(toolbarPaletteRefId, 0x0FE77916);
    EXPECT_EQ(toolbarPaletteRefId, 266828054);
    // Wraps modulo 2^32.
    EXPECT_EQ(PaletteRefIdFromGuid(GS::Guid("FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF")), -4);
}

TEST(DataCfg, LinesGiveEntriesInFileOrder)
{
    struct Case {
        const char* file;
        const char* key;
        const char* expected;
    } cases[] = {
        {"profile = ACME \nprofile=OTHER\n", "profile", "ACME"},
        {"a=b=c\n", "a", "b=c"},
        {"#x=1\n", "#x", "1"},
        {"AdminMode=TRUE\n", "AdminMode", "TRUE"},
        {"other=1\n", "profile", "TARVEL"},
        {"profile=CRLF\r\nnext=1\r\n", "profile", "CRLF"},
        {"\xEF\xBB\xBFprofile=BOM\n", "profile", "TARVEL"},
        {"x=1\nprofile=LAST", "profile", "LAST"},
        {"no equals here\n=empty key\n", "", "empty key"},
        {"\t key \t=\t value \t\n", "key", "value"},
    };
    for (const auto& c : cases) {
        std::istringstream in(c.file);
        ConfigEntries entries{{"stale", "entry"}};
        ReadDataCfg(in, entries);
        EXPECT_EQ(GetConfigValue(entries, c.key, "TARVEL"), c.expected) << c.file;
        EXPECT_EQ(GetConfigValue(entries, "stale", "gone"), "gone");
    }
}

TEST(DataCfg, ALongLineIsCutAndTheNextLineStillRead)
{
    const std::string longValue(400, 'v');
    std::istringstream in("long=" + longValue + "\nprofile=AFTER\n");
    ConfigEntries entries;
    ReadDataCfg(in, entries);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].second, std::string(254 - 5, 'v'));
    EXPECT_EQ(GetConfigValue(entries, "profile", ""), "AFTER");
}

using DataCfgFile = HostFixture;

TEST_F(DataCfgFile, IsReadBesideTheAddOnFile)
{
    ConfigEntries entries{{"x", "y"}};
    LoadDataCfg(entries);
    EXPECT_TRUE(entries.empty());
    WriteFile(AddOnFolder() / "data.cfg", "AdminMode=true\nprofile=ACME\n");
    LoadDataCfg(entries);
    EXPECT_EQ(GetConfigValue(entries, "AdminMode", "false"), "true");
    EXPECT_EQ(GetConfigValue(entries, "profile", "TARVEL"), "ACME");
}

}  // namespace
}  // namespace tarvel::testing
