// Owner-drawn items: the wrapper places a host user item on a rectangle and takes
// its mouse-up, mouse-move, draw, tooltip and wheel events through its own
// user-item observer, in place of the plain item observer.
#pragma once

#include "ostrel/dgx/Controls.hpp"

namespace ostrel::ac::dgx {

// Calls the wrapper's hook for each event, then the host's own handler; every
// other event of the user item (the generic click among them) goes to the host's
// handlers alone.
template <typename Wrapper>
class DGXUserItemObserver : public DG::UserItemObserver {
public:
    explicit DGXUserItemObserver(Wrapper* owner) : owner_(owner) {}

    void UserItemMouseUp(const DG::ItemMouseUpEvent& ev, bool* processed) override
    {
        owner_->OnMouseUp(ev, processed);
        DG::UserItemObserver::UserItemMouseUp(ev, processed);
    }
    void UserItemMouseMoved(const DG::ItemMouseMoveEvent& ev, bool* processed) override
    {
        owner_->OnMouseMoved(ev, processed);
        DG::UserItemObserver::UserItemMouseMoved(ev, processed);
    }
    void UserItemUpdate(const DG::UserItemUpdateEvent& ev) override
    {
        owner_->OnUpdate(ev);
        DG::UserItemObserver::UserItemUpdate(ev);
    }
    void ItemToolTipRequested(const DG::ItemHelpEvent& ev, GS::UniString* text) override
    {
        owner_->OnToolTipRequested(ev, text);
        DG::UserItemObserver::ItemToolTipRequested(ev, text);
    }
    void ItemWheelTrackEntered(const DG::ItemWheelTrackEvent& ev, bool* processed) override
    {
        owner_->OnWheelTrackEntered(ev, processed);
        DG::UserItemObserver::ItemWheelTrackEntered(ev, processed);
    }
    void ItemWheelTracked(const DG::ItemWheelTrackEvent& ev, bool* processed) override
    {
        owner_->OnWheelTracked(ev, processed);
        DG::UserItemObserver::ItemWheelTracked(ev, processed);
    }
    void ItemWheelTrackExited(const DG::ItemWheelTrackEvent& ev, bool* processed) override
    {
        owner_->OnWheelTrackExited(ev, processed);
        DG::UserItemObserver::ItemWheelTrackExited(ev, processed);
    }

private:
    Wrapper* owner_;
};

template <typename Derived, typename DGItem = DG::UserItem>
class UserItemX : public ItemControlX<Derived, DGItem> {
public:
    UserItemX(const DG::Panel& panel, const DG::Rect& rect, ApplicationContentCache* cache)
        : ItemControlX<Derived, DGItem>(panel, rect, cache), userItemObserver(this)
    {
        this->item->Detach(this->observer);
        this->item->Attach(userItemObserver);
    }
    ~UserItemX() override
    {
        onWheelTrackEntered = nullptr;
        onWheelTracked = nullptr;
        onWheelTrackExited = nullptr;
    }

    void OnWheelTrackEntered(const DG::ItemWheelTrackEvent&, bool*) override
    {
        if (onWheelTrackEntered)
            onWheelTrackEntered();
    }
    void OnWheelTracked(const DG::ItemWheelTrackEvent& ev, bool*) override
    {
        if (onWheelTracked)
            onWheelTracked(ev.GetXTrackValue(), ev.GetYTrackValue());
    }
    void OnWheelTrackExited(const DG::ItemWheelTrackEvent&, bool*) override
    {
        if (onWheelTrackExited)
            onWheelTrackExited();
    }
    virtual void OnToolTipRequested(const DG::ItemHelpEvent&, GS::UniString*) {}
    virtual void OnMouseMoved(const DG::ItemMouseMoveEvent&, bool*) {}

protected:
    DGXUserItemObserver<UserItemX> userItemObserver;

public:
    std::function<void()> onWheelTrackEntered;
    std::function<void(short x, short y)> onWheelTracked;
    std::function<void()> onWheelTrackExited;
};

}  // namespace ostrel::ac::dgx
