// The About dialog, run by the scripted user.
#include "dialogs/AboutDialog.hpp"

#include "DialogIds.hpp"
#include "DialogNames.hpp"
#include "HostFixture.hpp"
#include "Main/Globals.hpp"
#include "Pictures.hpp"
#include "standin/Dialogs.hpp"
#include "standin/Win.hpp"
#include "transfer/Deployment.hpp"

#include <algorithm>

namespace {

namespace dg = standin::dg;
namespace ids = tarvel::ids;
using tarvel::dialogs::AboutDialog;
using tarvel::testing::Named;

class AboutDialogTest : public tarvel::testing::HostFixture {
protected:
    void SetUp() override
    {
        HostFixture::SetUp();
        tarvel::InitializeAddOnGlobals();
        standin::win::ClearShellLog();
    }
};

TEST_F(AboutDialogTest, LinksOpenTheirTargetsAndCloseCancels)
{
    tarvel::Deployment deployment;
    deployment.supportSite = "https://help.tarvel.example/";
    tarvel::ScopedDeployment scoped(deployment);
    std::string version;
    dg::User(ids::About::Dialog)
        .Do("read the version", [&] { version = dg::FindItem(ids::About::Dialog, ids::About::Version)->text; })
        .Click(ids::About::MakerWeb)
        .Click(ids::About::Mail)
        .Click(ids::About::ProductWeb)
        .Click(ids::About::Support)
        .Click(ids::About::Close);
    AboutDialog dialog;
    EXPECT_FALSE(dialog.Invoke());

    EXPECT_EQ(version, "Version 1.28");
    const auto log = standin::win::ShellLog();
    std::vector<std::string> opened;
    for (const auto& request : log) {
        EXPECT_EQ(request.verb, "open");
        EXPECT_EQ(request.parameters, "");
        EXPECT_EQ(request.directory, "");
        EXPECT_EQ(request.showCommand, 10);
        opened.push_back(request.file);
    }
    EXPECT_EQ(opened, (std::vector<std::string>{"http://www.tarvel.example/", "mailto:info@tarvel.example",
                                                "https://bim.tarvel.example/", "https://help.tarvel.example/"}));
    EXPECT_EQ(dg::Steps().back(), "close " + Named(ids::About::Dialog) + " (cancelled)");
    // The focus reset of the current dialog.
    EXPECT_EQ(dg::FocusCalls(), (std::vector<dg::FocusRecord>{{0, -1}}));
}

TEST_F(AboutDialogTest, ALinkThatCannotBeOpenedLeavesTheDialogAsItWas)
{
    standin::win::SetShellResult(2);
    bool open = false;
    dg::User(ids::About::Dialog)
        .Click(ids::About::ProductWeb)
        .Do("look", [&] { open = dg::FindPanel(ids::About::Dialog)->running; })
        .CloseBox();
    AboutDialog dialog;
    EXPECT_FALSE(dialog.Invoke());
    standin::win::SetShellResult(42);
    EXPECT_TRUE(open);
    EXPECT_EQ(standin::win::ShellLog().size(), 1u);

    // A support address that is no UTF-8 throws inside the link's handler: the guard
    // writes it out and the dialog stays open (the stand-in refuses an exception that
    // leaves a handler, which fails the test).
    tarvel::Deployment deployment;
    deployment.supportSite = "https://\xFF/";
    tarvel::ScopedDeployment scoped(deployment);
    open = false;
    dg::User(ids::About::Dialog)
        .Click(ids::About::Support)
        .Do("look", [&] { open = dg::FindPanel(ids::About::Dialog)->running; })
        .Click(ids::About::Close);
    ::testing::internal::CaptureStderr();
    AboutDialog second;
    EXPECT_FALSE(second.Invoke());
    const std::string written = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(open);
    EXPECT_EQ(written.rfind("LOAD FAILED! \n", 0), 0u) << written;
    EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 2) << written;
    EXPECT_EQ(standin::win::ShellLog().size(), 1u);
}

TEST_F(AboutDialogTest, ThePictureShowsTheLogoWhereTheResourcePutsIt)
{
    const std::string file = (Temp().Path() / "about.png").string();
    dg::User(ids::About::Dialog).Picture(file).Click(ids::About::Close);
    AboutDialog dialog;
    dialog.Invoke();

    // The file holds what the dialog showed; the frame's size gives the client area.
    dg::Picture picture = dg::ReadPng(file);
    const dg::Picture shown = dg::RenderPanel(ids::About::Dialog);
    ASSERT_EQ(picture.width, 352);
    ASSERT_EQ(picture.height, 506);
    EXPECT_EQ(picture.pixels, shown.pixels);
    picture.clientLeft = shown.clientLeft;
    picture.clientTop = shown.clientTop;
    const dg::Picture logo = dg::PictureOf(DG::NativeImage(DG::Icon(1000, 32510), 1.0).GetNativeImage());
    const auto item = dg::FindItem(ids::About::Dialog, ids::About::Logo);
    ASSERT_EQ(logo.width, item->rect.GetWidth());
    ASSERT_EQ(logo.height, item->rect.GetHeight());
    // Each pixel of the logo, laid over the dialog's background, where item 4 lies.
    EXPECT_LE(tarvel::testing::OverlayDifference(picture, picture.clientLeft + item->rect.left,
                                                 picture.clientTop + item->rect.top, logo, 0xF0F0F0),
              2);
    // The logo's blue square is there, and nothing is drawn just left of the item.
    EXPECT_EQ(picture.At(picture.clientLeft + 75 + 30, picture.clientTop + 20 + 10), logo.At(30, 10));
    EXPECT_EQ(picture.At(picture.clientLeft + 70, picture.clientTop + 50), 0xFFF0F0F0u);
}

}  // namespace
