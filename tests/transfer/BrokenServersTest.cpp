// Every kind of transfer against servers that misbehave on purpose: each ends within
// its bound, answers failure, leaves no file behind and holds no more than its bound
// in memory; a cancel or the add-on's stop ends a transfer under way at once.
#include "MisbehavingServer.hpp"
#include "TransferFixture.hpp"

#include "transfer/Download.hpp"
#include "transfer/Http.hpp"
#include "transfer/Pictures.hpp"

#include <boost/filesystem.hpp>

#include <thread>

namespace tarvel::testing {
namespace {

using namespace std::chrono_literals;
using Way = MisbehavingServer::Way;

// Short bounds, so that every case ends in a few seconds.
Deployment TightDeployment()
{
    Deployment deployment = TestDeployment();
    deployment.textTotalTime = 3s;
    deployment.probeTotalTime = 3s;
    deployment.pictureTotalTime = 3s;
    deployment.maxTextBytes = 64 * 1024;
    deployment.maxPictureBytes = 64 * 1024;
    deployment.maxZipBytes = 256 * 1024;
    return deployment;
}

// Bounds that never end a text request or a stall before a stop or a budget does.
Deployment PatientDeployment()
{
    Deployment deployment = TightDeployment();
    deployment.textTotalTime = 600s;
    deployment.stallTime = 600s;
    return deployment;
}

// Longest any one case may take: its bound (at most 3 s) and room for slow builds.
constexpr auto kCaseLimit = 10s;
// What may pass through the sockets' buffers once the client stopped reading.
constexpr std::uint64_t kBufferedBytes = 64u << 20;
// The process's growth over the whole table, sanitizers' own memory included; an
// unbounded read would have taken gigabytes.
constexpr std::uint64_t kPeakGrowth = 256u << 20;

class BrokenServers : public TransferFixture {
protected:
    void SetUp() override
    {
        TransferFixture::SetUp();
        tight_.emplace(TightDeployment());
    }
    void TearDown() override
    {
        tight_.reset();
        TransferFixture::TearDown();
    }

    std::size_t FilesIn(const boost::filesystem::path& folder) const
    {
        std::size_t count = 0;
        for (boost::filesystem::directory_iterator it(folder), end; it != end; ++it)
            ++count;
        return count;
    }
    boost::filesystem::path ImagesFolder() const { return TempFolder().parent_path() / "Images"; }

private:
    std::optional<ScopedDeployment> tight_;
};

template <typename Call>
std::chrono::steady_clock::duration Timed(Call&& call)
{
    const auto start = std::chrono::steady_clock::now();
    call();
    return std::chrono::steady_clock::now() - start;
}

TEST_F(BrokenServers, EveryTransferEndsWithinItsBoundAndLeavesNothing)
{
    MisbehavingServer server;
    CatalogueServer selfSigned(CatalogueServer::Kind::SelfSignedTls);
    selfSigned.AddFile("/model.xml", "<model/>");
    struct Case {
        const char* what;
        std::string url;
        // A text request keeps an error page or a redirect's page as its body.
        bool text;
        // The probe counts every answer but a 404 as ready.
        bool probe;
        // Only a stall, a size bound or a failure ends it: an artifact has no total time.
        bool worker;
        bool streams;
    } cases[] = {
        {"stall after the headers", server.Url(Way::StallAfterHeaders), false, true, true, false},
        {"a byte every 1.5 s", server.Url(Way::Trickle), false, true, true, false},
        {"slow but never stalled, for ever", server.Url(Way::Creep), false, true, false, false},
        {"endless chunked body", server.Url(Way::EndlessChunked), false, true, true, true},
        {"body shorter than its length", server.Url(Way::ShortBody), false, true, true, false},
        {"a length of 2 GiB", server.Url(Way::HugeLength), false, true, true, true},
        {"redirect", server.Url(Way::Redirect), true, true, true, false},
        {"error status with a page", server.Url(Way::ErrorPage), true, true, true, false},
        {"404 with a page", server.Url(Way::NotFoundPage), true, false, true, false},
        {"connection closed at once", server.Url(Way::CloseAtOnce), false, true, true, false},
        {"self-signed certificate", selfSigned.Url("/model.xml"), false, true, true, false},
    };
    const std::uint64_t peakBefore = PeakResidentBytes();
    for (const auto& c : cases) {
        std::uint64_t sentBefore = server.BodyBytesSent();
        std::string body = "stale";
        bool answer = false;
        EXPECT_LT(Timed([&] { answer = HttpGetToString(c.url.c_str(), body); }), kCaseLimit) << c.what;
        EXPECT_EQ(answer, c.text) << c.what;
        if (!c.text) {
            EXPECT_EQ(body, "") << c.what;
        }
        EXPECT_LE(body.size(), 64u * 1024) << c.what;

        EXPECT_LT(Timed([&] { answer = UrlExists(c.url); }), kCaseLimit) << c.what;
        EXPECT_EQ(answer, c.probe) << c.what;

        std::wstring picture = L"stale";
        EXPECT_LT(Timed([&] { picture = DownloadImage(c.url); }), kCaseLimit) << c.what;
        EXPECT_EQ(picture, L"") << c.what;
        EXPECT_EQ(FilesIn(ImagesFolder()), 0u) << c.what;

        if (c.worker) {
            RecordingView view;
            DownloadJob job(MakeArtifacts({{"CadFile", c.url}, {"ProductDataSheet", c.url}}, &view));
            DownloadEnd end = DownloadEnd::Running;
            const int requestsBefore = server.Requests() + selfSigned.CallCount("/model.xml");
            EXPECT_LT(Timed([&] { end = RunArtifactsDownload(job); }), kCaseLimit) << c.what;
            // The second artifact is not asked for once the first failed.
            if (c.url.rfind("https:", 0) != 0) {
                EXPECT_EQ(server.Requests() + selfSigned.CallCount("/model.xml"), requestsBefore + 1) << c.what;
            }
            EXPECT_EQ(end, DownloadEnd::Failed) << c.what;
            EXPECT_TRUE(job.IsFailed()) << c.what;
            EXPECT_FALSE(job.FinishedArtifacts()) << c.what;
            // The owner hears of the end; no progress past the failed artifact.
            EXPECT_EQ(view.Finished(), 1) << c.what;
            EXPECT_TRUE(view.Progress().empty()) << c.what;
            EXPECT_EQ(job.Record().localPaths, (std::vector<std::string>{"", ""})) << c.what;
        }
        EXPECT_EQ(FilesIn(TempFolder()), 0u) << c.what;
        // The client stopped reading at its bound: what the server could push is no
        // more than the sockets buffer.
        if (c.streams) {
            EXPECT_LT(server.BodyBytesSent() - sentBefore, kBufferedBytes) << c.what;
        }
    }
    // Nothing was held whole: the bodies ran to gigabytes' worth had they been read.
    EXPECT_LT(PeakResidentBytes() - peakBefore, kPeakGrowth);
}

TEST_F(BrokenServers, GoodTransfersStillArriveWhole)
{
    CatalogueServer server;
    const std::string text(64 * 1024, 't');
    const std::string artifact(256 * 1024, 'a');
    server.AddFile("/text.json", text);
    server.AddFile("/logo.png", std::string(64 * 1024, 'p'));
    server.AddFile("/files/model.xml", artifact);
    server.AddFile("/ready", "ready");
    std::string body;
    EXPECT_TRUE(HttpGetToString(server.Url("/text.json").c_str(), body));
    EXPECT_EQ(body, text);
    EXPECT_TRUE(UrlExists(server.Url("/ready")));
    EXPECT_EQ(DownloadImage(server.Url("/logo.png")), L"logo.png");
    RecordingView view;
    DownloadJob job(MakeArtifacts({{"CadFile", server.Url("/files/model.xml")}}, &view));
    EXPECT_EQ(RunArtifactsDownload(job), DownloadEnd::Finished);
    EXPECT_EQ(ReadFile(TempFolder() / ostrel::WStringToUtf8(job.FolderName()) / "model.xml"), artifact);
    // One byte more than a bound is refused.
    server.AddFile("/big.json", text + "!");
    EXPECT_FALSE(HttpGetToString(server.Url("/big.json").c_str(), body));
}

TEST_F(BrokenServers, ACancelledDownloadEndsAndIsJoinedWithinASecond)
{
    MisbehavingServer server;
    for (Way way : {Way::Creep, Way::EndlessChunked, Way::StallAfterHeaders}) {
        // Without the cancel nothing would end these: no total time, a far bound.
        Deployment patient = TightDeployment();
        patient.maxZipBytes = std::uint64_t{1} << 40;
        patient.stallTime = 600s;
        ScopedDeployment scoped(patient);
        RecordingView view;
        const int requestsBefore = server.Requests();
        auto job = StartArtifactsDownload(MakeArtifacts({{"CadFile", server.Url(way)}}, &view));
        ASSERT_TRUE(job);
        const auto until = std::chrono::steady_clock::now() + kCaseLimit;
        while (server.Requests() == requestsBefore && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(5ms);
        ASSERT_GT(server.Requests(), requestsBefore) << MisbehavingServer::Name(way);
        const auto start = std::chrono::steady_clock::now();
        job->Cancel();
        EXPECT_TRUE(job->Join(1s)) << MisbehavingServer::Name(way);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 1s) << MisbehavingServer::Name(way);
        EXPECT_EQ(job->End(), DownloadEnd::CancelledDownloading) << MisbehavingServer::Name(way);
        EXPECT_EQ(view.Finished(), 0) << MisbehavingServer::Name(way);
        EXPECT_TRUE(standin::win::WaitForAllThreads(1s));
        EXPECT_EQ(FilesIn(TempFolder()), 0u) << MisbehavingServer::Name(way);
    }
}

TEST_F(BrokenServers, TheAddOnsStopEndsEveryTransferAndEveryDownloadAtOnce)
{
    ScopedDeployment scoped(PatientDeployment());
    MisbehavingServer server;
    RecordingView view;
    auto job = StartArtifactsDownload(MakeArtifacts({{"CadFile", server.Url(Way::StallAfterHeaders)}}, &view));
    ASSERT_TRUE(job);
    std::atomic<bool> answer{true};
    std::thread text([&] {
        std::string body;
        answer = HttpGetToString(server.Url(Way::Creep).c_str(), body);
    });
    const auto until = std::chrono::steady_clock::now() + kCaseLimit;
    while (server.Requests() < 2 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(5ms);
    ASSERT_EQ(server.Requests(), 2);
    EXPECT_EQ(RunningDownloads(), 1u);

    const auto start = std::chrono::steady_clock::now();
    StopTransfers();
    EXPECT_TRUE(StopAndJoinDownloads(1s));
    text.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_FALSE(answer);
    EXPECT_EQ(RunningDownloads(), 0u);
    // A stopped download is no failure to report: it ends silently.
    EXPECT_EQ(job->End(), DownloadEnd::CancelledDownloading);
    EXPECT_EQ(view.Finished(), 0);
    // Nothing starts while stopped; all is as before once resumed.
    std::string body;
    CatalogueServer good;
    good.AddFile("/a.json", "{}");
    EXPECT_FALSE(HttpGetToString(good.Url("/a.json").c_str(), body));
    EXPECT_EQ(good.CallCount("/a.json"), 0);
    ResumeTransfers();
    EXPECT_TRUE(HttpGetToString(good.Url("/a.json").c_str(), body));
    EXPECT_EQ(body, "{}");
}

TEST_F(BrokenServers, ABudgetSharedByTransfersSkipsTheRestOnceSpent)
{
    ScopedDeployment scoped(PatientDeployment());
    MisbehavingServer server;
    CatalogueServer good;
    good.AddFile("/a.json", "{}");
    TransferBudget budget(1500ms);
    std::string body;
    {
        const ScopedTransferBudget inForce(budget);
        EXPECT_TRUE(HttpGetToString(good.Url("/a.json").c_str(), body));
        EXPECT_FALSE(budget.Spent());
        EXPECT_LT(Timed([&] { EXPECT_FALSE(HttpGetToString(server.Url(Way::Creep).c_str(), body)); }), kCaseLimit);
        EXPECT_TRUE(budget.Spent());
        // Spent: no request at all.
        EXPECT_FALSE(HttpGetToString(good.Url("/a.json").c_str(), body));
        EXPECT_EQ(DownloadImage(good.Url("/a.json")), L"");
        EXPECT_EQ(good.CallCount("/a.json"), 1);
    }
    // Another thread, or this one outside the budget, is not held by it.
    EXPECT_TRUE(HttpGetToString(good.Url("/a.json").c_str(), body));
}

TEST_F(BrokenServers, ATransferPastABoundLeavesOneLineNamingTheBoundAndTheAddress)
{
    MisbehavingServer server;
    SilentListener silent;
    CatalogueServer good;
    const std::string text(64 * 1024, 't');
    good.AddFile("/big.json", text + "!");
    good.AddFile("/big.png", text + "!");
    good.AddFile("/fits.json", text);
    good.AddTruncated("/short.xml", std::string(1000, 's'), 500);
    const std::string silentTls = "https://127.0.0.1:" + std::to_string(silent.Port()) + "/model.xml";
    auto text_ = [](const std::string& url) {
        std::string body;
        return [url, body]() mutable { HttpGetToString(url.c_str(), body); };
    };
    auto picture = [](const std::string& url) { return [url] { DownloadImage(url); }; };
    const std::wstring temp = FullDataPath(tempFolder) + L"\\";
    auto artifact = [temp](const std::string& url) {
        return [url, temp] {
            std::string localPath;
            DownloadArtifact(url, localPath, temp);
        };
    };
    auto line = [](const std::string& address, const std::string& why) {
        return "Tarvel: the transfer from " + address + " was stopped: " + why + ".";
    };
    struct Case {
        const char* what;
        std::function<void()> transfer;
        // "" for none.
        std::string line;
    };
    const Case cases[] = {
        {"a text one byte past its bound", text_(good.Url("/big.json")),
         line(good.Url("/big.json"), "the answer is larger than 65536 bytes")},
        {"a text announcing 2 GiB", text_(server.Url(Way::HugeLength, "a.json")),
         line(server.Url(Way::HugeLength, "a.json"), "the answer is larger than 65536 bytes")},
        {"a logo one byte past its bound", picture(good.Url("/big.png")),
         line(good.Url("/big.png"), "the answer is larger than 65536 bytes")},
        {"an endless logo", picture(server.Url(Way::EndlessChunked, "logo.png")),
         line(server.Url(Way::EndlessChunked, "logo.png"), "the answer is larger than 65536 bytes")},
        {"an endless artifact", artifact(server.Url(Way::EndlessChunked)),
         line(server.Url(Way::EndlessChunked), "the answer is larger than 262144 bytes")},
        {"a text that creeps on", text_(server.Url(Way::Creep, "a.json")),
         line(server.Url(Way::Creep, "a.json"), "it took longer than 3 s")},
        {"a stalled artifact", artifact(server.Url(Way::StallAfterHeaders)),
         line(server.Url(Way::StallAfterHeaders), "less than 1 byte per second arrived for 1 s")},
        {"a handshake that never ends", artifact(silentTls), line(silentTls, "no connection within 500 ms")},
        // Names and keys in the address stay out of the report.
        {"an address with a user and a query",
         text_("http://user:secret@" + server.Url(Way::StallAfterHeaders, "b.json?key=secret").substr(7)),
         line(server.Url(Way::StallAfterHeaders, "b.json"), "less than 1 byte per second arrived for 1 s")},
        // No bound passed: no line.
        {"a text within its bound", text_(good.Url("/fits.json")), ""},
        {"an error page", artifact(server.Url(Way::ErrorPage)), ""},
        {"a connection closed at once", text_(server.Url(Way::CloseAtOnce, "a.json")), ""},
        {"a short body", artifact(good.Url("/short.xml")), ""},
        {"a cancel",
         [&] {
             std::string localPath;
             DownloadArtifact(server.Url(Way::Creep), localPath, temp, "model.xml", [] { return true; });
         },
         ""},
        {"a spent budget",
         [&] {
             TransferBudget budget(500ms);
             const ScopedTransferBudget inForce(budget);
             std::string body;
             HttpGetToString(server.Url(Way::Creep, "a.json").c_str(), body);
             HttpGetToString(good.Url("/fits.json").c_str(), body);
         },
         ""},
    };
    for (const Case& c : cases) {
        TakeBoundFailures();
        EXPECT_LT(Timed(c.transfer), kCaseLimit) << c.what;
        const std::vector<std::string> expected =
            c.line.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.line};
        EXPECT_EQ(TakeBoundFailures(), expected) << c.what;
    }

    // The lines wait, once each, for the user-interface thread, which writes them to
    // the Session Report without an alert; nothing else is said.
    std::thread worker([&] {
        std::string body;
        HttpGetToString(good.Url("/big.json").c_str(), body);
        HttpGetToString(good.Url("/big.json").c_str(), body);
        DownloadImage(good.Url("/big.png"));
    });
    worker.join();
    Report().Clear();
    ReportBoundFailures();
    EXPECT_EQ(Report().Lines(), (std::vector<std::string>{line(good.Url("/big.json"), "the answer is larger than 65536 bytes"),
                                                          line(good.Url("/big.png"), "the answer is larger than 65536 bytes")}));
    EXPECT_TRUE(Report().Alerts().empty());
    for (const auto& entry : Report().Entries())
        EXPECT_EQ(entry.thread, std::this_thread::get_id());
    ReportBoundFailures();
    EXPECT_EQ(Report().Lines().size(), 2u);
}

}  // namespace
}  // namespace tarvel::testing
