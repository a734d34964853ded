// The add-on loaded, checked, registered and initialised as the host does it: what it
// registers, where each failing registration ends the start, the data folders, the
// library list and the update switch.
#include "ShellFixture.hpp"

#include "Main/Globals.hpp"
#include "ostrel/interop/HostApi.hpp"
#include "standin/Base.hpp"
#include "standin/Dialogs.hpp"

#include <boost/filesystem/operations.hpp>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace tarvel::testing {
namespace {

using namespace HostInterface;

class StartUpTest : public ShellFixture {};

TEST_F(StartUpTest, TheAddOnNamesItselfAndRegistersItsMenusPaletteAndNotifications)
{
    Identify();
    EXPECT_EQ(Loader().Environment().addOnName, GS::UniString("Tarvel"));
    EXPECT_EQ(Loader().Environment().addOnDescription, GS::UniString("Tarvel Add-on v1.28"));
    ASSERT_EQ(Loader().Register(), 0);

    struct Menu {
        std::int16_t menu, prompt;
        std::int32_t position, flags;
    };
    const Menu expected[] = {
        {32500, 32520, 0, 2}, {32504, 32524, 0, 0}, {32505, 32525, 0, 0}, {32506, 32526, 0, 1}, {32507, 32527, 12, 0},
    };
    auto menus = Registrations().Menus();
    ASSERT_EQ(menus.size(), std::size(expected));
    for (std::size_t i = 0; i < menus.size(); ++i) {
        EXPECT_EQ(menus[i].menuList, expected[i].menu) << i;
        EXPECT_EQ(menus[i].promptList, expected[i].prompt) << i;
        EXPECT_EQ(menus[i].position, expected[i].position) << i;
        EXPECT_EQ(menus[i].flags, expected[i].flags) << i;
        EXPECT_EQ(menus[i].handler, nullptr) << i;
    }
    EXPECT_EQ(menus[0].items[0].text, u"Show toolbar");
    EXPECT_EQ(menus[3].items[0].iconId, 32508);

    const std::size_t before = Host().Calls().size();
    ASSERT_EQ(Loader().Start(), 0);
    // Handlers, palette and notifications in this order, before the library list.
    EXPECT_EQ(CallsOf({Slot::SetMenuCommandHandler, Slot::AddPaletteWindow, Slot::WatchProjectEvents,
                       Slot::WatchSelection},
                      before),
              (std::vector<Slot>{Slot::SetMenuCommandHandler, Slot::SetMenuCommandHandler, Slot::SetMenuCommandHandler,
                                 Slot::SetMenuCommandHandler, Slot::SetMenuCommandHandler, Slot::AddPaletteWindow,
                                 Slot::WatchProjectEvents, Slot::WatchSelection}));
    menus = Registrations().Menus();
    for (const auto& menu : menus)
        EXPECT_NE(menu.handler, nullptr) << menu.menuList;
    const auto palettes = Registrations().Palettes();
    ASSERT_EQ(palettes.size(), 1u);
    EXPECT_EQ(palettes[0].referenceId, 0x0FE77916);
    EXPECT_EQ(palettes[0].flags, 1015);
    EXPECT_EQ(palettes[0].guid.ToString(), "835C2B73-CBA4-4179-84BA-2D907BC7E3BA");
    EXPECT_EQ(Registrations().ProjectEventMask(), 99);
    EXPECT_TRUE(Registrations().WatchesSelection());
    // No palette yet: the first show command makes it.
    EXPECT_EQ(toolbarDialog, nullptr);
    EXPECT_TRUE(Host().CallsOffUiThread().empty());
}

TEST_F(StartUpTest, AnotherHostIsDeclinedAndItsRecordLeftAlone)
{
    Loader().ReadExports();
    Loader().Install();
    EXPECT_EQ(Loader().Identify(2), 0);
    EXPECT_EQ(Loader().Environment().addOnName, GS::UniString());
    EXPECT_EQ(Loader().Environment().addOnDescription, GS::UniString());
    EXPECT_THROW(Loader().Register(), standin::ContractError);
    EXPECT_TRUE(Registrations().Menus().empty());
}

TEST_F(StartUpTest, AFailingRegistrationEndsItsEntryPointWithItsCode)
{
    constexpr GSErrCode kRefused = static_cast<GSErrCode>(0x81060111u);
    struct Case {
        const char* what;
        Slot slot;
        int skip;
        bool inRegistration;
        std::size_t menus, handlers;
        bool palette, events, selection;
    };
    const Case cases[] = {
        {"the third menu", Slot::AddMenu, 2, true, 2, 0, false, false, false},
        {"the third menu handler", Slot::SetMenuCommandHandler, 2, false, 5, 2, false, false, false},
        {"the palette", Slot::AddPaletteWindow, 0, false, 5, 5, false, false, false},
        {"the project events", Slot::WatchProjectEvents, 0, false, 5, 5, true, false, false},
        {"the selection", Slot::WatchSelection, 0, false, 5, 5, true, true, false},
    };
    for (const Case& c : cases) {
        Reload();
        boost::filesystem::remove(SettingsPath());
        const int changelogBefore = ChangelogRequests();
        Host().FailCall(c.slot, kRefused, c.skip);
        Identify();
        if (c.inRegistration) {
            EXPECT_EQ(Loader().Register(), kRefused) << c.what;
        } else {
            ASSERT_EQ(Loader().Register(), 0) << c.what;
            EXPECT_EQ(Loader().Start(), kRefused) << c.what;
        }
        const auto menus = Registrations().Menus();
        EXPECT_EQ(menus.size(), c.menus) << c.what;
        const auto handlers = std::count_if(menus.begin(), menus.end(), [](const auto& m) { return m.handler != nullptr; });
        EXPECT_EQ(static_cast<std::size_t>(handlers), c.handlers) << c.what;
        EXPECT_EQ(Registrations().Palettes().size(), c.palette ? 1u : 0u) << c.what;
        EXPECT_EQ(Registrations().ProjectEventMask().has_value(), c.events) << c.what;
        EXPECT_EQ(Registrations().WatchesSelection(), c.selection) << c.what;
        // Neither the library list nor the update check ran.
        EXPECT_FALSE(boost::filesystem::exists(SettingsPath())) << c.what;
        EXPECT_EQ(ChangelogRequests(), changelogBefore) << c.what;
        Host().ClearFailures();
    }
}

TEST_F(StartUpTest, AnExceptionInTheInitialisationIsWrittenOutAndAnswersTheGeneralError)
{
    struct Case {
        const char* what;
        std::function<void()> arrange;
        std::string written;
    };
    const Case cases[] = {
        {"no special location", [] { standin::base::FailSpecialLocation(static_cast<GSErrCode>(0x80010001u)); },
         "LOAD FAILED! \nError in GS call!\n"},
        {"a file where the data root goes",
         [this] {
             boost::filesystem::remove_all(SpecialFolder() / "Tarvel");
             WriteFile(SpecialFolder() / "Tarvel", "in the way");
         },
         "LOAD FAILED! \n"},
    };
    for (const Case& c : cases) {
        Reload();
        Identify();
        ASSERT_EQ(Loader().Register(), 0);
        c.arrange();
        ::testing::internal::CaptureStderr();
        const GSErrCode answer = Loader().Start();
        const std::string written = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(answer, ErrGeneral) << c.what;
        EXPECT_EQ(written.rfind(c.written, 0), 0u) << c.what << ": " << written;
    }
    boost::filesystem::remove(SpecialFolder() / "Tarvel");
}

TEST_F(StartUpTest, TheFirstStartMakesTheDataFoldersAndSwitchesTheUpdateCheckOn)
{
    boost::filesystem::remove_all(SpecialFolder() / "Tarvel");
    Start();
    for (const char* folder : {"Images", "Temp", "Tarvel Library"})
        EXPECT_TRUE(boost::filesystem::is_directory(DataRoot() / folder)) << folder;
    // No active library: nothing written for them; the check ran and was recorded.
    EXPECT_EQ(SettingsText(), "<?xml version=\"1.0\"?>\n<Settings>\n\t<Update AutoUpdateEnabled=\"yes\" "
                              "LastUpdateCheck=\"2023-11-14 22:13:20\" />\n</Settings>\n");
    EXPECT_EQ(ChangelogRequests(), 1);
    EXPECT_EQ(libraryFolder, L"\\Tarvel\\daVED\\ArchiCAD\\Tarvel Library");
}

TEST_F(StartUpTest, TheStartRemovesTheTemporaryFilesOfKilledSettingsWrites)
{
    // A write killed before its rename leaves its temporary file, and its lock dies
    // with it. A file whose lock is held belongs to a write under way (of another host
    // process on the same data root); files that only look alike are the user's.
    namespace fs = boost::filesystem;
    fs::create_directories(DataRoot());
    const std::pair<const char*, bool> files[] = {
        {"Settings.xml.1a2b-3c4d.tmp", false}, {"Settings.xml.keep.tmp", true}, {"Settings.xml.1A2B-3C4D.tmp", true},
        {"Settings.xml.bad", true},            {"Other.xml.1a2b-3c4d.tmp", true}, {"Settings.xml.0000-ffff.tmp", true},
    };
    for (const auto& [name, kept] : files)
        WriteFile(DataRoot() / name, "<Settings");
    const int underWay = ::open((DataRoot() / "Settings.xml.0000-ffff.tmp").c_str(), O_RDONLY);
    ASSERT_GE(underWay, 0);
    ASSERT_EQ(::flock(underWay, LOCK_EX), 0);
    Start();
    ::close(underWay);
    for (const auto& [name, kept] : files)
        EXPECT_EQ(fs::exists(DataRoot() / name), kept) << name;
}

TEST_F(StartUpTest, StoredLibrariesAreMergedWithTheRepositoryAndWrittenBackAllInTheMenu)
{
    WriteSettings("<Settings><Update AutoUpdateEnabled=\"no\"/><ActiveLibraries>"
                  "<Library id=\"windows-alu\" name=\"old\" logo=\"\" url=\"\" description=\"\" is_in_menu=\"false\"/>"
                  "<Library id=\"gone\" name=\"Gone\" logo=\"\" url=\"u\" description=\"\" is_in_menu=\"false\"/>"
                  "</ActiveLibraries></Settings>");
    Start();
    const std::string text = SettingsText();
    EXPECT_NE(text.find("<Library id=\"windows-alu\" name=\"Aluminium Windows\" logo=\"windows-alu.jpg\" url=\"" +
                        Server().Url("/catalogue/windows-alu/") +
                        "\" description=\"Windows and frames\" is_in_menu=\"true\" />"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("<Library id=\"gone\" name=\"Gone\" logo=\"\" url=\"u\" description=\"\" is_in_menu=\"true\" />"),
              std::string::npos)
        << text;
    // Libraries the user did not choose stay out.
    EXPECT_EQ(text.find("doors-classic"), std::string::npos);
}

TEST_F(StartUpTest, ANewerVersionIsOfferedAndUpdateNowInstallsOnlyATrustedInstaller)
{
    const std::string installer = Catalogue().installer;
    CatalogueServer installerServer(CatalogueServer::Kind::AuthorityTls);
    installerServer.AddFile(standin::services::kInstallerPath, installer);
    Deployment deployment = CurrentDeployment();
    deployment.installerServer = installerServer.Url("");
    deployment.testTrustedAuthorities = installerServer.AuthorityPem();
    // A TLS handshake in a sanitizer build on a busy machine takes its time.
    deployment.connectTimeout = std::chrono::seconds(10);
    ScopedDeployment scoped(deployment);
    Server().AddFile(standin::services::kChangelogPath, standin::services::ChangelogXml({"1.27", "1.29"}),
                     "application/xml");
    const std::string installerPath = SpecialFolder().string() + "\\Tarvel\\daVED\\ArchiCAD\\Temp\\installer.exe";

    struct Case {
        const char* what;
        short answer;
        bool signed_;
        std::vector<std::string> opened;
        std::vector<std::string> alerts;
    };
    const Case cases[] = {
        {"later", 1, true, {}, {}},
        {"update now", 2, true, {installerPath}, {}},
        {"update now, unsigned", 2, false, {},
         {"ERROR: the update could not be downloaded or verified. Nothing was installed."}},
    };
    for (const Case& c : cases) {
        Reload();
        standin::win::ClearTrust();
        standin::win::ClearShellLog();
        if (c.signed_)
            standin::win::TrustSignedContent(installer);
        const int requests = installerServer.CallCount(standin::services::kInstallerPath);
        Report().Clear();
        standin::dg::AnswerAlert(c.answer);
        Start();
        const auto alert = standin::dg::Alerts().back();
        EXPECT_EQ(alert.type, -3) << c.what;
        EXPECT_EQ(alert.title, "Software Update") << c.what;
        EXPECT_EQ(alert.largeText, "New Update for Tarvel AddOn") << c.what;
        EXPECT_EQ(alert.smallText, "Do You want download and install the new version of Tarvel Add-On?") << c.what;
        EXPECT_EQ(alert.buttons[0], "Later") << c.what;
        EXPECT_EQ(alert.buttons[1], "Update now") << c.what;
        EXPECT_EQ(alert.buttons[2], "") << c.what;
        std::vector<std::string> opened;
        for (const auto& request : standin::win::ShellLog())
            opened.push_back(request.file);
        EXPECT_EQ(opened, c.opened) << c.what;
        EXPECT_EQ(installerServer.CallCount(standin::services::kInstallerPath) - requests, c.answer == 2 ? 1 : 0)
            << c.what;
        EXPECT_EQ(Report().Alerts(), c.alerts) << c.what;
    }
    standin::win::ClearTrust();
}

TEST_F(StartUpTest, AnUpdateSwitchOtherThanYesAsksNothing)
{
    for (const char* value : {"no", "Yes", ""}) {
        Reload();
        const std::string settings =
            std::string("<Settings><Update AutoUpdateEnabled=\"") + value + "\" LastUpdateCheck=\"old\"/></Settings>";
        WriteSettings(settings);
        const int before = ChangelogRequests();
        Start();
        EXPECT_EQ(ChangelogRequests(), before) << value;
        EXPECT_NE(SettingsText().find("LastUpdateCheck=\"old\""), std::string::npos) << value;
    }
}

}  // namespace
}  // namespace tarvel::testing
