// The dialog-control layer, driven through the scripted user: item controls and
// their hooks, panels and their five events, user items.
#include "ostrel/dgx/Controls.hpp"
#include "ostrel/dgx/Panels.hpp"
#include "ostrel/dgx/UserItem.hpp"

#include "DialogIds.hpp"
#include "DialogNames.hpp"
#include "HostFixture.hpp"
#include "standin/Dialogs.hpp"

namespace {

using namespace ostrel::ac::dgx;
namespace dg = standin::dg;
namespace ids = tarvel::ids;

// The settings resource's items under plain controls.
class SettingsLike : public DialogX<DG::ModalDialog> {
public:
    SettingsLike()
        : DialogX(ids::Settings::Dialog, &cache),
          cache("."),
          ok(GetPanel(), ids::Settings::Ok, &cache),
          cancel(GetPanel(), ids::Settings::Cancel, &cache),
          check(GetPanel(), ids::Settings::AutoUpdate, &cache),
          text(GetPanel(), ids::Settings::LastCheck, &cache),
          updateNow(GetPanel(), ids::Settings::UpdateNow, &cache)
    {
        cancel.onClick = [this] { GetPanel().PostCloseRequest(DG::ModalDialog::Cancel); };
    }

    ostrel::ApplicationContentCache cache;
    ButtonX ok;
    ButtonX cancel;
    CheckBoxX check;
    LeftTextX text;
    ButtonX updateNow;
};

class NameLike : public DialogX<DG::ModalDialog> {
public:
    NameLike()
        : DialogX(ids::LibpartName::Dialog, &cache),
          cache("."),
          ok(GetPanel(), ids::LibpartName::Ok, &cache),
          edit(GetPanel(), ids::LibpartName::Edit, &cache)
    {
        ok.onClick = [this] { GetPanel().PostCloseRequest(DG::ModalDialog::Accept); };
    }

    ostrel::ApplicationContentCache cache;
    ButtonX ok;
    TextEditX edit;
};

// A button whose own hook takes the click.
class CountingButton : public ButtonX {
public:
    using ButtonX::ButtonX;
    void OnClicked(const DG::ItemClickEvent&) override { ++hookCalls; }
    int hookCalls = 0;
};

std::vector<dg::BaseHandlerCall> BaseCalls(const std::string& event, short item)
{
    std::vector<dg::BaseHandlerCall> found;
    for (const auto& call : dg::BaseHandlerCalls())
        if (call.event == event && call.itemId == item)
            found.push_back(call);
    return found;
}

class DialogLayerTest : public tarvel::testing::HostFixture {};

TEST_F(DialogLayerTest, AClickRunsTheHookThenTheFunctionObjectThenTheHostsHandler)
{
    SettingsLike dialog;
    std::vector<std::size_t> baseCallsAtClick;
    dialog.ok.onClick = [&] {
        baseCallsAtClick.push_back(BaseCalls("SpecClicked", ids::Settings::Ok).size());
        dialog.GetPanel().PostCloseRequest(DG::ModalDialog::Accept);
    };
    dg::User(ids::Settings::Dialog).Click(ids::Settings::UpdateNow).Click(ids::Settings::Ok);
    EXPECT_EQ(dialog.GetPanel().Invoke(), DG::ModalDialog::Accept);
    // onClick ran before the host's handler of the same click; the button without
    // onClick went to the host's handler alone.
    EXPECT_EQ(baseCallsAtClick, std::vector<std::size_t>{0});
    ASSERT_EQ(BaseCalls("SpecClicked", ids::Settings::Ok).size(), 1u);
    EXPECT_EQ(BaseCalls("SpecClicked", ids::Settings::Ok)[0].resourceId, ids::Settings::Dialog);
    EXPECT_EQ(BaseCalls("SpecClicked", ids::Settings::UpdateNow).size(), 1u);
}

TEST_F(DialogLayerTest, AnOverriddenHookTakesTheEventInsteadOfOnClick)
{
    ostrel::ApplicationContentCache cache(".");
    DG::ModalDialog panel(1000, ids::Settings::Dialog, 1000);
    CountingButton button(panel, ids::Settings::UpdateNow, &cache);
    bool called = false;
    button.onClick = [&] { called = true; };
    ButtonX cancel(panel, ids::Settings::Cancel, &cache);
    cancel.onClick = [&] { panel.PostCloseRequest(DG::ModalDialog::Cancel); };
    dg::User(ids::Settings::Dialog).Click(ids::Settings::UpdateNow).Click(ids::Settings::Cancel);
    panel.Invoke();
    EXPECT_EQ(button.hookCalls, 1);
    EXPECT_FALSE(called);
    EXPECT_EQ(BaseCalls("SpecClicked", ids::Settings::UpdateNow).size(), 1u);
}

TEST_F(DialogLayerTest, StaticTextsReportTheirMouseUpProcessedOnlyWithOnClick)
{
    SettingsLike dialog;
    int clicks = 0;
    dg::User(ids::Settings::Dialog)
        .Click(ids::Settings::LastCheck)
        .Do("give the text a click handler", [&] { dialog.text.onClick = [&] { ++clicks; }; })
        .Click(ids::Settings::LastCheck)
        .Click(ids::Settings::Cancel);
    dialog.GetPanel().Invoke();
    EXPECT_EQ(clicks, 1);
    const auto mouseUps = BaseCalls("SpecMouseUp", ids::Settings::LastCheck);
    ASSERT_EQ(mouseUps.size(), 2u);
    EXPECT_EQ(mouseUps[0].processed, false);
    EXPECT_EQ(mouseUps[1].processed, true);
}

TEST_F(DialogLayerTest, CheckBoxesReportTheirNewState)
{
    SettingsLike dialog;
    std::vector<bool> states;
    dg::User(ids::Settings::Dialog)
        .Click(ids::Settings::AutoUpdate)
        .Do("listen", [&] { dialog.check.onCheckChanged = [&](bool checked) { states.push_back(checked); }; })
        .Click(ids::Settings::AutoUpdate)
        .Click(ids::Settings::AutoUpdate)
        .Click(ids::Settings::Cancel);
    dialog.GetPanel().Invoke();
    EXPECT_EQ(states, (std::vector<bool>{false, true}));
    EXPECT_TRUE(dialog.check->IsChecked());
    EXPECT_EQ(BaseCalls("ItemChanged", ids::Settings::AutoUpdate).size(), 3u);
}

TEST_F(DialogLayerTest, TextsRoundTripUnitForUnit)
{
    SettingsLike dialog;
    // A character outside the Basic Multilingual Plane is two units.
    const std::wstring text = {L'A', 0xD83D, 0xDE00, L'\x00E9', L'\n', L'B'};
    dialog.text.SetText(text);
    EXPECT_EQ(dialog.text.GetText(), text);
    EXPECT_EQ(dg::FindItem(ids::Settings::Dialog, ids::Settings::LastCheck)->text, "A\xF0\x9F\x98\x80\xC3\xA9\nB");
    dialog.ok.SetText(L"");
    EXPECT_EQ(dialog.ok.GetText(), L"");
    dialog.check.SetText(text);
    EXPECT_EQ(dialog.check.GetText(), text);
}

TEST_F(DialogLayerTest, EveryChangeOfAnEditReportsTheWholeText)
{
    NameLike dialog;
    std::vector<std::wstring> seen;
    dialog.edit.onTextChanged = [&](const std::wstring& text) { seen.push_back(text); };
    dialog.edit.SetText(L"old");
    dg::User(ids::LibpartName::Dialog).Type(ids::LibpartName::Edit, u"a\U0001F600").Click(ids::LibpartName::Ok);
    EXPECT_EQ(dialog.GetPanel().Invoke(), DG::ModalDialog::Accept);
    const std::wstring smile = {0xD83D, 0xDE00};
    EXPECT_EQ(seen, (std::vector<std::wstring>{L"a", L"a" + smile}));
    EXPECT_EQ(dialog.edit.GetText(), L"a" + smile);
}

TEST_F(DialogLayerTest, TypingStopsAtTheEditsMaximumLength)
{
    NameLike dialog;
    // 99 units at most; a pair that would make 100 is not taken at all.
    const std::u16string many(120, u'x');
    const std::u16string almost = std::u16string(98, u'y') + u"\U0001F600" + u"z";
    std::vector<std::wstring> texts;
    dg::User(ids::LibpartName::Dialog)
        .Type(ids::LibpartName::Edit, many)
        .Do("read", [&] { texts.push_back(dialog.edit.GetText()); })
        .Type(ids::LibpartName::Edit, almost)
        .Do("read", [&] { texts.push_back(dialog.edit.GetText()); })
        .Type(ids::LibpartName::Edit, u"")
        .Click(ids::LibpartName::Ok);
    dialog.GetPanel().Invoke();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], std::wstring(99, L'x'));
    EXPECT_EQ(texts[1], std::wstring(98, L'y'));
    EXPECT_EQ(dialog.edit.GetText(), L"");
}

TEST_F(DialogLayerTest, WheelEventsReachTheirHooksAndTheHostsHandlers)
{
    SettingsLike dialog;
    dg::User(ids::Settings::Dialog).Wheel(ids::Settings::Ok, 3, -2).Click(ids::Settings::Cancel);
    dialog.GetPanel().Invoke();
    for (const char* event : {"ItemWheelTrackEntered", "ItemWheelTracked", "ItemWheelTrackExited"})
        EXPECT_EQ(BaseCalls(event, ids::Settings::Ok).size(), 1u) << event;
}

// A plain item's mouse-moved and tooltip events stop at its wrapper: no hook, and
// the host's handler never sees them.
TEST_F(DialogLayerTest, MouseMovesAndTooltipRequestsOfItemControlsAreSwallowed)
{
    SettingsLike dialog;
    dg::User(ids::Settings::Dialog)
        .Hover(ids::Settings::Ok)
        .Hover(ids::Settings::LastCheck)
        .Click(ids::Settings::Cancel);
    dialog.GetPanel().Invoke();
    for (const short item : {ids::Settings::Ok, ids::Settings::LastCheck}) {
        EXPECT_TRUE(BaseCalls("ItemMouseMoved", item).empty()) << item;
        EXPECT_TRUE(BaseCalls("ItemToolTipRequested", item).empty()) << item;
    }
}

TEST_F(DialogLayerTest, ACloseRequestWithoutAHookIsAccepted)
{
    SettingsLike dialog;
    dg::User(ids::Settings::Dialog).CloseBox();
    EXPECT_EQ(dialog.GetPanel().Invoke(), DG::ModalDialog::Cancel);
    EXPECT_FALSE(dg::FindPanel(ids::Settings::Dialog)->running);
    // The panel wrapper passes none of its five events on.
    EXPECT_TRUE(BaseCalls("PanelCloseRequested", 0).empty());
    EXPECT_TRUE(BaseCalls("PanelOpened", 0).empty());
}

TEST_F(DialogLayerTest, PanelHooksReceiveTheirEvents)
{
    SettingsLike dialog;
    int opened = 0;
    int idles = 0;
    std::vector<std::pair<bool, bool>> requests;
    dialog.onOpened = [&] { ++opened; };
    dialog.onIdle = [&] { ++idles; };
    dialog.onCloseRequested = [&](bool accepted, bool cancelled) {
        requests.push_back({accepted, cancelled});
        return requests.size() > 1;
    };
    dialog.GetPanel().EnableIdleEvent();
    dg::User(ids::Settings::Dialog)
        .Wait("two idle events", [&] { return idles >= 2; })
        .CloseBox()
        .Click(ids::Settings::Cancel);
    EXPECT_EQ(dialog.GetPanel().Invoke(), DG::ModalDialog::Cancel);
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(requests, (std::vector<std::pair<bool, bool>>{{false, true}, {false, true}}));
}

// A palette with one user item that counts what reaches it.
class PictureButton : public UserItemX<PictureButton> {
public:
    PictureButton(const DG::Panel& panel, const DG::Rect& rect, ostrel::ApplicationContentCache* cache)
        : UserItemX(panel, rect, cache)
    {
    }
    void OnUpdate(const DG::UserItemUpdateEvent& ev) override
    {
        ++updates;
        NewDisplay::UserItemUpdateNativeContext context(ev);
        context.DrawImage(DG::NativeImage(DG::Icon(1000, 32502), 1.0).GetNativeImage(), 1, 1, 0, 8, 1, true, 1, 1,
                          NewDisplay::BlitEffect::None);
    }
    void OnToolTipRequested(const DG::ItemHelpEvent&, GS::UniString* text) override { *text = GS::UniString("own"); }
    int updates = 0;
};

class TestPalette : public PaletteX {
public:
    explicit TestPalette(const GS::Guid& guid) : PaletteX(guid), cache("."), button(GetPanel(), DG::Rect(1, 1, 49, 35), &cache)
    {
        GetPanel().BeginEventProcessing();
    }
    ostrel::ApplicationContentCache cache;
    PictureButton button;
};

TEST_F(DialogLayerTest, UserItemsTakeClicksThroughTheirMouseUpOnce)
{
    TestPalette palette(GS::Guid("835C2B73-CBA4-4179-84BA-2D907BC7E3BA"));
    EXPECT_EQ(palette.GetContentCache(), &ostrel::ApplicationContentCache::Default());
    palette.GetPanel().Show();
    int clicks = 0;
    std::vector<std::pair<short, short>> wheel;
    palette.button.onClick = [&] { ++clicks; };
    palette.button.onWheelTracked = [&](short x, short y) { wheel.push_back({x, y}); };
    const short id = palette.button->GetId();
    dg::User(ids::Toolbar::Dialog).Click(id).Wheel(id, 5, -7);
    ASSERT_TRUE(dg::RunUntil("the clicks", [] { return dg::PendingActions(ids::Toolbar::Dialog) == 0; }));
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(wheel, (std::vector<std::pair<short, short>>{{5, -7}}));
    // The mouse-up was processed; the generic click reached the host's handler
    // alone, and the detached plain observer got nothing.
    const auto mouseUps = BaseCalls("UserItemMouseUp", id);
    ASSERT_EQ(mouseUps.size(), 1u);
    EXPECT_EQ(mouseUps[0].processed, true);
    EXPECT_EQ(BaseCalls("SpecClicked", id).size(), 1u);
    palette.button.onClick = nullptr;
    dg::User(ids::Toolbar::Dialog).Click(id);
    ASSERT_TRUE(dg::RunUntil("the click", [] { return dg::PendingActions(ids::Toolbar::Dialog) == 0; }));
    EXPECT_EQ(BaseCalls("UserItemMouseUp", id).back().processed, false);
}

TEST_F(DialogLayerTest, UserItemsDrawThemselvesIntoThePicture)
{
    TestPalette palette(GS::Guid("835C2B73-CBA4-4179-84BA-2D907BC7E3BA"));
    palette.GetPanel().Show();
    dg::ClearDraws();
    const dg::Picture picture = dg::RenderPanel(ids::Toolbar::Dialog);
    EXPECT_EQ(palette.button.updates, 1);
    // The modify tool's picture lands at (8, 1) of the item, itself at (1, 1).
    const dg::Picture icon = dg::PictureOf(DG::NativeImage(DG::Icon(1000, 32502), 1.0).GetNativeImage());
    int same = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            same += (icon.At(x, y) >> 24) == 0xFF &&
                    picture.At(picture.clientLeft + 9 + x, picture.clientTop + 2 + y) == icon.At(x, y);
    EXPECT_GT(same, 100);
    const auto draws = dg::Draws();
    ASSERT_EQ(draws.size(), 1u);
    EXPECT_EQ(draws[0].target, "item " + std::to_string(palette.button->GetId()) + " (user item) of " +
                                   tarvel::testing::Named(ids::Toolbar::Dialog));
    EXPECT_EQ(draws[0].x, 8);
    // Redraw raises the update at once.
    palette.button->Redraw();
    EXPECT_EQ(palette.button.updates, 2);
}

TEST_F(DialogLayerTest, PaletteToolTipsNameTheItemUnderThePointer)
{
    TestPalette palette(GS::Guid("835C2B73-CBA4-4179-84BA-2D907BC7E3BA"));
    palette.GetPanel().Show();
    std::vector<short> asked;
    const short id = palette.button->GetId();
    dg::User(ids::Toolbar::Dialog).Hover(0).Hover(id);
    ASSERT_TRUE(dg::RunUntil("the pointer", [] { return dg::PendingActions(ids::Toolbar::Dialog) == 0; }));
    // No hook: the text stays as the item's own hook left it.
    EXPECT_EQ(dg::LastToolTip(), "own");
    palette.onToolTipRequested = [&](short item, GS::UniString* text) {
        asked.push_back(item);
        *text = GS::UniString("palette");
    };
    dg::User(ids::Toolbar::Dialog).Hover(0).Hover(id);
    ASSERT_TRUE(dg::RunUntil("the pointer", [] { return dg::PendingActions(ids::Toolbar::Dialog) == 0; }));
    EXPECT_EQ(asked, (std::vector<short>{0, id}));
    EXPECT_EQ(dg::LastToolTip(), "palette");
}

TEST_F(DialogLayerTest, ThePalettesCloseHookDecides)
{
    TestPalette palette(GS::Guid("835C2B73-CBA4-4179-84BA-2D907BC7E3BA"));
    palette.GetPanel().Show();
    bool accept = false;
    std::vector<std::pair<bool, bool>> requests;
    palette.onCloseRequested = [&](bool accepted, bool cancelled) {
        requests.push_back({accepted, cancelled});
        return accept;
    };
    int resized = 0;
    palette.onResized = [&] { ++resized; };
    dg::User(ids::Toolbar::Dialog).CloseBox().Resize(60, 200);
    ASSERT_TRUE(dg::RunUntil("the close box", [] { return dg::PendingActions(ids::Toolbar::Dialog) == 0; }));
    EXPECT_TRUE(palette.GetPanel().IsVisible());
    EXPECT_EQ(resized, 1);
    accept = true;
    palette.GetPanel().SendCloseRequest();
    EXPECT_FALSE(palette.GetPanel().IsVisible());
    EXPECT_EQ(requests, (std::vector<std::pair<bool, bool>>{{false, true}, {false, false}}));
}

}  // namespace
