// The palette's download road: a message the clipboard watcher finds while the
// palette shows goes through the progress and name dialogs to a saved part, run by
// the scripted user against the loopback catalogue.
#include "PaletteFixture.hpp"

#include "standin/Elements.hpp"
#include "standin/LibParts.hpp"
#include "standin/Win.hpp"
#include "transfer/ClipboardMessage.hpp"

#include <algorithm>
#include <thread>

namespace tarvel::testing {
namespace {

using namespace std::chrono_literals;

constexpr short Progress = 32506;
constexpr short Name = 32503;
constexpr short About = 32504;

class PaletteDownloadTest : public PaletteFixture {
protected:
    void SetUp() override
    {
        PaletteFixture::SetUp();
        ServeDoorProduct();
        StoreLibraries({});
    }

    // Shows the palette with its watcher, as the shell does.
    void ShowWatchingPalette()
    {
        OpenPalette();
        Palette().StartClipboardWatcher();
    }
    bool PartSaved(const std::string& name) { return Store().FindByName(name).has_value(); }
    standin::LibPartModule& Store() { return Host().Module<standin::LibPartModule>(); }
    static long Count(const std::string& step)
    {
        const auto steps = dg::Steps();
        return std::count(steps.begin(), steps.end(), step);
    }

};

TEST_F(PaletteDownloadTest, AMessageFoundByTheWatcherBecomesASavedPartThroughTheProgressAndNameDialogs)
{
    ShowWatchingPalette();
    std::string proposed;
    dg::User(Name).Do("read the proposed name", [&] { proposed = dg::FindItem(Name, 6)->text; })
        .Type(6, "Palette Door")
        .Click(1);
    ASSERT_TRUE(standin::win::SetClipboardBytes(Message(ProductJson("doors-classic"))));
    ASSERT_TRUE(dg::RunUntil("the part is saved", [&] { return PartSaved("Palette Door"); }, 20s))
        << ::testing::PrintToString(Report().Lines());

    // The progress dialog showed the download to its end and closed by itself; then
    // the name dialog proposed the product's name.
    EXPECT_EQ(Count("open dialog 32506 \"Tarvel\""), 1);
    EXPECT_EQ(Count("close dialog 32506 \"Tarvel\" (accepted)"), 1);
    EXPECT_EQ(dg::FindItem(Progress, 3)->value, 104);
    EXPECT_EQ(proposed, "Classic Door10");
    EXPECT_EQ(Count("close dialog 32503 \"Tarvel Library Part Name\" (accepted)"), 1);
    // The part is the door's, its tool switched to it.
    const auto part = Store().FindByName(std::string("Palette Door"));
    EXPECT_EQ(part->Parameter("tv_catalog_productid")->text, u"D-1");
    EXPECT_EQ(Host().Module<standin::ToolModule>().ActiveTool(), HostInterface::ElemDoor);
    // The catalogue's library became active: stored, and its button is on the palette.
    EXPECT_NE(SettingsText().find("id=\"doors-classic\""), std::string::npos);
    dg::PumpEvents(50ms);
    const auto buttons = Buttons();
    ASSERT_EQ(buttons.size(), 6u);
    dg::User(Toolbar).Hover(buttons[4].id);
    Act();
    EXPECT_EQ(dg::LastToolTip(), "Classic Doors");
    // The message is gone, nothing was reported, and no host call came from another thread.
    EXPECT_FALSE(standin::win::ClipboardText().has_value() && !standin::win::ClipboardText()->empty());
    EXPECT_TRUE(Report().Lines().empty()) << ::testing::PrintToString(Report().Lines());
    EXPECT_TRUE(Host().CallsOffUiThread().empty());
    EXPECT_TRUE(toolbarController.IsIdle());
}

// Cancel, or the window's close box: the download is let go, nothing is created, and
// the next product goes through as usual.
TEST_F(PaletteDownloadTest, ACancelledDownloadCreatesNothingAndTheNextProductStillWorks)
{
    ShowWatchingPalette();
    const struct {
        const char* how;
        bool closeBox;
    } cases[] = {{"Cancel", false}, {"the close box", true}};
    int parts = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        const long cancelledBefore = Count("close dialog 32506 \"Tarvel\" (cancelled)");
        if (c.closeBox)
            dg::User(Progress).CloseBox();
        else
            dg::User(Progress).Click(1);
        // A new payload each time: the watcher keeps the last one it took.
        const std::string never = ProductJson("doors-classic", "/products/door/never") + std::string(parts, ' ');
        ASSERT_TRUE(standin::win::SetClipboardBytes(Message(never)));
        ASSERT_TRUE(dg::RunUntil("the download is cancelled", [&] {
            return Count("close dialog 32506 \"Tarvel\" (cancelled)") == cancelledBefore + 1;
        }));
        // The cancelled download's worker ends; the controller is free at once.
        EXPECT_TRUE(toolbarController.IsIdle());
        EXPECT_TRUE(dg::RunUntil("the worker ends", [] { return standin::win::LiveThreads() == 1; }));
        EXPECT_FALSE(standin::win::ClipboardText().has_value() && !standin::win::ClipboardText()->empty());

        const long namesBefore = Count("open dialog 32503 \"Tarvel Library Part Name\"");
        dg::User(Name).Type(6, "Door " + std::to_string(parts)).Click(1);
        const std::string ready = ProductJson("doors-classic") + std::string(parts, ' ');
        ASSERT_TRUE(standin::win::SetClipboardBytes(Message(ready)));
        const std::string name = "Door " + std::to_string(parts);
        ASSERT_TRUE(dg::RunUntil("the next part is saved", [&] { return PartSaved(name); }, 20s))
            << ::testing::PrintToString(Report().Lines());
        ++parts;
        EXPECT_EQ(Store().Parts().size(), static_cast<std::size_t>(parts));
        EXPECT_EQ(Count("open dialog 32503 \"Tarvel Library Part Name\""), namesBefore + 1);
    }
    // The ready products may complete before their progress dialog shows (then none
    // opens for them); the cancelled ones had theirs.
    EXPECT_EQ(Count("close dialog 32506 \"Tarvel\" (cancelled)"), 2);
    EXPECT_GE(Count("open dialog 32506 \"Tarvel\""), 2);
    EXPECT_LE(Count("close dialog 32506 \"Tarvel\" (accepted)"), 2);
}

// The palette sees no idle event while a modal dialog of its own runs: the download
// completes meanwhile, and the part is made at the next idle event without the
// progress dialog.
TEST_F(PaletteDownloadTest, ACompletionBeforeTheProgressDialogShowsIsNotLost)
{
    ShowWatchingPalette();
    dg::User(Toolbar).Click(AboutItem);
    dg::User(About)
        .Do("put the product on the clipboard",
            [&] { ASSERT_TRUE(standin::win::SetClipboardBytes(Message(ProductJson("doors-classic")))); })
        .Wait("the download has ended",
              [&] {
                  return Server().CallCount("/products/door/sheet.xml") == 1 && standin::win::LiveThreads() == 1;
              },
              10s)
        .Click(1);
    dg::User(Name).Click(1);
    ASSERT_TRUE(dg::RunUntil("the part is saved", [&] { return PartSaved("Classic Door10"); }, 20s))
        << ::testing::PrintToString(Report().Lines());
    EXPECT_EQ(Count("open dialog 32506 \"Tarvel\""), 0);
    EXPECT_TRUE(toolbarController.IsIdle());
}

TEST_F(PaletteDownloadTest, TheWatchersAlertsReachTheReportOnTheUserInterfaceThread)
{
    ShowWatchingPalette();
    ASSERT_TRUE(standin::win::SetClipboardBytes(Message(ProductJson("nowhere"))));
    ASSERT_TRUE(dg::RunUntil("the alert", [&] { return !Report().Alerts().empty(); }));
    EXPECT_EQ(Report().Alerts(), std::vector<std::string>{kUnknownCatalogue});
    for (const auto& entry : Report().Entries())
        EXPECT_EQ(entry.thread, std::this_thread::get_id());
    EXPECT_TRUE(Host().CallsOffUiThread().empty());
    EXPECT_EQ(Count("open dialog 32506 \"Tarvel\""), 0);
}

}  // namespace
}  // namespace tarvel::testing
