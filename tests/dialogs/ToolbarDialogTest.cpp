// The toolbar palette: its buttons in a row or a column, sizes, tooltips, pictures
// and commands, driven by the scripted user.
#include "PaletteFixture.hpp"

#include "dialogs/IconAndTextButton.hpp"
#include "standin/Elements.hpp"
#include "standin/Win.hpp"

#include <boost/filesystem/operations.hpp>

#include <algorithm>
#include <cmath>

namespace tarvel::testing {
namespace {

using namespace std::chrono_literals;

class ToolbarDialogTest : public PaletteFixture {
protected:
    void StoreTwoLibraries()
    {
        WriteLogo("doors.png", 40, 30, 0xFFD02020);
        WriteLogo("windows.png", 100, 20, 0xFF20A040);
        StoreLibraries({{"doors-classic", "Classic Doors", "doors.png", Server().Url("/catalogue/doors-classic/")},
                        {"windows-alu", "Aluminium Windows", "windows.png", Server().Url("/catalogue/windows-alu/")}});
    }
};

// Where each button and the separator lie, in a row and in a column, with and
// without libraries, and the palette's size around them.
TEST_F(ToolbarDialogTest, ButtonsLieInARowOrAColumnAndThePaletteFitsThem)
{
    struct Case {
        const char* what;
        bool libraries;
        bool column;
        std::vector<short> starts;  // along the main axis: four tools, then libraries, then add-library
        short separator;
        short clientWidth;
        short clientHeight;
    };
    const Case cases[] = {
        {"row without libraries", false, false, {1, 51, 101, 151, 206}, 203, 258, 37},
        {"row with two libraries", true, false, {1, 51, 101, 151, 206, 256, 306}, 203, 358, 37},
        {"column without libraries", false, true, {1, 37, 73, 109, 150}, 147, 51, 188},
        {"column with two libraries", true, true, {1, 37, 73, 109, 150, 186, 222}, 147, 51, 260},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.libraries)
            StoreTwoLibraries();
        else
            StoreLibraries({});
        OpenPalette();
        if (c.column) {
            dg::User(ids::Toolbar::Dialog).Resize(60, 300);
            Act();
        }
        const std::vector<dg::ItemInfo> buttons = Buttons();
        ASSERT_EQ(buttons.size(), c.starts.size());
        for (std::size_t i = 0; i < buttons.size(); ++i) {
            const short s = c.starts[i];
            EXPECT_EQ(buttons[i].rect, c.column ? Rect(1, s, 48, 34) : Rect(s, 1, 48, 34)) << "button " << i;
            EXPECT_TRUE(buttons[i].visible);
        }
        const dg::ItemInfo separator = *dg::FindItem(ids::Toolbar::Dialog, ids::Toolbar::Separator);
        EXPECT_EQ(separator.rect, c.column ? Rect(1, c.separator, 48, 1) : Rect(c.separator, 1, 1, 34));
        const dg::PanelInfo panel = *dg::FindPanel(ids::Toolbar::Dialog);
        EXPECT_EQ(panel.clientWidth, c.clientWidth);
        EXPECT_EQ(panel.clientHeight, c.clientHeight);
        EXPECT_EQ(panel.minClientWidth, 50);
        EXPECT_EQ(panel.minClientHeight, 34);
        EXPECT_TRUE(panel.visible);
        EXPECT_TRUE(panel.idleEnabled);
        // What the palette passes where the dialog manager takes several values.
        EXPECT_EQ(panel.idleForInactiveApp, false);
        EXPECT_EQ(panel.status, 0);
        EXPECT_EQ(panel.clientSizeFixPoint, 1);
        EXPECT_EQ(panel.clientSizeKeepOld, false);
        EXPECT_EQ(panel.guid, "835C2B73-CBA4-4179-84BA-2D907BC7E3BA");
        ClosePalette();
    }
}

TEST_F(ToolbarDialogTest, OnlyAResizeThatTurnsThePaletteLaysItOutAgain)
{
    StoreTwoLibraries();
    OpenPalette();
    // Taller, still wide: nothing moves and the size stays as the user made it.
    dg::User(ids::Toolbar::Dialog).Resize(400, 300);
    Act();
    EXPECT_EQ(Buttons()[4].rect, Rect(206, 1, 48, 34));
    EXPECT_EQ(dg::FindPanel(ids::Toolbar::Dialog)->clientHeight, 300);
    // Turned into a column: laid out, 51 wide.
    dg::User(ids::Toolbar::Dialog).Resize(200, 400);
    Act();
    EXPECT_EQ(Buttons()[4].rect, Rect(1, 150, 48, 34));
    EXPECT_EQ(dg::FindPanel(ids::Toolbar::Dialog)->clientWidth, 51);
    EXPECT_EQ(dg::FindPanel(ids::Toolbar::Dialog)->clientHeight, 260);
    // A square one is a row.
    dg::User(ids::Toolbar::Dialog).Resize(300, 300);
    Act();
    EXPECT_EQ(Buttons()[4].rect, Rect(206, 1, 48, 34));
    EXPECT_EQ(dg::FindPanel(ids::Toolbar::Dialog)->clientWidth, 358);
    EXPECT_EQ(dg::FindPanel(ids::Toolbar::Dialog)->clientHeight, 37);
}

TEST_F(ToolbarDialogTest, ADockedPaletteIsLaidOutButNeverResized)
{
    StoreLibraries({});
    OpenPalette();
    dg::SetDocked(ids::Toolbar::Dialog, true);
    dg::User(ids::Toolbar::Dialog).Resize(60, 500);
    Act();
    EXPECT_EQ(Buttons()[4].rect, Rect(1, 150, 48, 34));
    EXPECT_EQ(dg::FindPanel(ids::Toolbar::Dialog)->clientWidth, 60);
    EXPECT_EQ(dg::FindPanel(ids::Toolbar::Dialog)->clientHeight, 500);
}

TEST_F(ToolbarDialogTest, TooltipsNameTheToolOrTheLibrary)
{
    StoreTwoLibraries();
    OpenPalette();
    const struct {
        short item;
        std::string tip;
    } cases[] = {
        {ids::Toolbar::Modify, "Modify product"},
        {ids::Toolbar::Settings, "Settings"},
        {ids::Toolbar::Help, "Help"},
        {ids::Toolbar::About, "About"},
        {ids::Toolbar::Libraries, "Classic Doors"},
        {ids::Toolbar::Libraries + 1, "Aluminium Windows"},
        {ids::Toolbar::Libraries + 2, "Add library"},
        {ids::Toolbar::Separator, ""},  // the separator has none
        {0, ""},                        // nothing under the pointer
    };
    for (const auto& c : cases) {
        dg::User(ids::Toolbar::Dialog).Hover(c.item);
        Act();
        EXPECT_EQ(dg::LastToolTip(), c.tip) << "item " << c.item;
    }
}

// The pictures each button draws: its picture shrunk to fit inside a one-pixel
// margin, centred, at half opacity while disabled.
TEST_F(ToolbarDialogTest, ButtonsDrawTheirPicturesFittedAndCentred)
{
    struct Case {
        int width;
        int height;
        double scale;
        double x;
        double y;
    };
    const Case cases[] = {
        {32, 32, 1, 8, 1},         // fits: its own size
        {46, 32, 1, 1, 1},         // just fits the margin
        {10, 10, 1, 19, 12},       // small: never enlarged
        {100, 50, 0.46, 1, 5.5},   // too wide: the width decides
        {20, 64, 0.5, 19, 1},      // too tall: the height decides
        {47, 33, 32.0 / 33, 1.2121, 1},  // too large both ways: the tighter axis
    };
    std::vector<StoredLibrary> libraries;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const std::string logo = "logo" + std::to_string(i) + ".png";
        WriteLogo(logo, cases[i].width, cases[i].height, 0xFF3050A0);
        libraries.push_back({"lib" + std::to_string(i), "Library " + std::to_string(i), logo, "http://x/"});
    }
    libraries.push_back({"missing", "No Logo", "missing.png", "http://x/"});
    StoreLibraries(libraries);
    OpenPalette();
    dg::ClearDraws();
    dg::RenderPanel(ids::Toolbar::Dialog);
    const auto draws = dg::Draws();
    auto drawOf = [&](short item) -> std::optional<dg::DrawRecord> {
        for (const auto& draw : draws)
            if (draw.target.rfind("item " + std::to_string(item) + " ", 0) == 0)
                return draw;
        return std::nullopt;
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE("logo " + std::to_string(cases[i].width) + " x " + std::to_string(cases[i].height));
        const auto draw = drawOf(static_cast<short>(ids::Toolbar::Libraries + i));
        ASSERT_TRUE(draw.has_value());
        EXPECT_EQ(draw->imageWidth, static_cast<std::uint32_t>(cases[i].width));
        EXPECT_NEAR(draw->scaleX, cases[i].scale, 1e-4);
        EXPECT_EQ(draw->scaleY, draw->scaleX);
        EXPECT_NEAR(draw->x, cases[i].x, 1e-3);
        EXPECT_NEAR(draw->y, cases[i].y, 1e-3);
        EXPECT_EQ(draw->rotation, 0);
        EXPECT_TRUE(draw->useAlpha);
        EXPECT_EQ(draw->opacity, 1);
        EXPECT_EQ(draw->filtering, 1);
    }
    // A library whose logo is missing draws nothing but keeps its name.
    EXPECT_FALSE(drawOf(static_cast<short>(ids::Toolbar::Libraries + std::size(cases))).has_value());
    dg::User(ids::Toolbar::Dialog).Hover(static_cast<short>(ids::Toolbar::Libraries + std::size(cases)));
    Act();
    EXPECT_EQ(dg::LastToolTip(), "No Logo");
    // The tools draw their 32 x 32 icons; "modify" is disabled until a product is selected.
    for (short item : {ids::Toolbar::Modify, ids::Toolbar::Settings, ids::Toolbar::Help, ids::Toolbar::About}) {
        const auto draw = drawOf(item);
        ASSERT_TRUE(draw.has_value()) << item;
        EXPECT_EQ(draw->imageWidth, 32u);
        EXPECT_EQ(draw->x, 8);
        EXPECT_EQ(draw->y, 1);
        EXPECT_EQ(draw->opacity, item == ids::Toolbar::Modify ? 0.5 : 1) << item;
    }
}

// Enabling all items leaves "Modify product" as the selection has it: the tool is
// only for a selected product, so "enable items" does not switch it on without one.
TEST_F(ToolbarDialogTest, TheModifyToolFollowsTheSelectionAndKeepsItsStateWhenAllItemsAreEnabled)
{
    StoreLibraries({});
    auto& palette = OpenPalette();
    EXPECT_FALSE(dg::FindItem(ids::Toolbar::Dialog, ids::Toolbar::Modify)->enabled);
    EXPECT_TRUE(dg::FindItem(ids::Toolbar::Dialog, ids::Toolbar::Settings)->enabled);
    dg::ClearDraws();
    palette.EnableModifyTool(true);
    EXPECT_TRUE(dg::FindItem(ids::Toolbar::Dialog, ids::Toolbar::Modify)->enabled);
    // Redrawn at once, at full opacity.
    ASSERT_EQ(dg::Draws().size(), 1u);
    EXPECT_EQ(dg::Draws()[0].opacity, 1);

    palette.DisableItems();
    for (const auto& item : Items())
        EXPECT_FALSE(item.enabled) << item.id;
    palette.EnableItems();
    EXPECT_TRUE(dg::FindItem(ids::Toolbar::Dialog, ids::Toolbar::Modify)->enabled);
    palette.EnableModifyTool(false);
    palette.DisableItems();
    palette.EnableItems();
    EXPECT_FALSE(dg::FindItem(ids::Toolbar::Dialog, ids::Toolbar::Modify)->enabled);
    EXPECT_TRUE(dg::FindItem(ids::Toolbar::Dialog, ids::Toolbar::About)->enabled);
}

TEST_F(ToolbarDialogTest, ADisabledButtonTakesNoClick)
{
    StoreLibraries({});
    OpenPalette();
    std::vector<std::string> refusals;
    {
        dg::RefusalCatcher catcher;
        dg::User(ids::Toolbar::Dialog).Click(ids::Toolbar::Modify);
        Act();
        refusals = catcher.Messages();
    }
    ASSERT_EQ(refusals.size(), 1u);
    EXPECT_NE(refusals[0].find("disabled"), std::string::npos) << refusals[0];
    // No command ran: no dialog opened, nothing reported.
    for (const std::string& step : dg::Steps())
        EXPECT_NE(step.rfind("open dialog", 0), 0u) << step;
    EXPECT_TRUE(Report().Lines().empty());
}

TEST_F(ToolbarDialogTest, TheCloseBoxHidesThePaletteAndStopsTheWatcher)
{
    StoreLibraries({});
    auto& palette = OpenPalette();
    palette.StartClipboardWatcher();
    palette.StartClipboardWatcher();
    EXPECT_EQ(standin::win::LiveThreads(), 1);
    dg::User(ids::Toolbar::Dialog).CloseBox();
    Act();
    EXPECT_FALSE(dg::FindPanel(ids::Toolbar::Dialog)->visible);
    EXPECT_TRUE(standin::win::WaitForAllThreads(2s));
    // Shown again, it watches again; a close request from the shell does the same.
    palette.Show();
    palette.StartClipboardWatcher();
    EXPECT_EQ(standin::win::LiveThreads(), 1);
    palette.SendCloseRequest();
    EXPECT_FALSE(palette.IsWindowVisible());
    EXPECT_TRUE(standin::win::WaitForAllThreads(2s));
}

TEST_F(ToolbarDialogTest, TheModifyToolIsOnWhenThePaletteOpensOnOneSelectedProduct)
{
    StoreLibraries({});
    auto& elements = Host().Module<standin::ElementModule>();
    standin::PartParameter url;
    url.name = "tv_base_url";
    url.text = u"https://catalogue.example/";
    elements.Select({elements.Place(HostInterface::ElemDoor, 1, 1, 1, {url})});
    OpenPalette();
    EXPECT_TRUE(dg::FindItem(ids::Toolbar::Dialog, ids::Toolbar::Modify)->enabled);
}

TEST_F(ToolbarDialogTest, TheSettingsHelpAndAboutToolsRunTheirCommands)
{
    WriteSettings("<Settings help_url=\"https://help.example/palette\"/>");
    standin::win::ClearShellLog();
    OpenPalette();
    dg::User(ids::Toolbar::Dialog).Click(ids::Toolbar::Settings).Click(ids::Toolbar::Help).Click(ids::Toolbar::About);
    dg::User(ids::Settings::Dialog).Click(ids::Settings::Cancel);
    dg::User(ids::About::Dialog).Click(ids::About::Close);
    Act();
    ASSERT_EQ(standin::win::ShellLog().size(), 1u);
    EXPECT_EQ(standin::win::ShellLog()[0].file, "https://help.example/palette");
    EXPECT_EQ(dg::PendingActions(ids::Settings::Dialog), 0u);
    EXPECT_EQ(dg::PendingActions(ids::About::Dialog), 0u);
    const auto steps = dg::Steps();
    EXPECT_NE(std::find(steps.begin(), steps.end(), "close " + Named(ids::Settings::Dialog) + " (cancelled)"),
              steps.end());
    EXPECT_NE(std::find(steps.begin(), steps.end(), "close " + Named(ids::About::Dialog) + " (cancelled)"),
              steps.end());
}

TEST_F(ToolbarDialogTest, TheAddLibraryToolShowsTheLibrariesTheUserChose)
{
    constexpr short CheckX = 140;
    // No library: the first button after the tools is "Add library".
    constexpr short AddItem = ids::Toolbar::Libraries;
    StoreLibraries({});
    OpenPalette();
    // Cancel: nothing changes.
    dg::User(ids::Toolbar::Dialog).Click(AddItem);
    dg::User(ids::Library::Dialog).Then(dg::ClickListRow(ids::Library::List, 2, CheckX)).Click(ids::Library::Cancel);
    Act();
    EXPECT_EQ(Buttons().size(), 5u);
    EXPECT_EQ(dg::FindPanel(ids::Toolbar::Dialog)->clientWidth, 258);
    // Two libraries ticked and OK: stored, and their buttons stand before the add-library one.
    dg::User(ids::Toolbar::Dialog).Click(AddItem);
    dg::User(ids::Library::Dialog)
        .Then(dg::ClickListRow(ids::Library::List, 2, CheckX))
        .Then(dg::ClickListRow(ids::Library::List, 4, CheckX))
        .Click(ids::Library::Ok);
    Act();
    EXPECT_NE(SettingsText().find("id=\"windows-alu\""), std::string::npos) << SettingsText();
    EXPECT_NE(SettingsText().find("id=\"doors-classic\""), std::string::npos) << SettingsText();
    const auto buttons = Buttons();
    ASSERT_EQ(buttons.size(), 7u);
    EXPECT_EQ(buttons[4].rect, Rect(206, 1, 48, 34));
    EXPECT_EQ(buttons[5].rect, Rect(256, 1, 48, 34));
    EXPECT_EQ(buttons[6].rect, Rect(306, 1, 48, 34));
    EXPECT_EQ(dg::FindPanel(ids::Toolbar::Dialog)->clientWidth, 358);
    std::vector<std::string> tips;
    for (short item : {buttons[4].id, buttons[5].id, buttons[6].id}) {
        dg::User(ids::Toolbar::Dialog).Hover(item);
        Act();
        tips.push_back(dg::LastToolTip());
    }
    EXPECT_EQ(tips, (std::vector<std::string>{"Classic Doors", "Aluminium Windows", "Add library"}));
    // Their logos, downloaded into the Images folder, are drawn.
    dg::ClearDraws();
    dg::RenderPanel(ids::Toolbar::Dialog);
    int logos = 0;
    for (const auto& draw : dg::Draws())
        logos += draw.target.rfind("item " + std::to_string(buttons[4].id) + " ", 0) == 0 ||
                 draw.target.rfind("item " + std::to_string(buttons[5].id) + " ", 0) == 0;
    EXPECT_EQ(logos, 2);
}

// A button given a value with neither caption nor picture keeps what it showed.
TEST_F(ToolbarDialogTest, AValueWithoutCaptionOrPictureKeepsThePreviousOnes)
{
    StoreLibraries({});
    auto& palette = OpenPalette();
    WriteLogo("a.png", 20, 10, 0xFF102030);
    ostrel::ApplicationContentCache cache(ImagesFolder().string());
    dialogs::LibraryButton button(palette.GetPanel(), Rect(300, 1, 48, 34), &cache);
    auto first = MakeLibrary();
    first->name = L"First";
    first->logo = L"a.png";
    button.SetValue(first);
    EXPECT_EQ(button.GetIcon().GetWidth(), 20u);
    auto bare = MakeLibrary();
    button.SetValue(bare);
    EXPECT_EQ(button.GetValue(), bare);
    EXPECT_EQ(button.GetCaption(), GS::UniString("First"));
    EXPECT_EQ(button.GetIcon().GetWidth(), 20u);
    // A name alone replaces the caption and keeps the picture.
    auto named = MakeLibrary();
    named->name = L"Second";
    button.SetValue(named);
    EXPECT_EQ(button.GetCaption(), GS::UniString("Second"));
    EXPECT_EQ(button.GetIcon().GetWidth(), 20u);
}

}  // namespace
}  // namespace tarvel::testing
