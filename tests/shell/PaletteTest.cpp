// The shell with the palette dialog itself: what the menu, the palette messages, the
// project events and the selection do to the window the user sees.
#include "ShellFixture.hpp"

#include <algorithm>

#include "DialogIds.hpp"
#include "standin/Elements.hpp"

namespace tarvel::testing {
namespace {

using namespace HostInterface;
using namespace std::chrono_literals;
namespace dg = standin::dg;

class PaletteTest : public ShellFixture {
protected:
    void SetUp() override
    {
        ShellFixture::SetUp();
        SetToolbarPaletteFactory({});
        Start();
    }
    static bool Visible()
    {
        return dg::FindPanel(ids::Toolbar::Dialog) && dg::FindPanel(ids::Toolbar::Dialog)->visible;
    }
    standin::PaletteDelivery Send(std::int32_t message)
    {
        return Registrations().SendPaletteMessage(kPaletteId, message);
    }
};

TEST_F(PaletteTest, TheMenuShowsThePaletteAndItsMessagesReachTheWindow)
{
    EXPECT_FALSE(dg::FindPanel(ids::Toolbar::Dialog).has_value());
    ASSERT_EQ(Registrations().ChooseMenu(32500), GSErrCode{0});
    const auto panel = dg::FindPanel(ids::Toolbar::Dialog);
    ASSERT_TRUE(panel.has_value());
    EXPECT_EQ(panel->guid, "835C2B73-CBA4-4179-84BA-2D907BC7E3BA");
    EXPECT_TRUE(Visible());
    EXPECT_EQ(standin::win::LiveThreads(), 1);
    EXPECT_EQ(Send(PaletteIsVisible).byte, 1);

    Send(PaletteHide);
    EXPECT_FALSE(Visible());
    EXPECT_EQ(Send(PaletteIsVisible).byte, 0);
    Send(PaletteShow);
    EXPECT_TRUE(Visible());

    Send(PaletteDisableItems);
    const auto disabled = dg::FindPanel(ids::Toolbar::Dialog);
    for (const auto& item : disabled->items)
        EXPECT_FALSE(item.enabled) << item.id;
    Send(PaletteEnableItems);
    EXPECT_TRUE(dg::FindItem(ids::Toolbar::Dialog, ids::Toolbar::Settings)->enabled);
    // Nothing selected: the modify tool stays off when the rest comes back; it is only
    // ever on for a selected product.
    EXPECT_FALSE(dg::FindItem(ids::Toolbar::Dialog, ids::Toolbar::Modify)->enabled);

    // A close request hides it and stops its watcher; opening shows it and watches again.
    Send(PaletteCloseRequest);
    EXPECT_FALSE(Visible());
    EXPECT_TRUE(standin::win::WaitForAllThreads(2s));
    Send(PaletteOpen);
    Send(PaletteOpen);
    EXPECT_TRUE(Visible());
    EXPECT_EQ(standin::win::LiveThreads(), 1);
    // One palette (its progress dialog waits hidden beside it).
    const auto panels = dg::Panels();
    EXPECT_EQ(std::count_if(panels.begin(), panels.end(),
                            [](const dg::PanelInfo& p) { return p.resourceId == ids::Toolbar::Dialog; }),
              1);
}

TEST_F(PaletteTest, TheSelectionSwitchesTheModifyToolAndAProjectEventClosesThePalette)
{
    ASSERT_EQ(Registrations().ChooseMenu(32507), GSErrCode{0});
    auto& elements = Host().Module<standin::ElementModule>();
    standin::PartParameter url;
    url.name = "tv_base_url";
    url.text = u"https://catalogue.example/";
    const GS::Guid product = elements.Place(ElemObject, 1, 1, 1, {url});
    elements.Select({product});
    EXPECT_TRUE(dg::FindItem(ids::Toolbar::Dialog, ids::Toolbar::Modify)->enabled);
    elements.Select({});
    EXPECT_FALSE(dg::FindItem(ids::Toolbar::Dialog, ids::Toolbar::Modify)->enabled);

    EXPECT_EQ(Registrations().FireProjectEvent(ProjectClose), GSErrCode{0});
    EXPECT_FALSE(Visible());
    EXPECT_TRUE(standin::win::WaitForAllThreads(2s));
}

TEST_F(PaletteTest, TheCleanUpClosesThePaletteAndLeavesNothingForTheUnload)
{
    ASSERT_EQ(Registrations().ChooseMenu(32500), GSErrCode{0});
    ASSERT_EQ(standin::win::LiveThreads(), 1);
    EXPECT_EQ(Loader().Stop(), GSErrCode{0});
    EXPECT_EQ(standin::win::LiveThreads(), 0);
    EXPECT_EQ(toolbarDialog, nullptr);
    EXPECT_TRUE(dg::Panels().empty());
    EXPECT_EQ(toolbarController.view.load(), nullptr);
}

}  // namespace
}  // namespace tarvel::testing
