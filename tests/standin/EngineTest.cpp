// The stand-in browser's engine against the loopback server: pages, links, forms,
// the auto-submitting idiom, the clipboard element, and failures that end in time.
#include "BrowserEngine.hpp"
#include "CatalogueServer.hpp"
#include "standin/Win.hpp"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace standin::browser {

void PrintTo(LoadState state, std::ostream* out) { *out << ToString(state); }

namespace {

using namespace std::chrono_literals;
using services::CatalogueServer;

std::string Page(const std::string& title, const std::string& body)
{
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" + title + "</title></head><body>" + body +
           "</body></html>";
}

class Engine : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(win::ClearClipboard()); }
    void TearDown() override { EXPECT_FALSE(win::ClipboardIsOpen()); }

    // Loads and waits; the test fails when the page does not end as expected.
    void Load(BrowserEngine& engine, const std::string& url, LoadState expected = LoadState::Done)
    {
        engine.LoadURL(url);
        EXPECT_EQ(engine.WaitForLoad(10s), expected) << engine.Error();
    }
    // The posts the server received, as (path, body).
    std::vector<services::RecordedRequest> Posts() const
    {
        std::vector<services::RecordedRequest> posts;
        for (const auto& request : server.Requests())
            if (request.method == "POST")
                posts.push_back(request);
        return posts;
    }

    CatalogueServer server;
};

TEST_F(Engine, ShowsAPageAndFollowsRelativeLinksAndRedirects)
{
    server.AddFile("/shop/index.html",
                   Page("  The\n shop ", "<h1>Doors</h1><script>var hidden = 1;</script>"
                                         "<p id=\"intro\">Wooden &amp; <b>steel</b></p>"
                                         "<a id=\"next\" href=\" products/door.html?x=1 \">Door</a>"
                                         "<a id=\"up\" href=\"../moved\">Moved</a><a id=\"mail\" href=\"mailto:a@b\">Mail</a>"),
                   "text/html; charset=utf-8");
    server.AddFile("/shop/products/door.html", Page("Door", "<a id=\"back\" href=\"/shop/index.html\">Back</a>"),
                   "text/html");
    server.AddRedirect("/moved", 302, "/shop/products/door.html");
    // The server's charset wins over the page's declaration.
    server.AddFile("/latin", "<html><head><meta charset=\"utf-8\"><title>Caf\xe9</title></head></html>",
                   "text/html; charset=iso-8859-1");

    BrowserEngine engine;
    EXPECT_EQ(engine.State(), LoadState::Blank);
    Load(engine, server.Url("/shop/index.html"));
    EXPECT_EQ(engine.Url(), server.Url("/shop/index.html"));
    EXPECT_EQ(engine.Status(), 200);
    EXPECT_EQ(engine.Title(), "The shop");
    EXPECT_EQ(engine.VisibleText(), "Doors Wooden & steel Door Moved Mail");
    EXPECT_EQ(engine.ElementIds(), (std::vector<std::string>{"intro", "next", "up", "mail"}));
    const auto intro = engine.FindElement("intro");
    ASSERT_TRUE(intro);
    EXPECT_EQ(intro->tag, "p");
    EXPECT_EQ(intro->text, "Wooden & steel");

    EXPECT_EQ(engine.FollowLink("next"), "");
    EXPECT_EQ(engine.WaitForLoad(10s), LoadState::Done) << engine.Error();
    EXPECT_EQ(engine.Url(), server.Url("/shop/products/door.html?x=1"));
    EXPECT_EQ(engine.Title(), "Door");

    EXPECT_EQ(engine.FollowLink("back"), "");
    EXPECT_EQ(engine.WaitForLoad(10s), LoadState::Done);
    EXPECT_EQ(engine.FollowLink("up"), "");
    EXPECT_EQ(engine.WaitForLoad(10s), LoadState::Done);
    // The redirect's target is the page's address.
    EXPECT_EQ(engine.Url(), server.Url("/shop/products/door.html"));

    Load(engine, server.Url("/latin"));
    EXPECT_EQ(engine.Title(), "Caf\xc3\xa9");
    Load(engine, server.Url("/shop/products/door.html"));

    // What the user cannot follow is refused and changes nothing.
    EXPECT_NE(engine.FollowLink("nothing"), "");
    EXPECT_NE(engine.FollowLink("intro"), "");  // no link on this page any more
    EXPECT_EQ(engine.Url(), server.Url("/shop/products/door.html"));
}

TEST_F(Engine, RefusesActionsAUserCouldNotTake)
{
    server.AddFile("/p", Page("p", "<a id=\"mail\" href=\"mailto:a@b\">Mail</a><p id=\"text\">t</p>"
                                   "<button id=\"off\" disabled data-clipboard=\"x\">Off</button>"
                                   "<form id=\"f\" action=\"/x\"><button id=\"dead\" type=\"button\">No</button>"
                                   "<button id=\"gone\" disabled>Gone</button></form>"
                                   "<button id=\"loose\">Loose</button>"),
                   "text/html");
    BrowserEngine engine;
    Load(engine, server.Url("/p"));
    struct Case {
        const char* what;
        std::string (BrowserEngine::*action)(const std::string&);
        const char* id;
        const char* error;
    } cases[] = {
        {"a link elsewhere", &BrowserEngine::FollowLink, "mail", "leads to no web address"},
        {"text as a link", &BrowserEngine::FollowLink, "text", "is no link"},
        {"a missing link", &BrowserEngine::FollowLink, "none", "has no element"},
        {"a plain button", &BrowserEngine::SubmitForm, "dead", "neither a form nor a submit button"},
        {"a disabled submit", &BrowserEngine::SubmitForm, "gone", "is disabled"},
        {"a button outside a form", &BrowserEngine::SubmitForm, "loose", "belongs to no form"},
        {"text without a clipboard", &BrowserEngine::Press, "text", "declares no data-clipboard"},
        {"a disabled clipboard button", &BrowserEngine::Press, "off", "is disabled"},
    };
    for (const Case& c : cases) {
        const std::string error = (engine.*c.action)(c.id);
        EXPECT_NE(error.find(c.error), std::string::npos) << c.what << ": " << error;
    }
    EXPECT_EQ(engine.Navigations().size(), 1u);
    EXPECT_FALSE(win::ClipboardText().has_value());
}

TEST_F(Engine, SubmitsFormsAsABrowserEncodesThem)
{
    server.AddFile("/form",
                   Page("form",
                        "<form id=\"post\" action=\"answer?a=1&amp;b=2\" method=\"POST\">"
                        "<input type=\"hidden\" name=\"first\" value=\"a&quot;b&lt;c&gt;d&amp;e&#39;f g+h~*%/=\">"
                        "<input name=\"text\" value=\"line&#10;break\">"
                        "<input type=\"checkbox\" name=\"on\" checked><input type=\"checkbox\" name=\"off\" value=\"1\">"
                        "<input type=\"radio\" name=\"r\" value=\"x\"><input type=\"radio\" name=\"r\" value=\"y\" checked>"
                        "<input name=\"disabled\" value=\"1\" disabled><input value=\"nameless\">"
                        "<select name=\"size\"><option>S</option><option value=\"m\" selected>M</option></select>"
                        "<select name=\"first-option\"><option> Large  one </option></select>"
                        "<textarea name=\"area\">x &lt; y</textarea>"
                        "<input type=\"submit\" name=\"go\" value=\"Go\" id=\"go\"><button name=\"other\" id=\"other\">B</button>"
                        "<input type=\"hidden\" name=\"caf\xc3\xa9\" value=\"\xe2\x82\xac\">"
                        "</form>"
                        "<form id=\"get\" action=\"/search?old=1#top\"><input name=\"q\" value=\"a b\"></form>"
                        "<form id=\"multi\" method=\"post\" enctype=\"multipart/form-data\"></form>"),
                   "text/html");
    server.AddFile("/answer", Page("answered", "thanks"), "text/html");
    server.AddFile("/search", Page("found", ""), "text/html");

    BrowserEngine engine;
    Load(engine, server.Url("/form"));
    EXPECT_EQ(engine.SubmitForm("go"), "");
    EXPECT_EQ(engine.WaitForLoad(10s), LoadState::Done) << engine.Error();
    EXPECT_EQ(engine.Title(), "answered");
    EXPECT_EQ(engine.Url(), server.Url("/answer?a=1&b=2"));
    auto posts = Posts();
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(posts[0].target, "/answer?a=1&b=2");
    EXPECT_EQ(posts[0].contentType, "application/x-www-form-urlencoded");
    // Only the pressed button is a field; line breaks are CR LF.
    EXPECT_EQ(posts[0].body, "first=a%22b%3Cc%3Ed%26e%27f+g%2Bh%7E*%25%2F%3D&text=line%0D%0Abreak&on=on&r=y&"
                             "size=m&first-option=Large+one&area=x+%3C+y&go=Go&caf%C3%A9=%E2%82%AC");
    EXPECT_EQ(services::FormFields(posts[0].body)[0].second, "a\"b<c>d&e'f g+h~*%/=");

    // A form submitted by itself has no submitter field; a GET form replaces the query.
    Load(engine, server.Url("/form"));
    EXPECT_EQ(engine.SubmitForm("get"), "");
    EXPECT_EQ(engine.WaitForLoad(10s), LoadState::Done) << engine.Error();
    EXPECT_EQ(engine.Url(), server.Url("/search?q=a+b#top"));
    EXPECT_EQ(engine.Title(), "found");

    Load(engine, server.Url("/form"));
    EXPECT_NE(engine.SubmitForm("multi").find("multipart/form-data"), std::string::npos);
    EXPECT_EQ(engine.SubmitForm("other"), "");
    EXPECT_EQ(engine.WaitForLoad(10s), LoadState::Done);
    posts = Posts();
    ASSERT_EQ(posts.size(), 2u);
    EXPECT_NE(posts[1].body.find("&other=&"), std::string::npos) << posts[1].body;
    EXPECT_EQ(posts[1].body.find("go=Go"), std::string::npos) << posts[1].body;
}

TEST_F(Engine, AnAutoSubmittingPagePostsItsFormAndShowsTheAnswer)
{
    server.AddFile("/handler", Page("handled", "<p>configured</p>"), "text/html");
    const std::string page =
        "<html><body><form action=\"" + server.Url("/handler") +
        "\" method=\"post\" id=\"f1\"><input type=\"hidden\" name=\"a\" value=\"1\" />"
        "<input type=\"hidden\" name=\"b\" value=\"x y\" /></form>"
        "<script type=\"text/javascript\">\n function go () {\n  var frm = document.getElementById(\"f1\");\n"
        "  frm.submit();\n }\n window.onload = go;\n</script></body></html>";
    BrowserEngine engine;
    engine.LoadHTML(page);
    ASSERT_EQ(engine.WaitForLoad(10s), LoadState::Done) << engine.Error();
    EXPECT_EQ(engine.Title(), "handled");
    EXPECT_EQ(engine.Url(), server.Url("/handler"));
    const auto navigations = engine.Navigations();
    ASSERT_EQ(navigations.size(), 2u);
    EXPECT_EQ(navigations[0].method, "HTML");
    EXPECT_EQ(navigations[1].method, "POST");
    EXPECT_EQ(navigations[1].body, "a=1&b=x+y");
    ASSERT_EQ(Posts().size(), 1u);
    EXPECT_EQ(Posts()[0].body, "a=1&b=x+y");
}

TEST_F(Engine, ScriptsThatAreNotTheIdiomDoNothingAndBrokenIdiomsFail)
{
    server.AddFile("/loop", "<form id=\"f\" action=\"/loop\" method=\"post\"></form><script>"
                            "function s() { document.getElementById('f').submit(); } window.onload = s;</script>",
                   "text/html");
    struct Case {
        const char* what;
        std::string html;
        LoadState state;
        const char* error;
    } cases[] = {
        {"a script that submits nothing",
         "<form id=\"f\" action=\"/x\"></form><script>function s() { alert(1); } window.onload = s;</script>",
         LoadState::Done, ""},
        {"a submit outside onload",
         "<form id=\"f\" action=\"/x\"></form><script>document.getElementById(\"f\").submit();</script>",
         LoadState::Done, ""},
        {"a script of another language",
         "<form id=\"f\" action=\"/x\"></form><script type=\"text/template\">"
         "function s() { document.getElementById('f').submit(); } window.onload = s;</script>",
         LoadState::Done, ""},
        {"the form is missing",
         "<script>function s() { document.getElementById('g').submit(); } window.onload = s;</script>",
         LoadState::Failed, "which it lacks"},
        {"a relative action from a page without an address",
         "<form id=\"f\" action=\"x\"></form>"
         "<script>function s() { document.getElementById('f').submit(); } window.onload = s;</script>",
         LoadState::Failed, "names no address"},
        {"a page that submits itself again and again",
         "<form id=\"f\" action=\"" + server.Url("/loop") + "\" method=\"post\"></form>"
         "<script>function s() { document.getElementById('f').submit(); } window.onload = s;</script>",
         LoadState::Failed, "submitted themselves"},
    };
    for (const Case& c : cases) {
        BrowserEngine engine;
        engine.LoadHTML(c.html);
        EXPECT_EQ(engine.WaitForLoad(10s), c.state) << c.what;
        EXPECT_NE(engine.Error().find(c.error), std::string::npos) << c.what << ": " << engine.Error();
    }
    EXPECT_EQ(server.CallCount("/x"), 0);
    EXPECT_EQ(server.CallCount("/loop"), 10);
}

TEST_F(Engine, PressingAClipboardElementPutsItsTextOnTheClipboard)
{
    server.AddFile("/product",
                   Page("product", "<button id=\"add\" data-clipboard=\"-----START-----a&amp;b&quot;-----END-----\" "
                                   "onclick=\"navigator.clipboard.writeText(this.dataset.clipboard)\">Add</button>"),
                   "text/html");
    EngineOptions options;
    options.clipboardPatience = 50ms;
    BrowserEngine engine(options);
    Load(engine, server.Url("/product"));
    EXPECT_EQ(engine.Press("add"), "");
    EXPECT_EQ(win::ClipboardText(), "-----START-----a&b\"-----END-----");
    EXPECT_EQ(win::ClipboardLocks(), 0);

    // Another program holds the clipboard: the copy fails and the text stays.
    ASSERT_TRUE(win::SetClipboardBytes("theirs"));
    ASSERT_TRUE(win::HoldClipboard(true));
    EXPECT_NE(engine.Press("add").find("held by another program"), std::string::npos);
    ASSERT_TRUE(win::HoldClipboard(false));
    EXPECT_EQ(win::ClipboardText(), "theirs");
}

TEST_F(Engine, FailuresEndInTimeAndKeepThePageShown)
{
    server.AddFile("/shown", Page("shown", ""), "text/html");
    server.AddSilent("/silent", 30s);
    server.AddFile("/binary", "MZ", "application/octet-stream");
    server.AddFile("/large", std::string(4096, 'x'), "text/html");
    server.AddStatus("/missing", 404, Page("Not here", ""));
    services::SilentListener listener;
    struct Case {
        const char* what;
        std::string url;
        LoadState state;
        const char* error;
    } cases[] = {
        {"nothing listens", "http://127.0.0.1:" + std::to_string(services::UnusedPort()) + "/", LoadState::Failed,
         "cannot load"},
        {"the answer does not come", server.Url("/silent"), LoadState::Failed, "cannot load"},
        {"the connection is never taken", "http://127.0.0.1:" + std::to_string(listener.Port()) + "/",
         LoadState::Failed, "cannot load"},
        {"no page", server.Url("/binary"), LoadState::Failed, "is no page but application/octet-stream"},
        {"too large", server.Url("/large"), LoadState::Failed, "more than 1024 bytes"},
        {"not the web", "file:///etc/passwd", LoadState::Failed, "not a web address"},
    };
    // Short, yet long enough for a loaded machine to show a page.
    EngineOptions options;
    options.requestTimeout = 2s;
    options.connectTimeout = 1s;
    options.maxPageBytes = 1024;
    for (const Case& c : cases) {
        BrowserEngine engine(options);
        Load(engine, server.Url("/shown"));
        const auto start = std::chrono::steady_clock::now();
        Load(engine, c.url, c.state);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 8s) << c.what;
        EXPECT_NE(engine.Error().find(c.error), std::string::npos) << c.what << ": " << engine.Error();
        EXPECT_EQ(engine.Title(), "shown") << c.what;
    }
    // An error page is a page: shown with its status.
    BrowserEngine engine;
    Load(engine, server.Url("/missing"));
    EXPECT_EQ(engine.Status(), 404);
    EXPECT_EQ(engine.Title(), "Not here");
}

TEST_F(Engine, StopLoadEndsTheNavigationAtOnce)
{
    server.AddFile("/shown", Page("shown", ""), "text/html");
    server.AddSilent("/silent", 30s);
    BrowserEngine engine;
    Load(engine, server.Url("/shown"));
    engine.LoadURL(server.Url("/silent"));
    while (server.CallCount("/silent") == 0)
        std::this_thread::sleep_for(1ms);
    const auto start = std::chrono::steady_clock::now();
    engine.StopLoad();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_EQ(engine.State(), LoadState::Stopped);
    EXPECT_EQ(engine.Error(), "");
    EXPECT_EQ(engine.Title(), "shown");
    // A new navigation ends the one under way too, and the engine ends its own.
    engine.LoadURL(server.Url("/silent"));
    Load(engine, server.Url("/shown"));
    engine.LoadURL(server.Url("/silent"));
}

// What a browser puts on lines of its own, and what flows within a line.
TEST_F(Engine, LaysAPageOutInBlocks)
{
    BrowserEngine engine;
    engine.LoadHTML(Page("t", "<h1>Doors</h1>\n<p>Our <a href=\"x\">best</a>\n doors</p><h3>Sizes</h3>"
                              "<table><tr><th>width</th><td> 900 </td></tr><tr><td>height</td><td>2100</td></tr></table>"
                              "<ul><li>one</li><li>two</li></ul>text <b>after</b><br>a break"
                              "<form><input type=\"text\" value=\"12\"><input type=\"hidden\" value=\"no\">"
                              "<select><option>a</option><option selected>b</option></select>"
                              "<input type=\"submit\" value=\"Go\"><button>Add</button></form>"
                              "<script>no()</script><div hidden>no</div>"));
    ASSERT_EQ(engine.WaitForLoad(10s), LoadState::Done) << engine.Error();
    const std::vector<Block> blocks = engine.Layout();
    std::vector<std::string> lines;
    for (const Block& block : blocks) {
        std::string line;
        switch (block.kind) {
        case Block::Kind::Heading: line = "h" + std::to_string(block.level) + ":"; break;
        case Block::Kind::Paragraph: line = "p:"; break;
        case Block::Kind::ListItem: line = "li:"; break;
        case Block::Kind::Row: line = "row" + std::to_string(block.table) + ":"; break;
        }
        auto runs = [&](const std::vector<TextRun>& list) {
            for (const TextRun& run : list) {
                const char* mark = run.kind == TextRun::Kind::Link     ? "_"
                                   : run.kind == TextRun::Kind::Button ? "[b]"
                                   : run.kind == TextRun::Kind::Field  ? "[f]"
                                                                       : "";
                line += mark + run.text + mark;
            }
        };
        runs(block.runs);
        for (const auto& cell : block.cells) {
            line += "|";
            runs(cell);
        }
        lines.push_back(line);
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"h1:Doors", "p:Our _best_ doors", "h3:Sizes", "row1:|width|900",
                                               "row1:|height|2100", "li:one", "li:two", "p:text after", "p:a break",
                                               "p:[f]12[f][f]b[f][b]Go[b][b]Add[b]"}));
}

TEST(Urls, ResolveAndEncode)
{
    struct Resolve {
        const char* base;
        const char* reference;
        const char* url;
    } resolves[] = {
        {"http://h:1/a/b/c.html?q=1", "d.html", "http://h:1/a/b/d.html"},
        {"http://h:1/a/b/c.html", "../d", "http://h:1/a/d"},
        {"http://h:1/a/b/", "/x?y=1", "http://h:1/x?y=1"},
        {"http://h:1/a/b/", "?target_system=archicad", "http://h:1/a/b/?target_system=archicad"},
        {"http://h:1/a/", "https://other/z", "https://other/z"},
        {"about:blank", "https://other/z", "https://other/z"},
        {"about:blank", "relative", ""},
    };
    for (const Resolve& r : resolves)
        EXPECT_EQ(ResolveUrl(r.base, r.reference), r.url) << r.base << " + " << r.reference;

    EXPECT_EQ(FormUrlEncode("aZ09*-._ ~!'\"<>&=+%/\r\n\n\xc3\xa9"),
              "aZ09*-._+%7E%21%27%22%3C%3E%26%3D%2B%25%2F%0D%0A%0D%0A%C3%A9");
}

}  // namespace
}  // namespace standin::browser
