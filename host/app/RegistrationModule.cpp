#include "standin/AddOn.hpp"
#include "standin/CoreModules.hpp"

#include <algorithm>
#include <exception>
#include <utility>

namespace standin {
namespace {

using namespace HostInterface;

RegistrationModule& Registrations() { return Host::Current().Module<RegistrationModule>(); }

GSErrCode AddMenu(std::int16_t menuList, std::int16_t promptList, std::int32_t position, std::int32_t flags)
{
    return Registrations().AddMenu(menuList, promptList, position, flags);
}
GSErrCode SetMenuCommandHandler(std::int16_t menuList, MenuCommandHandler handler)
{
    return Registrations().SetMenuCommandHandler(menuList, handler);
}
GSErrCode AddPaletteWindow(std::int32_t referenceId, PaletteMessageHandler handler, std::int32_t flags,
                           const GS::Guid& guid)
{
    return Registrations().AddPaletteWindow(referenceId, handler, flags, guid);
}
GSErrCode RemovePaletteWindow(std::int32_t referenceId) { return Registrations().RemovePaletteWindow(referenceId); }
GSErrCode WatchProjectEvents(std::int32_t mask, ProjectEventHandler handler)
{
    return Registrations().WatchProjectEvents(mask, handler);
}
GSErrCode WatchSelection(SelectionChangeHandler handler) { return Registrations().WatchSelection(handler); }

// The strings of a list, from entry 1 up to the first missing one.
std::vector<std::u16string> ListStrings(const ResourceModule& resources, std::int16_t list)
{
    std::vector<std::u16string> strings;
    for (std::int16_t index = 1; index < 0x7FFF; ++index) {
        const std::u16string* text = resources.String(list, index);
        if (text == nullptr)
            break;
        strings.push_back(*text);
    }
    return strings;
}

bool IsDigits(const std::string& text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "Text^E3^ES^32503": the text, then codes; a number may only end the item (its icon).
bool ParseMenuItem(const std::u16string& source, MenuItem& item)
{
    const std::size_t caret = source.find(u'^');
    item.text = source.substr(0, caret);
    if (item.text.empty())
        return false;
    std::size_t at = caret;
    while (at != std::u16string::npos) {
        const std::size_t next = source.find(u'^', at + 1);
        const std::u16string unit =
            source.substr(at + 1, next == std::u16string::npos ? std::u16string::npos : next - at - 1);
        std::string code;
        for (char16_t c : unit) {
            if (c < 0x21 || c > 0x7E)
                return false;
            code.push_back(static_cast<char>(c));
        }
        if (code.empty())
            return false;
        if (IsDigits(code)) {
            if (next != std::u16string::npos || code.size() > 9)
                return false;
            item.iconId = std::stoi(code);
        } else {
            item.codes.push_back(code);
        }
        at = next;
    }
    return true;
}

}  // namespace

void RegistrationModule::Install(FunctionTable& table)
{
    table.Provide<Slot::AddMenu, &standin::AddMenu>();
    table.Provide<Slot::SetMenuCommandHandler, &standin::SetMenuCommandHandler>();
    table.Provide<Slot::AddPaletteWindow, &standin::AddPaletteWindow>();
    table.Provide<Slot::RemovePaletteWindow, &standin::RemovePaletteWindow>();
    table.Provide<Slot::WatchProjectEvents, &standin::WatchProjectEvents>();
    table.Provide<Slot::WatchSelection, &standin::WatchSelection>();
}

void RegistrationModule::SetPhase(Phase phase)
{
    std::lock_guard lock(mutex_);
    phase_ = phase;
}

RegistrationModule::Phase RegistrationModule::CurrentPhase() const
{
    std::lock_guard lock(mutex_);
    return phase_;
}

void RegistrationModule::Reset()
{
    std::lock_guard lock(mutex_);
    phase_ = Phase::NotLoaded;
    menus_.clear();
    palettes_.clear();
    projectHandler_ = nullptr;
    projectMask_ = 0;
    selectionHandler_ = nullptr;
}

std::vector<MenuRegistration> RegistrationModule::Menus() const
{
    std::lock_guard lock(mutex_);
    return menus_;
}

std::optional<PaletteRegistration> RegistrationModule::Palette(std::int32_t referenceId) const
{
    std::lock_guard lock(mutex_);
    for (const auto& palette : palettes_)
        if (palette.referenceId == referenceId)
            return palette;
    return std::nullopt;
}

std::vector<PaletteRegistration> RegistrationModule::Palettes() const
{
    std::lock_guard lock(mutex_);
    return palettes_;
}

std::optional<std::int32_t> RegistrationModule::ProjectEventMask() const
{
    std::lock_guard lock(mutex_);
    if (projectHandler_ == nullptr)
        return std::nullopt;
    return projectMask_;
}

bool RegistrationModule::WatchesSelection() const
{
    std::lock_guard lock(mutex_);
    return selectionHandler_ != nullptr;
}

int RegistrationModule::SelectionNotifications() const
{
    std::lock_guard lock(mutex_);
    return selectionNotifications_;
}

std::vector<std::string> RegistrationModule::EscapedExceptions() const
{
    std::lock_guard lock(mutex_);
    return escaped_;
}

bool RegistrationModule::OnUiThread() const { return std::this_thread::get_id() == host_.UiThread(); }

void RegistrationModule::CheckDelivery(const char* what) const
{
    if (!OnUiThread())
        throw std::logic_error(std::string("stand-in host: ") + what + " is delivered on the user-interface thread only");
}

template <typename F>
GSErrCode RegistrationModule::Deliver(const char* handler, F&& call)
{
    // No lock is held here: the handler calls the host.
    try {
        return call();
    } catch (const std::exception& e) {
        std::lock_guard lock(mutex_);
        escaped_.push_back(std::string(handler) + ": " + e.what());
    } catch (...) {
        std::lock_guard lock(mutex_);
        escaped_.push_back(std::string(handler) + ": an exception of unknown type");
    }
    return ErrGeneral;
}

// Registration calls come from the add-on's entry points on the user-interface thread;
// each is accepted only in the phases where the host takes it.

GSErrCode RegistrationModule::AddMenu(std::int16_t menuList, std::int16_t promptList, std::int32_t position,
                                      std::int32_t flags)
{
    if (!OnUiThread() || CurrentPhase() != Phase::Registering)
        return ErrWrongState;
    if ((flags & ~MenuFlagBits) != 0 || position < 0)
        return ErrBadParameter;
    const auto& resources = host_.Module<ResourceModule>();
    const std::vector<std::u16string> strings = ListStrings(resources, menuList);
    const std::vector<std::u16string> prompts = ListStrings(resources, promptList);
    if (strings.empty() || prompts.empty())
        return ErrNotFound;
    // Every string of the menu has its prompt.
    if (prompts.size() != strings.size())
        return ErrBadParameter;

    MenuRegistration menu;
    menu.menuList = menuList;
    menu.promptList = promptList;
    menu.position = position;
    menu.flags = flags;
    menu.prompts = prompts;
    std::size_t first = 0;
    if (position == 0) {
        if (strings.size() < 2 || strings[0].find(u'^') != std::u16string::npos || strings[0].empty())
            return ErrBadParameter;
        menu.title = strings[0];
        first = 1;
    }
    for (std::size_t i = first; i < strings.size(); ++i) {
        MenuItem item;
        if (!ParseMenuItem(strings[i], item))
            return ErrBadParameter;
        menu.items.push_back(std::move(item));
    }

    std::lock_guard lock(mutex_);
    for (const auto& known : menus_)
        if (known.menuList == menuList)
            return ErrBadParameter;
    menus_.push_back(std::move(menu));
    return 0;
}

GSErrCode RegistrationModule::SetMenuCommandHandler(std::int16_t menuList, MenuCommandHandler handler)
{
    const Phase phase = CurrentPhase();
    if (!OnUiThread() || (phase != Phase::Starting && phase != Phase::Running))
        return ErrWrongState;
    if (handler == nullptr)
        return ErrBadParameter;
    std::lock_guard lock(mutex_);
    for (auto& menu : menus_)
        if (menu.menuList == menuList) {
            menu.handler = handler;
            return 0;
        }
    return ErrNotFound;
}

GSErrCode RegistrationModule::AddPaletteWindow(std::int32_t referenceId, PaletteMessageHandler handler,
                                               std::int32_t flags, const GS::Guid& guid)
{
    const Phase phase = CurrentPhase();
    if (!OnUiThread() || (phase != Phase::Starting && phase != Phase::Running))
        return ErrWrongState;
    if (handler == nullptr || referenceId == 0 || guid.IsNull() || (flags & ~PaletteFlagBits) != 0)
        return ErrBadParameter;
    std::lock_guard lock(mutex_);
    for (const auto& palette : palettes_)
        if (palette.referenceId == referenceId || palette.guid == guid)
            return ErrBadParameter;
    palettes_.push_back(PaletteRegistration{referenceId, flags, guid, handler});
    return 0;
}

GSErrCode RegistrationModule::RemovePaletteWindow(std::int32_t referenceId)
{
    const Phase phase = CurrentPhase();
    if (!OnUiThread() || phase == Phase::NotLoaded || phase == Phase::Registering)
        return ErrWrongState;
    std::lock_guard lock(mutex_);
    const auto it = std::find_if(palettes_.begin(), palettes_.end(),
                                 [&](const PaletteRegistration& p) { return p.referenceId == referenceId; });
    if (it == palettes_.end())
        return ErrNotFound;
    palettes_.erase(it);
    return 0;
}

GSErrCode RegistrationModule::WatchProjectEvents(std::int32_t mask, ProjectEventHandler handler)
{
    const Phase phase = CurrentPhase();
    if (!OnUiThread() || phase == Phase::NotLoaded || phase == Phase::Registering)
        return ErrWrongState;
    if (handler == nullptr) {
        // A null handler ends the delivery.
        std::lock_guard lock(mutex_);
        projectHandler_ = nullptr;
        projectMask_ = 0;
        return 0;
    }
    if (phase == Phase::Stopping)
        return ErrWrongState;
    if (mask == 0 || (mask & ~ProjectEventBits) != 0)
        return ErrBadParameter;
    std::lock_guard lock(mutex_);
    projectHandler_ = handler;
    projectMask_ = mask;
    return 0;
}

GSErrCode RegistrationModule::WatchSelection(SelectionChangeHandler handler)
{
    const Phase phase = CurrentPhase();
    if (!OnUiThread() || phase == Phase::NotLoaded || phase == Phase::Registering)
        return ErrWrongState;
    if (handler != nullptr && phase == Phase::Stopping)
        return ErrWrongState;
    std::lock_guard lock(mutex_);
    selectionHandler_ = handler;
    return 0;
}

std::optional<GSErrCode> RegistrationModule::ChooseMenu(std::int16_t menuList, std::int16_t item)
{
    CheckDelivery("a menu command");
    MenuCommandHandler handler = nullptr;
    {
        std::lock_guard lock(mutex_);
        if (phase_ != Phase::Running)
            return std::nullopt;
        for (const auto& menu : menus_)
            if (menu.menuList == menuList && item >= 1 && static_cast<std::size_t>(item) <= menu.items.size())
                handler = menu.handler;
    }
    if (handler == nullptr)
        return std::nullopt;
    MenuCommandRecord record;
    ZeroRecord(record);
    record.menuList = menuList;
    record.itemIndex = item;
    return Deliver("menu command handler", [&] { return handler(&record); });
}

PaletteDelivery RegistrationModule::SendPaletteMessage(std::int32_t referenceId, std::int32_t message)
{
    CheckDelivery("a palette message");
    PaletteDelivery delivery;
    PaletteMessageHandler handler = nullptr;
    {
        std::lock_guard lock(mutex_);
        if (phase_ != Phase::Running)
            return delivery;
        for (const auto& palette : palettes_)
            if (palette.referenceId == referenceId)
                handler = palette.handler;
    }
    if (handler == nullptr)
        return delivery;
    delivery.delivered = true;
    std::uint8_t byte = PaletteDelivery::kUntouchedByte;
    delivery.answer = Deliver("palette message handler", [&] { return handler(referenceId, message, &byte); });
    delivery.byte = byte;
    return delivery;
}

std::optional<GSErrCode> RegistrationModule::FireProjectEvent(std::int32_t event)
{
    CheckDelivery("a project event");
    ProjectEventHandler handler = nullptr;
    {
        std::lock_guard lock(mutex_);
        if (phase_ != Phase::Running || (event & projectMask_) == 0)
            return std::nullopt;
        handler = projectHandler_;
    }
    if (handler == nullptr)
        return std::nullopt;
    return Deliver("project event handler", [&] { return handler(event); });
}

std::optional<GSErrCode> RegistrationModule::NotifySelectionChanged(const std::vector<SelectedItem>& selection)
{
    SelectionChangeHandler handler = nullptr;
    {
        std::lock_guard lock(mutex_);
        if (phase_ != Phase::Running || selectionHandler_ == nullptr)
            return std::nullopt;
        handler = selectionHandler_;
        ++selectionNotifications_;
    }
    CheckDelivery("a selection change");
    SelectionChangeRecord record;
    ZeroRecord(record);
    record.selectedCount = static_cast<std::int32_t>(selection.size());
    if (!selection.empty()) {
        record.firstItemKind = selection.front().kind;
        record.firstItem = selection.front().guid;
    }
    return Deliver("selection change handler", [&] { return handler(&record); });
}

}  // namespace standin
