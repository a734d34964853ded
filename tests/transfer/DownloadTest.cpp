#include "MisbehavingServer.hpp"
#include "TransferFixture.hpp"
#include "ZipMaker.hpp"

#include "standin/Base.hpp"
#include "transfer/ClipboardMessage.hpp"
#include "transfer/Download.hpp"

#include <thread>

namespace tarvel::testing {
namespace {

using namespace std::chrono_literals;

class DownloadWorker : public TransferFixture {
protected:
    // The job's folder in Temp, and the path text of a file there.
    boost::filesystem::path JobFolder(const DownloadJob& job) const
    {
        return TempFolder() / ostrel::WStringToUtf8(job.FolderName());
    }
    std::string JobPathText(const DownloadJob& job, const std::string& name) const
    {
        return TempPathText(ostrel::WStringToUtf8(job.FolderName()) + "\\" + name);
    }

    RecordingView view;
};

TEST_F(DownloadWorker, SemaphoreThenThreeFiles)
{
    CatalogueServer server;
    server.AddSemaphore("/sem", 3);
    server.AddFile("/f/model.xml", "<m/>");
    server.AddFile("/f/attr.txt", "attr");
    server.AddFile("/f/sheet.xml", "<s/>");
    DownloadJob job(MakeArtifacts({{"CadFile", server.Url("/f/model.xml")},
                                   {"SemaphoreFile", server.Url("/sem")},
                                   {"AttributeFile", server.Url("/f/attr.txt")},
                                   {"ProductDataSheet", server.Url("/f/sheet.xml")}},
                                  &view));
    EXPECT_EQ(RunArtifactsDownload(job), DownloadEnd::Finished);
    EXPECT_EQ(server.CallCount("/sem"), 4);
    EXPECT_EQ(view.Progress(), (std::vector<std::int16_t>{25, 50, 75, 100}));
    EXPECT_EQ(view.Finished(), 1);
    auto done = job.FinishedArtifacts();
    ASSERT_TRUE(done);
    EXPECT_EQ(done->localPaths, (std::vector<std::string>{JobPathText(job, "model.xml"), "",
                                                         JobPathText(job, "attr.txt"), JobPathText(job, "sheet.xml")}));
    EXPECT_EQ(ReadFile(JobFolder(job) / "sheet.xml"), "<s/>");
}

TEST_F(DownloadWorker, ProgressTable)
{
    CatalogueServer server;
    server.AddFile("/ready", "");
    server.AddFile("/a", "a");
    const std::string unreachable = "http://127.0.0.1:" + std::to_string(UnusedPort()) + "/sem";
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, std::string>> artifacts;
        std::vector<std::int16_t> progress;
    } cases[] = {
        {"no artifacts", {}, {}},
        {"ready at once", {{"SemaphoreFile", server.Url("/ready")}, {"CadFile", server.Url("/a")}}, {50, 100}},
        {"unreachable semaphore counts as ready", {{"SemaphoreFile", unreachable}, {"CadFile", server.Url("/a")}},
         {50, 100}},
        {"two semaphores", {{"SemaphoreFile", server.Url("/ready")}, {"SemaphoreFile", unreachable},
                            {"CadFile", server.Url("/a")}}, {33, 66}},
        {"no semaphore", {{"CadFile", server.Url("/a")}, {"AttributeFile", server.Url("/a")},
                          {"ProductDataSheet", server.Url("/a")}}, {66, 100, 133}},
    };
    for (const auto& c : cases) {
        RecordingView caseView;
        DownloadJob job(MakeArtifacts(c.artifacts, &caseView));
        EXPECT_EQ(RunArtifactsDownload(job), DownloadEnd::Finished) << c.what;
        EXPECT_EQ(caseView.Progress(), c.progress) << c.what;
        EXPECT_EQ(caseView.Finished(), 1) << c.what;
    }
    EXPECT_EQ(server.CallCount("/ready"), 2);
}

TEST_F(DownloadWorker, CancelWhileWaitingEndsSilently)
{
    CatalogueServer server;
    server.AddSemaphore("/sem", 1000000);
    auto job = StartArtifactsDownload(MakeArtifacts({{"SemaphoreFile", server.Url("/sem")},
                                                     {"CadFile", server.Url("/a")}}, &view));
    ASSERT_TRUE(job);
    while (server.CallCount("/sem") < 3)
        std::this_thread::sleep_for(1ms);
    view.SetCancelled(true);
    ASSERT_TRUE(job->Join(10s));
    EXPECT_EQ(job->End(), DownloadEnd::CancelledWaiting);
    EXPECT_TRUE(view.Progress().empty());
    EXPECT_EQ(view.Finished(), 0);
    EXPECT_FALSE(job->FinishedArtifacts());
    EXPECT_EQ(server.CallCount("/a"), 0);
}

TEST_F(DownloadWorker, CancelledBeforeTheFirstProbeProbesNothing)
{
    CatalogueServer server;
    server.AddFile("/ready", "");
    view.SetCancelled(true);
    DownloadJob job(MakeArtifacts({{"SemaphoreFile", server.Url("/ready")}}, &view));
    EXPECT_EQ(RunArtifactsDownload(job), DownloadEnd::CancelledWaiting);
    EXPECT_EQ(server.CallCount("/ready"), 0);
}

TEST_F(DownloadWorker, CancelAfterADownloadStopsBeforeTheNext)
{
    CatalogueServer server;
    server.AddFile("/ready", "");
    server.AddFile("/a.xml", "a");
    server.AddFile("/b.xml", "b");
    view.CancelAtProgress(66);
    DownloadJob job(MakeArtifacts({{"SemaphoreFile", server.Url("/ready")}, {"CadFile", server.Url("/a.xml")},
                                   {"ProductDataSheet", server.Url("/b.xml")}},
                                  &view));
    EXPECT_EQ(RunArtifactsDownload(job), DownloadEnd::CancelledDownloading);
    EXPECT_EQ(view.Progress(), (std::vector<std::int16_t>{33, 66}));
    EXPECT_EQ(view.Finished(), 0);
    EXPECT_EQ(server.CallCount("/b.xml"), 0);
}

TEST_F(DownloadWorker, TheOwnersCancelWakesAWaitingWorkerAtOnce)
{
    // A long poll period: only the wake-up can end the wait quickly.
    Deployment slow = TestDeployment();
    slow.semaphorePollPeriod = 60s;
    ScopedDeployment scoped(slow);
    CatalogueServer server;
    server.AddSemaphore("/sem", 1000000);
    auto job = StartArtifactsDownload(MakeArtifacts({{"SemaphoreFile", server.Url("/sem")}}, &view));
    ASSERT_TRUE(job);
    while (server.CallCount("/sem") < 1)
        std::this_thread::sleep_for(1ms);
    const auto start = std::chrono::steady_clock::now();
    job->Cancel();
    ASSERT_TRUE(job->Join(10s));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_EQ(job->End(), DownloadEnd::CancelledWaiting);
}

TEST_F(DownloadWorker, ADetachedJobNeverReachesItsViewAndANewJobTakesOver)
{
    CatalogueServer server;
    server.AddSemaphore("/sem1", 1000000);
    server.AddFile("/two.xml", "two");
    auto view1 = std::make_unique<RecordingView>();
    auto first = StartArtifactsDownload(MakeArtifacts({{"SemaphoreFile", server.Url("/sem1")},
                                                       {"CadFile", server.Url("/one.xml")}}, view1.get()));
    ASSERT_TRUE(first);
    while (server.CallCount("/sem1") < 2)
        std::this_thread::sleep_for(1ms);
    // The owner drops the first download and its view goes away at once.
    first->Detach();
    view1.reset();
    auto second = StartArtifactsDownload(MakeArtifacts({{"CadFile", server.Url("/two.xml")}}, &view));
    ASSERT_TRUE(second);
    ASSERT_TRUE(second->Join(10s));
    ASSERT_TRUE(first->Join(10s));
    EXPECT_EQ(first->End(), DownloadEnd::CancelledWaiting);
    EXPECT_FALSE(first->FinishedArtifacts());
    auto done = second->FinishedArtifacts();
    ASSERT_TRUE(done);
    EXPECT_EQ(done->localPaths, std::vector<std::string>{JobPathText(*second, "two.xml")});
    EXPECT_EQ(view.Finished(), 1);
    EXPECT_EQ(view.Progress(), std::vector<std::int16_t>{200});
}

TEST_F(DownloadWorker, TheJobOutlivesAnOwnerThatLetsGo)
{
    CatalogueServer server;
    server.AddSemaphore("/sem", 2);
    server.AddFile("/a.xml", "a");
    boost::filesystem::path folder;
    {
        auto job = StartArtifactsDownload(MakeArtifacts({{"SemaphoreFile", server.Url("/sem")},
                                                         {"CadFile", server.Url("/a.xml")}}, nullptr));
        ASSERT_TRUE(job);
        folder = JobFolder(*job);
    }
    ASSERT_TRUE(standin::win::WaitForAllThreads(10s));
    EXPECT_EQ(ReadFile(folder / "a.xml"), "a");
    EXPECT_EQ(standin::win::LiveThreads(), 0);
}

TEST_F(DownloadWorker, SameLastElementsDoNotOverwriteEachOther)
{
    CatalogueServer server;
    server.AddFile("/cad/model.xml", "cad");
    server.AddFile("/sheet/model.xml", "sheet");
    server.AddFile("/bad/..", "dots");
    DownloadJob job(MakeArtifacts({{"CadFile", server.Url("/cad/model.xml")},
                                   {"ProductDataSheet", server.Url("/sheet/model.xml")},
                                   {"AttributeFile", server.Url("/bad/%2e%2e")}},
                                  &view));
    EXPECT_EQ(RunArtifactsDownload(job), DownloadEnd::Finished);
    auto done = job.FinishedArtifacts();
    ASSERT_TRUE(done);
    EXPECT_EQ(done->localPaths[0], JobPathText(job, "model.xml"));
    EXPECT_EQ(done->localPaths[1], JobPathText(job, "model_2.xml"));
    EXPECT_EQ(ReadFile(JobFolder(job) / "model.xml"), "cad");
    EXPECT_EQ(ReadFile(JobFolder(job) / "model_2.xml"), "sheet");
}

TEST_F(DownloadWorker, FromTheClipboardToUnpackedArtifactsOnAWorkerThread)
{
    CatalogueServer server;
    server.AddCallback("/ack");
    server.AddSemaphore("/sem", 2);
    server.AddFile("/files/cad.zip", MakeZip({{"product.xml", "<geom/>"}, {"product.png", "png"}}));
    server.AddFile("/files/sheet.xml", "<ProductDataSheet/>");
    const std::string json = "{\"CallbackUrl\":\"" + server.Url("/ack") +
                             "\",\"CatalogName\":\"acme\",\"Artifacts\":["
                             "{\"FileType\":\"SemaphoreFile\",\"SourceUrl\":\"" + server.Url("/sem") + "\"},"
                             "{\"FileType\":\"CadFile\",\"SourceUrl\":\"" + server.Url("/files/cad.zip") + "\"},"
                             "{\"FileType\":\"ProductDataSheet\",\"SourceUrl\":\"" + server.Url("/files/sheet.xml") +
                             "\"}]}";
    ASSERT_TRUE(standin::win::SetClipboardBytes(std::string(kMessageStart) + Base64Encode(json) + kMessageEnd));

    std::string lastPayload;
    ASSERT_TRUE(ReadClipboardMessage(nullptr, lastPayload));
    CatalogueArtifacts artifacts;
    std::string catalog;
    ASSERT_TRUE(ParseArtifactsMessage(Base64Decode(lastPayload), artifacts, catalog));
    EXPECT_EQ(catalog, "acme");
    EXPECT_EQ(server.CallCount("/ack"), 1);
    artifacts.view = &view;
    auto job = StartArtifactsDownload(std::move(artifacts));
    ASSERT_TRUE(job);
    ASSERT_TRUE(job->Join(20s));
    EXPECT_EQ(view.Progress(), (std::vector<std::int16_t>{33, 66, 100}));
    EXPECT_EQ(view.Finished(), 1);
    auto done = job->FinishedArtifacts();
    ASSERT_TRUE(done);
    EXPECT_EQ(done->fileTypes, (std::vector<std::string>{"SemaphoreFile", "CadFile", "ProductDataSheet"}));
    EXPECT_EQ(done->localPaths[1], JobPathText(*job, "cad\\product.xml"));
    EXPECT_EQ(ReadFile(JobFolder(*job) / "cad" / "product.png"), "png");
    EXPECT_EQ(ReadFile(JobFolder(*job) / "sheet.xml"), "<ProductDataSheet/>");
    EXPECT_FALSE(boost::filesystem::exists(JobFolder(*job) / "cad.zip"));
    EXPECT_EQ(done->view, nullptr);
}

TEST_F(DownloadWorker, ATempFolderThatCannotBeFoundFailsTheDownload)
{
    CatalogueServer server;
    server.AddFile("/a.xml", "a");
    standin::base::FailSpecialLocation(0x4711, 100);
    auto job = StartArtifactsDownload(MakeArtifacts({{"CadFile", server.Url("/a.xml")}}, &view));
    ASSERT_TRUE(job);
    ASSERT_TRUE(job->Join(10s));
    standin::base::FailSpecialLocation(0, 0);
    EXPECT_EQ(job->End(), DownloadEnd::Failed);
    EXPECT_TRUE(job->IsFailed());
    EXPECT_FALSE(job->FinishedArtifacts());
    // The owner hears of the end, and finds the job failed.
    EXPECT_EQ(view.Finished(), 1);
}

// A job let go of only after the next one, with files of the same names, finished:
// what the first cleans up is its own, and the next one's files stay whole.
TEST_F(DownloadWorker, AJobLetGoOfLateRemovesOnlyWhatItMade)
{
    Deployment patient = TestDeployment();
    patient.stallTime = std::chrono::seconds(600);
    patient.maxZipBytes = std::uint64_t{1} << 40;
    const ScopedDeployment scoped(patient);
    MisbehavingServer misbehaving;
    CatalogueServer server;
    server.AddFile("/next/model.xml", "<next/>");
    server.AddFile("/next/sheet.xml", "<sheet/>");
    for (const auto way : {MisbehavingServer::Way::StallAfterHeaders, MisbehavingServer::Way::EndlessChunked}) {
        const char* what = MisbehavingServer::Name(way);
        RecordingView firstView;
        const int requests = misbehaving.Requests();
        auto first = StartArtifactsDownload(MakeArtifacts({{"CadFile", misbehaving.Url(way, "model.xml")}}, &firstView));
        ASSERT_TRUE(first) << what;
        while (misbehaving.Requests() == requests)
            std::this_thread::sleep_for(1ms);

        RecordingView nextView;
        DownloadJob next(MakeArtifacts({{"CadFile", server.Url("/next/model.xml")},
                                        {"ProductDataSheet", server.Url("/next/sheet.xml")}},
                                       &nextView));
        EXPECT_NE(next.FolderName(), first->FolderName()) << what;
        ASSERT_EQ(RunArtifactsDownload(next), DownloadEnd::Finished) << what;
        first->Detach();
        ASSERT_TRUE(first->Join(5s)) << what;
        EXPECT_EQ(first->End(), DownloadEnd::CancelledDownloading) << what;

        const auto done = next.FinishedArtifacts();
        ASSERT_TRUE(done) << what;
        EXPECT_EQ(done->localPaths, (std::vector<std::string>{JobPathText(next, "model.xml"),
                                                             JobPathText(next, "sheet.xml")}))
            << what;
        EXPECT_EQ(ReadFile(JobFolder(next) / "model.xml"), "<next/>") << what;
        EXPECT_EQ(ReadFile(JobFolder(next) / "sheet.xml"), "<sheet/>") << what;
        EXPECT_FALSE(boost::filesystem::exists(JobFolder(*first))) << what;
        EXPECT_EQ(firstView.Finished(), 0) << what;
    }
}

// The files the add-on keeps in Temp beside the downloads (the installer, the
// administrator's copies) can be taken by no artifact and no archive entry.
TEST_F(DownloadWorker, NoArtifactOrEntryTakesTheNameOfAFileKeptInTemp)
{
    WriteFile(TempFolder() / "installer.exe", "the signed installer");
    WriteFile(TempFolder() / "ModifyElement_20260101010203.xml", "<options/>");
    CatalogueServer server;
    server.AddFile("/a/installer.exe", "not the installer");
    server.AddFile("/b/cad.zip", MakeZip({{"installer.exe", "nor this"},
                                          {"ModifyElement_20260101010203.xml", "<x/>"},
                                          {"model.xml", "<m/>"}}));
    server.AddFile("/c/model.xml", "<sheet/>");
    DownloadJob job(MakeArtifacts({{"AttributeFile", server.Url("/a/installer.exe")},
                                   {"CadFile", server.Url("/b/cad.zip")},
                                   {"ProductDataSheet", server.Url("/c/model.xml")}},
                                  &view));
    ASSERT_EQ(RunArtifactsDownload(job), DownloadEnd::Finished);
    const auto done = job.FinishedArtifacts();
    ASSERT_TRUE(done);
    EXPECT_EQ(done->localPaths, (std::vector<std::string>{JobPathText(job, "installer.exe"),
                                                         JobPathText(job, "cad\\model.xml"),
                                                         JobPathText(job, "model.xml")}));
    EXPECT_EQ(ReadFile(TempFolder() / "installer.exe"), "the signed installer");
    EXPECT_EQ(ReadFile(TempFolder() / "ModifyElement_20260101010203.xml"), "<options/>");
    // Nor does an entry take the name of another artifact of the same product.
    EXPECT_EQ(ReadFile(JobFolder(job) / "model.xml"), "<sheet/>");
    EXPECT_EQ(ReadFile(JobFolder(job) / "cad" / "model.xml"), "<m/>");
}

// A failed download removes everything it made, and only that.
TEST_F(DownloadWorker, AFailedDownloadLeavesNothingOfItsOwn)
{
    CatalogueServer server;
    server.AddFile("/ok/model.xml", "<m/>");
    server.AddStatus("/gone/sheet.xml", 404, "gone");
    WriteFile(TempFolder() / "kept.txt", "kept");
    DownloadJob job(MakeArtifacts({{"CadFile", server.Url("/ok/model.xml")},
                                   {"ProductDataSheet", server.Url("/gone/sheet.xml")}},
                                  &view));
    EXPECT_EQ(RunArtifactsDownload(job), DownloadEnd::Failed);
    EXPECT_FALSE(boost::filesystem::exists(JobFolder(job)));
    EXPECT_EQ(ReadFile(TempFolder() / "kept.txt"), "kept");
    EXPECT_EQ(view.Finished(), 1);
}

TEST(WinThreads, RegistryWaitsExitCodesAndTicks)
{
    static std::atomic<bool> release{false};
    HANDLE thread = CreateThread(nullptr, 0, [](LPVOID p) -> DWORD {
        while (!release.load())
            Sleep(1);
        return static_cast<DWORD>(reinterpret_cast<std::intptr_t>(p));
    }, reinterpret_cast<LPVOID>(42), 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 10), WAIT_TIMEOUT);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, STILL_ACTIVE);
    EXPECT_EQ(standin::win::LiveThreads(), 1);
    EXPECT_FALSE(standin::win::WaitForAllThreads(10ms));
    release = true;
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 42u);
    EXPECT_TRUE(CloseHandle(thread));
    EXPECT_FALSE(CloseHandle(thread));
    EXPECT_TRUE(standin::win::WaitForAllThreads(1s));

    const ULONGLONG before = GetTickCount64();
    Sleep(20);
    EXPECT_GE(GetTickCount64() - before, 20u);
}

}  // namespace
}  // namespace tarvel::testing
