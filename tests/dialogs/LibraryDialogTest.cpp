// The library dialog over the loopback repository, run by the scripted user: its
// rows and separators, check marks toggled where the user clicks, OK and Cancel
// with what reaches Settings.xml, libraries without a name, its picture, and the
// palette's add-library tool that opens it.
#include "dialogs/LibraryDialog.hpp"

#include "MisbehavingServer.hpp"
#include "PaletteFixture.hpp"
#include "standin/Dialogs.hpp"
#include "standin/Win.hpp"

#include <pugixml.hpp>

#include <algorithm>
#include <cmath>
#include <thread>

namespace tarvel::testing {
namespace {

namespace dg = standin::dg;
using dialogs::LibraryDialog;

// The list's rows span 358 pixels: the logo field to 107, the check marks to 179.
constexpr short CheckX = 140;
constexpr short RowHeight = 36;

// One line per row: "-" for a separator, else the name, the check mark's id and
// the logo's size ("none" without one).
std::vector<std::string> Rows()
{
    std::vector<std::string> rows;
    const std::vector<dg::ListRowInfo> shown = dg::FindItem(ids::Library::Dialog, ids::Library::List)->list->rows;
    for (const auto& row : shown) {
        if (row.separator) {
            rows.emplace_back("-");
            continue;
        }
        const auto& logo = row.cells.at(0);
        rows.push_back(row.cells.at(2).text + " " + std::to_string(row.cells.at(1).iconId) + " " +
                       (logo.hasIcon ? std::to_string(logo.iconWidth) + "x" + std::to_string(logo.iconHeight)
                                     : std::string("none")));
        EXPECT_EQ(row.cells.at(1).iconModule, DG::BuiltInIcons);
        EXPECT_EQ(row.cells.at(0).text, "");
        EXPECT_EQ(row.cells.at(1).text, "");
        EXPECT_FALSE(row.cells.at(2).hasIcon);
    }
    return rows;
}

// The active libraries Settings.xml holds, by id.
std::vector<std::string> StoredIds(const std::string& settings)
{
    pugi::xml_document document;
    document.load_string(settings.c_str());
    std::vector<std::string> ids;
    for (const auto& node : document.select_nodes("/Settings/ActiveLibraries/Library"))
        ids.emplace_back(node.node().attribute("id").value());
    return ids;
}

class LibraryDialogTest : public ControllerFixture {
protected:
    // What the palette's add-library tool does: the dialog once, and on OK the
    // active libraries saved.
    bool RunDialog(LibraryController& controller)
    {
        bool accepted = false;
        {
            LibraryDialog dialog(controller);
            accepted = dialog.Invoke();
        }
        EXPECT_EQ(controller.view, nullptr);
        if (accepted) {
            EXPECT_TRUE(controller.SaveActiveLibraries(false));
        }
        return accepted;
    }
    static std::vector<std::string> Active(const LibraryController& controller)
    {
        std::vector<std::string> ids;
        for (const auto& library : controller.Libraries())
            if (library->active)
                ids.push_back(ostrel::WStringToUtf8(library->id));
        return ids;
    }
};

TEST_F(LibraryDialogTest, EachLibraryHasItsRowBetweenSeparators)
{
    WriteSettings(kStoredLibraries);
    LibraryController controller(true);
    std::vector<std::string> rows;
    std::optional<dg::ListInfo> list;
    dg::User(ids::Library::Dialog)
        .Do("look",
            [&] {
                rows = Rows();
                list = dg::FindItem(ids::Library::Dialog, ids::Library::List)->list;
            })
        .Click(ids::Library::Cancel);
    EXPECT_FALSE(RunDialog(controller));

    // The stored libraries first, then the repository's; "skylights" has no name in
    // this culture and shows its id; the logo of "gone" is not in the Images folder.
    EXPECT_EQ(rows, (std::vector<std::string>{"-", "Aluminium Windows -3 48x34", "-", "Gone -3 none", "-",
                                              "Classic Doors -4 48x34", "-", "skylights -4 48x34", "-"}));
    ASSERT_TRUE(list);
    EXPECT_EQ(list->itemWidth, 358);
    EXPECT_FALSE(list->dragging);
    ASSERT_EQ(list->tabFields.size(), 3u);
    const std::pair<short, short> fields[] = {{0, 107}, {107, 179}, {179, 358}};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(std::make_pair(list->tabFields[i].begin, list->tabFields[i].end), fields[i]) << i;
        EXPECT_EQ(list->tabFields[i].justification, 256);
        EXPECT_EQ(list->tabFields[i].truncation, 4096);
        EXPECT_FALSE(list->tabFields[i].hasSeparator);
        EXPECT_TRUE(list->tabFields[i].enabled);
    }
    EXPECT_EQ(dg::FocusCalls(), (std::vector<dg::FocusRecord>{{0, -1}}));
}

TEST_F(LibraryDialogTest, OkWritesTheTickedLibrariesAndClicksBesideTheCheckMarksChangeNothing)
{
    WriteSettings(kStoredLibraries);
    LibraryController controller(true);
    std::vector<std::string> after;
    dg::User(ids::Library::Dialog)
        .Then(dg::ClickListRow(ids::Library::List, 4, CheckX))  // untick "Gone"
        .Then(dg::ClickListRow(ids::Library::List, 6, CheckX))  // tick "Classic Doors"
        .Then(dg::ClickListRow(ids::Library::List, 8, 107))     // the edges of the check-mark field
        .Then(dg::ClickListRow(ids::Library::List, 8, 179))
        .Then(dg::ClickListRow(ids::Library::List, 8, 106))     // the logo
        .Then(dg::ClickListRow(ids::Library::List, 8, 180))     // the name
        .Do("look", [&] { after = Rows(); })
        .Click(ids::Library::Ok);
    EXPECT_TRUE(RunDialog(controller));

    EXPECT_EQ(after, (std::vector<std::string>{"-", "Aluminium Windows -3 48x34", "-", "Gone -4 none", "-",
                                               "Classic Doors -3 48x34", "-", "skylights -4 48x34", "-"}));
    EXPECT_EQ(Active(controller), (std::vector<std::string>{"windows-alu", "doors-classic"}));
    EXPECT_EQ(StoredIds(SettingsText()), (std::vector<std::string>{"windows-alu", "doors-classic"}));
    EXPECT_NE(SettingsText().find("name=\"Classic Doors\" logo=\"doors-classic.png\""), std::string::npos);
}

TEST_F(LibraryDialogTest, CancelKeepsEveryFlagAndWritesNothing)
{
    WriteSettings(kStoredLibraries);
    LibraryController controller(true);
    dg::User(ids::Library::Dialog)
        .Then(dg::ClickListRow(ids::Library::List, 2, CheckX))
        .Then(dg::ClickListRow(ids::Library::List, 8, CheckX))
        .Click(ids::Library::Cancel);
    EXPECT_FALSE(RunDialog(controller));
    EXPECT_EQ(Active(controller), (std::vector<std::string>{"windows-alu", "gone"}));
    EXPECT_EQ(SettingsText(), kStoredLibraries);
    // The close box cancels as well.
    dg::User(ids::Library::Dialog).Then(dg::ClickListRow(ids::Library::List, 2, CheckX)).CloseBox();
    EXPECT_FALSE(RunDialog(controller));
    EXPECT_EQ(Active(controller), (std::vector<std::string>{"windows-alu", "gone"}));
    EXPECT_EQ(SettingsText(), kStoredLibraries);
}

TEST_F(LibraryDialogTest, AnActivationByTheWatchersControllerAndTheUsersTicksBothSurvive)
{
    // The clipboard watcher builds its own controller and makes "doors-classic" active
    // while the dialog is open; the user unticks "Gone" and ticks "skylights". Whichever
    // of the two saves last, it saves the list as stored then with its own changes.
    const RepositoryContext context = HostRepositoryContext();
    auto activate = [&](LibraryController& watcher) {
        EXPECT_TRUE(watcher.ActivateLibrary("doors-classic"));
        // On a thread of its own, as the watcher does.
        std::thread([&] { EXPECT_TRUE(watcher.SaveActiveLibraries(false)); }).join();
    };
    const struct {
        const char* order;
        bool watcherSavesFirst;
        std::vector<std::string> stored;
    } cases[] = {
        {"the watcher saves while the dialog is open", true, {"windows-alu", "doors-classic", "skylights"}},
        {"the watcher read before the OK and saves after it", false, {"windows-alu", "skylights", "doors-classic"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.order);
        WriteSettings(kStoredLibraries);
        LibraryController controller(true);
        LibraryController watcher(true, context);
        dg::User(ids::Library::Dialog)
            .Do("the watcher's activation",
                [&] {
                    if (c.watcherSavesFirst)
                        activate(watcher);
                })
            .Then(dg::ClickListRow(ids::Library::List, 4, CheckX))  // untick "Gone"
            .Then(dg::ClickListRow(ids::Library::List, 8, CheckX))  // tick "skylights"
            .Click(ids::Library::Ok);
        EXPECT_TRUE(RunDialog(controller));
        if (!c.watcherSavesFirst)
            activate(watcher);
        EXPECT_EQ(StoredIds(SettingsText()), c.stored);
        // Each library once, with the repository's fields.
        EXPECT_NE(SettingsText().find("name=\"Classic Doors\" logo=\"doors-classic.png\""), std::string::npos);
    }
}

TEST_F(LibraryDialogTest, ALibraryWithoutANameKeepsItsRowAndItsOwnCheckMark)
{
    // A library with neither name nor id nor logo shows nothing: it gets no row and
    // keeps its flag, and the rows after it keep theirs.
    WriteSettings("<Settings><ActiveLibraries>"
                  "<Library id=\"\" name=\"\" logo=\"\"/>"
                  "<Library id=\"nameless\" name=\"\" logo=\"gone.png\"/>"
                  "<Library id=\"windows-alu\" name=\"Windows\" logo=\"\"/>"
                  "</ActiveLibraries></Settings>");
    LibraryController controller(false);
    std::vector<std::string> rows;
    dg::User(ids::Library::Dialog)
        .Do("look", [&] { rows = Rows(); })
        .Then(dg::ClickListRow(ids::Library::List, 2, CheckX))
        .Click(ids::Library::Ok);
    EXPECT_TRUE(RunDialog(controller));
    EXPECT_EQ(rows, (std::vector<std::string>{"-", "nameless -3 none", "-", "Windows -3 none", "-"}));
    EXPECT_EQ(Active(controller), (std::vector<std::string>{"", "windows-alu"}));
    EXPECT_EQ(StoredIds(SettingsText()), (std::vector<std::string>{"", "windows-alu"}));

    // No libraries at all: no rows, not even a separator.
    WriteSettings("<Settings/>");
    LibraryController empty(false);
    dg::User(ids::Library::Dialog).Do("look", [&] { rows = Rows(); }).Click(ids::Library::Ok);
    EXPECT_TRUE(RunDialog(empty));
    EXPECT_TRUE(rows.empty());
}

TEST_F(LibraryDialogTest, TheListAllowsNoDragging)
{
    WriteSettings(kStoredLibraries);
    LibraryController controller(false);
    std::vector<std::string> refusals;
    dg::User(ids::Library::Dialog).Then(dg::DragListRow(ids::Library::List, 2, 4)).Click(ids::Library::Cancel);
    {
        dg::RefusalCatcher catcher;
        EXPECT_FALSE(RunDialog(controller));
        refusals = catcher.Messages();
    }
    ASSERT_EQ(refusals.size(), 1u);
    EXPECT_EQ(refusals[0], "the user cannot drag rows of item " + std::to_string(ids::Library::List) +
                               " (single-selection list box) of " + Named(ids::Library::Dialog) +
                               ": its resource allows no dragging");
}

TEST_F(LibraryDialogTest, ThePictureShowsLogosCheckMarksAndNames)
{
    WriteSettings(kStoredLibraries);
    LibraryController controller(true);
    const std::string file = (Temp().Path() / "library.png").string();
    dg::User(ids::Library::Dialog)
        .Then(dg::ClickListRow(ids::Library::List, 6, CheckX))
        .Then(dg::ClickListRow(ids::Library::List, 6, 250))  // selects the row, changes nothing
        .Picture(file)
        .Click(ids::Library::Cancel);
    EXPECT_FALSE(RunDialog(controller));

    const dg::Picture picture = dg::ReadPng(file);
    ASSERT_EQ(picture.width, 402);
    ASSERT_EQ(picture.height, 476);
    // Rows begin at x 13 and y 11 of the client area (list at 12, 10; a one-pixel
    // frame), the client area at 1, 25 of the picture. Row r's top: the rows and
    // separator rows (8 high) before it.
    auto at = [&](int x, int y) { return picture.At(1 + 13 + x, 25 + 11 + y); };
    auto rowTop = [](int row) { return (row / 2) * 8 + ((row - 1) / 2) * RowHeight; };
    const int checkLeft = 107 + 2;
    const int checkTop = (RowHeight - 16) / 2;
    // The check marks are the host's icons in field 2, ticked on rows 2 and 6 and
    // cleared on rows 4 and 8; on row 6 over the selection's colour.
    auto matches = [&](int row, short icon) {
        const dg::Picture mark = dg::PictureOf(DG::NativeImage(DG::Icon(DG::BuiltInIcons, icon), 1.0).GetNativeImage());
        const std::uint32_t back = at(checkLeft - 1, rowTop(row) + 1);
        return OverlayDifference(picture, 1 + 13 + checkLeft, 25 + 11 + rowTop(row) + checkTop, mark, back) <= 2;
    };
    EXPECT_TRUE(matches(2, DG::CheckedIcon));
    EXPECT_TRUE(matches(4, DG::CheckedIcon));
    EXPECT_TRUE(matches(6, DG::CheckedIcon));
    EXPECT_TRUE(matches(8, DG::UncheckedIcon));
    EXPECT_FALSE(matches(8, DG::CheckedIcon));
    // The logos fill field 1 from its left edge: the JPEG's steel blue, the PNG's brown.
    auto near = [](std::uint32_t pixel, std::uint32_t rgb) {
        for (int shift : {0, 8, 16})
            if (std::abs(static_cast<int>((pixel >> shift) & 0xFF) - static_cast<int>((rgb >> shift) & 0xFF)) > 6)
                return false;
        return true;
    };
    EXPECT_TRUE(near(at(2 + 24, rowTop(2) + 1 + 17), 0x4682B4));
    EXPECT_TRUE(near(at(2 + 24, rowTop(6) + 1 + 17), 0x8B5A2B));
    EXPECT_EQ(at(2 + 24, rowTop(4) + 18), 0xFFFFFFFFu);  // no logo for "Gone"
    // The names are dark text in field 3 only.
    auto dark = [&](int x0, int x1, int row) {
        return DarkPixels(picture, 1 + 13 + x0, 25 + 11 + rowTop(row), x1 - x0, RowHeight);
    };
    for (int row : {2, 4, 6, 8}) {
        EXPECT_GT(dark(179, 358, row), 0) << row;
        EXPECT_EQ(dark(60, 107, row), 0) << row;
    }
}

class AddLibraryToolTest : public PaletteFixture {};

TEST_F(AddLibraryToolTest, WithoutLibrariesNoDialogOpens)
{
    StoreLibraries({});
    Server().AddFile(standin::services::kRepositoryPath, "{\"repository\":{\"customers\":[]}}");
    OpenPalette();
    // With no library the first button after the tools is "Add library".
    dg::User(ids::Toolbar::Dialog).Click(ids::Toolbar::Libraries);
    Act();
    for (const std::string& step : dg::Steps())
        EXPECT_EQ(step.find("open " + Named(ids::Library::Dialog)), std::string::npos) << step;
    EXPECT_EQ(Buttons().size(), 5u);
}

TEST_F(AddLibraryToolTest, ALibraryTheWatcherActivatesWhileTheDialogIsOpenStaysWithTheUsersTick)
{
    // The user opens the library manager; meanwhile the catalogue page hands over a
    // product of "doors-classic", which the palette's watcher makes active; then the
    // user ticks "skylights" and presses OK. Both libraries stay, and get buttons.
    ServeDoorProduct();
    StoreLibraries({{"windows-alu", "Aluminium Windows", "", ""}});
    OpenPalette();
    Palette().StartClipboardWatcher();
    constexpr short AddLibraryAfterOneLibrary = ids::Toolbar::Libraries + 1;
    dg::User(ids::Toolbar::Dialog).Click(AddLibraryAfterOneLibrary);
    dg::User(ids::Library::Dialog)
        .Do("the catalogue page hands over a product",
            [&] {
                ASSERT_TRUE(standin::win::SetClipboardBytes(
                    Message(ProductJson("doors-classic", "/products/door/never"))));
            })
        .Wait("the watcher has made the catalogue's library active",
              [&] { return StoredIds(SettingsText()).size() == 2; })
        .Then(dg::ClickListRow(ids::Library::List, 6, CheckX))  // tick "skylights"
        .Click(ids::Library::Ok);
    // The download the watcher started is let go.
    dg::User(ids::Progress::Dialog).Click(ids::Progress::Cancel);
    Act();
    ASSERT_TRUE(dg::RunUntil("the download is let go", [] { return toolbarController.IsIdle(); }));

    EXPECT_EQ(StoredIds(SettingsText()), (std::vector<std::string>{"windows-alu", "doors-classic", "skylights"}));
    EXPECT_TRUE(dg::RunUntil("a button for each library", [] { return Buttons().size() == 8u; }));
}

TEST_F(AddLibraryToolTest, StalledLogosKeepTheDialogToItsBudgetAndEveryLibraryListed)
{
    using namespace std::chrono_literals;
    // Each logo would hold the host for its whole time, 15 s, were it not for the budget.
    MisbehavingServer stalling(1500ms, 120s);
    Deployment deployment = CurrentDeployment();
    deployment.stallTime = 600s;
    deployment.pictureTotalTime = 15s;
    deployment.libraryDialogBudget = 1500ms;
    ScopedDeployment patient(deployment);
    auto library = [&](const std::string& id, const std::string& name) {
        standin::services::RepositoryLibrary entry;
        entry.id = id;
        entry.names = {{"en-GB", name}};
        entry.baseUrl = Server().Url("/catalogue/" + id + "/");
        entry.logo = stalling.Url(MisbehavingServer::Way::StallAfterHeaders, id + ".png");
        return entry;
    };
    Server().AddFile(standin::services::kRepositoryPath,
                     standin::services::RepositoryJson({{"Maker",
                                                         {library("doors-a", "Doors A"), library("doors-b", "Doors B"),
                                                          library("doors-c", "Doors C"), library("doors-d", "Doors D")}}}));
    // A stored library keeps the logo it had.
    WriteLogo("a.png", 48, 34, 0xFF2060A0);
    StoreLibraries({{"doors-a", "Doors A", "a.png", ""}});
    OpenPalette();
    Report().Clear();

    std::vector<std::string> rows;
    std::chrono::steady_clock::time_point opened{};
    constexpr short AddLibraryAfterOneLibrary = ids::Toolbar::Libraries + 1;
    dg::User(ids::Toolbar::Dialog).Click(AddLibraryAfterOneLibrary);
    dg::User(ids::Library::Dialog)
        .Do("look",
            [&] {
                opened = std::chrono::steady_clock::now();
                rows = Rows();
            })
        .Click(ids::Library::Ok);
    const auto start = std::chrono::steady_clock::now();
    Act();
    ASSERT_NE(opened, std::chrono::steady_clock::time_point{});
    // The budget and room for a slow build; four stalled logos would take 60 s.
    EXPECT_LT(opened - start, deployment.libraryDialogBudget + 4s);
    EXPECT_EQ(rows, (std::vector<std::string>{"-", "Doors A -3 48x34", "-", "Doors B -4 none", "-", "Doors C -4 none",
                                              "-", "Doors D -4 none", "-"}));
    const auto lines = Report().Lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), std::string(kLibraryDialogBudgetSpent)), 1)
        << ::testing::PrintToString(lines);
    EXPECT_TRUE(Report().Alerts().empty());
    EXPECT_NE(SettingsText().find("<Library id=\"doors-a\" name=\"Doors A\" logo=\"a.png\""), std::string::npos)
        << SettingsText();
}

}  // namespace
}  // namespace tarvel::testing
