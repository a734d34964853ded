// The update check against the changelog, and the installer: started only when it
// arrived whole over HTTPS and its signature is trusted.
#include "ControllerFixture.hpp"

#include "controllers/SettingsController.hpp"
#include "controllers/UpdateController/UpdateController.hpp"
#include "standin/Win.hpp"
#include "transfer/Http.hpp"

#include <thread>

namespace tarvel::testing {
namespace {

using standin::services::ChangelogXml;

constexpr const char* kFailure = "ERROR: the update could not be downloaded or verified. Nothing was installed.";

class UpdateTest : public ControllerFixture {
protected:
    void SetUp() override
    {
        ControllerFixture::SetUp();
        // 2023-11-14 22:13:20 UTC
        standin::win::SetClock(1700000000);
        standin::win::SetUtcOffset(60);
        standin::win::ClearShellLog();
        standin::win::ClearTrust();
    }
    void TearDown() override
    {
        installerDeployment_.reset();
        installerServer_.reset();
        standin::win::SetClock(std::nullopt);
        standin::win::SetUtcOffset(std::nullopt);
        standin::win::SetShellResult(42);
        standin::win::ClearShellLog();
        standin::win::ClearTrust();
        ControllerFixture::TearDown();
    }

    std::optional<std::string> LastCheck()
    {
        std::string value;
        if (!SettingsController().GetAttribute(L"LastUpdateCheck", value))
            return std::nullopt;
        return value;
    }

    // An HTTPS server whose test authority is trusted, serving `installer`, made the
    // installer server.
    CatalogueServer& InstallerServer(CatalogueServer::Kind kind = CatalogueServer::Kind::AuthorityTls)
    {
        installerDeployment_.reset();
        installerServer_.emplace(kind);
        Deployment deployment = CurrentDeployment();
        deployment.installerServer = installerServer_->Url("");
        deployment.testTrustedAuthorities = installerServer_->AuthorityPem();
        // A TLS handshake in a sanitizer build on a busy machine takes its time.
        deployment.connectTimeout = std::chrono::seconds(10);
        installerDeployment_.emplace(deployment);
        return *installerServer_;
    }
    boost::filesystem::path Installer() const { return DataRoot() / "Temp" / "installer.exe"; }
    std::string InstallerText() const
    {
        return SpecialFolder().string() + "\\Tarvel\\daVED\\ArchiCAD\\Temp\\installer.exe";
    }

    std::optional<ScopedDeployment> installerDeployment_;

private:
    std::optional<CatalogueServer> installerServer_;
};

TEST_F(UpdateTest, TheChangelogNamesANewerVersionAsText)
{
    struct Case {
        const char* what;
        int status;
        std::string body;
        bool newer;
        bool checked;  // LastUpdateCheck written
    };
    const Case cases[] = {
        {"1.27 then 1.29", 200, ChangelogXml({"1.27", "1.29"}), true, true},
        {"1.28 itself", 200, ChangelogXml({"1.28"}), false, true},
        {"1.100 is smaller as text", 200, ChangelogXml({"1.100"}), false, true},
        {"1.3 is greater as text", 200, ChangelogXml({"1.3"}), true, true},
        {"1.28.1", 200, ChangelogXml({"1.28.1"}), true, true},
        {"no product version", 200,
         "<changelog><data><changeset><metaset><meta name=\"other\">9</meta></metaset></changeset></data></changelog>",
         false, true},
        {"another root", 200, "<log><data><changeset><metaset><meta name=\"product_version\">9</meta></metaset>"
                              "</changeset></data></log>",
         false, true},
        {"an HTML error page", 500, "<html><body><h1>Server Error</h1><br></body></html>", false, false},
        {"not XML", 200, "version=1.29", false, false},
    };
    for (const Case& c : cases) {
        boost::filesystem::remove(SettingsPath());
        Server().AddStatus(standin::services::kChangelogPath, c.status, c.body);
        UpdateController controller;
        EXPECT_EQ(controller.CheckForUpdate(), c.newer) << c.what;
        EXPECT_EQ(LastCheck(), c.checked ? std::optional<std::string>("2023-11-14 23:13:20") : std::nullopt) << c.what;
    }
    // The request as the update server expects it.
    const auto requests = Server().Requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.back().target, "/api/changelog?name=VOV.ERIDARAD.Edazar&type=0&ver=1.28&cul=en-GB");
    EXPECT_EQ(requests.back().userAgent, "Tarvel ArchiCAD AddOn");
}

TEST_F(UpdateTest, TheCheckTimeIsLocalAndKeepsTheOtherSettings)
{
    WriteSettings("<Settings help_url=\"h\"><Update AutoUpdateEnabled=\"no\" LastUpdateCheck=\"old\"/></Settings>");
    standin::win::SetUtcOffset(-300);
    UpdateController controller;
    EXPECT_TRUE(controller.CheckForUpdate());
    EXPECT_EQ(controller.downloadUrl,
              "https://update.example/api/update?name=VOV.ERIDARAD.Edazar&ver=1.28&cul=en-GB");
    EXPECT_EQ(SettingsText(), "<?xml version=\"1.0\"?>\n<Settings help_url=\"h\">\n\t<Update AutoUpdateEnabled=\"no\" "
                              "LastUpdateCheck=\"2023-11-14 17:13:20\" />\n</Settings>\n");

    // No update server: no answer, nothing written.
    UseServers(Server().Url(""), "http://127.0.0.1:" + std::to_string(UnusedPort()));
    standin::win::SetClock(1800000000);
    EXPECT_FALSE(UpdateController().CheckForUpdate());
    EXPECT_EQ(LastCheck(), "2023-11-14 17:13:20");
}

TEST_F(UpdateTest, ATrustedCompleteInstallerIsStarted)
{
    const std::string installer = Catalogue().installer;
    InstallerServer().AddFile(standin::services::kInstallerPath, installer);
    standin::win::TrustSignedContent(installer);
    WriteFile(Installer(), "an older installer");
    EXPECT_TRUE(DownloadAndRunInstaller());
    EXPECT_EQ(ReadFile(Installer()), installer);
    const auto shell = standin::win::ShellLog();
    ASSERT_EQ(shell.size(), 1u);
    EXPECT_EQ(shell[0].owner, nullptr);
    EXPECT_EQ(shell[0].verb, "open");
    EXPECT_EQ(shell[0].file, InstallerText());
    EXPECT_EQ(shell[0].parameters, "");
    EXPECT_EQ(shell[0].directory, "");
    EXPECT_EQ(shell[0].showCommand, 1);
    const auto checks = standin::win::TrustLog();
    ASSERT_EQ(checks.size(), 1u);
    EXPECT_EQ(checks[0].file, InstallerText());
    EXPECT_TRUE(checks[0].trusted);
    EXPECT_EQ(standin::win::OpenTrustStates(), 0);
    EXPECT_TRUE(Report().Lines().empty());
    EXPECT_EQ(FileNames(DataRoot() / "Temp"), std::vector<std::string>{"installer.exe"});
}

TEST_F(UpdateTest, AnInstallerThatIsNotWholeOrNotTrustedIsNeverStarted)
{
    const std::string installer = Catalogue().installer;
    struct Case {
        const char* what;
        std::function<void()> arrange;
        bool checked;  // the trust check was reached
    };
    const Case cases[] = {
        {"unsigned",
         [&] { InstallerServer().AddFile(standin::services::kInstallerPath, installer); }, true},
        {"signed differently",
         [&] {
             InstallerServer().AddFile(standin::services::kInstallerPath, installer + "tampered");
             standin::win::TrustSignedContent(installer);
         },
         true},
        {"broken off",
         [&] {
             InstallerServer().AddTruncated(standin::services::kInstallerPath, installer, installer.size() / 2);
             standin::win::TrustSignedContent(installer.substr(0, installer.size() / 2));
         },
         false},
        {"an HTTP error",
         [&] { InstallerServer().AddStatus(standin::services::kInstallerPath, 404, installer); },
         false},
        {"empty",
         [&] {
             InstallerServer().AddFile(standin::services::kInstallerPath, "");
             standin::win::TrustSignedContent("");
         },
         false},
        {"a certificate nobody trusts",
         [&] {
             InstallerServer(CatalogueServer::Kind::SelfSignedTls)
                 .AddFile(standin::services::kInstallerPath, installer);
             standin::win::TrustSignedContent(installer);
         },
         false},
        {"plain HTTP",
         [&] {
             Server().AddFile(standin::services::kInstallerPath, installer);
             Deployment deployment = CurrentDeployment();
             deployment.installerServer = Server().Url("");
             installerDeployment_.emplace(deployment);
             standin::win::TrustSignedContent(installer);
         },
         false},
        {"the shell refuses",
         [&] {
             InstallerServer().AddFile(standin::services::kInstallerPath, installer);
             standin::win::TrustSignedContent(installer);
             standin::win::SetShellResult(2);
         },
         true},
    };
    for (const Case& c : cases) {
        standin::win::ClearTrust();
        standin::win::ClearShellLog();
        standin::win::SetShellResult(42);
        Report().Clear();
        c.arrange();
        EXPECT_FALSE(DownloadAndRunInstaller()) << c.what;
        const bool shellAsked = std::string(c.what) == "the shell refuses";
        EXPECT_EQ(standin::win::ShellLog().size(), shellAsked ? 1u : 0u) << c.what;
        EXPECT_EQ(standin::win::TrustLog().size(), c.checked ? 1u : 0u) << c.what;
        EXPECT_EQ(standin::win::OpenTrustStates(), 0) << c.what;
        EXPECT_EQ(Report().Alerts(), std::vector<std::string>{kFailure}) << c.what;
        EXPECT_EQ(Report().Lines().size(), 1u) << c.what;
        // Nothing unsigned or partial is left to be started by hand.
        const auto left = FileNames(DataRoot() / "Temp");
        EXPECT_TRUE(left.empty() || (shellAsked && left == std::vector<std::string>{"installer.exe"})) << c.what;
        boost::filesystem::remove(Installer());
    }
}

TEST_F(UpdateTest, TheInstallerDownloadEndsWithinItsBoundOrAtTheStopAndLeavesNothing)
{
    using namespace std::chrono_literals;
    // Time for the TLS handshake of a sanitizer build and the abort's check period.
    constexpr auto kRoom = 4s;
    struct Case {
        const char* what;
        // Serves the installer misbehaving on the server.
        std::function<void(CatalogueServer&)> serve;
        std::chrono::milliseconds totalTime;
        // The add-on's stop, from another thread, once the request arrived.
        bool stop;
    };
    const Case cases[] = {
        // Five bytes a second, 40 s for the whole.
        {"a trickle", [](CatalogueServer& server) { server.AddTrickle(standin::services::kInstallerPath, 200, 200ms); },
         2s, false},
        {"an endless body", [](CatalogueServer& server) { server.AddEndless(standin::services::kInstallerPath, 40s); },
         2s, false},
        {"the stop during a trickle",
         [](CatalogueServer& server) { server.AddTrickle(standin::services::kInstallerPath, 200, 200ms); }, 60s, true},
    };
    for (const Case& c : cases) {
        Report().Clear();
        standin::win::ClearTrust();
        standin::win::ClearShellLog();
        CatalogueServer& server = InstallerServer();
        Deployment deployment = CurrentDeployment();
        deployment.installerTotalTime = c.totalTime;
        deployment.maxZipBytes = std::uint64_t{1} << 40;
        // Only the total time or the stop may end these, even on a busy machine.
        deployment.stallTime = 600s;
        installerDeployment_.emplace(deployment);
        c.serve(server);
        // An earlier download's installer is no part of this one.
        WriteFile(Installer(), "an older installer");

        std::thread stopper;
        std::chrono::steady_clock::time_point stopped{};
        if (c.stop)
            stopper = std::thread([&] {
                const auto until = std::chrono::steady_clock::now() + 10s;
                while (server.CallCount(standin::services::kInstallerPath) == 0 && std::chrono::steady_clock::now() < until)
                    std::this_thread::sleep_for(5ms);
                std::this_thread::sleep_for(300ms);
                stopped = std::chrono::steady_clock::now();
                StopTransfers();
            });
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(DownloadAndRunInstaller()) << c.what;
        const auto end = std::chrono::steady_clock::now();
        if (stopper.joinable())
            stopper.join();
        ResumeTransfers();

        if (c.stop) {
            EXPECT_LT(end - stopped, 1s) << c.what;
        } else {
            EXPECT_LT(end - start, c.totalTime + kRoom) << c.what;
        }
        EXPECT_EQ(server.CallCount(standin::services::kInstallerPath), 1) << c.what;
        EXPECT_TRUE(FileNames(DataRoot() / "Temp").empty()) << c.what;
        EXPECT_TRUE(standin::win::ShellLog().empty()) << c.what;
        EXPECT_TRUE(standin::win::TrustLog().empty()) << c.what;
        // Said once: the alert, after the line naming the bound when one was passed.
        EXPECT_EQ(Report().Alerts(), std::vector<std::string>{kFailure}) << c.what;
        std::vector<std::string> lines{kFailure};
        if (!c.stop)
            lines.insert(lines.begin(), "Tarvel: the transfer from " + server.Url(standin::services::kInstallerPath) +
                                            " was stopped: it took longer than 2 s.");
        EXPECT_EQ(Report().Lines(), lines) << c.what;
    }
}

}  // namespace
}  // namespace tarvel::testing
