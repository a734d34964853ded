// The host's clean-up while one of the add-on's modal dialogs runs, with the palette
// dialog itself: the dialog is ended first, nothing is freed under the code that runs
// it, and no thread of the add-on is left.
#include "ShellFixture.hpp"

#include "DialogIds.hpp"
#include "DialogNames.hpp"
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
        const std::vector<dg::ItemInfo> all = dg::FindPanel(ids::Toolbar::Dialog)->items;
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
        // What brings the user to the dialog, once the palette shows.
        std::function<void()> road;
    };
    const auto product = [this](const char* semaphore) {
        return [this, semaphore] {
            ASSERT_TRUE(standin::win::SetClipboardBytes(Message(ProductJson("doors-classic", semaphore))));
        };
    };
    const auto button = [](std::size_t index) {
        return [index] { dg::User(ids::Toolbar::Dialog).Click(Buttons().at(index)); };
    };
    // The browser dialog's own product, up to its name dialog.
    const auto browserProduct = [] {
        dg::User(ids::Browser::Dialog)
            .Then(dg::WaitForPage(ids::Browser::Dialog, ids::Browser::Page))
            .Then(dg::FollowLink(ids::Browser::Page, "product-D-1"))
            .Then(dg::WaitForPage(ids::Browser::Dialog, ids::Browser::Page))
            .Then(dg::PressElement(ids::Browser::Page, "add-to-project"));
        dg::User(ids::Toolbar::Dialog).Click(Buttons().at(4));
    };
    const Case cases[] = {
        {"progress", ids::Progress::Dialog, product("/products/door/never")},
        {"name", ids::LibpartName::Dialog, product("/products/door/ready")},
        {"browser", ids::Browser::Dialog, button(4)},
        {"settings", ids::Settings::Dialog, button(1)},
        {"library", ids::Library::Dialog, button(5)},
        {"about", ids::About::Dialog, button(3)},
        // The configurator of a placed product: nothing is replaced after it.
        {"modify", ids::Browser::Dialog,
         [this] {
             standin::PartParameter url;
             url.name = "tv_base_url";
             const std::string base = Server().Url("/catalogue/doors-classic/");
             url.text = std::u16string(base.begin(), base.end());
             auto& elements = Host().Module<standin::ElementModule>();
             elements.Select({elements.Place(HostInterface::ElemDoor, 1, 0.9, 2.1, {url})});
             dg::User(ids::Toolbar::Dialog).Click(Buttons().at(0));
         }},
        {"name on the browser's road", ids::LibpartName::Dialog, browserProduct},
        // No code of the palette runs under this one: the palette goes at once.
        {"settings from the menu", ids::Settings::Dialog,
         [this] { EXPECT_EQ(Registrations().ChooseMenu(32504), GSErrCode{0}); }},
    };
    for (const Case& c : cases) {
        Reload();
        WriteSettings("<Settings><ActiveLibraries><Library id=\"doors-classic\" name=\"Classic Doors\" url=\"" +
                      Server().Url("/catalogue/doors-classic/") + "\"/></ActiveLibraries></Settings>");
        Start();
        ASSERT_EQ(Registrations().ChooseMenu(32500), GSErrCode{0}) << c.what;
        ASSERT_TRUE(toolbarDialog) << c.what;
        const std::string closed = "close " + Named(c.dialog) + " (cancelled)";
        const long closedBefore = Count(closed);
        GSErrCode stopped = -1;
        auto script = dg::User(c.dialog);
        if (c.dialog == ids::Browser::Dialog)
            script.Then(dg::WaitForPage(ids::Browser::Dialog, ids::Browser::Page));
        script.Do("the host cleans up", [&] { stopped = Loader().Stop(); });
        c.road();

        ASSERT_TRUE(dg::RunUntil("the palette is gone", [] { return !toolbarDialog; }, 20s)) << c.what;
        EXPECT_EQ(stopped, GSErrCode{0}) << c.what;
        EXPECT_EQ(Count(closed), closedBefore + 1) << c.what;
        EXPECT_FALSE(dg::FindPanel(ids::Toolbar::Dialog).has_value()) << c.what;
        EXPECT_EQ(standin::win::LiveThreads(), 0) << c.what;
        EXPECT_TRUE(Store().Parts().empty()) << c.what;
        // No dialog opens after the clean-up, and the palette asks for nothing more.
        dg::PumpEvents(100ms);
        EXPECT_TRUE(dg::Panels().empty()) << c.what;
    }
}

}  // namespace
}  // namespace tarvel::testing
