// Observers and event delivery: attaching, the host's base handlers (which log
// that an event reached them), and raising the common events of panels and items.
#include "DgInternal.hpp"

namespace standin::dg::detail {

EventSource::EventSource(const std::shared_ptr<ItemState>& item)
{
    if (item && item->wrapper != nullptr) {
        item_ = item->wrapper;
    } else {
        view_ = Access::View(item);
        item_ = view_.get();
    }
}

void RaiseClicked(const std::shared_ptr<ItemState>& item)
{
    EventSource source(item);
    DG::ItemClickEvent ev(source.Get());
    DeliverToItem<DG::ItemObserver>(item, [&](DG::ItemObserver& observer) { observer.SpecClicked(ev); });
}

void RaiseItemChanged(const std::shared_ptr<ItemState>& item)
{
    EventSource source(item);
    DG::ItemChangeEvent ev(source.Get());
    DeliverToItem<DG::ItemObserver>(item, [&](DG::ItemObserver& observer) { observer.ItemChanged(ev); });
}

bool RaiseMouseUp(const std::shared_ptr<ItemState>& item, DG::Point where)
{
    EventSource source(item);
    DG::ItemMouseUpEvent ev(source.Get(), where);
    bool processed = false;
    DeliverToItem<DG::ItemObserver>(item,
                                    [&](DG::ItemObserver& observer) { observer.SpecMouseUp(ev, &processed); });
    return processed;
}

void RaiseUpdate(const std::shared_ptr<ItemState>& item, const std::shared_ptr<DrawTarget>& target)
{
    EventSource source(item);
    DG::UserItemUpdateEvent ev(source.Get(), target);
    DeliverToItem<DG::UserItemObserver>(item,
                                        [&](DG::UserItemObserver& observer) { observer.UserItemUpdate(ev); });
}

bool AskClose(const std::shared_ptr<PanelState>& panel, const CloseRequest& request)
{
    bool accepted = true;
    DG::PanelCloseRequestEvent ev(panel->object, request.accepted, request.cancelled);
    DeliverToPanel(panel, [&](DG::PanelObserver& observer) { observer.PanelCloseRequested(ev, &accepted); });
    return accepted;
}

void DeliverIdle(const std::shared_ptr<PanelState>& panel)
{
    const std::shared_ptr<PanelState> keep = panel;
    keep->inIdle = true;
    DG::PanelIdleEvent ev(keep->object);
    DeliverToPanel(keep, [&](DG::PanelObserver& observer) { observer.PanelIdle(ev); });
    keep->inIdle = false;
}

void ItemKind::MouseMoved(const std::shared_ptr<ItemState>& item, DG::Point where) const
{
    EventSource source(item);
    DG::ItemMouseMoveEvent ev(source.Get(), where);
    bool processed = false;
    DeliverToItem<DG::ItemObserver>(item,
                                    [&](DG::ItemObserver& observer) { observer.ItemMouseMoved(ev, &processed); });
}

}  // namespace standin::dg::detail

namespace DG {

using namespace standin::dg::detail;

void Panel::Attach(PanelObserver& observer)
{
    if (!Usable(state_, "DG::Panel::Attach"))
        return;
    auto& observers = state_->observers;
    if (std::find(observers.begin(), observers.end(), &observer) != observers.end()) {
        Refuse("DG::Panel::Attach: the observer is attached to " + state_->Describe() + " already");
        return;
    }
    observers.push_back(&observer);
}

void Panel::Detach(PanelObserver& observer)
{
    if (Usable(state_, "DG::Panel::Detach"))
        std::erase(state_->observers, &observer);
}

void Item::Attach(ItemObserver& observer)
{
    if (!Usable(state_, "DG::Item::Attach"))
        return;
    auto& observers = state_->observers;
    if (std::find(observers.begin(), observers.end(), &observer) != observers.end()) {
        Refuse("DG::Item::Attach: the observer is attached to " + state_->Describe() + " already");
        return;
    }
    observers.push_back(&observer);
}

void Item::Detach(ItemObserver& observer)
{
    if (Usable(state_, "DG::Item::Detach"))
        std::erase(state_->observers, &observer);
}

PanelObserver::~PanelObserver()
{
    for (const auto& panel : GetState().panels)
        std::erase(panel->observers, this);
}

ItemObserver::~ItemObserver()
{
    for (const auto& panel : GetState().panels)
        for (const auto& item : panel->items)
            std::erase(item->observers, this);
}

void PanelObserver::PanelOpened(const PanelOpenEvent& ev) { LogBaseCall(ev.GetSource(), "PanelOpened"); }

void PanelObserver::PanelCloseRequested(const PanelCloseRequestEvent& ev, bool* accepted)
{
    LogBaseCall(ev.GetSource(), "PanelCloseRequested");
}

void PanelObserver::PanelIdle(const PanelIdleEvent& ev) { LogBaseCall(ev.GetSource(), "PanelIdle"); }

void PanelObserver::PanelResized(const PanelResizeEvent& ev) { LogBaseCall(ev.GetSource(), "PanelResized"); }

void PanelObserver::PanelToolTipRequested(const PanelHelpEvent& ev, GS::UniString* text)
{
    LogBaseCall(ev.GetSource(), "PanelToolTipRequested");
}

void ItemObserver::SpecChanged(const ItemChangeEvent& ev) { LogBaseCall(ev.GetSource(), "SpecChanged"); }

void ItemObserver::SpecClicked(const ItemClickEvent& ev) { LogBaseCall(ev.GetSource(), "SpecClicked"); }

void ItemObserver::SpecMouseUp(const ItemMouseUpEvent& ev, bool* processed)
{
    LogBaseCall(ev.GetSource(), "SpecMouseUp", processed);
}

void ItemObserver::ItemChanged(const ItemChangeEvent& ev) { LogBaseCall(ev.GetSource(), "ItemChanged"); }

void ItemObserver::ItemMouseMoved(const ItemMouseMoveEvent& ev, bool* processed)
{
    LogBaseCall(ev.GetSource(), "ItemMouseMoved", processed);
}

void ItemObserver::ItemToolTipRequested(const ItemHelpEvent& ev, GS::UniString* text)
{
    LogBaseCall(ev.GetSource(), "ItemToolTipRequested");
}

void ItemObserver::ItemWheelTrackEntered(const ItemWheelTrackEvent& ev, bool* processed)
{
    LogBaseCall(ev.GetSource(), "ItemWheelTrackEntered", processed);
}

void ItemObserver::ItemWheelTracked(const ItemWheelTrackEvent& ev, bool* processed)
{
    LogBaseCall(ev.GetSource(), "ItemWheelTracked", processed);
}

void ItemObserver::ItemWheelTrackExited(const ItemWheelTrackEvent& ev, bool* processed)
{
    LogBaseCall(ev.GetSource(), "ItemWheelTrackExited", processed);
}

void UserItemObserver::UserItemMouseUp(const ItemMouseUpEvent& ev, bool* processed)
{
    LogBaseCall(ev.GetSource(), "UserItemMouseUp", processed);
}

void UserItemObserver::UserItemMouseMoved(const ItemMouseMoveEvent& ev, bool* processed)
{
    LogBaseCall(ev.GetSource(), "UserItemMouseMoved", processed);
}

void UserItemObserver::UserItemUpdate(const UserItemUpdateEvent& ev) { LogBaseCall(ev.GetSource(), "UserItemUpdate"); }

}  // namespace DG
