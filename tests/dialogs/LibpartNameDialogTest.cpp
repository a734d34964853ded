// The library-part name dialogs of the browser's and the palette's roads, run by the
// scripted user against the library parts of the active libraries.
#include "DialogFixture.hpp"
#include "DialogIds.hpp"
#include "Pictures.hpp"
#include "controllers/BrowserController.hpp"
#include "controllers/ToolbarController.hpp"
#include "dialogs/LibpartNameDialogs.hpp"
#include "libparts/LibPartSpec.hpp"
#include "ostrel/Text.hpp"
#include "standin/Dialogs.hpp"
#include "standin/LibParts.hpp"

#include <algorithm>
#include <optional>

namespace tarvel::testing {
namespace {

namespace dg = standin::dg;
using dialogs::LibpartNameBrowserDialog;
using dialogs::LibpartNameToolbarDialog;

constexpr const char* kTaken = "This name is already in use by another LibPart.\nPlease set a different one!";
constexpr const char* kNoName = "Please give a name for the new library part.";

std::string EditText() { return dg::FindItem(ids::LibpartName::Dialog, ids::LibpartName::Edit)->text; }

// The dialog's ground, where no item is drawn.
constexpr std::uint32_t Ground = 0xFFF0F0F0;

// The box (client coordinates) of the pixels inside `area` that `picks` takes; an empty
// rectangle when there are none.
template <typename Picks>
DG::Rect BoxOf(const dg::Picture& picture, const DG::Rect& area, Picks picks)
{
    DG::Rect box(area.right, area.bottom, area.left, area.top);
    for (short y = area.top; y < area.bottom; ++y)
        for (short x = area.left; x < area.right; ++x)
            if (picks(picture.At(picture.clientLeft + x, picture.clientTop + y))) {
                box.left = std::min(box.left, x);
                box.top = std::min(box.top, y);
                box.right = std::max(box.right, static_cast<short>(x + 1));
                box.bottom = std::max(box.bottom, static_cast<short>(y + 1));
            }
    return box.left < box.right ? box : DG::Rect();
}

bool Painted(std::uint32_t pixel) { return pixel != Ground; }
// Text on the light fields and the ground: blue below half.
bool Ink(std::uint32_t pixel) { return (pixel & 0xFF) < 0x80; }

class LibpartNameDialogTest : public DialogFixture {
protected:
    void SetUp() override
    {
        DialogFixture::SetUp();
        ASSERT_EQ(Host().Module<standin::LibPartModule>().SetActiveLibraries({LibraryText()}), 0);
    }

    std::string LibraryText() const
    {
        return SpecialFolder().string() + "\\Tarvel\\daVED\\ArchiCAD\\Tarvel Library";
    }
    void Save(const std::wstring& name)
    {
        LibPartSpec spec;
        spec.name = name;
        spec.location.Set(LibraryText().c_str());
        ASSERT_GE(spec.CreateLibraryPart(), 1);
    }
    // The dialog of the browser's road, asked with the proposal.
    bool AskBrowser(const std::wstring& proposal)
    {
        LibpartNameBrowserDialog dialog(&browser);
        dialog.SetName(proposal);
        return dialog.Invoke();
    }
    bool AskToolbar(const std::wstring& proposal)
    {
        LibpartNameToolbarDialog dialog(&toolbar);
        dialog.SetName(proposal);
        return dialog.Invoke();
    }

    BrowserController browser{L"https://catalogue.example/", kCatalogueBrowserPath, false};
    ToolbarController toolbar;
};

TEST_F(LibpartNameDialogTest, AFreeNameGoesToTheControllerOfItsRoadOnly)
{
    Save(L"Door10");
    const std::string picture = PicturePath("libpartname.png");
    std::string proposed;
    dg::Picture rendered;
    std::optional<dg::PanelInfo> shown;
    dg::User(ids::LibpartName::Dialog)
        .Do("read the proposal",
            [&] {
                proposed = EditText();
                shown = dg::FindPanel(ids::LibpartName::Dialog);
                rendered = dg::RenderPanel(ids::LibpartName::Dialog);
            })
        .Picture(picture)
        .Click(ids::LibpartName::Ok);
    EXPECT_TRUE(AskBrowser(L"Door11"));
    EXPECT_EQ(proposed, "Door11");
    EXPECT_EQ(browser.LibPartName(), L"Door11");
    EXPECT_EQ(toolbar.libPartName, L"");

    dg::User(ids::LibpartName::Dialog).Type(ids::LibpartName::Edit, "Door \u00e9 12").Click(ids::LibpartName::Ok);
    EXPECT_TRUE(AskToolbar(L"Door11"));
    EXPECT_EQ(toolbar.libPartName, L"Door \u00e9 12");
    EXPECT_EQ(browser.LibPartName(), L"Door11");

    EXPECT_TRUE(Report().Lines().empty());
    EXPECT_EQ(dg::FocusCalls(), (std::vector<dg::FocusRecord>{{0, -1}, {0, -1}}));
    EXPECT_EQ(dg::ReadPng(picture).pixels, rendered.pixels);

    // Where each item is drawn: the buttons and the edit fill their rectangles, a
    // button's text in its middle, the edit's (the proposal) and the static texts from
    // their left, the icon centred; and outside the items only the ground.
    ASSERT_TRUE(shown);
    ASSERT_EQ(shown->items.size(), 6u);
    for (const dg::ItemInfo& item : shown->items) {
        SCOPED_TRACE("item " + std::to_string(item.id) + " (" + item.kind + ")");
        ASSERT_TRUE(item.visible);
        const DG::Rect r = item.rect;
        const DG::Rect inside(r.left + 1, r.top + 1, r.right - 1, r.bottom - 1);
        const DG::Rect ink = BoxOf(rendered, item.kind == "lefttext" ? r : inside, Ink);
        const double middleX = (r.left + r.right) / 2.0;
        const double middleY = (r.top + r.bottom) / 2.0;
        if (item.kind == "button" || item.kind == "textedit") {
            EXPECT_EQ(BoxOf(rendered, r, Painted), r);
            ASSERT_NE(ink, DG::Rect());
            EXPECT_NEAR((ink.top + ink.bottom) / 2.0, middleY, 2);
            if (item.kind == "button")
                EXPECT_NEAR((ink.left + ink.right) / 2.0, middleX, 2);
            else
                EXPECT_NEAR(ink.left, r.left + 3, 2);
        } else if (item.kind == "lefttext") {
            ASSERT_NE(ink, DG::Rect());
            EXPECT_NEAR(ink.left, r.left + 3, 2);
            EXPECT_LE(ink.top, r.top + 5);
        } else {
            ASSERT_EQ(item.kind, "icon");
            const dg::Picture icon =
                dg::PictureOf(DG::NativeImage(DG::Icon(item.iconModule, item.iconId), 1.0).GetNativeImage());
            ASSERT_LE(icon.width, r.GetWidth());
            ASSERT_LE(icon.height, r.GetHeight());
            EXPECT_LE(OverlayDifference(rendered, rendered.clientLeft + r.left + (r.GetWidth() - icon.width) / 2,
                                        rendered.clientTop + r.top + (r.GetHeight() - icon.height) / 2, icon,
                                        Ground & 0xFFFFFF),
                      2);
        }
    }
    int strayPixels = 0;
    for (short y = 0; y < shown->clientHeight; ++y)
        for (short x = 0; x < shown->clientWidth; ++x) {
            const bool onItem = std::any_of(shown->items.begin(), shown->items.end(), [&](const dg::ItemInfo& item) {
                return x >= item.rect.left && x < item.rect.right && y >= item.rect.top && y < item.rect.bottom;
            });
            strayPixels += !onItem && Painted(rendered.At(rendered.clientLeft + x, rendered.clientTop + y)) ? 1 : 0;
        }
    EXPECT_EQ(strayPixels, 0);
}

TEST_F(LibpartNameDialogTest, ATakenNameShowsTheTwoLineAlertAndTheDialogStays)
{
    Save(L"Door10");
    Save(L"Door_11");
    struct Look {
        bool running = false;
        std::string text;
    };
    std::vector<Look> looks;
    auto look = [&] { looks.push_back({dg::FindPanel(ids::LibpartName::Dialog)->running, EditText()}); };
    dg::User(ids::LibpartName::Dialog)
        .Click(ids::LibpartName::Ok)
        .Do("look", look)
        // Made a file name, this one is taken too.
        .Type(ids::LibpartName::Edit, "Door:11")
        .Click(ids::LibpartName::Ok)
        .Do("look", look)
        .Type(ids::LibpartName::Edit, "Door12")
        .Click(ids::LibpartName::Ok);
    EXPECT_TRUE(AskBrowser(L"Door10"));

    ASSERT_EQ(looks.size(), 2u);
    EXPECT_TRUE(looks[0].running);
    EXPECT_EQ(looks[0].text, "Door10");
    EXPECT_TRUE(looks[1].running);
    EXPECT_EQ(looks[1].text, "Door_11");
    EXPECT_EQ(browser.LibPartName(), L"Door12");
    EXPECT_EQ(Report().Alerts(), (std::vector<std::string>{kTaken, kTaken}));
    EXPECT_EQ(Report().Lines().size(), 2u);
}

TEST_F(LibpartNameDialogTest, OkStoresTheTypedNameMadeAFileNameAndShowsIt)
{
    struct Case {
        std::u16string typed;
        std::u16string stored;
    };
    const Case cases[] = {
        {u"A/B:C*D\"E<F>G\\H?I|J", u"A_B_C_D_E_F_G_H_I_J"},
        {u"T\u00fcr \U0001F600 .x", u"T\u00fcr \U0001F600 .x"},
        // Blanks around are no part of a name; control characters are made file-name safe.
        {u" lead and trail ", u"lead and trail"},
        {u"\t\u00a0Door 12\u3000\n", u"Door 12"},
        {u"Door\n12", u"Door_12"},
        {u"Door\t\u0001\u007f\u009b12", u"Door____12"},
        // A lone half of a surrogate pair is no character.
        {u"X\xD800Y", u"X\uFFFDY"},
    };
    for (const Case& c : cases) {
        std::string shown;
        dg::User(ids::LibpartName::Dialog).Type(ids::LibpartName::Edit, c.typed).Click(ids::LibpartName::Ok);
        {
            LibpartNameToolbarDialog dialog(&toolbar);
            dialog.SetName(L"Tarvel_LibPart10");
            EXPECT_TRUE(dialog.Invoke());
            shown = EditText();
        }
        const std::wstring stored(c.stored.begin(), c.stored.end());
        EXPECT_EQ(toolbar.libPartName, stored) << ostrel::WStringToUtf8(stored);
        EXPECT_EQ(shown, ostrel::WStringToUtf8(stored));
    }
    EXPECT_TRUE(Report().Lines().empty());
}

// What the user typed, what the dialog then shows, and whether the name was taken:
// a case variant of a part's name, the same with blanks around or a control
// character, and a part whose file stayed in the library folder when the folder left
// the active libraries.
TEST_F(LibpartNameDialogTest, ANameTakenInAnyCaseOrByAFileLeftInTheFolderKeepsTheDialogOpen)
{
    Save(L"Classic Door10");
    struct Case {
        std::u16string typed;
        std::string shown;
        bool taken;
    };
    const Case cases[] = {
        {u"Classic Door10", "Classic Door10", true},
        {u"classic door10", "classic door10", true},
        {u"CLASSIC DOOR10 ", "CLASSIC DOOR10", true},
        {u"\tClassic Door10\t", "Classic Door10", true},
        {u"Classic\tDoor10", "Classic_Door10", false},
        {u"Classic Door11", "Classic Door11", false},
    };
    for (bool active : {true, false}) {
        // The second time the folder has left the active libraries; its files stay.
        if (!active) {
            ASSERT_EQ(Host().Module<standin::LibPartModule>().SetActiveLibraries({}), 0);
        }
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.typed.begin(), c.typed.end()) + (active ? " (active)" : " (left)"));
            bool running = false;
            std::string shown;
            const std::size_t alerts = Report().Alerts().size();
            auto script =
                dg::User(ids::LibpartName::Dialog).Type(ids::LibpartName::Edit, c.typed).Click(ids::LibpartName::Ok);
            if (c.taken)
                script.Do("look", [&] { running = dg::FindPanel(ids::LibpartName::Dialog)->running; })
                    .Click(ids::LibpartName::Cancel);
            toolbar.libPartName = L"earlier";
            {
                LibpartNameToolbarDialog dialog(&toolbar);
                dialog.SetName(L"Tarvel_LibPart10");
                EXPECT_EQ(dialog.Invoke(), !c.taken);
                shown = EditText();
            }
            EXPECT_EQ(running, c.taken);
            EXPECT_EQ(shown, c.shown);
            EXPECT_EQ(Report().Alerts().size(), alerts + (c.taken ? 1 : 0));
            EXPECT_EQ(toolbar.libPartName, c.taken ? std::wstring(L"earlier") : ostrel::Utf8ToWString(c.shown));
        }
    }
    EXPECT_EQ(Report().Alerts(), std::vector<std::string>(8, kTaken));
}

TEST_F(LibpartNameDialogTest, AnEmptyOrBlankNameKeepsTheDialogOpen)
{
    toolbar.libPartName = L"earlier";
    dg::User(ids::LibpartName::Dialog)
        .Type(ids::LibpartName::Edit, "")
        .Click(ids::LibpartName::Ok)
        .Type(ids::LibpartName::Edit, "   ")
        .Click(ids::LibpartName::Ok)
        .Type(ids::LibpartName::Edit, u"\t\u3000\u00a0")
        .Click(ids::LibpartName::Ok)
        .Click(ids::LibpartName::Cancel);
    const std::size_t searches = Host().CallCount(HostInterface::Slot::FindLibPart);
    EXPECT_FALSE(AskToolbar(L"Tarvel_LibPart10"));
    EXPECT_EQ(toolbar.libPartName, L"earlier");
    EXPECT_EQ(Report().Alerts(), (std::vector<std::string>{kNoName, kNoName, kNoName}));
    // Nothing was searched for.
    EXPECT_EQ(Host().CallCount(HostInterface::Slot::FindLibPart), searches);
}

TEST_F(LibpartNameDialogTest, CancelAndTheCloseBoxLeaveTheNameAsItWas)
{
    browser.SetLibPartName(L"earlier");
    dg::User(ids::LibpartName::Dialog).Type(ids::LibpartName::Edit, "Other").Click(ids::LibpartName::Cancel);
    EXPECT_FALSE(AskBrowser(L"Door10"));
    dg::User(ids::LibpartName::Dialog).CloseBox();
    EXPECT_FALSE(AskBrowser(L"Door10"));
    EXPECT_EQ(browser.LibPartName(), L"earlier");
    EXPECT_TRUE(Report().Lines().empty());
}

TEST_F(LibpartNameDialogTest, ANameIsFreeUntilAPartOfTheActiveLibrariesOrAFileOfTheFolderHasIt)
{
    EXPECT_TRUE(dialogs::IsLibraryPartNameFree("Door \xc3\xa9"));
    Save(L"Door \u00e9");
    EXPECT_FALSE(dialogs::IsLibraryPartNameFree("Door \xc3\xa9"));
    EXPECT_FALSE(dialogs::IsLibraryPartNameFree("DOOR \xc3\x89"));
    EXPECT_TRUE(dialogs::IsLibraryPartNameFree("Door"));
    // Out of the active libraries, its file still holds the name; gone, it does not.
    ASSERT_EQ(Host().Module<standin::LibPartModule>().SetActiveLibraries({}), 0);
    EXPECT_FALSE(dialogs::IsLibraryPartNameFree("Door \xc3\xa9"));
    boost::filesystem::remove_all(DataRoot() / "Tarvel Library");
    EXPECT_TRUE(dialogs::IsLibraryPartNameFree("Door \xc3\xa9"));
}

}  // namespace
}  // namespace tarvel::testing
