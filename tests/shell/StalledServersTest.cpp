// The shell against servers that stall: start-up keeps to its budget, and the
// clean-up ends every thread of the add-on, a browser dialog's download among them.
#include "MisbehavingServer.hpp"
#include "ShellFixture.hpp"

#include "controllers/BrowserController.hpp"
#include "transfer/ClipboardMessage.hpp"

#include <algorithm>
#include <thread>

namespace tarvel::testing {
namespace {

using namespace std::chrono_literals;
using Way = MisbehavingServer::Way;

constexpr const char* kBudgetSpent =
    "Tarvel: the online services did not answer in time at start-up; the remaining requests were skipped.";
// Room for slow builds above a bound of about a second.
constexpr auto kLimit = 8s;

// A browser dialog as its controller sees it; it only counts what the worker tells it.
class CountingView : public ITokenAndArtifactsView {
public:
    bool Close(bool) override { return true; }
    void OnDownloadFinished() override { ++finished; }
    bool AskLibraryPartName(const std::wstring&) override { return false; }
    void SetProgress(std::int16_t) override {}
    bool IsCancelled() override { return false; }
    std::atomic<int> finished{0};
};

class StalledServersTest : public ShellFixture {
protected:
    // Only a stop ends a transfer: no total time, no stall limit to speak of.
    static Deployment Patient()
    {
        Deployment deployment = CurrentDeployment();
        deployment.stallTime = 600s;
        deployment.textTotalTime = 600s;
        deployment.probeTotalTime = 600s;
        deployment.pictureTotalTime = 600s;
        return deployment;
    }
    static std::string StalledProduct(const MisbehavingServer& server)
    {
        return Base64Encode("{\"Artifacts\":[{\"FileType\":\"CadFile\",\"SourceUrl\":\"" +
                            server.Url(Way::StallAfterHeaders) + "\"}]}");
    }
    static bool WaitFor(const std::function<bool()>& done)
    {
        const auto until = std::chrono::steady_clock::now() + kLimit;
        while (!done() && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(5ms);
        return done();
    }
};

TEST_F(StalledServersTest, StartUpKeepsToItsBudgetAndSaysSoOnce)
{
    MisbehavingServer slow;
    Deployment deployment = Patient();
    // Both servers send a few bytes every 100 ms for ever.
    deployment.repositoryServer = slow.Url(Way::Creep, "");
    deployment.updateServer = slow.Url(Way::Creep, "");
    deployment.startUpBudget = 1500ms;
    ScopedDeployment scoped(deployment);
    WriteSettings(kStoredLibraries);

    const auto start = std::chrono::steady_clock::now();
    Start();
    EXPECT_LT(std::chrono::steady_clock::now() - start, kLimit);

    const auto lines = Report().Lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), std::string(kBudgetSpent)), 1) << ::testing::PrintToString(lines);
    // The repository could not be read: its own alert; the budget's line has none.
    EXPECT_EQ(Report().Alerts(), std::vector<std::string>{kRepositoryFailure});
    // Nothing was checked, so nothing was written: the stored libraries stay.
    EXPECT_EQ(SettingsText().find("LastUpdateCheck"), std::string::npos);
    EXPECT_NE(SettingsText().find("<Library id=\"gone\""), std::string::npos);
}

TEST_F(StalledServersTest, AStartWithinItsBudgetSaysNothingOfIt)
{
    Start();
    const auto lines = Report().Lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), std::string(kBudgetSpent)), 0);
    EXPECT_EQ(ChangelogRequests(), 1);
}

TEST_F(StalledServersTest, TheCleanUpEndsAStalledBrowserDialogDownloadAndLeavesNoThread)
{
    Start();
    ASSERT_EQ(Registrations().ChooseMenu(32500), GSErrCode{0});
    MisbehavingServer stalling;
    ScopedDeployment scoped(Patient());
    CountingView view;
    BrowserController controller(ostrel::Utf8ToWString(Server().Url("/catalogue/doors-classic/")),
                                 kCatalogueBrowserPath, false);
    controller.SetView(&view);
    ASSERT_EQ(controller.StartDownload(StalledProduct(stalling)), DownloadStart::Started);
    const auto job = controller.Job();
    ASSERT_TRUE(WaitFor([&] { return stalling.Requests() == 1; }));
    // The palette's watcher and the download.
    EXPECT_EQ(standin::win::LiveThreads(), 2);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Loader().Stop(), GSErrCode{0});
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_EQ(standin::win::LiveThreads(), 0);
    EXPECT_EQ(job->End(), DownloadEnd::CancelledDownloading);
    EXPECT_EQ(view.finished.load(), 0);
    EXPECT_EQ(RunningDownloads(), 0u);
}

// The watcher's own requests (the library list it checks a message's catalogue
// against) have no cancel question of their own: the clean-up ends them all the same.
TEST_F(StalledServersTest, TheCleanUpEndsTheWatchersOwnStalledRequestAndLeavesNoThread)
{
    Start();
    ServeDoorProduct();
    ASSERT_EQ(Registrations().ChooseMenu(32500), GSErrCode{0});
    MisbehavingServer creeping;
    Deployment deployment = Patient();
    deployment.repositoryServer = creeping.Url(Way::Creep, "");
    ScopedDeployment scoped(deployment);
    ASSERT_TRUE(standin::win::SetClipboardBytes(Message(ProductJson("doors-classic"))));
    ASSERT_TRUE(WaitFor([&] { return creeping.Requests() == 1; }));
    EXPECT_EQ(standin::win::LiveThreads(), 1);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Loader().Stop(), GSErrCode{0});
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_EQ(standin::win::LiveThreads(), 0);
    EXPECT_EQ(RunningDownloads(), 0u);
}

TEST_F(StalledServersTest, ADialogThatLetsGoOfAStalledDownloadWaitsForItsWorker)
{
    MisbehavingServer stalling;
    ScopedDeployment scoped(Patient());
    std::shared_ptr<DownloadJob> job;
    CountingView view;
    {
        BrowserController controller(L"http://127.0.0.1/", kCatalogueBrowserPath, false);
        controller.SetView(&view);
        ASSERT_EQ(controller.StartDownload(StalledProduct(stalling)), DownloadStart::Started);
        job = controller.Job();
        ASSERT_TRUE(WaitFor([&] { return stalling.Requests() == 1; }));
        // The user's Cancel, then the dialog ends.
        controller.CancelDownload();
    }
    EXPECT_TRUE(job->ThreadEnded());
    EXPECT_EQ(job->End(), DownloadEnd::CancelledDownloading);
    EXPECT_EQ(standin::win::LiveThreads(), 0);
    EXPECT_EQ(view.finished.load(), 0);
}

}  // namespace
}  // namespace tarvel::testing
