// The running add-on as the host drives it: menu commands, palette messages, project
// events and selection changes, then the clean-up.
#include "ShellFixture.hpp"

#include "DialogIds.hpp"
#include "DialogNames.hpp"
#include "Main/ShellCommands.hpp"
#include "controllers/SettingsController.hpp"
#include "ostrel/interop/HostApi.hpp"
#include "standin/Base.hpp"
#include "standin/Elements.hpp"
#include "standin/LibParts.hpp"
#include "transfer/ClipboardMessage.hpp"

#include <boost/filesystem/operations.hpp>

#include <thread>

namespace tarvel::testing {
namespace {

using namespace HostInterface;
using namespace std::chrono_literals;

constexpr const char* kSupportSite = "https://support.tarvel.example/";

class CommandsTest : public ShellFixture {
protected:
    void SetUp() override
    {
        ShellFixture::SetUp();
        Start();
        standin::win::ClearShellLog();
        Report().Clear();
    }

    std::vector<std::string> ShellFiles()
    {
        std::vector<std::string> files;
        for (const auto& request : standin::win::ShellLog())
            files.push_back(request.file);
        return files;
    }
    std::vector<std::string> ActiveLibraries() { return Host().Module<standin::LibPartModule>().ActiveLibraries(); }
    // What the palette was asked since the last look.
    std::vector<std::string> TakePaletteLog() { return std::exchange(paletteLog, {}); }
};

TEST_F(CommandsTest, HelpOpensTheHelpUrlOrElseTheSupportSite)
{
    struct Case {
        const char* what;
        std::optional<std::string> settings;
        std::vector<std::string> opened;
    };
    const Case cases[] = {
        {"no settings file", std::nullopt, {kSupportSite}},
        {"no help_url", "<Settings/>", {kSupportSite}},
        {"a help_url of one character", "<Settings help_url=\"x\"/>", {kSupportSite}},
        {"a help_url", "<Settings help_url=\"https://help.example/start\"/>", {"https://help.example/start"}},
        // Not a web link: the user still gets help.
        {"a help_url that is no link", "<Settings help_url=\"tarvel-help:start\"/>", {kSupportSite}},
        {"a help_url that is a file", "<Settings help_url=\"C:\\Windows\\notepad.exe\"/>", {kSupportSite}},
        {"a help_url that is no UTF-8", "<Settings help_url=\"http://h\xFF/\"/>", {kSupportSite}},
        {"a damaged file", "<Settings help_url=\"https://help.example/\"><Upd", {kSupportSite}},
    };
    for (const Case& c : cases) {
        boost::filesystem::remove(SettingsPath());
        if (c.settings)
            WriteSettings(*c.settings);
        standin::win::ClearShellLog();
        EXPECT_EQ(Registrations().ChooseMenu(32505), GSErrCode{0}) << c.what;
        EXPECT_EQ(ShellFiles(), c.opened) << c.what;
    }
    EXPECT_EQ(standin::win::ShellLog().back().verb, "open");
}

TEST_F(CommandsTest, AboutAndSettingsRunTheirDialogsAndEveryCommandForgetsTheDialogRectangles)
{
    const int resets = standin::dg::DialogRectangleResets();
    standin::dg::User(ids::About::Dialog).Click(ids::About::Close);
    ASSERT_EQ(Registrations().ChooseMenu(32506), GSErrCode{0});
    EXPECT_EQ(standin::dg::PendingActions(ids::About::Dialog), 0u);
    EXPECT_EQ(standin::dg::Steps().back(), "close " + Named(ids::About::Dialog) + " (cancelled)");
    // Settings: the user switches the update check off and confirms.
    standin::dg::User(ids::Settings::Dialog).Click(ids::Settings::AutoUpdate).Click(ids::Settings::Ok);
    ASSERT_EQ(Registrations().ChooseMenu(32504), GSErrCode{0});
    EXPECT_EQ(standin::dg::PendingActions(ids::Settings::Dialog), 0u);
    EXPECT_EQ(standin::dg::Steps().back(), "close " + Named(ids::Settings::Dialog) + " (accepted)");
    std::string enabled;
    EXPECT_TRUE(SettingsController().GetAttribute(L"AutoUpdateEnabled", enabled));
    EXPECT_EQ(enabled, "no");
    ASSERT_EQ(Registrations().ChooseMenu(32505), GSErrCode{0});
    EXPECT_EQ(standin::dg::DialogRectangleResets(), resets + 3);
}

TEST_F(CommandsTest, ACommandRunsOnlyWithTheLibraryFolderAmongTheActiveLibraries)
{
    ASSERT_EQ(Registrations().ChooseMenu(32505), GSErrCode{0});
    EXPECT_EQ(ActiveLibraries(), std::vector<std::string>{LibraryFolderText()});
    // Once there, the list is left alone.
    const std::size_t sets = Host().CallCount(Slot::SetLibraryList);
    ASSERT_EQ(Registrations().ChooseMenu(32505), GSErrCode{0});
    EXPECT_EQ(Host().CallCount(Slot::SetLibraryList), sets);
    EXPECT_EQ(ShellFiles().size(), 2u);

    // An unusable folder stops the command with an alert and the general error.
    boost::filesystem::remove_all(DataRoot() / "Tarvel Library");
    standin::win::ClearShellLog();
    EXPECT_EQ(Registrations().ChooseMenu(32505), ErrGeneral);
    EXPECT_EQ(Report().Alerts(), std::vector<std::string>{"Failed to load Tarvel Library!"});
    EXPECT_TRUE(ShellFiles().empty());

    // A host that cannot give its list: the command runs all the same.
    Host().FailCall(Slot::GetLibraryList, ErrGeneral);
    EXPECT_EQ(Registrations().ChooseMenu(32505), GSErrCode{0});
    EXPECT_EQ(ShellFiles(), std::vector<std::string>{kSupportSite});
}

TEST_F(CommandsTest, ShowToolbarMakesOnePaletteWithOneWatcherAndBringsItToTheFront)
{
    WriteSettings("<Settings><ActiveLibraries><Library id=\"doors-classic\" name=\"Classic Doors\"/></ActiveLibraries>"
                  "</Settings>");
    ASSERT_EQ(Registrations().ChooseMenu(32507), GSErrCode{0});
    ASSERT_NE(Palette(), nullptr);
    EXPECT_EQ(paletteGuids, std::vector<std::string>{"835C2B73-CBA4-4179-84BA-2D907BC7E3BA"});
    EXPECT_EQ(TakePaletteLog(), (std::vector<std::string>{"watch", "show"}));
    ASSERT_EQ(toolbarController.activeLibraries.size(), 1u);
    EXPECT_EQ(toolbarController.activeLibraries[0]->id, L"doors-classic");

    // Again, from either menu and from the open message: the same palette, its
    // libraries reloaded, the watcher asked again, and still one watcher.
    WriteSettings("<Settings><ActiveLibraries/></Settings>");
    ASSERT_EQ(Registrations().ChooseMenu(32500), GSErrCode{0});
    EXPECT_TRUE(toolbarController.activeLibraries.empty());
    ASSERT_EQ(Registrations().ChooseMenu(32500), GSErrCode{0});
    ASSERT_TRUE(Registrations().SendPaletteMessage(kPaletteId, PaletteOpen).delivered);
    EXPECT_EQ(paletteGuids.size(), 1u);
    EXPECT_EQ(TakePaletteLog(), (std::vector<std::string>{"watch", "show", "watch", "show", "watch", "show"}));
    EXPECT_EQ(standin::win::LiveThreads(), 1);
}

TEST_F(CommandsTest, AnExceptionInACommandIsWrittenOutAndTheCommandEndsNormally)
{
    throwOnShow = true;
    ::testing::internal::CaptureStderr();
    const auto answer = Registrations().ChooseMenu(32500);
    const std::string written = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(answer, GSErrCode{0});
    EXPECT_EQ(written, "LOAD FAILED! \npalette failure\n");
    // The palette made stays the one palette.
    EXPECT_NE(Palette(), nullptr);
}

TEST_F(CommandsTest, PaletteMessagesReachThePaletteOnceItExists)
{
    struct Case {
        std::int32_t message;
        std::vector<std::string> asked;
    };
    const Case cases[] = {
        {PaletteCloseRequest, {"stop watcher", "close request", "close"}},
        {PaletteHide, {"hide"}},
        {PaletteShow, {"show window"}},
        {PaletteDisableItems, {"disable items"}},
        {PaletteEnableItems, {"enable items"}},
        {PaletteIsVisible, {}},
        {8, {}},
    };
    // Before the palette exists nothing happens, and the byte stays as it was.
    for (const Case& c : cases) {
        const auto delivery = Registrations().SendPaletteMessage(kPaletteId, c.message);
        EXPECT_TRUE(delivery.delivered) << c.message;
        EXPECT_EQ(delivery.answer, GSErrCode{0}) << c.message;
        EXPECT_EQ(delivery.byte, standin::PaletteDelivery::kUntouchedByte) << c.message;
    }
    EXPECT_EQ(Palette(), nullptr);

    // Open makes it, shows it and makes the library folder active.
    ASSERT_TRUE(Registrations().SendPaletteMessage(kPaletteId, PaletteOpen).delivered);
    ASSERT_NE(Palette(), nullptr);
    EXPECT_EQ(TakePaletteLog(), (std::vector<std::string>{"watch", "show"}));
    EXPECT_EQ(ActiveLibraries(), std::vector<std::string>{LibraryFolderText()});

    for (const Case& c : cases) {
        Registrations().SendPaletteMessage(kPaletteId, PaletteShow);
        TakePaletteLog();
        const auto delivery = Registrations().SendPaletteMessage(kPaletteId, c.message);
        EXPECT_EQ(TakePaletteLog(), c.asked) << c.message;
        EXPECT_EQ(delivery.byte, c.message == PaletteIsVisible ? 1 : standin::PaletteDelivery::kUntouchedByte)
            << c.message;
    }
    Registrations().SendPaletteMessage(kPaletteId, PaletteHide);
    EXPECT_EQ(Registrations().SendPaletteMessage(kPaletteId, PaletteIsVisible).byte, 0);
}

TEST_F(CommandsTest, ProjectEventsOfTheMaskCloseThePalette)
{
    // Before the palette exists: delivered, nothing to close.
    EXPECT_EQ(Registrations().FireProjectEvent(ProjectOpen), GSErrCode{0});
    ASSERT_EQ(Registrations().ChooseMenu(32500), GSErrCode{0});
    TakePaletteLog();
    for (std::int32_t event : {ProjectNew, ProjectOpen, ProjectClose, ProjectQuit}) {
        EXPECT_EQ(Registrations().FireProjectEvent(event), GSErrCode{0}) << event;
        EXPECT_EQ(TakePaletteLog(), (std::vector<std::string>{"close request", "close"})) << event;
    }
    for (std::int32_t event : {ProjectSave, ProjectSaveAs, ProjectPublish})
        EXPECT_FALSE(Registrations().FireProjectEvent(event).has_value()) << event;
    EXPECT_TRUE(TakePaletteLog().empty());
}

TEST_F(CommandsTest, TheModifyToolFollowsWhetherOneProductIsSelected)
{
    auto& elements = Host().Module<standin::ElementModule>();
    standin::PartParameter url;
    url.name = "tv_base_url";
    url.text = u"https://catalogue.example/";
    standin::PartParameter other;
    other.name = "tv_base_url2";
    other.text = u"x";
    const GS::Guid object = elements.Place(ElemObject, 1, 1, 1, {other, url});
    const GS::Guid door = elements.Place(ElemDoor, 1, 1, 1, {url});
    const GS::Guid window = elements.Place(ElemWindow, 1, 1, 1, {url});
    const GS::Guid lamp = elements.Place(ElemLamp, 1, 1, 1, {url});
    const GS::Guid skylight = elements.Place(ElemSkylight, 1, 1, 1, {url});
    const GS::Guid wall = elements.Place(ElemWall, 0, 1, 1, {url});
    const GS::Guid plain = elements.Place(ElemObject, 1, 1, 1, {other});
    const GS::Guid bare = elements.Place(ElemObject, 1, 1, 1, {url}, false);
    const GS::Guid locked = elements.Place(ElemObject, 1, 1, 1, {url});
    elements.SetEditable(locked, false);
    const GS::Guid empty = elements.Place(ElemObject, 1, 1, 1, {});
    standin::PartParameter shouting = url;
    shouting.name = "TV_BASE_URL";
    const GS::Guid upper = elements.Place(ElemObject, 1, 1, 1, {shouting});

    ASSERT_EQ(Registrations().ChooseMenu(32500), GSErrCode{0});
    struct Case {
        const char* what;
        std::vector<GS::Guid> selection;
        bool product;
    };
    const Case cases[] = {
        {"an object", {object}, true},
        {"a door", {door}, true},
        {"a window", {window}, true},
        {"a lamp", {lamp}, true},
        {"a skylight", {skylight}, true},
        {"nothing", {}, false},
        {"two products", {object, door}, false},
        {"a wall", {wall}, false},
        {"an object of another kind", {plain}, false},
        {"an object without parameters", {bare}, false},
        {"an object that cannot be edited", {locked}, false},
        {"an object with no parameter", {empty}, false},
        {"the name in capitals", {upper}, false},
    };
    const auto handles = standin::base::LiveHandles();
    for (const Case& c : cases) {
        TakePaletteLog();
        elements.Select(c.selection);
        EXPECT_EQ(TakePaletteLog(), std::vector<std::string>{c.product ? "modify on" : "modify off"}) << c.what;
        elements.Select(c.selection);
        EXPECT_EQ(SelectionHoldsProduct(), c.product) << c.what;
    }
    // Every selection outline and parameter list read was given back.
    EXPECT_EQ(standin::base::LiveHandles(), handles);

    // A selection the host cannot read counts as none.
    elements.Select({object});
    Host().FailCall(Slot::ReadElementMemo, ErrGeneral);
    EXPECT_FALSE(SelectionHoldsProduct());
    Host().FailCall(Slot::ReadSelection, ErrGeneral);
    EXPECT_FALSE(SelectionHoldsProduct());
    EXPECT_EQ(standin::base::LiveHandles(), handles);
}

TEST_F(CommandsTest, TheCleanUpBeforeAnyPaletteEndsTheEventsAndThePaletteRegistration)
{
    const std::size_t before = Host().Calls().size();
    EXPECT_EQ(Loader().Stop(), GSErrCode{0});
    std::vector<Slot> slots;
    const auto calls = Host().Calls();
    for (std::size_t i = before; i < calls.size(); ++i)
        slots.push_back(calls[i].slot);
    EXPECT_EQ(slots, (std::vector<Slot>{Slot::WatchProjectEvents, Slot::RemovePaletteWindow}));
    EXPECT_FALSE(Registrations().ProjectEventMask().has_value());
    EXPECT_TRUE(Registrations().Palettes().empty());
}

TEST_F(CommandsTest, TheCleanUpClosesThePaletteAndEndsEveryThreadBeforeItReturns)
{
    ASSERT_EQ(Registrations().ChooseMenu(32500), GSErrCode{0});
    // A product whose artifacts are never ready: its worker waits for the semaphore.
    Server().AddSemaphore("/never", 1000000);
    const std::string json = "{\"CallbackUrl\":\"" + Server().Url("/callback") +
                             "\",\"CatalogName\":\"doors-classic\",\"Artifacts\":["
                             "{\"FileType\":\"SemaphoreFile\",\"SourceUrl\":\"" +
                             Server().Url("/never") + "\"},{\"FileType\":\"CadFile\",\"SourceUrl\":\"" +
                             Server().Url("/model.xml") + "\"}]}";
    Server().AddCallback("/callback");
    ASSERT_TRUE(standin::win::SetClipboardBytes(std::string(kMessageStart) + Base64Encode(json) + kMessageEnd));
    const auto end = std::chrono::steady_clock::now() + 20s;
    // Busy comes before the worker's thread exists: wait for both.
    while ((!toolbarController.downloadBusy || standin::win::LiveThreads() < 2) &&
           std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(5ms);
    ASSERT_TRUE(toolbarController.downloadBusy);
    // The controller turns busy just before it makes the worker.
    while (standin::win::LiveThreads() < 2 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(5ms);
    EXPECT_EQ(standin::win::LiveThreads(), 2);
    TakePaletteLog();

    EXPECT_EQ(Loader().Stop(), GSErrCode{0});
    // Nothing of the add-on runs once the clean-up has returned.
    EXPECT_EQ(standin::win::LiveThreads(), 0);
    EXPECT_EQ(TakePaletteLog(), (std::vector<std::string>{"close request", "close", "close (clean-up)"}));
    EXPECT_FALSE(toolbarController.downloadBusy);
    EXPECT_TRUE(Registrations().Palettes().empty());
    EXPECT_FALSE(Registrations().FireProjectEvent(ProjectClose).has_value());
    EXPECT_FALSE(Registrations().SendPaletteMessage(kPaletteId, PaletteOpen).delivered);
    // The palette is gone with the clean-up: nothing of it is left for the unload.
    EXPECT_EQ(Palette(), nullptr);
}

}  // namespace
}  // namespace tarvel::testing
