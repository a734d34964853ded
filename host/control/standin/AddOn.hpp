// The add-on as the stand-in host runs it: the load contract (exports, function
// table, the four entry points, each in its order and checked), what the add-on
// registers (menus, the palette window, project events, selection changes), and the
// host's deliveries to it (menu commands, palette messages, project events, selection
// changes), all on the user-interface thread.
#pragma once

#include "HostRecords.hpp"
#include "standin/Host.hpp"

#include <cstdint>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace standin {

// The add-on broke the load contract, or a step was asked for out of its order.
class ContractError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One item of a registered menu: its text without the host's "^" codes, the codes
// ("E3", "ES", ...) and the icon id that ends the item (0 when none).
struct MenuItem {
    std::u16string text;
    std::vector<std::string> codes;
    std::int32_t iconId = 0;
};

struct MenuRegistration {
    std::int16_t menuList = 0;
    std::int16_t promptList = 0;
    std::int32_t position = 0;
    std::int32_t flags = 0;
    // A menu at position 0 is a submenu of the add-on menu: its first string is the
    // title, the others its items. At another position every string is an item.
    std::u16string title;
    std::vector<MenuItem> items;
    // One prompt per string of the menu list.
    std::vector<std::u16string> prompts;
    HostInterface::MenuCommandHandler handler = nullptr;
};

struct PaletteRegistration {
    std::int32_t referenceId = 0;
    std::int32_t flags = 0;
    GS::Guid guid;
    HostInterface::PaletteMessageHandler handler = nullptr;
};

// What a palette message did: whether a registered palette received it, its answer,
// and the byte the message's pointer named (set to kUntouchedByte before).
struct PaletteDelivery {
    static constexpr std::uint8_t kUntouchedByte = 0xA5;
    bool delivered = false;
    GSErrCode answer = 0;
    std::uint8_t byte = kUntouchedByte;
};

class RegistrationModule : public HostModule {
public:
    // Where the add-on is in its life: the registration calls are accepted only in the
    // entry point that makes them, the deliveries only while it runs.
    enum class Phase { NotLoaded, Registering, Starting, Running, Stopping };

    explicit RegistrationModule(Host& host) : host_(host) {}
    void Install(FunctionTable& table) override;

    void SetPhase(Phase phase);
    Phase CurrentPhase() const;
    // Forgets every registration (the add-on was unloaded).
    void Reset();

    std::vector<MenuRegistration> Menus() const;
    std::optional<PaletteRegistration> Palette(std::int32_t referenceId) const;
    std::vector<PaletteRegistration> Palettes() const;
    // The mask of the registered project-event handler; none when no handler is registered.
    std::optional<std::int32_t> ProjectEventMask() const;
    bool WatchesSelection() const;

    // The host's deliveries, on the user-interface thread while the add-on runs. Each
    // answers the handler's code, or nothing when no handler takes the delivery.
    // A menu command for the item (from 1) of a registered menu with a handler.
    std::optional<GSErrCode> ChooseMenu(std::int16_t menuList, std::int16_t item = 1);
    // A palette message to the palette registered with the reference id.
    PaletteDelivery SendPaletteMessage(std::int32_t referenceId, std::int32_t message);
    // A project event (one bit), delivered when the registered mask holds it.
    std::optional<GSErrCode> FireProjectEvent(std::int32_t event);
    // The selection changed (the element module calls it after every change): the
    // selection handler hears of it with the first item and the count.
    std::optional<GSErrCode> NotifySelectionChanged(const std::vector<HostInterface::SelectedItem>& selection);
    // Selection changes delivered so far.
    int SelectionNotifications() const;

    // Exceptions that left a handler of the add-on (each a fault of the add-on).
    std::vector<std::string> EscapedExceptions() const;

    // The operations.
    GSErrCode AddMenu(std::int16_t menuList, std::int16_t promptList, std::int32_t position, std::int32_t flags);
    GSErrCode SetMenuCommandHandler(std::int16_t menuList, HostInterface::MenuCommandHandler handler);
    GSErrCode AddPaletteWindow(std::int32_t referenceId, HostInterface::PaletteMessageHandler handler,
                               std::int32_t flags, const GS::Guid& guid);
    GSErrCode RemovePaletteWindow(std::int32_t referenceId);
    GSErrCode WatchProjectEvents(std::int32_t mask, HostInterface::ProjectEventHandler handler);
    GSErrCode WatchSelection(HostInterface::SelectionChangeHandler handler);

private:
    bool OnUiThread() const;
    // Delivery preconditions: user-interface thread, the add-on running.
    void CheckDelivery(const char* what) const;
    template <typename F>
    GSErrCode Deliver(const char* handler, F&& call);

    Host& host_;
    mutable std::mutex mutex_;
    Phase phase_ = Phase::NotLoaded;
    std::vector<MenuRegistration> menus_;
    std::vector<PaletteRegistration> palettes_;
    HostInterface::ProjectEventHandler projectHandler_ = nullptr;
    std::int32_t projectMask_ = 0;
    HostInterface::SelectionChangeHandler selectionHandler_ = nullptr;
    int selectionNotifications_ = 0;
    std::vector<std::string> escaped_;
};

// The add-on's exports, from its library file or linked into the program.
struct AddOnExports {
    HostInterface::GetExportedFuncAddrsFn getExports = nullptr;
    HostInterface::SetImportedFuncAddrsFn setImports = nullptr;
};

struct EntryPoints {
    HostInterface::IdentifyAddOnFn identify = nullptr;
    HostInterface::RegisterMenusFn registerMenus = nullptr;
    HostInterface::StartAddOnFn start = nullptr;
    HostInterface::StopAddOnFn stop = nullptr;
};

// Loads the add-on as the host does, one step at a time, on the host's user-interface
// thread. A step asked for out of its order, an add-on that breaks the contract, or an
// exception that leaves an entry point throws ContractError naming what happened.
//
//   ReadExports   the 120-byte export table: format word 0x001C0001, level 28000,
//                 four entry points, every other byte zero
//   Install       the function table; the answer must be 0
//   Identify      the environment check: 0 (does not run here) or 2 (runs, with its
//                 name and description filled)
//   Register      the interface registration (menus)
//   Start         the initialisation
//   Stop          the clean-up
//   Unload        the library file is closed; the host forgets the registrations
//
// Register, Start and Stop answer 0, or a code that a host call answered during the
// entry point, or the general error 0x81060001; any other answer breaks the contract.
// Register is run only after Identify answered 2, Start only after Register answered 0.
class AddOnLoader {
public:
    enum class Step { Opened, ExportsRead, Installed, Declined, Identified, RegisterFailed, Registered, Started, Stopped, Unloaded };

    // Opens the library file (dlopen) and looks up the two exports.
    AddOnLoader(Host& host, const std::string& libraryFile);
    // The add-on's code linked into this program.
    AddOnLoader(Host& host, AddOnExports exports);
    // Unloads (without the clean-up) when still loaded.
    ~AddOnLoader();
    AddOnLoader(const AddOnLoader&) = delete;
    AddOnLoader& operator=(const AddOnLoader&) = delete;

    const EntryPoints& ReadExports();
    void Install();
    std::int32_t Identify(std::int32_t applicationId = HostInterface::HostApplicationId);
    GSErrCode Register();
    GSErrCode Start();
    GSErrCode Stop();
    void Unload();

    Step LastStep() const { return step_; }
    // After ReadExports; tests call them out of order through these.
    const EntryPoints& Entries() const { return entries_; }
    const AddOnExports& Exports() const { return exports_; }
    // The environment record as the environment check left it.
    const HostInterface::EnvironmentRecord& Environment() const { return environment_; }

private:
    void Expect(Step expected, const char* what) const;
    template <typename F>
    GSErrCode RunEntryPoint(const char* name, RegistrationModule::Phase phase, F&& entry);

    Host& host_;
    void* library_ = nullptr;
    AddOnExports exports_;
    EntryPoints entries_;
    HostInterface::EnvironmentRecord environment_{};
    Step step_ = Step::Opened;
};

}  // namespace standin
