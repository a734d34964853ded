// The host's clean-up while one of the add-on's modal dialogs runs, with the palette
// dialog itself: the dialog is ended first, nothing is freed under the code that runs
// it, and no thread of the add-on is left.
#include "ShellFixture.hpp"

#include "standin/Elements.hpp"
#include "standin/LibParts.hpp"
#include "standin/Win.hpp"
#include "transfer/ClipboardMessage.hpp"

#include <algorithm>
#include <functional>

namespace tarvel::testing {
namespace {

using namespace std::chrono_literals;
namespace dg = standin::dg;

constexpr short Toolbar = 32401;
constexpr short Progress = 32506;
constexpr short Name = 32503;
constexpr short Browser = 32510;
constexpr short Settings = 32505;
constexpr short Library = 32502;
constexpr short About = 32504;
constexpr short BrowserItem = 2;

class CleanUpTest : public ShellFixture {
protected:
    void SetUp() override
    {
        ShellFixture::SetUp();
        ServeDoorProduct();
        // The palette dialog, not the recording one.
        SetToolbarPaletteFactory({});
    }

    // The palette's buttons in their order: the four tools, the libraries, "Add library".
    static std::vector<short> Buttons()
    {
        std::vector<dg::ItemInfo> items;
        const std::vector<dg::ItemInfo> all = dg::FindPanel(Toolbar)->items;
        for (const dg::ItemInfo& item : all)
            if (item.kind == "useritem")
                items.push_back(item);
        std::sort(items.begin(), items.end(),
                  [](const dg::ItemInfo& a, const dg::ItemInfo& b) { return a.rect.left < b.rect.left; });
        std::vector<short> ids;
        for (const dg::ItemInfo& item : items)
            ids.push_back(item.id);
        return ids;
    }
    long Count(const std::string& step)
    {
        const auto steps = dg::Steps();
        return std::count(steps.begin(), steps.end(), step);
    }
    standin::LibPartModule& Store() { return Host().Module<standin::LibPartModule>(); }
};

TEST_F(CleanUpTest, TheCleanUpInsideADialogEndsItFirstAndFreesThePaletteAfterIt)
{
    struct Case {
        const char* what;
        short dialog;
        const char* closed;
        // What brings the user to the dialog, once the palette shows.
        std::function<void()> road;
    };
    const auto product = [this](const char* semaphore) {
        return [this, semaphore] {
            ASSERT_TRUE(standin::win::SetClipboardBytes(Message(ProductJson("doors-classic", semaphore))));
        };
    };
    const auto button = [](std::size_t index) {
        return [index] { dg::User(Toolbar).Click(Buttons().at(index)); };
    };
    // The browser dialog's own product, up to its name dialog.
    const auto browserProduct = [] {
        dg::User(Browser)
            .Then(dg::WaitForPage(Browser, BrowserItem))
            .Then(dg::FollowLink(BrowserItem, "product-D-1"))
            .Then(dg::WaitForPage(Browser, BrowserItem))
            .Then(dg::PressElement(BrowserItem, "add-to-project"));
        dg::User(Toolbar).Click(Buttons().at(4));
    };
    const Case cases[] = {
        {"progress", Progress, "close dialog 32506 \"Tarvel\" (cancelled)", product("/products/door/never")},
        {"name", Name, "close dialog 32503 \"Tarvel Library Part Name\" (cancelled)", product("/products/door/ready")},
        {"browser", Browser, "close dialog 32510 \"Tarvel\" (cancelled)", button(4)},
        {"settings", Settings, "close dialog 32505 \"Settings\" (cancelled)", button(1)},
        {"library", Library, "close dialog 32502 \"Tarvel Library Manager\" (cancelled)", button(5)},
        {"about", About, "close dialog 32504 \"About\" (cancelled)", button(3)},
        // The configurator of a placed product: nothing is replaced after it.
        {"modify", Browser, "close dialog 32510 \"Tarvel\" (cancelled)",
         [this] {
             standin::PartParameter url;
             url.name = "tv_base_url";
             const std::string base = Server().Url("/catalogue/doors-classic/");
             url.text = std::u16string(base.begin(), base.end());
             auto& elements = Host().Module<standin::ElementModule>();
             elements.Select({elements.Place(HostInterface::ElemDoor, 1, 0.9, 2.1, {url})});
             dg::User(Toolbar).Click(Buttons().at(0));
         }},
        {"name on the browser's road", Name, "close dialog 32503 \"Tarvel Library Part Name\" (cancelled)",
         browserProduct},
        // No code of the palette runs under this one: the palette goes at once.
        {"settings from the menu", Settings, "close dialog 32505 \"Settings\" (cancelled)",
         [this] { EXPECT_EQ(Registrations().ChooseMenu(32504), GSErrCode{0}); }},
    };
    for (const Case& c : cases) {
        Reload();
        WriteSettings("<Settings><ActiveLibraries><Library id=\"doors-classic\" name=\"Classic Doors\" url=\"" +
                      Server().Url("/catalogue/doors-classic/") + "\"/></ActiveLibraries></Settings>");
        Start();
        ASSERT_EQ(Registrations().ChooseMenu(32500), GSErrCode{0}) << c.what;
        ASSERT_TRUE(toolbarDialog) << c.what;
        const long closedBefore = Count(c.closed);
        GSErrCode stopped = -1;
        auto script = dg::User(c.dialog);
        if (c.dialog == Browser)
            script.Then(dg::WaitForPage(Browser, BrowserItem));
        script.Do("the host cleans up", [&] { stopped = Loader().Stop(); });
        c.road();

        ASSERT_TRUE(dg::RunUntil("the palette is gone", [] { return !toolbarDialog; }, 20s)) << c.what;
        EXPECT_EQ(stopped, GSErrCode{0}) << c.what;
        EXPECT_EQ(Count(c.closed), closedBefore + 1) << c.what;
        EXPECT_FALSE(dg::FindPanel(Toolbar).has_value()) << c.what;
        EXPECT_EQ(standin::win::LiveThreads(), 0) << c.what;
        EXPECT_TRUE(Store().Parts().empty()) << c.what;
        // No dialog opens after the clean-up, and the palette asks for nothing more.
        dg::PumpEvents(100ms);
        EXPECT_TRUE(dg::Panels().empty()) << c.what;
    }
}

}  // namespace
}  // namespace tarvel::testing
