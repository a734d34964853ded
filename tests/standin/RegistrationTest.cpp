// The stand-in host's registrations and deliveries, driven by a small add-on of the
// test's own: what it refuses, what it records, and what a handler receives.
#include "HostFixture.hpp"

#include "HostRecords.hpp"
#include "ostrel/interop/HostApi.hpp"
#include "standin/AddOn.hpp"
#include "standin/Elements.hpp"

#include <thread>

namespace {

using namespace HostInterface;
using Phase = standin::RegistrationModule::Phase;

// What the test add-on's handlers received.
struct Received {
    std::vector<MenuCommandRecord> commands;
    std::vector<std::int32_t> paletteMessages;
    std::vector<std::int32_t> events;
    std::vector<SelectionChangeRecord> selections;
    bool throwNext = false;
} received;

GSErrCode OnMenu(const MenuCommandRecord* command)
{
    received.commands.push_back(*command);
    if (std::exchange(received.throwNext, false))
        throw std::runtime_error("menu failure");
    return 0;
}
GSErrCode OnPalette(std::int32_t, std::int32_t message, void* byte)
{
    received.paletteMessages.push_back(message);
    if (message == PaletteIsVisible)
        *static_cast<std::uint8_t*>(byte) = 1;
    return 0;
}
GSErrCode OnEvent(std::int32_t event)
{
    received.events.push_back(event);
    return 0;
}
GSErrCode OnSelection(const SelectionChangeRecord* change)
{
    received.selections.push_back(*change);
    return 0;
}

const GS::Guid kGuid("835C2B73-CBA4-4179-84BA-2D907BC7E3BA");

class RegistrationTest : public tarvel::testing::HostFixture {
protected:
    void SetUp() override
    {
        HostFixture::SetUp();
        received = Received{};
    }
    standin::RegistrationModule& Registrations() { return Host().Module<standin::RegistrationModule>(); }

    // The add-on registered as an initialisation would, then running.
    void RegisterAll()
    {
        Registrations().SetPhase(Phase::Registering);
        ASSERT_EQ(HostApi_AddMenu(32504, 32524, 0, 0), 0);
        ASSERT_EQ(HostApi_AddMenu(32507, 32527, 12, 0), 0);
        Registrations().SetPhase(Phase::Starting);
        ASSERT_EQ(HostApi_SetMenuCommandHandler(32504, OnMenu), 0);
        ASSERT_EQ(HostApi_SetMenuCommandHandler(32507, OnMenu), 0);
        ASSERT_EQ(HostApi_AddPaletteWindow(0x0FE77916, OnPalette, 1015, kGuid), 0);
        ASSERT_EQ(HostApi_WatchProjectEvents(ProjectNew | ProjectClose, OnEvent), 0);
        ASSERT_EQ(HostApi_WatchSelection(OnSelection), 0);
        Registrations().SetPhase(Phase::Running);
    }
};

TEST_F(RegistrationTest, MenusAreReadFromTheirStringListsAndRefusedWhenWrong)
{
    Registrations().SetPhase(Phase::Registering);
    ASSERT_EQ(HostApi_AddMenu(32504, 32524, 0, 0), 0);
    ASSERT_EQ(HostApi_AddMenu(32507, 32527, 12, 0), 0);
    const auto menus = Registrations().Menus();
    ASSERT_EQ(menus.size(), 2u);
    EXPECT_EQ(menus[0].title, u"Tarvel\u00AE");
    ASSERT_EQ(menus[0].items.size(), 1u);
    EXPECT_EQ(menus[0].items[0].text, u"Settings");
    EXPECT_EQ(menus[0].items[0].codes, (std::vector<std::string>{"E3", "ES", "EE", "EI"}));
    EXPECT_EQ(menus[0].items[0].iconId, 32503);
    EXPECT_EQ(menus[0].prompts, (std::vector<std::u16string>{u"Tarvel", u"Settings"}));
    // Placed into a menu of the host's: no title, its one string is the item.
    EXPECT_EQ(menus[1].title, u"");
    ASSERT_EQ(menus[1].items.size(), 1u);
    EXPECT_EQ(menus[1].items[0].text, u"Tarvel");
    EXPECT_EQ(menus[1].items[0].iconId, 0);
    EXPECT_EQ(menus[1].position, 12);

    struct Case {
        const char* what;
        std::int16_t menu, prompt;
        std::int32_t position, flags;
        GSErrCode answer;
    };
    const Case cases[] = {
        {"registered already", 32504, 32524, 0, 0, ErrBadParameter},
        {"no such list", 31999, 32524, 0, 0, ErrNotFound},
        {"no prompt list", 32505, 31999, 0, 0, ErrNotFound},
        {"a prompt missing", 32505, 32527, 0, 0, ErrBadParameter},
        {"a title without items", 32527, 32527, 0, 0, ErrBadParameter},
        {"an unknown flag", 32505, 32525, 0, 4, ErrBadParameter},
        {"a negative position", 32505, 32525, -1, 0, ErrBadParameter},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HostApi_AddMenu(c.menu, c.prompt, c.position, c.flags), c.answer) << c.what;

    // Only the interface registration adds menus, only on the user-interface thread.
    GSErrCode offThread = 0;
    std::thread([&] { offThread = HostApi_AddMenu(32505, 32525, 0, 0); }).join();
    EXPECT_EQ(offThread, ErrWrongState);
    Registrations().SetPhase(Phase::Starting);
    EXPECT_EQ(HostApi_AddMenu(32505, 32525, 0, 0), ErrWrongState);
}

TEST_F(RegistrationTest, HandlersAndThePaletteAreTakenOnlyInTheInitialisationAndWhenWhole)
{
    Registrations().SetPhase(Phase::Registering);
    ASSERT_EQ(HostApi_AddMenu(32504, 32524, 0, 0), 0);
    EXPECT_EQ(HostApi_SetMenuCommandHandler(32504, OnMenu), ErrWrongState);
    EXPECT_EQ(HostApi_AddPaletteWindow(1, OnPalette, 0, kGuid), ErrWrongState);
    EXPECT_EQ(HostApi_WatchProjectEvents(1, OnEvent), ErrWrongState);
    EXPECT_EQ(HostApi_WatchSelection(OnSelection), ErrWrongState);

    Registrations().SetPhase(Phase::Starting);
    struct Case {
        const char* what;
        GSErrCode answer;
        std::function<GSErrCode()> call;
    };
    const Case cases[] = {
        {"a menu never added", ErrNotFound, [] { return HostApi_SetMenuCommandHandler(32505, OnMenu); }},
        {"no menu handler", ErrBadParameter, [] { return HostApi_SetMenuCommandHandler(32504, nullptr); }},
        {"no palette handler", ErrBadParameter, [] { return HostApi_AddPaletteWindow(1, nullptr, 0, kGuid); }},
        {"palette id 0", ErrBadParameter, [] { return HostApi_AddPaletteWindow(0, OnPalette, 0, kGuid); }},
        {"null GUID", ErrBadParameter, [] { return HostApi_AddPaletteWindow(1, OnPalette, 0, GS::Guid()); }},
        {"an unknown palette flag", ErrBadParameter,
         [] { return HostApi_AddPaletteWindow(1, OnPalette, 0x400, kGuid); }},
        {"an empty event mask", ErrBadParameter, [] { return HostApi_WatchProjectEvents(0, OnEvent); }},
        {"an unknown event", ErrBadParameter, [] { return HostApi_WatchProjectEvents(0x81, OnEvent); }},
        {"removing a palette never added", ErrNotFound, [] { return HostApi_RemovePaletteWindow(1); }},
        {"the palette", 0, [] { return HostApi_AddPaletteWindow(1, OnPalette, 1015, kGuid); }},
        {"the same id again", ErrBadParameter,
         [] { return HostApi_AddPaletteWindow(1, OnPalette, 0, GS::Guid("11E85B84-8DD1-491B-A2FE-337454A91545")); }},
        {"the same GUID again", ErrBadParameter, [] { return HostApi_AddPaletteWindow(2, OnPalette, 0, kGuid); }},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.call(), c.answer) << c.what;
    const auto palette = Registrations().Palette(1);
    ASSERT_TRUE(palette.has_value());
    EXPECT_EQ(palette->flags, 1015);
    EXPECT_EQ(palette->guid, kGuid);

    // The clean-up may end what it registered, and register nothing new.
    Registrations().SetPhase(Phase::Stopping);
    EXPECT_EQ(HostApi_WatchProjectEvents(1, OnEvent), ErrWrongState);
    EXPECT_EQ(HostApi_WatchProjectEvents(1, nullptr), 0);
    EXPECT_EQ(HostApi_RemovePaletteWindow(1), 0);
    EXPECT_TRUE(Registrations().Palettes().empty());
}

TEST_F(RegistrationTest, DeliveriesReachOnlyWhatIsRegisteredWhileTheAddOnRuns)
{
    RegisterAll();

    ASSERT_EQ(Registrations().ChooseMenu(32504), GSErrCode{0});
    ASSERT_EQ(received.commands.size(), 1u);
    EXPECT_EQ(received.commands[0].menuList, 32504);
    EXPECT_EQ(received.commands[0].itemIndex, 1);
    EXPECT_FALSE(Registrations().ChooseMenu(32504, 2).has_value());  // no second item
    EXPECT_FALSE(Registrations().ChooseMenu(32505).has_value());     // never registered

    const auto visible = Registrations().SendPaletteMessage(0x0FE77916, PaletteIsVisible);
    EXPECT_TRUE(visible.delivered);
    EXPECT_EQ(visible.byte, 1);
    const auto hide = Registrations().SendPaletteMessage(0x0FE77916, PaletteHide);
    EXPECT_EQ(hide.byte, standin::PaletteDelivery::kUntouchedByte);
    EXPECT_FALSE(Registrations().SendPaletteMessage(0x0FE77917, PaletteHide).delivered);
    EXPECT_EQ(received.paletteMessages, (std::vector<std::int32_t>{PaletteIsVisible, PaletteHide}));

    for (std::int32_t event : {ProjectNew, ProjectOpen, ProjectSave, ProjectClose, ProjectQuit})
        Registrations().FireProjectEvent(event);
    EXPECT_EQ(received.events, (std::vector<std::int32_t>{ProjectNew, ProjectClose}));

    // Every selection change the test makes reaches the handler.
    auto& elements = Host().Module<standin::ElementModule>();
    const GS::Guid door = elements.Place(ElemDoor, 0, 1, 2, {});
    const GS::Guid wall = elements.Place(ElemWall, 0, 1, 2, {});
    elements.Select({door, wall});
    elements.Select({});
    ASSERT_EQ(received.selections.size(), 2u);
    EXPECT_EQ(received.selections[0].firstItemKind, standin::ElementModule::KindOfType(ElemDoor));
    EXPECT_EQ(received.selections[0].selectedCount, 2);
    EXPECT_EQ(received.selections[0].firstItem, door);
    EXPECT_EQ(received.selections[1].firstItemKind, 0);
    EXPECT_EQ(received.selections[1].selectedCount, 0);

    // An exception that leaves a handler is the add-on's fault, recorded for the test.
    received.throwNext = true;
    EXPECT_EQ(Registrations().ChooseMenu(32507), ErrGeneral);
    EXPECT_EQ(Registrations().EscapedExceptions(),
              std::vector<std::string>{"menu command handler: menu failure"});

    // A null handler ends the project events; nothing reaches an add-on that stopped.
    Registrations().SetPhase(Phase::Stopping);
    ASSERT_EQ(HostApi_WatchProjectEvents(ProjectNew, nullptr), 0);
    Registrations().SetPhase(Phase::Running);
    EXPECT_FALSE(Registrations().FireProjectEvent(ProjectNew).has_value());
    Registrations().SetPhase(Phase::NotLoaded);
    EXPECT_FALSE(Registrations().ChooseMenu(32504).has_value());
    EXPECT_FALSE(Registrations().SendPaletteMessage(0x0FE77916, PaletteHide).delivered);
    elements.Select({door});
    EXPECT_EQ(received.selections.size(), 2u);

    // Deliveries come on the user-interface thread only.
    Registrations().SetPhase(Phase::Running);
    std::thread([&] { EXPECT_THROW(Registrations().ChooseMenu(32504), std::logic_error); }).join();
}

}  // namespace
