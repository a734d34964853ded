// The base classes of every dialog: a panel wrapper owns the host's modal dialog
// or palette made from a dialog resource of the add-on, watches its events, and
// offers five of them as function objects and one initialisation hook.
#pragma once

#include "DG.hpp"
#include "DialogIds.hpp"
#include "ostrel/ApplicationContent.hpp"
#include "ostrel/dgx/Controls.hpp"
#include "ostrel/interop/HostApi.hpp"

#include <functional>
#include <type_traits>

namespace ostrel::ac::dgx {

// The palette's dialog resource.
constexpr short PaletteResourceId = tarvel::ids::Toolbar::Dialog;

// Forwards close requests, idle, opened, resized and tooltip requests to the
// panel's hooks; none of them goes on to the host's handlers. Each hook runs from a
// copy, so that a handler may end the life of its panel (and so of the hook) as its
// last act.
template <typename Panel>
class PanelXObserver : public DG::PanelObserver {
public:
    explicit PanelXObserver(Panel* owner) : owner_(owner) {}

    void PanelCloseRequested(const DG::PanelCloseRequestEvent& ev, bool* accepted) override
    {
        if (auto hook = owner_->onCloseRequested)
            *accepted = hook(ev.IsAccepted(), ev.IsCancelled());
        else
            *accepted = true;
    }
    void PanelIdle(const DG::PanelIdleEvent&) override
    {
        if (auto hook = owner_->onIdle)
            hook();
    }
    void PanelOpened(const DG::PanelOpenEvent&) override
    {
        if (auto hook = owner_->onOpened)
            hook();
    }
    void PanelResized(const DG::PanelResizeEvent&) override
    {
        if (auto hook = owner_->onResized)
            hook();
    }
    void PanelToolTipRequested(const DG::PanelHelpEvent& ev, GS::UniString* text) override
    {
        if (auto hook = owner_->onToolTipRequested)
            hook(static_cast<short>(ev.GetItem()->GetId()), text);
    }

private:
    Panel* owner_;
};

template <typename Derived, typename P>
class PanelBaseX : public ControlX<Derived, P> {
public:
    virtual ~PanelBaseX()
    {
        onToolTipRequested = nullptr;
        onOpened = nullptr;
        onResized = nullptr;
        onCloseRequested = nullptr;
        onIdle = nullptr;
    }

    // Sets up the dialog's controls; every dialog overrides it.
    virtual void InitializeControls() {}

    P& GetPanel() const { return *this->item; }

protected:
    // A modal dialog from the add-on's dialog resource; not shown until Invoke.
    PanelBaseX(short resourceId, ApplicationContentCache* cache)
        requires(!std::is_same_v<P, DG::Palette>)
        : ControlX<Derived, P>(cache), observer(this)
    {
        this->item = new P(HostApi_ResourceModuleId(), resourceId, HostApi_ResourceModuleId());
        this->item->Attach(observer);
    }
    // The palette, from its resource and GUID, with the shared default cache.
    explicit PanelBaseX(const GS::Guid& guid)
        requires std::is_same_v<P, DG::Palette>
        : ControlX<Derived, P>(&ApplicationContentCache::Default()), observer(this)
    {
        this->item = new P(HostApi_ResourceModuleId(), PaletteResourceId, HostApi_ResourceModuleId(), guid);
        this->item->Attach(observer);
    }

    PanelXObserver<PanelBaseX> observer;

public:
    std::function<void()> onIdle;
    std::function<bool(bool accepted, bool cancelled)> onCloseRequested;
    std::function<void()> onResized;
    std::function<void()> onOpened;
    std::function<void(short itemId, GS::UniString* text)> onToolTipRequested;
};

template <typename Derived, typename P>
class DialogBaseX : public PanelBaseX<Derived, P> {
protected:
    using PanelBaseX<Derived, P>::PanelBaseX;
};

// The base of every modal dialog (P = DG::ModalDialog) and of the palette.
template <typename P>
class DialogX : public DialogBaseX<DialogX<P>, P> {
protected:
    using DialogBaseX<DialogX<P>, P>::DialogBaseX;
};

class PaletteX : public DialogX<DG::Palette> {
protected:
    explicit PaletteX(const GS::Guid& guid) : DialogX<DG::Palette>(guid) {}
};

}  // namespace ostrel::ac::dgx
