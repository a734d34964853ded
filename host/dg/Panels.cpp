// Panels: modal dialogs and modeless palettes made from dialog resources, their
// sizes, windows and close requests.
#include "DgInternal.hpp"

#include <cstdint>

namespace standin::dg::detail {

// Made from the resource; a panel the call was refused for is failed (dead and
// never registered): later calls on it do nothing.
std::shared_ptr<PanelState> CreatePanel(GSResModule module, short resId, GSResModule iconModule, bool palette,
                                        const char* call)
{
    auto panel = std::make_shared<PanelState>();
    panel->dead = true;
    panel->failed = true;
    if (!CheckCall(call))
        return panel;
    const DialogResource* resource = FindDialogResource(module, resId, call);
    if (resource == nullptr)
        return panel;
    if (resource->palette != palette) {
        Refuse(std::string(call) + ": dialog resource " + std::to_string(resId) + " is a " +
               (resource->palette ? "palette" : "modal dialog"));
        return panel;
    }
    State& state = GetState();
    if (iconModule != module && state.modules.count(iconModule) == 0) {
        Refuse(std::string(call) + ": icon resource module " + std::to_string(iconModule) + " is not known");
        return panel;
    }
    panel->dead = false;
    panel->failed = false;
    panel->id = state.nextPanelId++;
    if (state.nextPanelId <= 0)
        state.nextPanelId = 1;
    panel->resource = resource;
    panel->modal = !palette;
    panel->title = resource->title;
    panel->clientWidth = resource->width;
    panel->clientHeight = resource->height;
    for (const ItemResource& itemResource : resource->items) {
        auto item = std::make_shared<ItemState>();
        item->panel = panel;
        item->id = itemResource.id;
        item->kind = itemResource.kind;
        item->rect = itemResource.rect;
        item->text = itemResource.text;
        itemResource.kind->Read(itemResource.attributes, *item);
        if (item->iconId != 0) {
            item->iconModule = iconModule;
            item->iconPixels = FindIcon(iconModule, item->iconId, call);
        }
        panel->items.push_back(std::move(item));
    }
    state.panels.push_back(panel);
    return panel;
}

void DestroyPanel(const std::shared_ptr<PanelState>& panel, const char* call)
{
    if (!panel || panel->dead || !CheckCall(call))
        return;
    State& state = GetState();
    if (panel->running)
        Refuse(panel->Describe() + " was deleted while its modal loop runs");
    for (const auto& item : panel->items) {
        if (item->wrapper != nullptr)
            Refuse(item->Describe() + " outlived its panel");
        item->dead = true;
    }
    panel->dead = true;
    panel->observers.clear();
    std::erase(state.modalStack, panel.get());
    std::erase(state.panels, panel);
}

}  // namespace standin::dg::detail

namespace DG {

using namespace standin::dg::detail;

Panel::Panel(std::shared_ptr<PanelState> state) : state_(std::move(state))
{
    if (!state_->dead)
        state_->object = this;
}

Panel::~Panel() { DestroyPanel(state_, "DG::Panel::~Panel"); }

short Panel::GetId() const { return Usable(state_, "DG::Panel::GetId") ? state_->id : 0; }

short Panel::GetResourceId() const { return state_->ResourceId(); }

short Panel::GetItemCount() const
{
    if (!Usable(state_, "DG::Panel::GetItemCount"))
        return 0;
    short count = 0;
    for (const auto& item : state_->items)
        count = std::max(count, item->id);
    return count;
}

void Panel::EnableItems()
{
    if (Usable(state_, "DG::Panel::EnableItems"))
        for (const auto& item : state_->items)
            item->enabled = true;
}

void Panel::DisableItems()
{
    if (Usable(state_, "DG::Panel::DisableItems"))
        for (const auto& item : state_->items)
            item->enabled = false;
}

void Dialog::EnableIdleEvent(bool sendForInactiveApp)
{
    if (!Usable(State(), "DG::Dialog::EnableIdleEvent"))
        return;
    State()->idleEnabled = true;
    State()->idleForInactiveApp = sendForInactiveApp;
}

void Dialog::DisableIdleEvent()
{
    if (Usable(State(), "DG::Dialog::DisableIdleEvent"))
        State()->idleEnabled = false;
}

short Dialog::GetClientWidth() const
{
    return Usable(State(), "DG::Dialog::GetClientWidth") ? State()->clientWidth : 0;
}

short Dialog::GetClientHeight() const
{
    return Usable(State(), "DG::Dialog::GetClientHeight") ? State()->clientHeight : 0;
}

void Dialog::SetClientSize(short width, short height, short fixPoint, bool keepOld)
{
    if (!Usable(State(), "DG::Dialog::SetClientSize"))
        return;
    if (width <= 0 || height <= 0 || fixPoint < 0 || fixPoint > 8) {
        Refuse("DG::Dialog::SetClientSize: " + std::to_string(width) + " x " + std::to_string(height) +
               " with fix point " + std::to_string(fixPoint) + " on " + State()->Describe());
        return;
    }
    State()->clientSizeFixPoint = fixPoint;
    State()->clientSizeKeepOld = keepOld;
    State()->clientWidth = std::max(width, State()->minWidth);
    State()->clientHeight = std::max(height, State()->minHeight);
}

void Dialog::SetMinClientSize(short width, short height)
{
    if (!Usable(State(), "DG::Dialog::SetMinClientSize"))
        return;
    if (width < 0 || height < 0) {
        Refuse("DG::Dialog::SetMinClientSize: a negative size on " + State()->Describe());
        return;
    }
    State()->minWidth = width;
    State()->minHeight = height;
}

GS::UniString Dialog::GetTitle() const
{
    return Usable(State(), "DG::Dialog::GetTitle") ? GS::UniString(State()->title) : GS::UniString();
}

void Dialog::SetTitle(const GS::UniString& title)
{
    if (Usable(State(), "DG::Dialog::SetTitle"))
        State()->title = title.Units();
}

HWND Dialog::GetWindow() const
{
    if (!Usable(State(), "DG::Dialog::GetWindow"))
        return nullptr;
    // A distinct window value per panel, never dereferenced.
    return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0x7D000000u + 16u * static_cast<unsigned>(State()->id)));
}

ModalDialog::ModalDialog(GSResModule resModule, short resId, GSResModule dialIconResModule)
    : Dialog(CreatePanel(resModule, resId, dialIconResModule, false, "DG::ModalDialog"))
{
}

ModalDialog::~ModalDialog() = default;

void ModalDialog::PostCloseRequest(ModalResponse response)
{
    if (!Usable(State(), "DG::ModalDialog::PostCloseRequest"))
        return;
    if (response != Accept && response != Cancel) {
        Refuse("DG::ModalDialog::PostCloseRequest: response " + std::to_string(static_cast<int>(response)) +
               " on " + State()->Describe());
        return;
    }
    if (!State()->running) {
        Refuse("DG::ModalDialog::PostCloseRequest on " + State()->Describe() + ", which is not running");
        return;
    }
    State()->pendingClose = CloseRequest{response == Accept, response == Cancel, response};
}

void ModelessBase::BeginEventProcessing()
{
    if (Usable(State(), "DG::ModelessBase::BeginEventProcessing"))
        State()->eventProcessing = true;
}

void ModelessBase::EndEventProcessing()
{
    if (Usable(State(), "DG::ModelessBase::EndEventProcessing"))
        State()->eventProcessing = false;
}

void ModelessBase::Show(short refDialogId)
{
    if (!Usable(State(), "DG::ModelessBase::Show"))
        return;
    if (refDialogId != TopModeless) {
        bool known = false;
        for (const auto& panel : GetState().panels)
            known = known || panel->id == refDialogId;
        if (!known) {
            Refuse("DG::ModelessBase::Show: " + std::to_string(refDialogId) + " names no window, on " +
                   State()->Describe());
            return;
        }
    }
    const auto panel = State();
    panel->visible = true;
    if (!panel->everShown) {
        panel->everShown = true;
        Step("open " + panel->Describe());
        PanelOpenEvent ev(this);
        DeliverToPanel(panel, [&](PanelObserver& observer) { observer.PanelOpened(ev); });
    }
}

void ModelessBase::Hide()
{
    if (Usable(State(), "DG::ModelessBase::Hide"))
        State()->visible = false;
}

bool ModelessBase::IsVisible() const { return Usable(State(), "DG::ModelessBase::IsVisible") && State()->visible; }

void ModelessBase::Activate() { Usable(State(), "DG::ModelessBase::Activate"); }

void ModelessBase::BringToFront() { Usable(State(), "DG::ModelessBase::BringToFront"); }

void ModelessBase::SendCloseRequest()
{
    if (!Usable(State(), "DG::ModelessBase::SendCloseRequest"))
        return;
    const auto panel = State();
    if (AskClose(panel, CloseRequest{false, false, ModalDialog::Cancel}) && !panel->dead)
        panel->visible = false;
}

void ModelessBase::SetStatus(short status)
{
    if (Usable(State(), "DG::ModelessBase::SetStatus"))
        State()->status = status;
}

Palette::Palette(GSResModule resModule, short resId, GSResModule dialIconResModule, const GS::Guid& guid)
    : ModelessBase(CreatePanel(resModule, resId, dialIconResModule, true, "DG::Palette"))
{
    if (State()->dead)
        return;
    if (guid.IsNull())
        Refuse("DG::Palette: " + State()->Describe() + " made with the null GUID");
    State()->guid = guid;
}

Palette::~Palette() = default;

bool Palette::IsDocked() const { return Usable(State(), "DG::Palette::IsDocked") && State()->docked; }

GS::Guid Palette::GetGuid() const { return State()->guid; }

}  // namespace DG
