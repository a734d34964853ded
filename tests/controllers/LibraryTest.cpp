// The library list: Settings.xml merged with the repository, the repository's and the
// profile file's failures, values of the wrong kind, logos, activation and write-back.
#include "ControllerFixture.hpp"
#include "MisbehavingServer.hpp"

#include "controllers/LibraryController.hpp"
#include "ostrel/Text.hpp"
#include "transfer/Http.hpp"

#include <optional>

namespace tarvel::testing {
namespace {

using standin::services::ProfilesJson;
using standin::services::RepositoryJson;

struct Reports {
    std::vector<std::pair<std::string, bool>> lines;
    ReportLine Sink()
    {
        return [this](const std::string& text, bool alert) { lines.emplace_back(text, alert); };
    }
};

class LibraryTest : public ControllerFixture {
protected:
    // One line per library: id|name|logo|url|description|in menu|active.
    std::vector<std::string> Summary(const std::vector<std::shared_ptr<Library>>& libraries)
    {
        std::vector<std::string> lines;
        for (const auto& library : libraries) {
            std::string url = ostrel::WStringToUtf8(library->url);
            const std::string base = Server().Url("");
            if (url.rfind(base, 0) == 0)
                url = "~" + url.substr(base.size());
            lines.push_back(ostrel::WStringToUtf8(library->id) + "|" + ostrel::WStringToUtf8(library->name) + "|" +
                            ostrel::WStringToUtf8(library->logo) + "|" + url + "|" +
                            ostrel::WStringToUtf8(library->description) + "|" + (library->is_in_menu ? "menu" : "-") +
                            "|" + (library->active ? "active" : "-"));
        }
        return lines;
    }
    RepositoryContext Context(const std::string& culture, const std::string& profile = "TARVEL")
    {
        return RepositoryContext{culture, profile, reports_.Sink()};
    }

    Reports reports_;
};

TEST_F(LibraryTest, StoredLibrariesMergedWithTheRepositoryInTwoCultures)
{
    WriteSettings(kStoredLibraries);
    struct Case {
        std::string culture;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"en-GB",
         {"windows-alu|Aluminium Windows|windows-alu.jpg|~/catalogue/windows-alu/|Windows and frames|-|active",
          "gone|Gone|gone.png|http://gone/|Gone d|menu|active",
          "doors-classic|Classic Doors|doors-classic.png|~/catalogue/doors-classic/|Wooden doors|-|-",
          "skylights||skylights.png|~/catalogue/skylights/||-|-"}},
        {"de-DE",
         {"windows-alu|Aluminiumfenster|windows-alu.jpg|~/catalogue/windows-alu/|Fenster und Rahmen|-|active",
          "gone|Gone|gone.png|http://gone/|Gone d|menu|active",
          "doors-classic|Klassische T\xc3\xbcren|doors-classic.png|~/catalogue/doors-classic/|Holzt\xc3\xbcren|-|-",
          "skylights|Dachfenster|skylights.png|~/catalogue/skylights/|Dachfenster aller Art|-|-"}},
    };
    for (const Case& c : cases) {
        LibraryController controller(true, Context(c.culture));
        EXPECT_EQ(Summary(controller.Libraries()), c.expected) << c.culture;
    }
    EXPECT_TRUE(reports_.lines.empty());
    // The logos are the served pictures, PNG and JPEG, each stored once.
    const StandardCatalogue catalogue = Catalogue();
    EXPECT_EQ(ReadFile(ImagesFolder() / "doors-classic.png"), catalogue.logos.at("/logos/doors-classic.png"));
    EXPECT_EQ(ReadFile(ImagesFolder() / "windows-alu.jpg"), catalogue.logos.at("/logos/windows-alu.jpg"));
    EXPECT_EQ(FileNames(ImagesFolder()), (std::vector<std::string>{"doors-classic.png", "skylights.png", "windows-alu.jpg"}));

    // Offline, only the stored libraries.
    LibraryController offline(false);
    EXPECT_EQ(Summary(offline.Libraries()),
              (std::vector<std::string>{"windows-alu|Old name|old.png|http://old/|Old|-|active",
                                        "gone|Gone|gone.png|http://gone/|Gone d|menu|active"}));
}

TEST_F(LibraryTest, TheHostGivesCultureProfileAndReport)
{
    WriteFile(AddOnFolder() / "data.cfg", "AdminMode=0\nprofile = NORDIC\n");
    LibraryController controller(true);
    EXPECT_EQ(Summary(controller.Libraries()),
              std::vector<std::string>{
                  "nordic-doors|Nordic Doors|nordic-doors.jpg|~/catalogue/nordic-doors/|Doors of the north|-|-"});

    // Without a repository server the host's report gets the alert and the list is empty.
    UseServers("http://127.0.0.1:" + std::to_string(UnusedPort()), Server().Url(""));
    WriteSettings(kStoredLibraries);
    LibraryController failed(true);
    EXPECT_TRUE(failed.Libraries().empty());
    EXPECT_EQ(Report().Alerts(), std::vector<std::string>{kRepositoryFailure});
}

TEST_F(LibraryTest, AnUnreadableRepositoryEmptiesTheListWithOneAlert)
{
    WriteSettings(kStoredLibraries);
    const std::string deep = "{\"repository\":" + std::string(1001, '[') + std::string(1001, ']') + "}";
    struct Case {
        const char* what;
        int status;
        std::string body;
    };
    const Case cases[] = {
        {"error page", 500, "{\"repository\":{\"customers\":[]}}"},  // the body of an error still counts
        {"not an object", 200, "[{\"repository\":{}}]"},
        {"html", 200, "<html>{}</html>"},
        {"no repository", 200, "{\"repositories\":{\"customers\":[]}}"},
        {"customers not an array", 200, "{\"repository\":{\"customers\":{}}}"},
        {"a customer without libraries", 200,
         "{\"repository\":{\"customers\":[{\"libraries\":[]},{\"name\":\"x\"}]}}"},
        {"a customer that is text", 200, "{\"repository\":{\"customers\":[\"x\"]}}"},
        {"nested too deep", 200, deep},
        {"empty", 200, ""},
    };
    for (const Case& c : cases) {
        reports_.lines.clear();
        Server().AddStatus(standin::services::kRepositoryPath, c.status, c.body);
        LibraryController controller(true, Context("en-GB"));
        if (c.status == 500) {
            // An error page that is a sound repository file is read like one.
            EXPECT_EQ(controller.Libraries().size(), 2u) << c.what;
            continue;
        }
        EXPECT_TRUE(controller.Libraries().empty()) << c.what;
        EXPECT_EQ(reports_.lines, (std::vector<std::pair<std::string, bool>>{{kRepositoryFailure, true}})) << c.what;
    }
    // An empty customer list merges nothing and drops nothing.
    reports_.lines.clear();
    Server().AddFile(standin::services::kRepositoryPath, "{\"repository\":{\"customers\":[]}}");
    EXPECT_EQ(LibraryController(true, Context("en-GB")).Libraries().size(), 2u);
    EXPECT_TRUE(reports_.lines.empty());
}

TEST_F(LibraryTest, ALogoTheBudgetCutOffKeepsTheStoredOneAndAFailedOneLeavesNone)
{
    using namespace std::chrono_literals;
    MisbehavingServer stalling(1500ms, 60s);
    Deployment deployment = CurrentDeployment();
    deployment.stallTime = 600s;
    deployment.pictureTotalTime = 600s;
    ScopedDeployment patient(deployment);
    standin::services::RepositoryLibrary alu;
    alu.id = "windows-alu";
    alu.names = {{"en-GB", "Aluminium Windows"}};
    alu.baseUrl = "http://alu/";
    standin::services::RepositoryLibrary gone = alu;
    gone.id = "gone";
    gone.names = {{"en-GB", "Gone"}};
    struct Case {
        const char* what;
        std::string aluLogo;
        std::string goneLogo;
        bool budget;
        std::vector<std::string> logos;  // of windows-alu and gone
    };
    const Case cases[] = {
        // At start-up: the first logo holds the rest of the budget, the second is skipped.
        {"cut off and skipped by the budget", stalling.Url(MisbehavingServer::Way::StallAfterHeaders, "alu.png"),
         Server().Url("/logos/doors-classic.png"), true, {"old.png", "gone.png"}},
        {"failed without a budget", Server().Url("/logos/missing.png"), Server().Url("/logos/doors-classic.png"), false,
         {"", "doors-classic.png"}},
    };
    for (const Case& c : cases) {
        WriteSettings(kStoredLibraries);
        alu.logo = c.aluLogo;
        gone.logo = c.goneLogo;
        Server().AddFile(standin::services::kRepositoryPath, RepositoryJson({{"Maker", {alu, gone}}}));
        TransferBudget budget(1s);
        std::optional<ScopedTransferBudget> inForce;
        if (c.budget)
            inForce.emplace(budget);
        LibraryController controller(true, Context("en-GB"));
        inForce.reset();
        ASSERT_EQ(controller.Libraries().size(), 2u) << c.what;
        EXPECT_EQ(ostrel::WStringToUtf8(controller.Libraries()[0]->logo), c.logos[0]) << c.what;
        EXPECT_EQ(ostrel::WStringToUtf8(controller.Libraries()[1]->logo), c.logos[1]) << c.what;
        EXPECT_EQ(budget.Spent(), c.budget) << c.what;
        // What start-up then writes back.
        ASSERT_TRUE(controller.SaveActiveLibraries(true)) << c.what;
        EXPECT_NE(SettingsText().find("id=\"windows-alu\" name=\"Aluminium Windows\" logo=\"" + c.logos[0] + "\""),
                  std::string::npos)
            << c.what << "\n" << SettingsText();
    }
}

TEST_F(LibraryTest, TheProfileFileChoosesTheRepositoryOrFallsBackToTheDefault)
{
    const std::string nordic = Server().Url("/repository/nordic.json");
    struct Case {
        const char* what;
        std::string crs;
        bool nordicChosen;
    };
    const Case cases[] = {
        {"the profile", ProfilesJson({{"OTHER", "x"}, {"NORDIC", nordic}}), true},
        {"the first match", ProfilesJson({{"NORDIC", nordic}, {"NORDIC", Server().Url("/none")}}), true},
        {"no such profile", ProfilesJson({{"nordic", nordic}}), false},
        {"repository not text",
         "{\"storage\":{\"profiles\":[{\"id\":\"NORDIC\",\"repository\":7},{\"id\":\"NORDIC\",\"repository\":\"" +
             nordic + "\"}]}}",
         true},
        {"profiles not an array", "{\"storage\":{\"profiles\":{\"id\":\"NORDIC\"}}}", false},
        {"a profile that is not an object", "{\"storage\":{\"profiles\":[1,[2],{\"id\":\"NORDIC\",\"repository\":\"" +
                                                nordic + "\"}]}}",
         true},
        {"an address too short", ProfilesJson({{"NORDIC", "x"}}), false},
        {"comments allowed", "{/* profiles */ \"storage\":{\"profiles\":[{\"id\":\"NORDIC\",\"repository\":\"" +
                                 nordic + "\"}]}}",
         true},
        {"nested too deep", "{\"storage\":" + std::string(1001, '[') + "}", false},
        {"not JSON", "<html>", false},
    };
    for (const Case& c : cases) {
        Server().AddFile(standin::services::kProfilesPath, c.crs);
        // A one-byte address is read, and then passed over for the default.
        const bool tooShort = c.crs == ProfilesJson({{"NORDIC", "x"}});
        EXPECT_EQ(GetRepositoryUrlForProfile("NORDIC"), tooShort ? "x" : c.nordicChosen ? nordic : "") << c.what;
        LibraryController controller(true, Context("en-GB", "NORDIC"));
        ASSERT_FALSE(controller.Libraries().empty()) << c.what;
        EXPECT_EQ(controller.Libraries().front()->id, c.nordicChosen ? L"nordic-doors" : L"doors-classic") << c.what;
    }
    EXPECT_TRUE(reports_.lines.empty());
}

TEST_F(LibraryTest, ValuesOfTheWrongKindCountAsMissing)
{
    const std::string logo = Server().Url("/logos/doors-classic.png");
    Server().AddFile(standin::services::kRepositoryPath, R"({"repository":{"customers":[{"libraries":[
        {"id":"a","target_systems":["archicad"],"baseurl":7,"logo":{"x":1},"name":["en-GB"],"description":{"en-GB":3}},
        {"id":"b","target_systems":["ArchiCAD"],"baseurl":"http://b/"},
        {"id":"c","target_systems":"archicad"},
        {"id":4,"target_systems":["archicad"]},
        {"target_systems":["archicad"]},
        "text",
        {"id":"d","target_systems":[1,null,"archicad"],"baseurl":"http://d1/","name":{"en-GB":"D1"}},
        {"id":"d","target_systems":["archicad"],"baseurl":"http://d2/","logo":")" +
                                                                 logo + R"(","name":{"fr-FR":"D2"}},
        {"id":"e\u00e9","target_systems":["archicad"],"name":{"en-GB":true}},
        {"id":"d\u0000x","target_systems":["archicad"],"baseurl":"http://d3/"}
    ]}]}})");
    LibraryController controller(true, Context("en-GB"));
    EXPECT_EQ(Summary(controller.Libraries()),
              (std::vector<std::string>{"a|||||-|-", "d|D1|doors-classic.png|http://d2/||-|-",
                                        "e\xc3\xa9|||||-|-"}));
    EXPECT_TRUE(reports_.lines.empty());
}

TEST_F(LibraryTest, ActivationAndItsWriteBack)
{
    WriteSettings(kStoredLibraries);
    LibraryController controller(true, Context("en-GB"));
    struct Case {
        std::string id;
        bool activated;
    };
    const Case cases[] = {
        {"gone", false},           // active already
        {"doors-classic", true},   // inactive until now
        {"doors-classic", false},  // and now active
        {"doors-cad", false},      // not for this host
        {"Doors-Classic", false},  // ids are exact
        {"\xff", false},           // not UTF-8
    };
    for (const Case& c : cases)
        EXPECT_EQ(controller.ActivateLibrary(c.id), c.activated) << c.id;

    std::wstring url = L"unchanged";
    EXPECT_FALSE(controller.GetLibraryUrl("nowhere", url));
    EXPECT_EQ(url, L"unchanged");
    ASSERT_TRUE(controller.GetLibraryUrl("doors-classic", url));
    EXPECT_EQ(ostrel::WStringToUtf8(url), Server().Url("/catalogue/doors-classic/"));

    std::vector<std::shared_ptr<Library>> active;
    controller.GetActiveLibraries(active);
    ASSERT_EQ(active.size(), 3u);
    EXPECT_EQ(active[2], controller.Libraries()[2]);  // shared, not copied

    ASSERT_TRUE(controller.SaveActiveLibraries(false));
    const std::string base = Server().Url("");
    EXPECT_EQ(SettingsText(),
              "<?xml version=\"1.0\"?>\n<Settings>\n\t<ActiveLibraries>\n"
              "\t\t<Library id=\"windows-alu\" name=\"Aluminium Windows\" logo=\"windows-alu.jpg\" url=\"" +
                  base + "/catalogue/windows-alu/\" description=\"Windows and frames\" is_in_menu=\"false\" />\n"
                         "\t\t<Library id=\"gone\" name=\"Gone\" logo=\"gone.png\" url=\"http://gone/\" "
                         "description=\"Gone d\" is_in_menu=\"true\" />\n"
                         "\t\t<Library id=\"doors-classic\" name=\"Classic Doors\" logo=\"doors-classic.png\" url=\"" +
                  base +
                  "/catalogue/doors-classic/\" description=\"Wooden doors\" is_in_menu=\"false\" />\n"
                  "\t</ActiveLibraries>\n</Settings>\n");
    // Start-up puts every active library in the menu; a reload reads back what was written.
    ASSERT_TRUE(controller.SaveActiveLibraries(true));
    EXPECT_EQ(Summary(LibraryController(false).Libraries()),
              (std::vector<std::string>{
                  "windows-alu|Aluminium Windows|windows-alu.jpg|~/catalogue/windows-alu/|Windows and frames|menu|active",
                  "gone|Gone|gone.png|http://gone/|Gone d|menu|active",
                  "doors-classic|Classic Doors|doors-classic.png|~/catalogue/doors-classic/|Wooden doors|menu|active"}));
}

TEST_F(LibraryTest, TheLibraryDialogChoosesTheActiveOnes)
{
    struct TestLibraryView : ILibraryView {
        void Close(bool accepted) override { closed.push_back(accepted); }
        void CollectLibraries(std::vector<LibraryChoice>& out) override { out.insert(out.end(), rows.begin(), rows.end()); }
        std::vector<LibraryChoice> rows;
        std::vector<bool> closed;
    };
    WriteSettings("<Settings><Update AutoUpdateEnabled=\"yes\"/>" + std::string(kStoredLibraries).substr(32));
    LibraryController controller(true, Context("en-GB"));
    TestLibraryView view;
    controller.view = &view;
    view.rows = {{L"skylights", true}, {L"windows-alu", false}, {L"skylights", false}};
    controller.ApplyActiveLibraries();
    EXPECT_EQ(view.closed, std::vector<bool>{true});
    std::vector<std::shared_ptr<Library>> active;
    controller.GetActiveLibraries(active);
    ASSERT_EQ(active.size(), 2u);  // "gone" has no row and keeps its flag
    EXPECT_EQ(active[0]->id, L"gone");
    EXPECT_EQ(active[1]->id, L"skylights");

    // Every row unchecked: the element is written empty, after the root's other children.
    view.rows = {{L"gone", false}, {L"skylights", false}};
    controller.ApplyActiveLibraries();
    ASSERT_TRUE(controller.SaveActiveLibraries(false));
    EXPECT_EQ(SettingsText(),
              "<?xml version=\"1.0\"?>\n<Settings>\n\t<Update AutoUpdateEnabled=\"yes\" />\n\t<ActiveLibraries />\n"
              "</Settings>\n");
}

TEST_F(LibraryTest, StoredAttributesAreReadWithTheirDefaults)
{
    WriteSettings("<Settings><ActiveLibraries><Library id=\"x\" is_in_menu=\"false\"/><Library name=\"\xff\"/>"
                  "<Library id=\"y\" is_in_menu=\"0\"/></ActiveLibraries><Library id=\"outside\"/></Settings>");
    EXPECT_EQ(Summary(LibraryController(false).Libraries()),
              (std::vector<std::string>{"x|||||-|active", "|||||menu|active", "y|||||-|active"}));
}

TEST_F(LibraryTest, SavingReplacesEveryStoredListSoNoLibraryIsDoubled)
{
    // A file edited by hand with two lists: both are read, and one list is written.
    WriteSettings("<Settings><ActiveLibraries><Library id=\"a\"/></ActiveLibraries><Update/>"
                  "<ActiveLibraries><Library id=\"b\"/></ActiveLibraries></Settings>");
    ASSERT_TRUE(LibraryController(false).SaveActiveLibraries(false));
    EXPECT_EQ(Summary(LibraryController(false).Libraries()),
              (std::vector<std::string>{"a|||||menu|active", "b|||||menu|active"}));
    EXPECT_EQ(SettingsText(),
              "<?xml version=\"1.0\"?>\n<Settings>\n\t<Update />\n\t<ActiveLibraries>\n"
              "\t\t<Library id=\"a\" name=\"\" logo=\"\" url=\"\" description=\"\" is_in_menu=\"true\" />\n"
              "\t\t<Library id=\"b\" name=\"\" logo=\"\" url=\"\" description=\"\" is_in_menu=\"true\" />\n"
              "\t</ActiveLibraries>\n</Settings>\n");
}

}  // namespace
}  // namespace tarvel::testing
