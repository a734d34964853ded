// The dialog manager's browser item: the engine inside a dialog, loaded by the
// add-on's calls and used by the scripted user, drawn in the dialog's picture.
#include "CatalogueContent.hpp"
#include "DG.hpp"
#include "DialogIds.hpp"
#include "DialogNames.hpp"
#include "HostFixture.hpp"
#include "dialogs/AutoSubmitPage.hpp"
#include "standin/Dialogs.hpp"
#include "standin/Win.hpp"

#include <thread>

namespace tarvel::testing {
namespace {

using namespace std::chrono_literals;
namespace dg = standin::dg;
using standin::services::CatalogueServer;

constexpr GSResModule AddOn = 1000;

GS::UniString Text(const std::string& utf8) { return GS::UniString(utf8.c_str(), GS::CC_UTF8); }


class BrowserItem : public HostFixture {
protected:
    void SetUp() override
    {
        HostFixture::SetUp();
        ASSERT_TRUE(standin::win::ClearClipboard());
        standin::services::AddStandardCatalogue(server);
    }
    void TearDown() override
    {
        standin::win::ClearClipboard();
        HostFixture::TearDown();
    }

    // The browser dialog as the user sees it while browsing: the page alone, its
    // download controls hidden; the user's script ends it with the close box.
    void BrowseOnly(const std::string& path)
    {
        DG::ModalDialog dialog(AddOn, ids::Browser::Dialog, AddOn);
        DG::Browser browser(dialog, ids::Browser::Page);
        DG::Button cancel(dialog, ids::Browser::Cancel);
        DG::CenterText message(dialog, ids::Browser::Message);
        DG::ProgressBar bar(dialog, ids::Browser::Bar);
        cancel.Hide();
        message.Hide();
        bar.Hide();
        browser.LoadURL(Text(server.Url(path)));
        EXPECT_EQ(dialog.Invoke(), DG::ModalDialog::Cancel);
    }

    CatalogueServer server;
};

TEST_F(BrowserItem, TheUserBrowsesTheCatalogueAndAddsAProduct)
{
    const std::string picture = (Temp().Path() / "browser.png").string();
    std::optional<dg::BrowserPage> catalogue, product;
    dg::Picture drawn;
    dg::User(ids::Browser::Dialog)
        .Then(dg::WaitForPage(ids::Browser::Dialog, ids::Browser::Page))
        .Do("look at the catalogue", [&] { catalogue = dg::FindBrowserPage(ids::Browser::Dialog, ids::Browser::Page); })
        .Then(dg::FollowLink(ids::Browser::Page, "product-D-1"))
        .Then(dg::WaitForPage(ids::Browser::Dialog, ids::Browser::Page))
        .Do("look at the product", [&] { drawn = dg::RenderPanel(ids::Browser::Dialog); })
        .Picture(picture)
        .Then(dg::PressElement(ids::Browser::Page, "add-to-project"))
        .Do("look again", [&] { product = dg::FindBrowserPage(ids::Browser::Dialog, ids::Browser::Page); })
        .CloseBox();
    BrowseOnly("/catalogue/doors-classic/?target_system=archicad");

    ASSERT_TRUE(catalogue);
    EXPECT_EQ(catalogue->state, "done");
    EXPECT_EQ(catalogue->url, server.Url("/catalogue/doors-classic/?target_system=archicad"));
    EXPECT_EQ(catalogue->status, 200);
    EXPECT_EQ(catalogue->title, "Classic Doors");
    EXPECT_EQ(catalogue->text, "Classic Doors Classic Door Double Door Hall Cabinet");
    ASSERT_TRUE(product);
    EXPECT_EQ(product->title, "Classic Door - Classic Doors");
    ASSERT_EQ(product->requests.size(), 2u);
    EXPECT_EQ(product->requests[1].method, "GET");
    EXPECT_EQ(product->requests[1].url, server.Url("/catalogue/doors-classic/products/D-1.html"));
    const auto clipboard = standin::win::ClipboardText();
    ASSERT_TRUE(clipboard);
    EXPECT_EQ(clipboard->rfind("-----START ARCHICAD-----", 0), 0u) << *clipboard;
    const auto steps = dg::Steps();
    EXPECT_NE(std::find(steps.begin(), steps.end(),
                        Named(ids::Browser::Dialog) + ": press \"add-to-project\" on item " +
                            std::to_string(ids::Browser::Page)),
              steps.end());

    // The picture shows the address bar and the page's text: dark text on its light
    // background in both.
    ASSERT_FALSE(drawn.Empty());
    auto darkIn = [&](int x0, int y0, int w, int h) {
        int dark = 0;
        for (int y = y0; y < y0 + h; ++y)
            for (int x = x0; x < x0 + w; ++x)
                if ((drawn.At(drawn.clientLeft + x, drawn.clientTop + y) & 0xFF) < 0x90)
                    ++dark;
        return dark;
    };
    EXPECT_GT(darkIn(0, 0, 400, 24), 20);   // the address
    EXPECT_GT(darkIn(0, 24, 400, 60), 20);  // the title and the first lines
    EXPECT_EQ(darkIn(0, 300, 800, 200), 0);  // the rest of the page is empty
}

// The catalogue's product page drawn as a browser lays it out: the heading, the
// product id, each configuration row, and the button with the link, each on a line of
// its own, the heading taller; the link underlined; a long paragraph wrapped.
TEST_F(BrowserItem, APictureShowsThePageInBlocks)
{
    std::string longText;
    for (int i = 0; i < 60; ++i)
        longText += "word" + std::to_string(i) + " ";
    server.AddFile("/long.html", "<title>long</title><p>" + longText + "</p>", "text/html");
    dg::Picture product, wrapped;
    dg::User(ids::Browser::Dialog)
        .Then(dg::WaitForPage(ids::Browser::Dialog, ids::Browser::Page))
        .Do("look at the product", [&] { product = dg::RenderPanel(ids::Browser::Dialog); })
        .Then(dg::FollowLink(ids::Browser::Page, "catalogue"))
        .Then(dg::WaitForPage(ids::Browser::Dialog, ids::Browser::Page))
        .Do("load a long page", [&] {})
        .CloseBox();
    BrowseOnly("/catalogue/doors-classic/products/D-1.html");
    dg::User(ids::Browser::Dialog)
        .Then(dg::WaitForPage(ids::Browser::Dialog, ids::Browser::Page))
        .Do("look at the long page", [&] { wrapped = dg::RenderPanel(ids::Browser::Dialog); })
        .CloseBox();
    {
        DG::ModalDialog dialog(AddOn, ids::Browser::Dialog, AddOn);
        DG::Browser browser(dialog, ids::Browser::Page);
        browser.LoadURL(Text(server.Url("/long.html")));
        EXPECT_EQ(dialog.Invoke(), DG::ModalDialog::Cancel);
    }

    // Bands of rows with dark pixels below the address bar: the lines of the page.
    auto bands = [](const dg::Picture& picture) {
        std::vector<std::pair<int, int>> found;  // first row, height
        bool inBand = false;
        for (int y = 26; y < 600; ++y) {
            bool dark = false;
            for (int x = 0; x < 800 && !dark; ++x)
                dark = (picture.At(picture.clientLeft + x, picture.clientTop + y) & 0xFF) < 0x90 ||
                       ((picture.At(picture.clientLeft + x, picture.clientTop + y) >> 16) & 0xFF) < 0x60;
            if (dark && !inBand)
                found.push_back({y, 0});
            if (dark)
                ++found.back().second;
            inBand = dark;
        }
        return found;
    };
    ASSERT_FALSE(product.Empty());
    const auto lines = bands(product);
    // "Classic Door", "D-1", width, height, leaf, the button and the link.
    ASSERT_EQ(lines.size(), 6u);
    for (std::size_t i = 1; i + 1 < lines.size(); ++i)
        EXPECT_LT(lines[i].second, lines[0].second) << "line " << i;
    // The link's underline: a row of link blue wider than any letter, right of the button.
    const auto [buttonTop, buttonHeight] = lines.back();
    int longestBlue = 0;
    for (int y = buttonTop; y < buttonTop + buttonHeight; ++y) {
        int run = 0;
        for (int x = 0; x < 800; ++x) {
            const std::uint32_t p = product.At(product.clientLeft + x, product.clientTop + y);
            const bool blue = (p & 0xFF) > 0x90 && ((p >> 16) & 0xFF) < 0x60;
            run = blue ? run + 1 : 0;
            longestBlue = std::max(longestBlue, run);
        }
    }
    EXPECT_GT(longestBlue, 40);
    // The button is a box: its frame runs down the line's whole height at its left.
    int frameRows = 0;
    for (int y = buttonTop; y < buttonTop + buttonHeight; ++y)
        if ((product.At(product.clientLeft + 8, product.clientTop + y) & 0xFF) < 0xA0)
            ++frameRows;
    EXPECT_GE(frameRows, buttonHeight - 2);

    // Sixty words do not fit the width of one line.
    ASSERT_FALSE(wrapped.Empty());
    EXPECT_GE(bands(wrapped).size(), 2u);
}

TEST_F(BrowserItem, TheAutoSubmittingPagePostsFromTheDialog)
{
    server.AddHandler("/post/tvHandler.aspx", [](const standin::services::RecordedRequest&) {
        return CatalogueServer::Answer{200, "text/html", "<title>posted</title><p>thanks</p>"};
    });
    std::optional<dg::BrowserPage> page;
    dg::User(ids::Browser::Dialog)
        .Then(dg::WaitForPage(ids::Browser::Dialog, ids::Browser::Page))
        .Do("look", [&] { page = dg::FindBrowserPage(ids::Browser::Dialog, ids::Browser::Page); })
        .CloseBox();
    {
        DG::ModalDialog dialog(AddOn, ids::Browser::Dialog, AddOn);
        DG::Browser browser(dialog, ids::Browser::Page);
        browser.LoadHTML(Text(dialogs::BuildAutoSubmitPage(server.Url("/post/tvHandler.aspx"),
                                                           {{"Vindle", "2"}, {"ArtikelNr", "D-1 & \"2\""}})));
        dialog.Invoke();
    }
    ASSERT_TRUE(page);
    EXPECT_EQ(page->title, "posted");
    EXPECT_EQ(page->text, "thanks");
    ASSERT_EQ(page->requests.size(), 2u);
    EXPECT_EQ(page->requests[0].method, "HTML");
    EXPECT_EQ(page->requests[1].method, "POST");
    EXPECT_EQ(page->requests[1].body, "Vindle=2&ArtikelNr=D-1+%26+%222%22");
}

TEST_F(BrowserItem, WhatTheUserCannotDoIsRefused)
{
    struct Case {
        const char* what;
        bool load;  // the catalogue page first
        bool hide;  // then the browser hidden
        dg::Action action;
        std::string refusal;
    } cases[] = {
        {"no page yet", false, false, dg::FollowLink(ids::Browser::Page, "product-D-1"),
         "item " + std::to_string(ids::Browser::Page) + " (browser) of " + Named(ids::Browser::Dialog)},
        {"a button", true, false, dg::FollowLink(ids::Browser::Cancel, "product-D-1"), "a push button shows no page"},
        {"a missing element", true, false, dg::FollowLink(ids::Browser::Page, "nothing"),
         "the page has no element \"nothing\""},
        {"a link as a form", true, false, dg::SubmitForm(ids::Browser::Page, "product-D-1"),
         "neither a form nor a submit button"},
        {"a list as a button", true, false, dg::PressElement(ids::Browser::Page, "products"),
         "declares no data-clipboard"},
        {"a hidden browser", true, true, dg::FollowLink(ids::Browser::Page, "product-D-1"), "it is hidden"},
    };
    for (Case& c : cases) {
        DG::Browser* shown = nullptr;
        std::vector<std::string> refusals;
        {
            dg::RefusalCatcher catcher;
            auto user = dg::User(ids::Browser::Dialog);
            if (c.load)
                user.Then(dg::WaitForPage(ids::Browser::Dialog, ids::Browser::Page));
            if (c.hide)
                user.Do("hide the browser", [&] { shown->Hide(); });
            user.Then(std::move(c.action)).CloseBox();
            DG::ModalDialog dialog(AddOn, ids::Browser::Dialog, AddOn);
            DG::Browser browser(dialog, ids::Browser::Page);
            shown = &browser;
            if (c.load)
                browser.LoadURL(Text(server.Url("/catalogue/doors-classic/")));
            dialog.Invoke();
            refusals = catcher.Messages();
        }
        ASSERT_EQ(refusals.size(), 1u) << c.what << ": " << ::testing::PrintToString(refusals);
        EXPECT_TRUE(Contains(refusals[0], c.refusal)) << c.what << ": " << refusals[0];
        EXPECT_FALSE(standin::win::ClipboardText()) << c.what;
    }

    // The add-on's calls come from the user-interface thread only.
    std::vector<std::string> refusals;
    {
        dg::RefusalCatcher catcher;
        DG::ModalDialog dialog(AddOn, ids::Browser::Dialog, AddOn);
        DG::Browser browser(dialog, ids::Browser::Page);
        std::thread other([&] { browser.LoadURL(Text(server.Url("/catalogue/doors-classic/"))); });
        other.join();
        refusals = catcher.Messages();
        EXPECT_EQ(dg::FindBrowserPage(ids::Browser::Dialog, ids::Browser::Page)->state, "blank");
    }
    ASSERT_EQ(refusals.size(), 1u) << ::testing::PrintToString(refusals);
    EXPECT_TRUE(Contains(refusals[0], "DG::BrowserBase::LoadURL")) << refusals[0];
}

TEST_F(BrowserItem, ALoadUnderWayEndsWithStopLoadOrWithTheDialog)
{
    server.AddSilent("/slow", 30s);
    std::optional<dg::BrowserPage> loading, stopped;
    dg::User(ids::Browser::Dialog)
        .Wait("the request arrived", [&] { return server.CallCount("/slow") == 1; })
        .Do("look", [&] { loading = dg::FindBrowserPage(ids::Browser::Dialog, ids::Browser::Page); })
        .CloseBox();
    const auto start = std::chrono::steady_clock::now();
    {
        DG::ModalDialog dialog(AddOn, ids::Browser::Dialog, AddOn);
        DG::Browser browser(dialog, ids::Browser::Page);
        browser.LoadURL(Text(server.Url("/slow")));
        dialog.Invoke();
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    ASSERT_TRUE(loading);
    EXPECT_EQ(loading->state, "loading");

    dg::User(ids::Browser::Dialog)
        .Wait("the request arrived", [&] { return server.CallCount("/slow") == 2; })
        .CloseBox();
    DG::ModalDialog dialog(AddOn, ids::Browser::Dialog, AddOn);
    DG::Browser browser(dialog, ids::Browser::Page);
    browser.LoadURL(Text(server.Url("/slow")));
    dialog.Invoke();
    browser.StopLoad();
    stopped = dg::FindBrowserPage(ids::Browser::Dialog, ids::Browser::Page);
    ASSERT_TRUE(stopped);
    EXPECT_EQ(stopped->state, "stopped");
}

}  // namespace
}  // namespace tarvel::testing
