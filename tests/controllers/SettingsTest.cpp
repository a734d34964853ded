// Settings.xml through the settings controller: what is read, what a write keeps, a
// damaged file, failed writes and writers on several threads.
#include "ControllerFixture.hpp"

#include "controllers/LibraryController.hpp"
#include "controllers/SettingsController.hpp"

#include <fstream>
#include <iterator>
#include <thread>

namespace tarvel::testing {
namespace {

class SettingsTest : public ControllerFixture {};

class TestSettingsView : public ISettingsView {
public:
    void Close(bool accepted) override { closed.push_back(accepted); }
    void CollectSettings(std::vector<SettingChange>& out) override
    {
        out.clear();
        out.push_back({L"Update", L"AutoUpdateEnabled", checked ? "yes" : "no"});
    }
    bool checked = true;
    std::vector<bool> closed;
};

TEST_F(SettingsTest, TheFirstWriteCreatesTheFileWithItsOneAttribute)
{
    SettingsController controller;
    std::string value = "unchanged";
    EXPECT_FALSE(controller.GetAttribute(L"AutoUpdateEnabled", value));
    EXPECT_EQ(value, "unchanged");
    EXPECT_TRUE(controller.SetAttribute(L"Update", L"AutoUpdateEnabled", "yes"));
    EXPECT_EQ(SettingsText(), "<?xml version=\"1.0\"?>\n<Settings>\n\t<Update AutoUpdateEnabled=\"yes\" />\n</Settings>\n");
    ASSERT_TRUE(controller.GetAttribute(L"AutoUpdateEnabled", value));
    EXPECT_EQ(value, "yes");
    // Nothing is left beside the file.
    EXPECT_EQ(FileNames(DataRoot()), (std::vector<std::string>{"Images", "Settings.xml", "Tarvel Library", "Temp"}));
}

TEST_F(SettingsTest, ReadingTakesTheUpdateElementsAttributeAsItStands)
{
    struct Case {
        std::string file;
        std::wstring attribute;
        bool found;
        std::string value;
    };
    const Case cases[] = {
        {"<Settings><Update AutoUpdateEnabled=\"Yes\"/></Settings>", L"AutoUpdateEnabled", true, "Yes"},
        {"<Settings><Update AutoUpdateEnabled=\"no\" LastUpdateCheck=\"2024-01-02 03:04:05\"/></Settings>",
         L"LastUpdateCheck", true, "2024-01-02 03:04:05"},
        {"<Settings><Update/></Settings>", L"AutoUpdateEnabled", false, "before"},
        // Only the Update element is read, and names are compared exactly.
        {"<Settings><Other AutoUpdateEnabled=\"yes\"/><Update autoupdateenabled=\"yes\"/></Settings>",
         L"AutoUpdateEnabled", false, "before"},
        {"<settings><Update AutoUpdateEnabled=\"yes\"/></settings>", L"AutoUpdateEnabled", false, "before"},
        // A damaged file gives what parsed before the damage.
        {"<Settings><Update AutoUpdateEnabled=\"no\"/><ActiveLibraries><Lib", L"AutoUpdateEnabled", true, "no"},
    };
    for (const Case& c : cases) {
        WriteSettings(c.file);
        std::string value = "before";
        EXPECT_EQ(SettingsController().GetAttribute(c.attribute, value), c.found) << c.file;
        EXPECT_EQ(value, c.value) << c.file;
    }
}

TEST_F(SettingsTest, AWriteChangesOneValueAndKeepsEverythingElseInItsOrder)
{
    WriteSettings(
        "<?xml version=\"1.0\"?>\n<Settings help_url=\"https://help.example/\">\n"
        "  <ActiveLibraries>\n    <Library id=\"a\" name=\"A\" />\n  </ActiveLibraries>\n"
        "  <Update LastUpdateCheck=\"old\" AutoUpdateEnabled=\"no\" Extra=\"1\" />\n</Settings>\n");
    SettingsController controller;
    ASSERT_TRUE(controller.SetAttribute(L"Update", L"AutoUpdateEnabled", "yes"));
    ASSERT_TRUE(controller.SetAttribute(L"Proxy", L"Host", "p\xc3\xa4"));
    EXPECT_EQ(SettingsText(),
              "<?xml version=\"1.0\"?>\n<Settings help_url=\"https://help.example/\">\n"
              "\t<ActiveLibraries>\n\t\t<Library id=\"a\" name=\"A\" />\n\t</ActiveLibraries>\n"
              "\t<Update LastUpdateCheck=\"old\" AutoUpdateEnabled=\"yes\" Extra=\"1\" />\n"
              "\t<Proxy Host=\"p\xc3\xa4\" />\n</Settings>\n");
    // The library list's write keeps help_url and the Update element too.
    LibraryController libraries(false);
    ASSERT_TRUE(libraries.SaveActiveLibraries(false));
    const std::string text = SettingsText();
    EXPECT_NE(text.find("<Settings help_url=\"https://help.example/\">"), std::string::npos) << text;
    EXPECT_LT(text.find("<Update "), text.find("<ActiveLibraries>")) << text;
}

TEST_F(SettingsTest, ADamagedFileIsKeptAsideBeforeANewOneIsWritten)
{
    const std::string damaged = "<Settings><Update AutoUpdateEnabled=\"no\"/><ActiveLibraries><Library id=\"x\"";
    WriteSettings(damaged);
    ASSERT_TRUE(SettingsController().SetAttribute(L"Update", L"LastUpdateCheck", "now"));
    EXPECT_EQ(ReadFile(DataRoot() / "Settings.xml.bad"), damaged);
    // The new file holds what parsed and the change, and parses.
    pugi::xml_document document;
    ASSERT_TRUE(document.load_string(SettingsText().c_str()));
    EXPECT_STREQ(document.child("Settings").child("Update").attribute("AutoUpdateEnabled").value(), "no");
    EXPECT_STREQ(document.child("Settings").child("Update").attribute("LastUpdateCheck").value(), "now");

    // A sound file is not put aside.
    ASSERT_TRUE(SettingsController().SetAttribute(L"Update", L"AutoUpdateEnabled", "yes"));
    EXPECT_EQ(ReadFile(DataRoot() / "Settings.xml.bad"), damaged);
}

TEST_F(SettingsTest, AFailedWriteLeavesTheFileAsItWas)
{
    WriteSettings("<Settings><Update AutoUpdateEnabled=\"no\"/></Settings>");
    const std::string before = SettingsText();
    // A folder where the file's temporary sibling cannot be renamed to: the file's place
    // is taken by a folder that is not empty.
    boost::filesystem::remove(SettingsPath());
    boost::filesystem::create_directories(SettingsPath() / "inside");
    EXPECT_FALSE(SettingsController().SetAttribute(L"Update", L"AutoUpdateEnabled", "yes"));
    EXPECT_EQ(FileNames(DataRoot()), (std::vector<std::string>{"Images", "Settings.xml", "Tarvel Library", "Temp"}));
    boost::filesystem::remove_all(SettingsPath());

    // No data root at all: nothing is written, nothing is created.
    WriteSettings(before);
    boost::filesystem::remove_all(DataRoot());
    EXPECT_FALSE(SettingsController().SetAttribute(L"Update", L"AutoUpdateEnabled", "yes"));
    EXPECT_FALSE(boost::filesystem::exists(DataRoot()));
}

TEST_F(SettingsTest, AWriteReplacesTheFileALinkLeadsToAndKeepsItsMode)
{
    namespace fs = boost::filesystem;
    const fs::path elsewhere = Temp().Path() / "elsewhere";
    fs::create_directories(elsewhere);
    const std::string before = "<Settings><Update AutoUpdateEnabled=\"no\"/></Settings>";
    const std::string after =
        "<?xml version=\"1.0\"?>\n<Settings>\n\t<Update AutoUpdateEnabled=\"yes\" />\n</Settings>\n";
    auto written = [&] { return SettingsController().SetAttribute(L"Update", L"AutoUpdateEnabled", "yes"); };
    auto mode = [](const fs::path& file) { return fs::status(file).permissions() & fs::perms_mask; };

    // A plain file keeps its mode, whatever the process's file-creation mask gives.
    WriteSettings(before);
    fs::permissions(SettingsPath(), fs::owner_read | fs::owner_write | fs::others_read);
    ASSERT_TRUE(written());
    EXPECT_EQ(SettingsText(), after);
    EXPECT_EQ(mode(SettingsPath()), fs::owner_read | fs::owner_write | fs::others_read);

    // Through a chain of links, a relative one and an absolute one: the links stay and
    // the file at the end is replaced, its mode kept, nothing left beside either.
    fs::remove(SettingsPath());
    WriteFile(elsewhere / "mine.xml", before);
    fs::permissions(elsewhere / "mine.xml", fs::owner_read | fs::owner_write | fs::group_read);
    fs::create_symlink(elsewhere / "mine.xml", DataRoot() / "linked.xml");
    fs::create_symlink("linked.xml", SettingsPath());
    ASSERT_TRUE(written());
    EXPECT_TRUE(fs::is_symlink(SettingsPath()));
    EXPECT_TRUE(fs::is_symlink(DataRoot() / "linked.xml"));
    EXPECT_EQ(ReadFile(elsewhere / "mine.xml"), after);
    EXPECT_EQ(mode(elsewhere / "mine.xml"), fs::owner_read | fs::owner_write | fs::group_read);
    EXPECT_EQ(FileNames(elsewhere), std::vector<std::string>{"mine.xml"});
    EXPECT_EQ(FileNames(DataRoot()),
              (std::vector<std::string>{"Images", "Settings.xml", "Tarvel Library", "Temp", "linked.xml"}));

    // A link to a file not made yet makes it there.
    fs::remove(elsewhere / "mine.xml");
    ASSERT_TRUE(written());
    EXPECT_TRUE(fs::is_symlink(SettingsPath()));
    EXPECT_EQ(ReadFile(elsewhere / "mine.xml"), after);

    // Links that lead round in a circle: nothing is written and nothing made.
    fs::remove(DataRoot() / "linked.xml");
    fs::create_symlink("Settings.xml", DataRoot() / "linked.xml");
    EXPECT_FALSE(written());
    EXPECT_TRUE(fs::is_symlink(SettingsPath()));
    EXPECT_EQ(FileNames(DataRoot()),
              (std::vector<std::string>{"Images", "Settings.xml", "Tarvel Library", "Temp", "linked.xml"}));
}

// The new file takes the old one's place whole: a reader that opened the file before
// the write reads the old text to its end, never a cut or mixed one.
TEST_F(SettingsTest, AWriteReplacesTheFileInsteadOfRewritingItInPlace)
{
    const std::string before = "<?xml version=\"1.0\"?>\n<Settings>\n\t<Update AutoUpdateEnabled=\"no\" />\n</Settings>\n";
    WriteSettings(before);
    std::ifstream reader(SettingsPath().string(), std::ios::binary);
    ASSERT_TRUE(reader.is_open());
    ASSERT_TRUE(SettingsController().SetAttribute(L"Update", L"AutoUpdateEnabled", "yes"));
    const std::string seen((std::istreambuf_iterator<char>(reader)), std::istreambuf_iterator<char>());
    EXPECT_EQ(seen, before);
    EXPECT_NE(SettingsText().find("AutoUpdateEnabled=\"yes\""), std::string::npos);
}

TEST_F(SettingsTest, ApplyWritesTheViewsChangeOnceThenClosesAccepted)
{
    WriteSettings("<Settings><Update AutoUpdateEnabled=\"Yes\"/></Settings>");
    SettingsController controller;
    controller.ApplySettings();  // no view: nothing happens
    EXPECT_EQ(SettingsText(), "<Settings><Update AutoUpdateEnabled=\"Yes\"/></Settings>");

    TestSettingsView view;
    view.checked = false;
    controller.view = &view;
    controller.ApplySettings();
    EXPECT_EQ(view.closed, std::vector<bool>{true});
    std::string value;
    ASSERT_TRUE(controller.GetAttribute(L"AutoUpdateEnabled", value));
    EXPECT_EQ(value, "no");
}

TEST_F(SettingsTest, WritersOnSeveralThreadsLoseNoChange)
{
    constexpr int kThreads = 6;
    constexpr int kWrites = 15;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t] {
            SettingsController controller;
            for (int i = 0; i < kWrites; ++i) {
                const std::wstring attribute = L"A" + std::to_wstring(t) + L"_" + std::to_wstring(i);
                controller.SetAttribute(L"Update", attribute, "v");
                if (i % 5 == 0) {
                    LibraryController libraries(false);
                    libraries.SaveActiveLibraries(false);
                }
            }
        });
    for (auto& thread : threads)
        thread.join();
    pugi::xml_document document;
    ASSERT_TRUE(document.load_string(SettingsText().c_str()));
    const pugi::xml_node update = document.child("Settings").child("Update");
    int count = 0;
    for (pugi::xml_attribute attribute = update.first_attribute(); attribute; attribute = attribute.next_attribute())
        ++count;
    EXPECT_EQ(count, kThreads * kWrites);
    EXPECT_FALSE(boost::filesystem::exists(DataRoot() / "Settings.xml.bad"));
}

}  // namespace
}  // namespace tarvel::testing
