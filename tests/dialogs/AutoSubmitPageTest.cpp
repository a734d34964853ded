// The page the browser dialog loads to post the configurator's form: its text, its
// escaping, and the post it makes in the stand-in browser and in headless Chromium.
#include "BrowserEngine.hpp"
#include "CatalogueServer.hpp"
#include "TempDir.hpp"
#include "dialogs/AutoSubmitPage.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <thread>

extern char** environ;

namespace tarvel::testing {
namespace {

using namespace std::chrono_literals;
using dialogs::BuildAutoSubmitPage;
using standin::services::CatalogueServer;
using Fields = std::vector<std::pair<std::string, std::string>>;

TEST(AutoSubmitPage, IsTheFormPageWithItsScript)
{
    EXPECT_EQ(BuildAutoSubmitPage("https://shop.example/c/tvHandler.aspx", {{"Vindle", "2"}, {"XmlContent", "PFN0+/="}}),
              "<!DOCTYPE html>\n"
              "<html>\n"
              " <head>\n"
              "  <title>form for posting data</title>\n"
              " </head>\n"
              " <body>\n"
              "  <form action=\"https://shop.example/c/tvHandler.aspx\" method=\"post\" id=\"main_post_form\">\n"
              "   <input type=\"hidden\" name=\"Vindle\" value=\"2\" />"
              "   <input type=\"hidden\" name=\"XmlContent\" value=\"PFN0+/=\" />\n"
              "\n"
              "\n"
              "  </form>\n"
              "  <script type=\"text/javascript\">\n"
              "   function formAutoSubmit () {\n"
              "    var frm = document.getElementById(\"main_post_form\");\n"
              "    frm.submit();\n"
              "   }\n"
              "   window.onload = formAutoSubmit;\n"
              "  </script>\n"
              " </body>\n"
              "</html>\n");
}

TEST(AutoSubmitPage, EscapesWhatWouldEndOrChangeAnAttribute)
{
    const std::string page = BuildAutoSubmitPage("http://h/x?a=1&b=\"2\"", {{"n<'>", "v&\"<>'"}});
    EXPECT_NE(page.find("action=\"http://h/x?a=1&amp;b=&quot;2&quot;\""), std::string::npos) << page;
    EXPECT_NE(page.find("name=\"n&lt;&#39;&gt;\" value=\"v&amp;&quot;&lt;&gt;&#39;\""), std::string::npos) << page;
}

// Values that a page without escaping would break, beside what the dialog really posts.
const Fields kFields = {
    {"Vindle", "2"},
    {"XMLEncoding", "Base64"},
    {"XmlContent", "PFN0YXJ0T3B0aW9ucz4+/w=="},
    {"ArtikelNr", "D-1 \"Oak\" <wide> & 'tall'"},
    {"pgid", "a&amp;b %41 +plus"},
    {"quote\"name", "\" /><input type=\"hidden\" name=\"injected\" value=\"1"},
    {"cul", "caf\xc3\xa9 \xe2\x82\xac"},
    {"empty", ""},
};

// What the server received, for a failure message.
std::string Received(const CatalogueServer& server)
{
    std::string text;
    for (const auto& request : server.Requests())
        text += "\n  " + request.method + " " + request.target + " [" + request.contentType + "] " + request.body;
    return text.empty() ? "\n  nothing" : text;
}

std::vector<standin::services::RecordedRequest> Posts(const CatalogueServer& server)
{
    std::vector<standin::services::RecordedRequest> posts;
    for (const auto& request : server.Requests())
        if (request.method == "POST")
            posts.push_back(request);
    return posts;
}

struct ProgramRun {
    bool finished = false;  // false: killed at the timeout
    int status = -1;
    std::string output;
    std::string errors;
};

// Runs the program in a process group of its own, bounded in time: on the timeout
// the group is killed. What it printed is kept.
ProgramRun RunBounded(const std::vector<std::string>& arguments, const TempDir& folder, std::chrono::seconds timeout)
{
    ProgramRun run;
    const std::string out = (folder.Path() / "stdout.txt").string();
    const std::string err = (folder.Path() / "stderr.txt").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0) {
        run.errors = "cannot start " + arguments[0] + ": " + std::strerror(spawned);
        return run;
    }
    const auto end = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= end) {
            kill(-pid, SIGKILL);
            waitpid(pid, &status, 0);
            run.output = ReadFile(out);
            run.errors = ReadFile(err);
            return run;
        }
        std::this_thread::sleep_for(20ms);
    }
    // Helpers of the program that outlived it go with its group.
    kill(-pid, SIGKILL);
    run.finished = true;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.output = ReadFile(out);
    run.errors = ReadFile(err);
    return run;
}

class PostedPage : public ::testing::Test {
protected:
    void SetUp() override
    {
        server.AddHandler("/c/tvHandler.aspx", [](const standin::services::RecordedRequest&) {
            return CatalogueServer::Answer{200, "text/html; charset=utf-8",
                                           "<!DOCTYPE html><html><head><title>configured</title></head>"
                                           "<body>configured</body></html>"};
        });
        page = BuildAutoSubmitPage(server.Url("/c/tvHandler.aspx"), kFields);
        server.AddFile("/post.html", page, "text/html");
    }

    // The body of the one post the browser made, its fields checked one by one.
    std::string OnePost(const std::string& browser, const std::string& userAgent, const std::string& said = "")
    {
        std::vector<standin::services::RecordedRequest> posts;
        for (const auto& request : Posts(server))
            if (request.userAgent.find(userAgent) != std::string::npos)
                posts.push_back(request);
        EXPECT_EQ(posts.size(), 1u) << browser << " posted otherwise; the server received:" << Received(server)
                                    << said;
        if (posts.size() != 1)
            return "";
        EXPECT_EQ(posts[0].target, "/c/tvHandler.aspx") << browser;
        EXPECT_EQ(posts[0].contentType, "application/x-www-form-urlencoded") << browser;
        EXPECT_EQ(standin::services::FormFields(posts[0].body), kFields)
            << browser << " posted other fields; the server received:" << Received(server) << said;
        return posts[0].body;
    }

    // The stand-in's post.
    std::string StandInPost()
    {
        standin::browser::BrowserEngine engine;
        engine.LoadHTML(page);
        EXPECT_EQ(engine.WaitForLoad(10s), standin::browser::LoadState::Done) << engine.Error();
        EXPECT_EQ(engine.Title(), "configured");
        return OnePost("the stand-in browser", "stand-in embedded browser");
    }

    CatalogueServer server;
    std::string page;
};

TEST_F(PostedPage, TheStandInBrowserPostsEveryFieldIntact) { StandInPost(); }

TEST_F(PostedPage, ChromiumPostsEveryFieldIntactAndAsTheStandInDoes)
{
    const std::string standIn = StandInPost();
    ASSERT_EQ(access("/usr/bin/chromium", X_OK), 0) << "Chromium is missing: tools/setup.sh installs it";
    TempDir folder;
    const ProgramRun run = RunBounded({"/usr/bin/chromium", "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                                "--no-first-run", "--disable-background-networking", "--disable-component-update",
                                "--disable-sync", "--user-data-dir=" + (folder.Path() / "profile").string(),
                                "--virtual-time-budget=10000", "--dump-dom", server.Url("/post.html")},
                               folder, 90s);
    const std::string said = "\nChromium said:\n" + run.errors;
    ASSERT_TRUE(run.finished) << "Chromium did not end in time; the server received:" << Received(server) << said;
    EXPECT_EQ(run.status, 0) << said;
    // Chromium showed the answer to its post.
    EXPECT_NE(run.output.find("<title>configured</title>"), std::string::npos) << run.output;
    EXPECT_EQ(OnePost("Chromium", "HeadlessChrome", said), standIn);
}

}  // namespace
}  // namespace tarvel::testing
