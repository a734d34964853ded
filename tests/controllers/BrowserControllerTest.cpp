#include "MisbehavingServer.hpp"
#include "TransferFixture.hpp"

#include "controllers/BrowserController.hpp"
#include "standin/CoreModules.hpp"
#include "standin/LibParts.hpp"
#include "transfer/ClipboardMessage.hpp"

#include <condition_variable>
#include <thread>

namespace tarvel::testing {
namespace {

using namespace std::chrono_literals;

TEST(BrowserControllerPage, UrlJoinsBaseAndPathAsTheyAre)
{
    struct Case {
        std::wstring base;
        std::wstring path;
        std::wstring url;
    } cases[] = {
        {L"https://c.example/lib/", kCatalogueBrowserPath, L"https://c.example/lib/?target_system=archicad"},
        {L"https://c.example/lib", kCatalogueBrowserPath, L"https://c.example/lib?target_system=archicad"},
        {L"https://c.example/cfg/", kConfiguratorPath, L"https://c.example/cfg/tvHandler.aspx"},
        {L"https://c.example/cfg", kConfiguratorPath, L"https://c.example/cfgtvHandler.aspx"},
        {L"https://c.example/a b/\u00E4", L"?x=1 2", L"https://c.example/a b/\u00E4?x=1 2"},
        {L"", kConfiguratorPath, L"tvHandler.aspx"},
        {L"https://c.example/", L"", L"https://c.example/"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BrowserController(c.base, c.path, false).GetUrl(), c.url) << ostrel::WStringToUtf8(c.url);
}

TEST(BrowserControllerPage, FormFieldsKeepTheirOrderAndRepeats)
{
    BrowserController controller(L"https://c.example/", kConfiguratorPath, true);
    EXPECT_TRUE(controller.FormFields().empty());
    std::string value = "<xml a=\"1\"/>";
    controller.AddFormField("startOptions", value);
    value = "changed afterwards";
    controller.AddFormField("culture", "de-DE");
    controller.AddFormField("culture", "");
    using Fields = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(controller.FormFields(),
              (Fields{{"startOptions", "<xml a=\"1\"/>"}, {"culture", "de-DE"}, {"culture", ""}}));
    EXPECT_TRUE(controller.ModifyMode());
    EXPECT_EQ(controller.CreatedLibPartIndex(), 0);
    EXPECT_FALSE(controller.IsDownloadBusy());
    EXPECT_EQ(controller.View(), nullptr);
}

// The browser dialog as the controller sees it. Worker calls are counted, and the
// user's answer in the name dialog is set beforehand.
class TestBrowserView : public ITokenAndArtifactsView {
public:
    explicit TestBrowserView(BrowserController& controller) : controller_(controller) {}

    // User-interface thread.
    bool Close(bool accepted) override
    {
        closes.push_back(accepted);
        return true;
    }
    bool AskLibraryPartName(const std::wstring& name) override
    {
        proposals.push_back(name);
        if (acceptName)
            controller_.SetLibPartName(typedName.empty() ? name : typedName);
        return acceptName;
    }

    // Worker thread.
    void OnDownloadFinished() override
    {
        std::lock_guard lock(mutex_);
        ++workerCalls_;
        ++finished_;
        changed_.notify_all();
    }
    void SetProgress(std::int16_t percent) override
    {
        std::lock_guard lock(mutex_);
        ++workerCalls_;
        progress_.push_back(percent);
    }
    bool IsCancelled() override
    {
        std::lock_guard lock(mutex_);
        ++workerCalls_;
        return false;
    }

    bool WaitFinished(int count = 1)
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 20s, [&] { return finished_ >= count; });
    }
    int WorkerCalls() const
    {
        std::lock_guard lock(mutex_);
        return workerCalls_;
    }
    std::vector<std::int16_t> Progress() const
    {
        std::lock_guard lock(mutex_);
        return progress_;
    }

    bool acceptName = true;
    std::wstring typedName;
    std::vector<std::wstring> proposals;
    std::vector<bool> closes;

private:
    BrowserController& controller_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    int workerCalls_ = 0;
    int finished_ = 0;
    std::vector<std::int16_t> progress_;
};

class BrowserControllerDownload : public TransferFixture {
protected:
    void SetUp() override
    {
        TransferFixture::SetUp();
        server_.AddCallback("/ack");
        server_.AddFile("/ready", "");
        server_.AddSemaphore("/never", 1000000);
        server_.AddFile("/files/model.xml", ReadFile(boost::filesystem::path(TARVEL_EXAMPLES_DIR) / "table.xml"));
        server_.AddFile("/files/broken.xml", "bad");
        server_.AddFile("/files/other.xml", ReadFile(boost::filesystem::path(TARVEL_EXAMPLES_DIR) / "table.xml"));
    }

    // The clipboard payload of a message: its semaphore and CAD file on the server.
    std::string Payload(const std::string& semaphore, const std::string& cadFile) const
    {
        const std::string json = "{\"CallbackUrl\":\"" + server_.Url("/ack") + "\",\"Artifacts\":["
                                 "{\"FileType\":\"SemaphoreFile\",\"SourceUrl\":\"" + server_.Url(semaphore) + "\"},"
                                 "{\"FileType\":\"CadFile\",\"SourceUrl\":\"" + server_.Url(cadFile) + "\"}]}";
        return Base64Encode(json);
    }

    std::wstring LibraryUrl() const { return ostrel::Utf8ToWString(server_.Url("/lib/")); }
    standin::LibPartModule& Store() { return Host().Module<standin::LibPartModule>(); }

    CatalogueServer server_;
};

TEST_F(BrowserControllerDownload, FromATakenMessageToALibraryPart)
{
    BrowserController controller(LibraryUrl(), kCatalogueBrowserPath, false);
    TestBrowserView view(controller);
    controller.SetView(&view);
    ASSERT_EQ(controller.StartDownload(Payload("/ready", "/files/model.xml")), DownloadStart::Started);
    const std::string folder = ostrel::WStringToUtf8(controller.Job()->FolderName());
    EXPECT_TRUE(controller.IsDownloadBusy());
    EXPECT_EQ(server_.CallCount("/ack"), 1);
    ASSERT_TRUE(view.WaitFinished());
    EXPECT_EQ(view.Progress(), (std::vector<std::int16_t>{50, 100}));
    ASSERT_TRUE(controller.CreateLibraryPart());

    EXPECT_EQ(view.proposals, std::vector<std::wstring>{L"Tarvel_LibPart10"});
    EXPECT_EQ(view.closes, std::vector<bool>{true});
    EXPECT_FALSE(controller.IsDownloadBusy());
    EXPECT_EQ(controller.CreatedLibPartIndex(), 0);
    EXPECT_EQ(controller.Artifacts().localPaths[1], TempPathText(folder + "\\model.xml"));
    const auto part = Store().FindByName(std::string("Tarvel_LibPart10"));
    ASSERT_TRUE(part);
    ASSERT_NE(part->Parameter("tv_base_url"), nullptr);
    const std::string baseUrl = server_.Url("/lib/");
    EXPECT_EQ(part->Parameter("tv_base_url")->text, std::u16string(baseUrl.begin(), baseUrl.end()));
    EXPECT_TRUE(Report().Alerts().empty());
    // The completion is taken once.
    EXPECT_FALSE(controller.CreateLibraryPart());
    EXPECT_EQ(view.closes.size(), 1u);
}

TEST_F(BrowserControllerDownload, CreationOutcomes)
{
    struct Case {
        const char* what;
        bool modifyMode;
        bool acceptName;
        const char* cadFile;
        const char* typedName;
        bool created;
        bool alert;
    } cases[] = {
        {"new product", false, true, "/files/model.xml", "Part A", true, false},
        {"modify mode keeps the index", true, true, "/files/model.xml", "Part B", true, false},
        {"failed creation, modify mode", true, true, "/files/broken.xml", "Part C", false, true},
        {"failed creation", false, true, "/files/broken.xml", "Part D", false, true},
        {"declined name", false, false, "/files/model.xml", "Part E", false, false},
        {"declined name, modify mode", true, false, "/files/model.xml", "Part F", false, false},
    };
    for (const auto& c : cases) {
        Report().Clear();
        BrowserController controller(LibraryUrl(), c.modifyMode ? kConfiguratorPath : kCatalogueBrowserPath,
                                     c.modifyMode);
        TestBrowserView view(controller);
        view.acceptName = c.acceptName;
        view.typedName = ostrel::Utf8ToWString(c.typedName);
        controller.SetView(&view);
        ASSERT_EQ(controller.StartDownload(Payload("/ready", c.cadFile)), DownloadStart::Started) << c.what;
        ASSERT_TRUE(view.WaitFinished()) << c.what;
        ASSERT_TRUE(controller.CreateLibraryPart()) << c.what;

        const auto part = Store().FindByName(std::string(c.typedName));
        EXPECT_EQ(part.has_value(), c.created) << c.what;
        EXPECT_EQ(controller.CreatedLibPartIndex(), c.created && c.modifyMode ? part->index : 0) << c.what;
        if (c.created && c.modifyMode) {
            EXPECT_GT(controller.CreatedLibPartIndex(), 0) << c.what;
        }
        EXPECT_EQ(Report().Alerts(), c.alert ? std::vector<std::string>{"Error while creating library part!"}
                                             : std::vector<std::string>{})
            << c.what;
        // Closed accepted whenever a name was accepted, a failed creation too.
        EXPECT_EQ(view.closes, std::vector<bool>{c.acceptName}) << c.what;
        EXPECT_EQ(view.proposals.size(), 1u) << c.what;
        EXPECT_FALSE(controller.IsDownloadBusy()) << c.what;
    }
}

TEST_F(BrowserControllerDownload, AFailedDownloadMakesNothingAndKeepsTheDialogOpen)
{
    for (bool modifyMode : {false, true}) {
        Report().Clear();
        BrowserController controller(LibraryUrl(), modifyMode ? kConfiguratorPath : kCatalogueBrowserPath, modifyMode);
        TestBrowserView view(controller);
        controller.SetView(&view);
        ASSERT_EQ(controller.StartDownload(Payload("/ready", "/files/missing.xml")), DownloadStart::Started);
        const std::string folder = ostrel::WStringToUtf8(controller.Job()->FolderName());
        ASSERT_TRUE(view.WaitFinished());
        ASSERT_TRUE(controller.CreateLibraryPart());
        EXPECT_TRUE(controller.DownloadFailed());
        EXPECT_EQ(Report().Alerts(),
                  std::vector<std::string>{"Error while downloading the product! Nothing was added."});
        EXPECT_TRUE(view.proposals.empty());
        EXPECT_TRUE(view.closes.empty());
        EXPECT_FALSE(controller.IsDownloadBusy());
        EXPECT_EQ(controller.CreatedLibPartIndex(), 0);
        EXPECT_TRUE(Store().Parts().empty());
        // The failed download's folder went with everything in it.
        EXPECT_FALSE(boost::filesystem::exists(TempFolder() / folder));
        // Taken once; the next message starts afresh.
        EXPECT_FALSE(controller.CreateLibraryPart());
        ASSERT_EQ(controller.StartDownload(Payload("/ready", "/files/model.xml")), DownloadStart::Started);
        EXPECT_FALSE(controller.DownloadFailed());
        controller.CancelDownload();
    }
}

TEST_F(BrowserControllerDownload, ADownloadPastItsBoundSaysWhichBeforeTheAlert)
{
    Deployment deployment = CurrentDeployment();
    deployment.maxZipBytes = 1024;
    ScopedDeployment small(deployment);
    server_.AddFile("/files/large.xml", std::string(1025, 'x'));
    BrowserController controller(LibraryUrl(), kCatalogueBrowserPath, false);
    TestBrowserView view(controller);
    controller.SetView(&view);
    ASSERT_EQ(controller.StartDownload(Payload("/ready", "/files/large.xml")), DownloadStart::Started);
    ASSERT_TRUE(view.WaitFinished());
    ASSERT_TRUE(controller.CreateLibraryPart());
    EXPECT_TRUE(controller.DownloadFailed());
    const std::string failure = "Error while downloading the product! Nothing was added.";
    EXPECT_EQ(Report().Lines(), (std::vector<std::string>{"Tarvel: the transfer from " + server_.Url("/files/large.xml") +
                                                               " was stopped: the answer is larger than 1024 bytes.",
                                                           failure}));
    EXPECT_EQ(Report().Alerts(), std::vector<std::string>{failure});
    EXPECT_TRUE(Host().CallsOffUiThread().empty());
}

TEST_F(BrowserControllerDownload, AnInvalidMessageIsReportedAndStartsNothing)
{
    const std::string cases[] = {
        "not Base64!",
        Base64Encode("no JSON"),
        Base64Encode("{\"Artifacts\":5}"),
        Base64Encode(std::string(1001, '[')),
    };
    for (const auto& payload : cases) {
        Report().Clear();
        BrowserController controller(LibraryUrl(), kCatalogueBrowserPath, false);
        TestBrowserView view(controller);
        controller.SetView(&view);
        EXPECT_EQ(controller.StartDownload(payload), DownloadStart::InvalidToken) << payload;
        EXPECT_EQ(Report().Alerts(), std::vector<std::string>{"ERROR: invalid token"}) << payload;
        EXPECT_FALSE(controller.IsDownloadBusy());
        EXPECT_EQ(controller.Job(), nullptr);
        EXPECT_FALSE(controller.CreateLibraryPart());
    }
    EXPECT_EQ(standin::win::LiveThreads(), 0);
}

TEST_F(BrowserControllerDownload, OnlyTheJobStartedLastCompletes)
{
    BrowserController controller(LibraryUrl(), kCatalogueBrowserPath, false);
    TestBrowserView view(controller);
    view.typedName = L"Last";
    controller.SetView(&view);

    // A first message still waits when a second one is taken: the first is let go.
    ASSERT_EQ(controller.StartDownload(Payload("/never", "/files/model.xml")), DownloadStart::Started);
    const auto first = controller.Job();
    ASSERT_EQ(controller.StartDownload(Payload("/ready", "/files/other.xml")), DownloadStart::Started);
    const std::string folder = ostrel::WStringToUtf8(controller.Job()->FolderName());
    ASSERT_TRUE(first->Join(10s));
    EXPECT_EQ(first->End(), DownloadEnd::CancelledWaiting);
    ASSERT_TRUE(view.WaitFinished());
    ASSERT_TRUE(controller.CreateLibraryPart());
    EXPECT_EQ(controller.Artifacts().localPaths[1], TempPathText(folder + "\\other.xml"));
    EXPECT_EQ(server_.CallCount("/files/model.xml"), 0);
    EXPECT_TRUE(Store().FindByName(std::string("Last")));
}

TEST_F(BrowserControllerDownload, AStaleCompletionCreatesNothing)
{
    BrowserController controller(LibraryUrl(), kCatalogueBrowserPath, false);
    TestBrowserView view(controller);
    controller.SetView(&view);

    // Finished, then cancelled before the dialog took the completion.
    ASSERT_EQ(controller.StartDownload(Payload("/ready", "/files/model.xml")), DownloadStart::Started);
    ASSERT_TRUE(view.WaitFinished(1));
    controller.CancelDownload();
    EXPECT_FALSE(controller.IsDownloadBusy());
    EXPECT_FALSE(controller.CreateLibraryPart());

    // Finished, then superseded by a message whose download still waits.
    ASSERT_EQ(controller.StartDownload(Payload("/ready", "/files/model.xml")), DownloadStart::Started);
    ASSERT_TRUE(view.WaitFinished(2));
    ASSERT_EQ(controller.StartDownload(Payload("/never", "/files/model.xml")), DownloadStart::Started);
    EXPECT_FALSE(controller.CreateLibraryPart());
    EXPECT_TRUE(controller.IsDownloadBusy());
    controller.CancelDownload();

    EXPECT_TRUE(view.proposals.empty());
    EXPECT_TRUE(view.closes.empty());
    EXPECT_TRUE(Store().Parts().empty());
}

TEST_F(BrowserControllerDownload, ClosingTheDialogLetsGoOfTheWorkerWhileItWaitsOrDownloads)
{
    server_.AddStall("/files/slow.xml", "<", 400ms, "x/>");
    struct Case {
        const char* what;
        const char* semaphore;
        const char* cadFile;
        // The request the worker is in (or has made twice, when polling) as the dialog closes.
        const char* inFlight;
        int requests;
        // The dialog clears its view itself, or only its controller goes.
        bool viewLetsGo;
        DownloadEnd end;
    } cases[] = {
        {"waiting, controller destroyed", "/never", "/files/model.xml", "/never", 2, false,
         DownloadEnd::CancelledWaiting},
        {"waiting, view cleared", "/never", "/files/model.xml", "/never", 2, true, DownloadEnd::CancelledWaiting},
        {"downloading, controller destroyed", "/ready", "/files/slow.xml", "/files/slow.xml", 1, false,
         DownloadEnd::CancelledDownloading},
        {"downloading, view cleared", "/ready", "/files/slow.xml", "/files/slow.xml", 1, true,
         DownloadEnd::CancelledDownloading},
    };
    for (const auto& c : cases) {
        auto controller = std::make_unique<BrowserController>(LibraryUrl(), kCatalogueBrowserPath, false);
        auto view = std::make_unique<TestBrowserView>(*controller);
        controller->SetView(view.get());
        const int before = server_.CallCount(c.inFlight);
        ASSERT_EQ(controller->StartDownload(Payload(c.semaphore, c.cadFile)), DownloadStart::Started) << c.what;
        const auto job = controller->Job();
        while (server_.CallCount(c.inFlight) < before + c.requests)
            std::this_thread::sleep_for(1ms);

        if (c.viewLetsGo) {
            controller->SetView(nullptr);
            EXPECT_FALSE(controller->IsDownloadBusy()) << c.what;
            EXPECT_EQ(controller->Job(), nullptr) << c.what;
        }
        controller.reset();
        // From here the worker goes on alone, and nothing it does reaches the view.
        const int calls = view->WorkerCalls();
        ASSERT_TRUE(job->Join(10s)) << c.what;
        EXPECT_EQ(view->WorkerCalls(), calls) << c.what;
        EXPECT_EQ(job->End(), c.end) << c.what;
        EXPECT_FALSE(job->FinishedArtifacts()) << c.what;
        view.reset();
    }
    EXPECT_TRUE(standin::win::WaitForAllThreads(10s));
}

// A message taken while the last one's CAD data stalls or never ends, with files of the
// same names: the first is let go of, and cleans up only what it made, however late;
// the second becomes its part.
TEST_F(BrowserControllerDownload, AReplacedDownloadLeavesTheNextOnesFilesAlone)
{
    Deployment patient = TestDeployment();
    patient.stallTime = 600s;
    patient.maxZipBytes = std::uint64_t{1} << 40;
    const ScopedDeployment scoped(patient);
    MisbehavingServer misbehaving;
    for (const auto way : {MisbehavingServer::Way::StallAfterHeaders, MisbehavingServer::Way::EndlessChunked}) {
        const char* what = MisbehavingServer::Name(way);
        Report().Clear();
        BrowserController controller(LibraryUrl(), kCatalogueBrowserPath, false);
        TestBrowserView view(controller);
        view.typedName = ostrel::Utf8ToWString(std::string("Second ") + what);
        controller.SetView(&view);
        const std::string json = "{\"CallbackUrl\":\"" + server_.Url("/ack") + "\",\"Artifacts\":["
                                 "{\"FileType\":\"CadFile\",\"SourceUrl\":\"" + misbehaving.Url(way, "model.xml") +
                                 "\"}]}";
        const int requests = misbehaving.Requests();
        ASSERT_EQ(controller.StartDownload(Base64Encode(json)), DownloadStart::Started) << what;
        const auto first = controller.Job();
        while (misbehaving.Requests() == requests)
            std::this_thread::sleep_for(1ms);

        ASSERT_EQ(controller.StartDownload(Payload("/ready", "/files/model.xml")), DownloadStart::Started) << what;
        ASSERT_TRUE(view.WaitFinished()) << what;
        ASSERT_TRUE(first->Join(5s)) << what;
        EXPECT_EQ(first->End(), DownloadEnd::CancelledDownloading) << what;
        ASSERT_TRUE(controller.CreateLibraryPart()) << what;
        EXPECT_TRUE(Store().FindByName(ostrel::WStringToUtf8(view.typedName))) << what;
        EXPECT_TRUE(Report().Alerts().empty()) << ::testing::PrintToString(Report().Alerts());
    }
}

}  // namespace
}  // namespace tarvel::testing
