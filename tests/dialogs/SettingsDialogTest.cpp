// The Settings dialog, run by the scripted user against Settings.xml and the loopback
// update server, which also serves the installer over HTTPS.
#include "ControllerFixture.hpp"
#include "DialogFixture.hpp"
#include "DialogIds.hpp"
#include "controllers/SettingsController.hpp"
#include "dialogs/SettingsDialog.hpp"
#include "standin/Dialogs.hpp"
#include "standin/Win.hpp"
#include "transfer/Deployment.hpp"

#include <optional>

namespace tarvel::testing {
namespace {

namespace dg = standin::dg;
using dialogs::SettingsDialog;

constexpr const char* kInstallerFailure =
    "ERROR: the update could not be downloaded or verified. Nothing was installed.";

bool Checked() { return dg::FindItem(ids::Settings::Dialog, ids::Settings::AutoUpdate)->checked; }
std::string LastCheckShown() { return dg::FindItem(ids::Settings::Dialog, ids::Settings::LastCheck)->text; }

class SettingsDialogTest : public ControllerFixture {
protected:
    void SetUp() override
    {
        ControllerFixture::SetUp();
        standin::win::ClearShellLog();
        standin::win::ClearTrust();
    }
    void TearDown() override
    {
        installerDeployment_.reset();
        installerServer_.reset();
        standin::win::ClearShellLog();
        standin::win::ClearTrust();
        ControllerFixture::TearDown();
    }

    // The installer server over HTTPS with a test authority, serving the standard
    // installer; answers the installer's bytes.
    std::string ServeInstaller()
    {
        installerServer_.emplace(CatalogueServer::Kind::AuthorityTls);
        const std::string installer = Catalogue().installer;
        installerServer_->AddFile(standin::services::kInstallerPath, installer);
        Deployment deployment = CurrentDeployment();
        deployment.installerServer = installerServer_->Url("");
        deployment.testTrustedAuthorities = installerServer_->AuthorityPem();
        // A TLS handshake in a sanitizer build on a busy machine takes its time.
        deployment.connectTimeout = std::chrono::seconds(10);
        installerDeployment_.emplace(deployment);
        return installer;
    }

    // Runs the dialog on a controller of its own; true when it closed accepted.
    bool Run()
    {
        SettingsController controller;
        bool accepted = false;
        {
            SettingsDialog dialog(controller);
            EXPECT_EQ(controller.view, &dialog);
            accepted = dialog.Invoke();
        }
        EXPECT_EQ(controller.view, nullptr);
        return accepted;
    }

private:
    std::optional<CatalogueServer> installerServer_;
    std::optional<ScopedDeployment> installerDeployment_;
};

TEST_F(SettingsDialogTest, WithoutTheSettingItIsWrittenYesAtOnceAndShownChecked)
{
    const std::string picture = PicturePath(Temp(), "settings.png");
    bool checked = false;
    std::string lastCheck;
    dg::User(ids::Settings::Dialog)
        .Do("look",
            [&] {
                checked = Checked();
                lastCheck = LastCheckShown();
            })
        .Picture(picture)
        .Click(ids::Settings::Cancel);
    EXPECT_FALSE(Run());

    EXPECT_TRUE(checked);
    EXPECT_EQ(lastCheck, "Date and time of last check: ");
    // Written before the user did anything; Cancel wrote nothing more.
    EXPECT_EQ(SettingsText(),
              "<?xml version=\"1.0\"?>\n<Settings>\n\t<Update AutoUpdateEnabled=\"yes\" />\n</Settings>\n");
    EXPECT_EQ(dg::FocusCalls(), (std::vector<dg::FocusRecord>{{0, -1}}));
}

TEST_F(SettingsDialogTest, OkWritesTheSwitchAsTheUserLeftIt)
{
    struct Case {
        const char* stored;
        bool shown;
        int clicks;
        const char* written;
    };
    const Case cases[] = {
        {"yes", true, 1, "no"},
        {"no", false, 1, "yes"},
        {"no", false, 2, "no"},
        {"yes", true, 0, "yes"},
        // Only "yes" spelled so switches the check on.
        {"Yes", false, 0, "no"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.stored) + ", " + std::to_string(c.clicks) + " clicks");
        WriteSettings(std::string("<Settings help_url=\"h\"><Update AutoUpdateEnabled=\"") + c.stored +
                      "\" LastUpdateCheck=\"2023-11-14 23:13:20\" /><ActiveLibraries /></Settings>");
        std::optional<bool> shown;
        std::string lastCheck;
        dg::DialogScript user = dg::User(ids::Settings::Dialog);
        user.Do("look", [&] {
            shown = Checked();
            lastCheck = LastCheckShown();
        });
        for (int i = 0; i < c.clicks; ++i)
            user.Click(ids::Settings::AutoUpdate);
        user.Click(ids::Settings::Ok);
        EXPECT_TRUE(Run());
        EXPECT_EQ(shown, c.shown);
        EXPECT_EQ(lastCheck, "Date and time of last check: 2023-11-14 23:13:20");
        EXPECT_EQ(SettingsText(), std::string("<?xml version=\"1.0\"?>\n<Settings help_url=\"h\">\n\t<Update "
                                              "AutoUpdateEnabled=\"") +
                                      c.written +
                                      "\" LastUpdateCheck=\"2023-11-14 23:13:20\" />\n\t<ActiveLibraries />\n"
                                      "</Settings>\n");
    }
}

TEST_F(SettingsDialogTest, TheLastCheckIsCutBeforeACharacterThatDoesNotFit)
{
    // "Date and time of last check: " is 29 bytes; the text holds at most 99.
    const std::string prefix = "Date and time of last check: ";
    struct Case {
        std::string value;
        std::string shown;
    };
    const Case cases[] = {
        {std::string(70, 'x'), prefix + std::string(70, 'x')},
        {std::string(71, 'x'), prefix + std::string(70, 'x')},
        // A two-byte and a four-byte character across the 99th byte.
        {std::string(69, 'x') + "\xc3\xa9", prefix + std::string(69, 'x')},
        {std::string(68, 'x') + "\xc3\xa9", prefix + std::string(68, 'x') + "\xc3\xa9"},
        {std::string(67, 'x') + "\xf0\x9f\x98\x80", prefix + std::string(67, 'x')},
        {std::string(66, 'x') + "\xf0\x9f\x98\x80" + "y", prefix + std::string(66, 'x') + "\xf0\x9f\x98\x80"},
    };
    for (const Case& c : cases) {
        WriteSettings("<Settings><Update AutoUpdateEnabled=\"no\" LastUpdateCheck=\"" + c.value +
                      "\" /></Settings>");
        std::string shown;
        dg::User(ids::Settings::Dialog).Do("look", [&] { shown = LastCheckShown(); }).CloseBox();
        EXPECT_FALSE(Run());
        EXPECT_EQ(shown, c.shown) << c.value;
    }
}

TEST_F(SettingsDialogTest, CheckForUpdateNowStartsATrustedInstallerAndTheDialogStays)
{
    const std::string installer = ServeInstaller();
    WriteSettings("<Settings><Update AutoUpdateEnabled=\"no\" /></Settings>");
    std::vector<bool> running;
    auto look = [&] { running.push_back(dg::FindPanel(ids::Settings::Dialog)->running); };
    dg::User(ids::Settings::Dialog)
        // Not signed: nothing is started and the user hears of it.
        .Click(ids::Settings::UpdateNow)
        .Do("look", look)
        .Do("sign the installer", [&] { standin::win::TrustSignedContent(installer); })
        .Click(ids::Settings::UpdateNow)
        .Do("look", look)
        .Click(ids::Settings::Cancel);
    EXPECT_FALSE(Run());

    EXPECT_EQ(running, (std::vector<bool>{true, true}));
    EXPECT_EQ(Report().Alerts(), std::vector<std::string>{kInstallerFailure});
    const auto shell = standin::win::ShellLog();
    ASSERT_EQ(shell.size(), 1u);
    EXPECT_EQ(shell[0].verb, "open");
    EXPECT_EQ(shell[0].file, SpecialFolder().string() + "\\Tarvel\\daVED\\ArchiCAD\\Temp\\installer.exe");
    EXPECT_EQ(ReadFile(DataRoot() / "Temp" / "installer.exe"), installer);
    // The settings are as they were.
    EXPECT_EQ(SettingsText(), "<Settings><Update AutoUpdateEnabled=\"no\" /></Settings>");
}

}  // namespace
}  // namespace tarvel::testing
