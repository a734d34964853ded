// The palette road: a message on the clipboard, found by the watcher, checked against
// the library list, its library made active, the download, and on the user-interface
// thread the library part with its tool. The palette is a test view driven by a loop
// that does what its idle handler will do.
#include "ControllerFixture.hpp"
#include "MisbehavingServer.hpp"

#include "controllers/ToolbarController.hpp"
#include "ostrel/interop/Interop.hpp"
#include "standin/Elements.hpp"
#include "standin/LibParts.hpp"
#include "transfer/ClipboardMessage.hpp"

#include <future>
#include <thread>

namespace tarvel::testing {
namespace {

using namespace std::chrono_literals;

// The palette as the controller sees it: flags from any thread, the name dialog on
// the user-interface thread.
class PaletteView : public ITokenAndArtifactsView {
public:
    explicit PaletteView(ToolbarController& controller) : controller_(controller) {}
    bool Close(bool) override { return true; }
    void OnDownloadFinished() override { finished.fetch_add(1, std::memory_order_release); }
    bool AskLibraryPartName(const std::wstring& name) override
    {
        askedNames.push_back(name);
        if (acceptName)
            controller_.libPartName = name;
        return acceptName;
    }
    void SetProgress(std::int16_t percent) override
    {
        {
            std::lock_guard lock(mutex_);
            progress_.push_back(percent);
            if (percent == 1 && throwAtStart.exchange(false))
                throw std::runtime_error("palette failure");
        }
        // The start as the palette hears of it, on the watcher's thread.
        if (percent == 1 && atStart)
            atStart();
    }
    bool IsCancelled() override { return false; }

    std::vector<std::int16_t> Progress() const
    {
        std::lock_guard lock(mutex_);
        return progress_;
    }

    std::atomic<int> finished{0};
    std::atomic<bool> throwAtStart{false};
    std::function<void()> atStart;
    bool acceptName = true;
    std::vector<std::wstring> askedNames;

private:
    ToolbarController& controller_;
    mutable std::mutex mutex_;
    std::vector<std::int16_t> progress_;
};

class ToolbarTest : public ControllerFixture {
protected:
    void SetUp() override
    {
        ControllerFixture::SetUp();
        ServeDoorProduct();
        controller_.view = &view_;
        controller_.ReloadActiveLibraries();
    }
    void TearDown() override
    {
        EXPECT_TRUE(controller_.StopAndJoin(10s));
        standin::win::ClearClipboard();
        ControllerFixture::TearDown();
    }

    // One pass of the palette's idle handler: the watcher's queue, then a finished
    // download's library part.
    void Idle()
    {
        controller_.DrainUserInterfaceQueue();
        if (view_.finished.load(std::memory_order_acquire) > consumed_) {
            ++consumed_;
            controller_.CreateLibraryPart();
        }
    }
    // Idles until the condition holds; false after the timeout.
    bool IdleUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 20s)
    {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < end) {
            Idle();
            if (done())
                return true;
            std::this_thread::sleep_for(5ms);
        }
        return false;
    }
    // Idles for a while, for what must not happen.
    void IdleFor(std::chrono::milliseconds duration)
    {
        IdleUntil([] { return false; }, duration);
    }
    bool AlertsAre(const std::vector<std::string>& alerts) { return Report().Alerts() == alerts; }

    standin::LibPartModule& Store() { return Host().Module<standin::LibPartModule>(); }
    HWND Window() { return reinterpret_cast<HWND>(&window_); }

    ToolbarController controller_;
    PaletteView view_{controller_};
    int consumed_ = 0;
    int window_ = 0;
};

TEST_F(ToolbarTest, AMessageOnTheClipboardBecomesAPartOfAnActivatedLibrary)
{
    ASSERT_NE(controller_.StartClipboardWatcher(Window()), nullptr);
    ASSERT_TRUE(standin::win::SetClipboardBytes(Message(ProductJson("doors-classic"))));

    ASSERT_TRUE(IdleUntil([&] { return Store().FindByName(std::string("Classic Door10")).has_value(); }))
        << ::testing::PrintToString(Report().Lines());
    // The message was taken, the catalogue's library made active and stored, and the
    // palette's list reloaded on this thread.
    EXPECT_FALSE(standin::win::ClipboardText().has_value() && !standin::win::ClipboardText()->empty());
    EXPECT_EQ(Server().CallCount("/callback"), 1);
    ASSERT_EQ(controller_.activeLibraries.size(), 1u);
    EXPECT_EQ(controller_.activeLibraries[0]->id, L"doors-classic");
    EXPECT_NE(SettingsText().find("<Library id=\"doors-classic\" name=\"Classic Doors\" logo=\"doors-classic.png\""),
              std::string::npos)
        << SettingsText();
    // The download's progress, then the name the user accepted.
    EXPECT_EQ(view_.Progress(), (std::vector<std::int16_t>{1, 25, 50, 75, 100}));
    EXPECT_EQ(view_.askedNames, std::vector<std::wstring>{L"Classic Door10"});
    const auto part = Store().FindByName(std::string("Classic Door10"));
    EXPECT_EQ(part->Parameter("tv_base_url")->text,
              ostrel::ac::interop::ToUniString(ostrel::Utf8ToWString(Server().Url("/catalogue/doors-classic/"))).Units());
    EXPECT_EQ(part->Parameter("tv_catalog_productid")->text, u"D-1");
    EXPECT_EQ(Host().Module<standin::ToolModule>().ActiveTool(), HostInterface::ElemDoor);
    EXPECT_EQ(Host().Module<standin::ToolModule>().Defaults(HostInterface::ElemDoor).openingLibIndex, part->index);
    EXPECT_TRUE(controller_.IsIdle());
    EXPECT_TRUE(Report().Lines().empty());
    // No host call came from the watcher or the worker.
    EXPECT_TRUE(Host().CallsOffUiThread().empty());
}

TEST_F(ToolbarTest, TheWatchersAlertsReachTheReportInOrderOnThisThread)
{
    controller_.StartClipboardWatcher(Window());
    struct Case {
        std::string clipboard;
        std::vector<std::string> alerts;
    };
    const std::string dead = "http://127.0.0.1:" + std::to_string(UnusedPort());
    const Case cases[] = {
        {Message("{\"Artifacts\": 5}"), {kInvalidToken}},
        {std::string(kMessageStart) + "!!!" + kMessageEnd, {kInvalidToken}},
        {Message(std::string(1001, '[')), {kInvalidToken}},
        {Message("{\"Artifacts\":[]}"), {kEmptyCatalogue}},
        {Message(ProductJson("")), {kEmptyCatalogue}},
        {Message(ProductJson("nowhere")), {kUnknownCatalogue}},
        {Message(ProductJson("doors-cad")), {kUnknownCatalogue}},  // not for this host
    };
    for (const Case& c : cases) {
        Report().Clear();
        ASSERT_TRUE(standin::win::SetClipboardBytes(c.clipboard));
        EXPECT_TRUE(IdleUntil([&] { return !Report().Alerts().empty(); })) << c.clipboard;
        IdleFor(50ms);
        EXPECT_EQ(Report().Alerts(), c.alerts) << c.clipboard;
        EXPECT_TRUE(controller_.IsIdle());
    }
    // The library list that cannot be read online: its own alert, then the catalogue's.
    Report().Clear();
    UseServers(dead, Server().Url(""));
    ASSERT_TRUE(standin::win::SetClipboardBytes(Message(ProductJson("doors-classic"))));
    EXPECT_TRUE(IdleUntil([&] { return Report().Alerts().size() == 2; }));
    EXPECT_EQ(Report().Alerts(), (std::vector<std::string>{kRepositoryFailure, kUnknownCatalogue}));
    for (const auto& entry : Report().Entries())
        EXPECT_EQ(entry.thread, std::this_thread::get_id());
    EXPECT_TRUE(Host().CallsOffUiThread().empty());
}

TEST_F(ToolbarTest, AMessageWaitsWhileTheControllerIsBusy)
{
    controller_.StartClipboardWatcher(Window());
    controller_.browserDialogOpen = true;
    const std::string message = Message("{\"Artifacts\":[]}");
    ASSERT_TRUE(standin::win::SetClipboardBytes(message));
    IdleFor(800ms);
    EXPECT_EQ(standin::win::ClipboardText(), message);
    EXPECT_TRUE(Report().Alerts().empty());
    controller_.browserDialogOpen = false;
    EXPECT_TRUE(IdleUntil([&] { return AlertsAre({kEmptyCatalogue}); }));
}

TEST_F(ToolbarTest, AnActiveLibraryIsNotWrittenAgainAndADeclinedNameCreatesNothing)
{
    WriteSettings("<Settings><ActiveLibraries><Library id=\"doors-classic\" name=\"Mine\"/></ActiveLibraries></Settings>");
    const std::string stored = SettingsText();
    controller_.StartClipboardWatcher(Window());
    view_.acceptName = false;
    ASSERT_TRUE(standin::win::SetClipboardBytes(Message(ProductJson("doors-classic"))));
    ASSERT_TRUE(IdleUntil([&] { return !view_.askedNames.empty(); }));
    EXPECT_EQ(SettingsText(), stored);
    EXPECT_TRUE(Store().Parts().empty());
    EXPECT_TRUE(controller_.IsIdle());
    EXPECT_EQ(controller_.BaseUrl(), ostrel::Utf8ToWString(Server().Url("/catalogue/doors-classic/")));
}

TEST_F(ToolbarTest, ACancelledDownloadIsForgottenAndTheNextOneRuns)
{
    controller_.StartClipboardWatcher(Window());
    ASSERT_TRUE(standin::win::SetClipboardBytes(Message(ProductJson("doors-classic", "/products/door/never"))));
    ASSERT_TRUE(IdleUntil([&] { return !controller_.IsIdle(); }));
    controller_.CancelDownload();
    EXPECT_TRUE(controller_.IsIdle());
    // A completion the palette still had for it creates nothing.
    controller_.CreateLibraryPart();
    EXPECT_TRUE(view_.askedNames.empty());

    ASSERT_TRUE(standin::win::SetClipboardBytes(Message(ProductJson("doors-classic"))));
    ASSERT_TRUE(IdleUntil([&] { return !Store().Parts().empty(); }));
    EXPECT_EQ(view_.finished.load(), 1);
    EXPECT_EQ(view_.askedNames.size(), 1u);
    EXPECT_TRUE(controller_.IsIdle());
}

TEST_F(ToolbarTest, AFailedArtifactMakesNoPartOneAlertAndTheNextMessageRuns)
{
    controller_.StartClipboardWatcher(Window());
    // The data sheet answers 404: an error page is no artifact.
    std::string json = ProductJson("doors-classic");
    json.replace(json.find("/products/door/sheet.xml"), 24, "/products/door/gone.xml");
    ASSERT_TRUE(standin::win::SetClipboardBytes(Message(json)));
    ASSERT_TRUE(IdleUntil([&] { return !Report().Alerts().empty(); }));
    IdleFor(100ms);
    EXPECT_EQ(Report().Alerts(), std::vector<std::string>{"Error while downloading the product! Nothing was added."});
    EXPECT_TRUE(view_.askedNames.empty());
    EXPECT_TRUE(Store().Parts().empty());
    EXPECT_TRUE(controller_.IsIdle());
    EXPECT_FALSE(boost::filesystem::exists(DataRoot() / "Temp" / "gone.xml"));

    Report().Clear();
    ASSERT_TRUE(standin::win::SetClipboardBytes(Message(ProductJson("doors-classic"))));
    ASSERT_TRUE(IdleUntil([&] { return !Store().Parts().empty(); }));
    EXPECT_TRUE(Report().Alerts().empty());
}

// A transfer of the palette's road that passes a bound, on the watcher's or the
// worker's thread: one line names the bound and the address, written here before
// what the failure led to; no alert but the download's own.
TEST_F(ToolbarTest, ATransferPastItsBoundSaysWhichBeforeTheAlert)
{
    const std::string failure = "Error while downloading the product! Nothing was added.";
    const std::string callback = Server().Url("/large-callback");
    Server().AddFile("/large-callback", std::string((std::size_t{4} << 20) + 1, 'x'), "text/plain");
    struct Case {
        const char* what;
        std::uint64_t maxArtifactBytes;
        bool largeCallback;
        std::vector<std::string> lines;
        bool part;
    };
    const Case cases[] = {
        {"an artifact", 100, false,
         {"Tarvel: the transfer from " + Server().Url("/products/door/model.xml") +
              " was stopped: the answer is larger than 100 bytes.",
          failure},
         false},
        {"the callback's answer", std::uint64_t{256} << 20, true,
         {"Tarvel: the transfer from " + callback + " was stopped: the answer is larger than 4194304 bytes."}, true},
    };
    controller_.StartClipboardWatcher(Window());
    int round = 0;
    for (const Case& c : cases) {
        Deployment deployment = CurrentDeployment();
        deployment.maxZipBytes = c.maxArtifactBytes;
        const ScopedDeployment bounded(deployment);
        Report().Clear();
        const std::size_t parts = Store().Parts().size();
        std::string json = ProductJson("doors-classic") + std::string(++round, ' ');
        if (c.largeCallback)
            json.replace(json.find(Server().Url("/callback")), Server().Url("/callback").size(), callback);
        ASSERT_TRUE(standin::win::SetClipboardBytes(Message(json))) << c.what;
        ASSERT_TRUE(IdleUntil([&] { return view_.finished.load() == round && controller_.IsIdle(); })) << c.what;
        IdleFor(100ms);
        EXPECT_EQ(Report().Lines(), c.lines) << c.what;
        EXPECT_EQ(Report().Alerts(), c.part ? std::vector<std::string>{} : std::vector<std::string>{failure}) << c.what;
        EXPECT_EQ(Store().Parts().size(), parts + (c.part ? 1 : 0)) << c.what;
    }
    EXPECT_TRUE(Host().CallsOffUiThread().empty());
}

TEST_F(ToolbarTest, AMessageWhoseHandlingThrowsIsDroppedAndTheWatcherGoesOn)
{
    controller_.StartClipboardWatcher(Window());
    view_.throwAtStart = true;
    ASSERT_TRUE(standin::win::SetClipboardBytes(Message(ProductJson("doors-classic"))));
    ASSERT_TRUE(IdleUntil([&] { return !view_.throwAtStart.load(); }));
    IdleFor(100ms);
    EXPECT_TRUE(controller_.IsIdle());
    EXPECT_TRUE(Store().Parts().empty());
    // The same product again (a new payload: the watcher keeps the last one it took).
    ASSERT_TRUE(standin::win::SetClipboardBytes(Message(ProductJson("doors-classic") + " ")));
    EXPECT_TRUE(IdleUntil([&] { return !Store().Parts().empty(); }));
}

// The watcher looks three times a second: each wait between two looks is 333 ms, as
// the platform saw it asked for.
TEST_F(ToolbarTest, TheWatcherWaitsAThirdOfASecondBetweenTwoLooks)
{
    const std::size_t before = standin::win::TimedWaits().size();
    const auto watcherWaits = [before] {
        std::vector<std::uint32_t> waits;
        const auto all = standin::win::TimedWaits();
        for (std::size_t i = before; i < all.size(); ++i)
            if (all[i].startRoutine == reinterpret_cast<const void*>(&ClipboardWatcherThread))
                waits.push_back(all[i].milliseconds);
        return waits;
    };
    ASSERT_NE(controller_.StartClipboardWatcher(Window()), nullptr);
    ASSERT_TRUE(IdleUntil([&] { return watcherWaits().size() >= 3; }));
    EXPECT_TRUE(controller_.StopAndJoin(5s));
    const auto waits = watcherWaits();
    EXPECT_EQ(std::count(waits.begin(), waits.end(), 333u), static_cast<long>(waits.size()))
        << ::testing::PrintToString(waits);
}

TEST_F(ToolbarTest, OneWatcherAtATimeAndAStopThatJoinsEverything)
{
    const HANDLE first = controller_.StartClipboardWatcher(Window());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(controller_.StartClipboardWatcher(Window()), first);
    EXPECT_EQ(standin::win::LiveThreads(), 1);
    // Stopped and started again at once: the watcher runs on, or, when the stop woke it
    // first, it has ended before the new one starts. Never two.
    controller_.StopClipboardWatcher();
    EXPECT_NE(controller_.StartClipboardWatcher(Window()), nullptr);
    EXPECT_EQ(standin::win::LiveThreads(), 1);

    // A stopped watcher ends within a period.
    controller_.StopClipboardWatcher();
    const auto stopped = std::chrono::steady_clock::now();
    while (standin::win::LiveThreads() > 0 && std::chrono::steady_clock::now() - stopped < 2s)
        std::this_thread::sleep_for(5ms);
    EXPECT_EQ(standin::win::LiveThreads(), 0);
    EXPECT_NE(controller_.StartClipboardWatcher(Window()), nullptr);

    // A download waiting for its semaphore and the watcher: both end at the stop.
    ASSERT_TRUE(standin::win::SetClipboardBytes(Message(ProductJson("doors-classic", "/products/door/never"))));
    // The controller turns busy just before the worker's thread starts.
    ASSERT_TRUE(IdleUntil([&] { return !controller_.IsIdle() && standin::win::LiveThreads() == 2; }));
    EXPECT_TRUE(controller_.StopAndJoin(5s));
    EXPECT_EQ(standin::win::LiveThreads(), 0);
    EXPECT_TRUE(controller_.IsIdle());
    EXPECT_EQ(view_.finished.load(), 0);
}

// Closing and showing the palette at once stops and starts the watcher: its waits
// still each last a third of a second, by their real length, not only by the limit
// asked (a wake-up left set would have it look at the clipboard without pause).
TEST_F(ToolbarTest, AfterAStopAndAStartTheWatchersWaitsStillLastAThirdOfASecond)
{
    const auto watcherWaits = [](std::chrono::steady_clock::time_point since) {
        std::vector<standin::win::TimedWait> waits;
        for (const auto& wait : standin::win::TimedWaits())
            if (wait.startRoutine == reinterpret_cast<const void*>(&ClipboardWatcherThread) && wait.began >= since)
                waits.push_back(wait);
        return waits;
    };
    ASSERT_NE(controller_.StartClipboardWatcher(Window()), nullptr);
    std::this_thread::sleep_for(50ms);
    controller_.StopClipboardWatcher();
    const auto restarted = std::chrono::steady_clock::now();
    ASSERT_NE(controller_.StartClipboardWatcher(Window()), nullptr);
    IdleFor(1s);
    EXPECT_TRUE(controller_.StopAndJoin(5s));

    const auto waits = watcherWaits(restarted);
    std::vector<long long> lengths;
    for (const auto& wait : waits)
        lengths.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(wait.lasted).count());
    // The last wait may be the one the final stop cut short.
    ASSERT_GE(lengths.size(), 2u) << ::testing::PrintToString(lengths);
    EXPECT_LE(lengths.size(), 4u) << ::testing::PrintToString(lengths);
    const auto shortWaits = std::count_if(lengths.begin(), lengths.end() - 1, [](long long ms) { return ms < 320; });
    EXPECT_EQ(shortWaits, 0) << ::testing::PrintToString(lengths);
}

// The user's Cancel between the palette's hearing of a start (its progress dialog
// opens then) and the worker's start: that download never starts.
TEST_F(ToolbarTest, ACancelBeforeTheWorkerStartsEndsThatDownload)
{
    std::promise<void> started;
    std::promise<void> cancelled;
    std::shared_future<void> cancelledFuture = cancelled.get_future().share();
    // Once: the next product's start goes by. It stays set, as the watcher may still be in it.
    auto once = std::make_shared<std::atomic<bool>>(false);
    view_.atStart = [&started, cancelledFuture, once] {
        if (once->exchange(true))
            return;
        started.set_value();
        cancelledFuture.wait_for(10s);
    };
    controller_.StartClipboardWatcher(Window());
    ASSERT_TRUE(standin::win::SetClipboardBytes(Message(ProductJson("doors-classic"))));
    ASSERT_EQ(started.get_future().wait_for(20s), std::future_status::ready);
    // On this thread, as the progress dialog's Cancel would.
    controller_.CancelDownload();
    cancelled.set_value();
    IdleFor(500ms);

    EXPECT_EQ(Server().CallCount("/products/door/ready"), 0);
    EXPECT_EQ(view_.finished.load(), 0);
    EXPECT_TRUE(view_.askedNames.empty());
    EXPECT_TRUE(controller_.IsIdle());
    EXPECT_EQ(standin::win::LiveThreads(), 1);
    // The next product runs as ever.
    ASSERT_TRUE(standin::win::SetClipboardBytes(Message(ProductJson("doors-classic") + " ")));
    EXPECT_TRUE(IdleUntil([&] { return !Store().Parts().empty(); }));
}

// A download let go of (the user's Cancel) while its CAD data stalls or never ends,
// and at once the next product with files of the same names: the first cleans up only
// what it made, and the next one's part is made from its own files.
TEST_F(ToolbarTest, AReplacedDownloadLeavesTheNextOnesFilesAlone)
{
    Deployment patient = CurrentDeployment();
    patient.stallTime = 600s;
    patient.maxZipBytes = std::uint64_t{1} << 40;
    const ScopedDeployment scoped(patient);
    MisbehavingServer misbehaving;
    controller_.StartClipboardWatcher(Window());
    int round = 0;
    for (const auto way : {MisbehavingServer::Way::StallAfterHeaders, MisbehavingServer::Way::EndlessChunked}) {
        const char* what = MisbehavingServer::Name(way);
        const std::string name = "Door " + std::to_string(++round);
        std::string first = ProductJson("doors-classic");
        const std::string model = Server().Url("/products/door/model.xml");
        first.replace(first.find(model), model.size(), misbehaving.Url(way, "model.xml"));
        const int requests = misbehaving.Requests();
        ASSERT_TRUE(standin::win::SetClipboardBytes(Message(first))) << what;
        ASSERT_TRUE(IdleUntil([&] { return misbehaving.Requests() > requests; })) << what;
        controller_.CancelDownload();
        view_.acceptName = true;
        ASSERT_TRUE(standin::win::SetClipboardBytes(Message(ProductJson("doors-classic") + std::string(round, ' '))))
            << what;
        ASSERT_TRUE(IdleUntil([&] { return Store().Parts().size() == static_cast<std::size_t>(round); })) << what;
        EXPECT_TRUE(Report().Alerts().empty()) << ::testing::PrintToString(Report().Alerts());
        const auto part = Store().Parts().back();
        EXPECT_EQ(part.Parameter("tv_catalog_productid")->text, u"D-1") << what;
    }
    // Each let-go download removed its own folder; only the finished ones' stay.
    EXPECT_TRUE(controller_.StopAndJoin(10s));
    int folders = 0;
    for (boost::filesystem::directory_iterator it(DataRoot() / "Temp"), end; it != end; ++it)
        ++folders;
    EXPECT_LE(folders, 2);
}

}  // namespace
}  // namespace tarvel::testing
