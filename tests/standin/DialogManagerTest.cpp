// The stand-in dialog manager: what it refuses, its modal loop with idle events and
// the scripted user, the palette's pump, alerts, images and pictures of panels.
#include "DialogIds.hpp"
#include "DialogNames.hpp"
#include "HostFixture.hpp"
#include "Pictures.hpp"

#include "DG.hpp"
#include "standin/Dialogs.hpp"
#include "standin/Win.hpp"

#include <boost/filesystem/operations.hpp>

#include <fstream>
#include <functional>
#include <stdexcept>
#include <thread>

namespace {

using namespace std::chrono_literals;
namespace dg = standin::dg;
namespace ids = tarvel::ids;

constexpr GSResModule AddOn = 1000;

using tarvel::testing::Contains;
using tarvel::testing::Named;

// Counts a panel's events and answers close requests as told.
class Watcher : public DG::PanelObserver {
public:
    void PanelIdle(const DG::PanelIdleEvent&) override { ++idles; }
    void PanelOpened(const DG::PanelOpenEvent&) override { ++opened; }
    void PanelResized(const DG::PanelResizeEvent& ev) override
    {
        resizes.push_back({ev.GetHorizontalChange(), ev.GetVerticalChange()});
    }
    void PanelCloseRequested(const DG::PanelCloseRequestEvent& ev, bool* accepted) override
    {
        requests.push_back({ev.IsAccepted(), ev.IsCancelled()});
        *accepted = accept;
    }
    void PanelToolTipRequested(const DG::PanelHelpEvent& ev, GS::UniString* text) override
    {
        tooltipItems.push_back(ev.GetItem()->GetId());
        *text = GS::UniString("tip");
    }

    int idles = 0;
    int opened = 0;
    bool accept = true;
    std::vector<std::pair<short, short>> resizes;
    std::vector<std::pair<bool, bool>> requests;
    std::vector<short> tooltipItems;
};

// Calls a function for each click of an item.
class ClickWatcher : public DG::ItemObserver {
public:
    explicit ClickWatcher(std::function<void()> onClick) : onClick_(std::move(onClick)) {}
    void SpecClicked(const DG::ItemClickEvent&) override { onClick_(); }

private:
    std::function<void()> onClick_;
};

class DialogManagerTest : public tarvel::testing::HostFixture {};

TEST_F(DialogManagerTest, PanelsAndItemsComeFromTheAddOnsResources)
{
    DG::ModalDialog dialog(AddOn, ids::About::Dialog, AddOn);
    EXPECT_EQ(dialog.GetClientWidth(), 350);
    EXPECT_EQ(dialog.GetClientHeight(), 480);
    EXPECT_EQ(dialog.GetTitle().ToUtf8(), "About");
    EXPECT_EQ(dialog.GetItemCount(), 15);
    DG::Button close(dialog, ids::About::Close);
    EXPECT_EQ(close.GetText().ToUtf8(), "Close");
    DG::IconItem logo(dialog, ids::About::Logo);
    EXPECT_EQ(logo.GetIcon().GetResourceId(), 32510);
    EXPECT_FALSE(logo.GetIcon().IsEmpty());
    const auto panel = dg::FindPanel(ids::About::Dialog);
    ASSERT_TRUE(panel);
    EXPECT_FALSE(panel->running);
    EXPECT_EQ(panel->items.at(1).text, "Tarvel\xC2\xAE BIM Technology\n");

    DG::ModalDialog name(AddOn, ids::LibpartName::Dialog, AddOn);
    DG::TextEdit edit(name, ids::LibpartName::Edit);
    EXPECT_EQ(edit.GetMaxLength(), 99);
    DG::ModalDialog progress(AddOn, ids::Progress::Dialog, AddOn);
    DG::ProgressBar bar(progress, ids::Progress::Bar);
    EXPECT_EQ(bar.GetMax(), 104);
}

TEST_F(DialogManagerTest, RefusesWhatARealPlatformWouldRefuse)
{
    struct Case {
        const char* what;
        std::function<void()> act;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"a call off the user-interface thread",
         [] { std::thread([] { DGSetFocus(0, -1); }).join(); },
         "DGSetFocus called off the user-interface thread"},
        {"an item id the resource lacks",
         [] {
             DG::ModalDialog dialog(AddOn, ids::About::Dialog, AddOn);
             DG::Button button(dialog, 42);
         },
         "has no item 42"},
        {"an item of another kind than the resource's",
         [] {
             DG::ModalDialog dialog(AddOn, ids::About::Dialog, AddOn);
             DG::Button button(dialog, ids::About::ProductLine);
         },
         "item " + std::to_string(ids::About::ProductLine) + " (left text) of " + Named(ids::About::Dialog) +
             " is a left text in the resource"},
        {"a second item object on one item",
         [] {
             DG::ModalDialog dialog(AddOn, ids::About::Dialog, AddOn);
             DG::Button first(dialog, ids::About::Close);
             DG::Button second(dialog, ids::About::Close);
         },
         "has an item object already"},
        {"a dialog the module lacks", [] { DG::ModalDialog dialog(AddOn, 31999, AddOn); }, "has no dialog 31999"},
        {"a palette's resource made modal", [] { DG::ModalDialog dialog(AddOn, ids::Toolbar::Dialog, AddOn); },
         "is a palette"},
        {"an unknown resource module", [] { DG::ModalDialog dialog(77, ids::About::Dialog, 77); },
         "module 77 is not known"},
        {"a close request to a dialog that does not run",
         [] {
             DG::ModalDialog dialog(AddOn, ids::About::Dialog, AddOn);
             dialog.PostCloseRequest(DG::ModalDialog::Accept);
         },
         "which is not running"},
        {"an item that outlives its panel",
         [] {
             auto* dialog = new DG::ModalDialog(AddOn, ids::About::Dialog, AddOn);
             DG::Button button(*dialog, ids::About::Close);
             delete dialog;
         },
         "outlived its panel"},
        {"a click on a disabled item",
         [] {
             DG::ModalDialog dialog(AddOn, ids::About::Dialog, AddOn);
             DG::Button close(dialog, ids::About::Close);
             ClickWatcher closes([&] { dialog.PostCloseRequest(DG::ModalDialog::Cancel); });
             close.Attach(closes);
             DG::LeftText link(dialog, ids::About::MakerWeb);
             link.Disable();
             dg::User(ids::About::Dialog).Click(ids::About::MakerWeb).Click(ids::About::Close);
             dialog.Invoke();
         },
         "it is disabled (a disabled item gets no mouse events)"},
        {"a click on an item the panel lacks",
         [] {
             DG::ModalDialog dialog(AddOn, ids::About::Dialog, AddOn);
             dg::User(ids::About::Dialog).Click(16).CloseBox();
             dialog.Invoke();
         },
         Named(ids::About::Dialog) + " has no such item"},
        {"a click on a kind that takes none",
         [] {
             DG::ModalDialog dialog(AddOn, ids::Progress::Dialog, AddOn);
             dg::User(ids::Progress::Dialog).Click(ids::Progress::Bar).CloseBox();
             dialog.Invoke();
         },
         "a progress bar takes no clicks"},
        {"typing into a button",
         [] {
             DG::ModalDialog dialog(AddOn, ids::Settings::Dialog, AddOn);
             dg::User(ids::Settings::Dialog).Type(ids::Settings::Ok, "x").CloseBox();
             dialog.Invoke();
         },
         "a push button takes no typing"},
        {"an alert nobody answers",
         [] { DGAlert(DG_ALERT_QUESTION, "Update", "A", "B", "Later", "Update now"); },
         "alert \"Update\" came with no scripted answer"},
        {"an alert without a first button", [] {
             dg::AnswerAlert(1);
             DGAlert(DG_ALERT_ERROR, "Oops", "", "", "");
         }, "an alert needs its first button"},
        {"an opacity above 1",
         [] {
             NewDisplay::NativeImage image(4, 4, NewDisplay::NativeImage(), 1.0);
             image.GetContext()->DrawImage(image, 1, 1, 0, 0, 0, true, 1.5, 1, NewDisplay::BlitEffect::None);
         },
         "opacity 1.5 lies outside 0 to 1"},
        {"a filtering mode that does not exist",
         [] {
             NewDisplay::NativeImage image(4, 4, NewDisplay::NativeImage(), 1.0);
             image.GetContext()->DrawImage(image, 1, 1, 0, 0, 0, true, 1, 7, NewDisplay::BlitEffect::None);
         },
         "filtering 7 is not one of 0, 1, 2"},
        {"a user item with a frame",
         [] {
             DG::ModalDialog dialog(AddOn, ids::About::Dialog, AddOn);
             DG::UserItem item(dialog, DG::Rect(1, 1, 11, 11), 0, 1);
         },
         "only type 0 with frame type 0 is known"},
        {"a user item of another type",
         [] {
             DG::ModalDialog dialog(AddOn, ids::About::Dialog, AddOn);
             DG::UserItem item(dialog, DG::Rect(1, 1, 11, 11), 2, 0);
         },
         "only type 0 with frame type 0 is known"},
        {"the focus on an item while no dialog runs", [] { DGSetFocus(0, 3); }, "while no dialog runs"},
        {"the focus on item 0", [] { DGSetFocus(0, 0); }, "item 0 is no item"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        dg::RefusalCatcher catcher;
        c.act();
        const auto messages = catcher.Messages();
        ASSERT_FALSE(messages.empty());
        EXPECT_TRUE(Contains(messages.front(), c.message)) << messages.front();
        EXPECT_EQ(messages.size(), 1u) << messages.back();
        dg::ClearScript();
    }
}

TEST_F(DialogManagerTest, ShutdownRefusesWhatTheAddOnLeftBehind)
{
    auto* dialog = new DG::ModalDialog(AddOn, ids::About::Dialog, AddOn);
    auto* button = new DG::Button(*dialog, ids::About::Close);
    dg::User(ids::Settings::Dialog).Click(ids::Settings::Ok);
    std::vector<std::string> messages;
    {
        dg::RefusalCatcher catcher;
        dg::Stop();
        messages = catcher.Messages();
    }
    dg::Start();
    dg::AddResourceModule(AddOn, standin::DefaultResourceDir());
    // What was left behind is inert now; deleting it does nothing more.
    delete button;
    delete dialog;
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0], "item " + std::to_string(ids::About::Close) + " (push button) of " +
                               Named(ids::About::Dialog) + " was not deleted before the host shut down");
    EXPECT_EQ(messages[1], Named(ids::About::Dialog) + " was not deleted when the host shut down");
    EXPECT_EQ(messages[2],
              "1 scripted action(s) for dialog " + std::to_string(ids::Settings::Dialog) +
                  " were never taken, the first: click item " + std::to_string(ids::Settings::Ok));
}

TEST_F(DialogManagerTest, ModalLoopDeliversIdleBetweenActionsAndEndsWithTheResponse)
{
    DG::ModalDialog dialog(AddOn, ids::Progress::Dialog, AddOn);
    Watcher watcher;
    dialog.Attach(watcher);
    dialog.EnableIdleEvent();
    DG::Button cancel(dialog, ids::Progress::Cancel);
    std::vector<int> idlesAtClicks;
    ClickWatcher clicks([&] {
        idlesAtClicks.push_back(watcher.idles);
        if (idlesAtClicks.size() == 2)
            dialog.PostCloseRequest(DG::ModalDialog::Accept);
    });
    cancel.Attach(clicks);
    dg::User(ids::Progress::Dialog)
        .Wait("three idle events", [&] { return watcher.idles >= 3; })
        .Click(ids::Progress::Cancel)
        .Click(ids::Progress::Cancel);

    EXPECT_EQ(dialog.Invoke(), DG::ModalDialog::Accept);

    EXPECT_EQ(watcher.opened, 1);
    ASSERT_EQ(idlesAtClicks.size(), 2u);
    EXPECT_GE(idlesAtClicks[0], 3);
    EXPECT_GT(idlesAtClicks[1], idlesAtClicks[0]);
    ASSERT_EQ(watcher.requests.size(), 1u);
    EXPECT_EQ(watcher.requests[0], std::make_pair(true, false));
    EXPECT_FALSE(dg::FindPanel(ids::Progress::Dialog)->running);
    // The same dialog runs again; the close box cancels it.
    dg::User(ids::Progress::Dialog).CloseBox();
    EXPECT_EQ(dialog.Invoke(), DG::ModalDialog::Cancel);
    EXPECT_EQ(watcher.requests.back(), std::make_pair(false, true));
}

TEST_F(DialogManagerTest, ARefusedCloseRequestKeepsTheDialogOpen)
{
    DG::ModalDialog dialog(AddOn, ids::About::Dialog, AddOn);
    Watcher watcher;
    watcher.accept = false;
    dialog.Attach(watcher);
    dg::User(ids::About::Dialog).CloseBox().Do("let it close", [&] { watcher.accept = true; }).CloseBox();
    EXPECT_EQ(dialog.Invoke(), DG::ModalDialog::Cancel);
    EXPECT_EQ(watcher.requests.size(), 2u);
}

TEST_F(DialogManagerTest, EveryWaitIsBounded)
{
    dg::SetPatience(150ms);
    {
        // Nobody acts: closed with Cancel, and the test would fail naming the dialog.
        DG::ModalDialog dialog(AddOn, ids::About::Dialog, AddOn);
        Watcher watcher;
        dialog.Attach(watcher);
        dg::RefusalCatcher catcher;
        EXPECT_EQ(dialog.Invoke(), DG::ModalDialog::Cancel);
        ASSERT_EQ(catcher.Messages().size(), 1u);
        EXPECT_EQ(catcher.Messages()[0],
                  Named(ids::About::Dialog) + " waited 150 ms for a user action that never came; closed with Cancel");
        EXPECT_EQ(watcher.requests.back(), std::make_pair(false, true));
    }
    {
        // A condition that never holds; the actions after it are dropped.
        DG::ModalDialog dialog(AddOn, ids::About::Dialog, AddOn);
        dg::User(ids::About::Dialog).Wait("the sky falls", [] { return false; }, 50ms).Click(ids::About::Close);
        dg::RefusalCatcher catcher;
        EXPECT_EQ(dialog.Invoke(), DG::ModalDialog::Cancel);
        ASSERT_EQ(catcher.Messages().size(), 1u);
        EXPECT_EQ(catcher.Messages()[0],
                  Named(ids::About::Dialog) + " waited 50 ms until the sky falls: it never held; closed with Cancel");
        EXPECT_EQ(dg::PendingActions(ids::About::Dialog), 0u);
    }
    {
        // Outside modal loops too.
        dg::RefusalCatcher catcher;
        EXPECT_FALSE(dg::RunUntil("nothing", [] { return false; }, 30ms));
        ASSERT_EQ(catcher.Messages().size(), 1u);
        EXPECT_EQ(catcher.Messages()[0], "waited 30 ms until nothing: it never held");
    }
}

TEST_F(DialogManagerTest, NestedDialogsTakeTheirOwnActions)
{
    DG::ModalDialog about(AddOn, ids::About::Dialog, AddOn);
    DG::Button close(about, ids::About::Close);
    short innerResponse = 0;
    ClickWatcher opens([&] {
        DG::ModalDialog settings(AddOn, ids::Settings::Dialog, AddOn);
        DG::Button ok(settings, ids::Settings::Ok);
        ClickWatcher accepts([&] { settings.PostCloseRequest(DG::ModalDialog::Accept); });
        ok.Attach(accepts);
        innerResponse = static_cast<short>(settings.Invoke());
        about.PostCloseRequest(DG::ModalDialog::Cancel);
    });
    close.Attach(opens);
    dg::User(ids::Settings::Dialog).Click(ids::Settings::Ok);
    dg::User(ids::About::Dialog).Click(ids::About::Close);
    EXPECT_EQ(about.Invoke(), DG::ModalDialog::Cancel);
    EXPECT_EQ(innerResponse, DG::ModalDialog::Accept);
    const auto steps = dg::Steps();
    const std::vector<std::string> expected = {
        "open " + Named(ids::About::Dialog),
        Named(ids::About::Dialog) + ": click item " + std::to_string(ids::About::Close),
        "open " + Named(ids::Settings::Dialog),
        Named(ids::Settings::Dialog) + ": click item " + std::to_string(ids::Settings::Ok),
        "close " + Named(ids::Settings::Dialog) + " (accepted)",
        "close " + Named(ids::About::Dialog) + " (cancelled)",
    };
    EXPECT_EQ(steps, expected);
}

TEST_F(DialogManagerTest, AnExceptionLeavingAHandlerIsRefusedAndEndsTheModalRun)
{
    // A real platform would crash: the stand-in refuses, lets nothing out of Invoke,
    // and ends the dialog's run with Cancel, dropping the user's further actions.
    DG::ModalDialog dialog(AddOn, ids::About::Dialog, AddOn);
    DG::Button close(dialog, ids::About::Close);
    int clicks = 0;
    ClickWatcher throws([&] {
        ++clicks;
        throw std::runtime_error("handler failure");
    });
    close.Attach(throws);
    dg::User(ids::About::Dialog).Click(ids::About::Close).Click(ids::About::Close);
    std::vector<std::string> messages;
    {
        dg::RefusalCatcher catcher;
        EXPECT_EQ(dialog.Invoke(), DG::ModalDialog::Cancel);
        messages = catcher.Messages();
    }
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(dg::PendingActions(ids::About::Dialog), 0u);
    EXPECT_EQ(messages, (std::vector<std::string>{
                            "an exception left a handler of item " + std::to_string(ids::About::Close) +
                            " (push button) of " + Named(ids::About::Dialog) +
                            ", which would crash the platform: handler failure"}));
    // The next run is a run like any other.
    close.Detach(throws);
    dg::User(ids::About::Dialog).CloseBox();
    EXPECT_EQ(dialog.Invoke(), DG::ModalDialog::Cancel);

    // A panel's handler on a palette: refused, and the palette goes on.
    const GS::Guid guid("835C2B73-CBA4-4179-84BA-2D907BC7E3BA");
    DG::Palette palette(AddOn, ids::Toolbar::Dialog, AddOn, guid);
    struct ThrowingIdle : Watcher {
        void PanelIdle(const DG::PanelIdleEvent& ev) override
        {
            Watcher::PanelIdle(ev);
            if (idles == 1)
                throw 42;
        }
    } idle;
    palette.Attach(idle);
    palette.EnableIdleEvent();
    palette.BeginEventProcessing();
    palette.Show();
    {
        dg::RefusalCatcher catcher;
        EXPECT_TRUE(dg::RunUntil("two idle events", [&] { return idle.idles >= 2; }));
        messages = catcher.Messages();
    }
    EXPECT_EQ(messages, (std::vector<std::string>{"an exception left a handler of " + Named(ids::Toolbar::Dialog) +
                                                  ", which would crash the platform: an exception of unknown type"}));
    palette.Detach(idle);
}

// Values whose meaning is the dialog manager's are kept as passed, for tests to read.
TEST_F(DialogManagerTest, StatusIdleFlagAndFixPointAreRecordedAsPassed)
{
    DG::Palette palette(AddOn, ids::Toolbar::Dialog, AddOn, GS::Guid("835C2B73-CBA4-4179-84BA-2D907BC7E3BA"));
    auto panel = dg::FindPanel(ids::Toolbar::Dialog);
    EXPECT_FALSE(panel->status || panel->idleForInactiveApp || panel->clientSizeFixPoint || panel->clientSizeKeepOld);
    palette.SetStatus(2);
    palette.EnableIdleEvent(true);
    palette.SetClientSize(100, 40, 4, true);
    panel = dg::FindPanel(ids::Toolbar::Dialog);
    EXPECT_EQ(panel->status, 2);
    EXPECT_EQ(panel->idleForInactiveApp, true);
    EXPECT_EQ(panel->clientSizeFixPoint, 4);
    EXPECT_EQ(panel->clientSizeKeepOld, true);
}

TEST_F(DialogManagerTest, PalettesGetIdleAndTheUsersActionsWhenEventsArePumped)
{
    const GS::Guid guid("835C2B73-CBA4-4179-84BA-2D907BC7E3BA");
    DG::Palette palette(AddOn, ids::Toolbar::Dialog, AddOn, guid);
    Watcher watcher;
    palette.Attach(watcher);
    palette.EnableIdleEvent();
    palette.BeginEventProcessing();
    EXPECT_FALSE(palette.IsVisible());
    palette.Show();
    EXPECT_TRUE(palette.IsVisible());
    EXPECT_EQ(watcher.opened, 1);
    EXPECT_EQ(dg::FindPanel(ids::Toolbar::Dialog)->guid, "835C2B73-CBA4-4179-84BA-2D907BC7E3BA");

    DG::UserItem button(palette, DG::Rect(1, 1, 49, 35));
    // The first item after the resource's own.
    EXPECT_EQ(button.GetId(), ids::Toolbar::Separator + 1);
    int clicks = 0;
    ClickWatcher counts([&] { ++clicks; });
    button.Attach(counts);
    dg::User(ids::Toolbar::Dialog).Click(button.GetId()).Resize(40, 120).Hover(0).Hover(button.GetId());
    EXPECT_TRUE(dg::RunUntil("the palette's actions", [] { return dg::PendingActions(ids::Toolbar::Dialog) == 0; }));
    EXPECT_TRUE(dg::RunUntil("an idle event", [&] { return watcher.idles > 0; }));
    EXPECT_EQ(clicks, 1);
    ASSERT_EQ(watcher.resizes.size(), 1u);
    EXPECT_EQ(watcher.resizes[0], std::make_pair(short(40 - 255), short(120 - 34)));
    EXPECT_EQ(palette.GetClientWidth(), 40);
    // A tooltip request with nothing under the pointer names item 0.
    EXPECT_EQ(watcher.tooltipItems, (std::vector<short>{0, button.GetId()}));
    EXPECT_EQ(dg::LastToolTip(), "tip");

    // SendCloseRequest asks at once; a refused request keeps the palette.
    watcher.accept = false;
    palette.SendCloseRequest();
    EXPECT_TRUE(palette.IsVisible());
    watcher.accept = true;
    palette.SendCloseRequest();
    EXPECT_FALSE(palette.IsVisible());
    EXPECT_EQ(watcher.requests, (std::vector<std::pair<bool, bool>>{{false, false}, {false, false}}));
}

TEST_F(DialogManagerTest, AlertsAreAnsweredByTheScriptInOrder)
{
    dg::AnswerAlert(2);
    dg::AnswerAlert(3);
    EXPECT_EQ(DGAlert(DG_ALERT_QUESTION, "Software Update", "New", "Want it?", "Later", "Update now"), 2);
    dg::RefusalCatcher catcher;
    EXPECT_EQ(DGAlert(DG_ALERT_WARNING, "Two buttons", "", "", "Yes", "No"), 1);
    EXPECT_EQ(catcher.Messages(), std::vector<std::string>{"alert \"Two buttons\" has no button 3; answered 1"});
    const auto alerts = dg::Alerts();
    ASSERT_EQ(alerts.size(), 2u);
    EXPECT_EQ(alerts[0].title, "Software Update");
    EXPECT_EQ(alerts[0].buttons[1], "Update now");
    EXPECT_EQ(alerts[0].answer, 2);
    EXPECT_EQ(alerts[1].answer, 1);
}

TEST_F(DialogManagerTest, ImagesDecodeFromPngAndJpegAndAnythingElseIsEmpty)
{
    const std::string png = tarvel::testing::PngBytes(7, 3);
    const std::string jpeg = tarvel::testing::JpegBytes(9, 5, 0xC04020);
    const NewDisplay::NativeImage fromPng(png.data(), png.size(), NewDisplay::NativeImage::EncodingPng);
    EXPECT_EQ(fromPng.GetWidth(), 7u);
    EXPECT_EQ(fromPng.GetHeight(), 3u);
    EXPECT_EQ(dg::PictureOf(fromPng).At(6, 2), 0xFF2060C0u);
    const NewDisplay::NativeImage fromJpeg(jpeg.data(), jpeg.size(), NewDisplay::NativeImage::EncodingJpeg);
    EXPECT_EQ(fromJpeg.GetWidth(), 9u);
    EXPECT_EQ(fromJpeg.GetHeight(), 5u);
    const std::uint32_t pixel = dg::PictureOf(fromJpeg).At(4, 2);
    EXPECT_NEAR(static_cast<int>((pixel >> 16) & 0xFF), 0xC0, 3);
    EXPECT_NEAR(static_cast<int>(pixel & 0xFF), 0x20, 3);

    struct Case {
        const char* what;
        std::string bytes;
        std::uint8_t encoding;
    };
    const std::vector<Case> undecodable = {
        {"no bytes as PNG", "", 1},
        {"no bytes as JPEG", "", 0},
        {"no bytes in another format", "", 2},
        {"PNG bytes with another format's code", png, 2},
        {"PNG bytes as JPEG", png, 0},
        {"JPEG bytes as PNG", jpeg, 1},
        {"a PNG cut short", png.substr(0, png.size() / 2), 1},
        {"a JPEG cut after its header", jpeg.substr(0, 20), 0},
        {"text", "GIF89a, not really", 1},
    };
    for (const auto& c : undecodable) {
        SCOPED_TRACE(c.what);
        const NewDisplay::NativeImage image(c.bytes.data(), c.bytes.size(), c.encoding);
        EXPECT_TRUE(image.IsEmpty());
        EXPECT_EQ(image.GetWidth(), 0u);
        EXPECT_EQ(GX::Image(image).GetHeight(), 0u);
    }
}

TEST_F(DialogManagerTest, DrawImageScalesPlacesAndFadesAndIsLogged)
{
    const std::string red = tarvel::testing::PngBytes(4, 4, 0xFFFF0000);
    const NewDisplay::NativeImage source(red.data(), red.size(), NewDisplay::NativeImage::EncodingPng);
    NewDisplay::NativeImage target(20, 20, source, 1.0);
    dg::ClearDraws();
    target.GetContext()->DrawImage(source, 2, 2, 0, 5, 6, true, 0.5, NewDisplay::FilteringNearest,
                                   NewDisplay::BlitEffect::None);
    const dg::Picture picture = dg::PictureOf(target);
    auto halfRed = [](std::uint32_t pixel) {
        const int alpha = static_cast<int>(pixel >> 24);
        return alpha >= 126 && alpha <= 129 && (pixel & 0xFFFFFF) == 0xFF0000;
    };
    EXPECT_EQ(picture.At(4, 6) >> 24, 0u);  // left of the image
    EXPECT_TRUE(halfRed(picture.At(5, 6)));  // its top-left corner, half opaque
    EXPECT_TRUE(halfRed(picture.At(12, 13)));  // scaled to 8 x 8
    EXPECT_EQ(picture.At(13, 14) >> 24, 0u);  // past it
    const auto draws = dg::Draws();
    ASSERT_EQ(draws.size(), 1u);
    EXPECT_EQ(draws[0].target, "image 20x20");
    EXPECT_EQ(draws[0].imageWidth, 4u);
    EXPECT_EQ(draws[0].scaleX, 2);
    EXPECT_EQ(draws[0].x, 5);
    EXPECT_EQ(draws[0].y, 6);
    EXPECT_EQ(draws[0].opacity, 0.5);
}

TEST_F(DialogManagerTest, IconsComeFromTheModuleOrTheBuiltInSet)
{
    const DG::Icon logo(AddOn, 32510);
    ASSERT_FALSE(logo.IsEmpty());
    const NewDisplay::NativeImage image = DG::NativeImage(logo, 1.0).GetNativeImage();
    EXPECT_EQ(image.GetWidth(), 200u);
    EXPECT_EQ(image.GetHeight(), 64u);
    EXPECT_TRUE(DG::Icon(AddOn, 555).IsEmpty());
    EXPECT_EQ(DG::Icon(AddOn, 555).GetResourceId(), 555);
    for (short id : {-2, -3, -4, -5}) {
        const DG::Icon builtIn(-4, id);
        EXPECT_FALSE(builtIn.IsEmpty()) << id;
        EXPECT_EQ(builtIn.GetResourceId(), id);
        EXPECT_EQ(builtIn.GetResourceModule(), -4);
    }
    EXPECT_TRUE(DG::Icon(-4, -9).IsEmpty());
}

TEST_F(DialogManagerTest, PicturesShowItemsAsTheyAre)
{
    DG::ModalDialog dialog(AddOn, ids::Settings::Dialog, AddOn);
    DG::CheckBox check(dialog, ids::Settings::AutoUpdate);
    DG::LeftText text(dialog, ids::Settings::LastCheck);
    const dg::Picture before = dg::RenderPanel(ids::Settings::Dialog);
    EXPECT_EQ(before.width, 330 + 2);
    EXPECT_EQ(before.height, 195 + 2 + 24);
    // The check box's square: white, with a mark once checked.
    const DG::Rect box = check.GetRect();
    const int bx = before.clientLeft + box.left + 6;
    const int by = before.clientTop + box.top + 11;
    EXPECT_EQ(before.At(bx, by), 0xFFFFFFFFu);
    check.Check();
    const dg::Picture checked = dg::RenderPanel(ids::Settings::Dialog);
    EXPECT_NE(checked.At(bx, by), 0xFFFFFFFFu);
    // A hidden text leaves the background.
    const int tx = before.clientLeft + text.GetRect().left;
    const int ty = before.clientTop + text.GetRect().top;
    EXPECT_GT(tarvel::testing::DarkPixels(checked, tx, ty, 40, 18), 0);
    text.Hide();
    EXPECT_EQ(tarvel::testing::DarkPixels(dg::RenderPanel(ids::Settings::Dialog), tx, ty, 40, 18), 0);

    const std::string file = (Temp().Path() / "settings.png").string();
    EXPECT_TRUE(dg::WritePng(ids::Settings::Dialog, file));
    EXPECT_EQ(dg::ReadPng(file).width, before.width);
    EXPECT_FALSE(dg::WritePng(ids::Progress::Dialog, file));
}

TEST_F(DialogManagerTest, AStaticTextBreaksItsLinesAtBlanksWithinItsBox)
{
    // The name dialog's prompt: 276 x 34, room for two lines.
    DG::ModalDialog dialog(AddOn, ids::LibpartName::Dialog, AddOn);
    DG::LeftText prompt(dialog, ids::LibpartName::Prompt);
    const DG::Rect box = prompt.GetRect();
    auto secondLineInk = [&] {
        const dg::Picture picture = dg::RenderPanel(ids::LibpartName::Dialog);
        int dark = 0;
        for (int y = box.top + 18; y < box.bottom; ++y)
            for (int x = box.left; x < box.right; ++x)
                dark += (picture.At(picture.clientLeft + x, picture.clientTop + y) & 0xFF) < 0x80 ? 1 : 0;
        return dark;
    };
    struct Case {
        const char* text;
        bool secondLine;
    };
    const Case cases[] = {
        {"Please give a unique name for this new library part:", true},
        {"Short", false},
        {"A_single_word_far_wider_than_the_box_stays_on_its_line_and_is_cut", false},
        {"One\nTwo", true},
    };
    for (const Case& c : cases) {
        prompt.SetText(GS::UniString(c.text, GS::CC_UTF8));
        EXPECT_EQ(secondLineInk() > 0, c.secondLine) << c.text;
    }
}

TEST_F(DialogManagerTest, UnreadableResourcesStopTheStartNamingTheFile)
{
    struct Case {
        const char* what;
        std::string dialog;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"an unknown kind",
         R"({"id": 1, "type": "modal", "title": "T", "size": [10, 10],
             "items": [{"id": 1, "kind": "slider", "rect": [0, 0, 5, 5]}]})",
         "item 1: unknown kind \"slider\""},
        {"ids out of order",
         R"({"id": 1, "type": "modal", "title": "T", "size": [10, 10],
             "items": [{"id": 2, "kind": "button", "rect": [0, 0, 5, 5]}]})",
         "item 1 has id 2: items are numbered from 1 in order"},
        {"a field the kind does not have",
         R"({"id": 1, "type": "modal", "title": "T", "size": [10, 10],
             "items": [{"id": 1, "kind": "separator", "rect": [0, 0, 5, 5], "text": "x"}]})",
         "item 1: unknown field \"text\""},
        {"a bad maximum length",
         R"({"id": 1, "type": "modal", "title": "T", "size": [10, 10],
             "items": [{"id": 1, "kind": "textedit", "rect": [0, 0, 5, 5], "maxLength": -1}]})",
         "maxLength must be a whole number from 0 to 32767"},
        {"no size", R"({"id": 1, "type": "modal", "title": "T", "items": []})", "size must be [a, b]"},
        {"broken JSON", R"({"id": 1, )", "dialog.json: "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto folder = Temp().Path() / "module";
        boost::filesystem::remove_all(folder);
        boost::filesystem::create_directories(folder / "dialogs");
        std::ofstream(((folder / "dialogs") / "dialog.json").string()) << c.dialog;
        try {
            dg::AddResourceModule(2000, folder.string());
            ADD_FAILURE() << "read";
        } catch (const std::runtime_error& e) {
            EXPECT_TRUE(Contains(e.what(), "dialog.json")) << e.what();
            EXPECT_TRUE(Contains(e.what(), c.message)) << e.what();
        }
    }
}

}  // namespace
