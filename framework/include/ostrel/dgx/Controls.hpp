// Typed owners of the host's dialog items. A wrapper creates its item from the
// dialog resource by id, owns it, shows it, watches its events through its own
// observer, and hands each event to a hook; the default hooks call the function
// objects the dialog assigns (onClick, onCheckChanged, onTextChanged).
#pragma once

#include "DG.hpp"
#include "ostrel/ApplicationContent.hpp"
#include "ostrel/interop/Interop.hpp"

#include <functional>
#include <string>
#include <type_traits>

namespace ostrel::ac::dgx {

// Owns one host object (an item or a panel) and knows the owning dialog's cache.
// Not copyable (written out rather than through boost::noncopyable, which the
// dialog classes name as a base of their own).
template <typename Derived, typename DGType>
class ControlX {
public:
    ControlX(const ControlX&) = delete;
    ControlX& operator=(const ControlX&) = delete;

    DGType& GetItem() const { return *item; }
    DGType* operator->() const { return item; }
    ApplicationContentCache* GetContentCache() const { return contentCache; }

protected:
    explicit ControlX(ApplicationContentCache* cache) : item(nullptr), contentCache(cache) {}
    ~ControlX() { delete item; }

    DGType* item;
    ApplicationContentCache* contentCache;
};

// Calls the wrapper's hook for each event, then the host's own handler. Mouse
// moves and tooltip requests of the item stop here.
template <typename Wrapper>
class DGXItemObserver : public DG::ItemObserver {
public:
    explicit DGXItemObserver(Wrapper* owner) : owner_(owner) {}

    void SpecChanged(const DG::ItemChangeEvent& ev) override
    {
        owner_->OnChanged(ev);
        DG::ItemObserver::SpecChanged(ev);
    }
    void SpecClicked(const DG::ItemClickEvent& ev) override
    {
        owner_->OnClicked(ev);
        DG::ItemObserver::SpecClicked(ev);
    }
    void SpecMouseUp(const DG::ItemMouseUpEvent& ev, bool* processed) override
    {
        owner_->OnMouseUp(ev, processed);
        DG::ItemObserver::SpecMouseUp(ev, processed);
    }
    void ItemWheelTrackEntered(const DG::ItemWheelTrackEvent& ev, bool* processed) override
    {
        owner_->OnWheelTrackEntered(ev, processed);
        DG::ItemObserver::ItemWheelTrackEntered(ev, processed);
    }
    void ItemWheelTracked(const DG::ItemWheelTrackEvent& ev, bool* processed) override
    {
        owner_->OnWheelTracked(ev, processed);
        DG::ItemObserver::ItemWheelTracked(ev, processed);
    }
    void ItemWheelTrackExited(const DG::ItemWheelTrackEvent& ev, bool* processed) override
    {
        owner_->OnWheelTrackExited(ev, processed);
        DG::ItemObserver::ItemWheelTrackExited(ev, processed);
    }
    void ItemChanged(const DG::ItemChangeEvent& ev) override
    {
        owner_->OnValueChanged(ev);
        DG::ItemObserver::ItemChanged(ev);
    }
    void ItemMouseMoved(const DG::ItemMouseMoveEvent&, bool*) override {}
    void ItemToolTipRequested(const DG::ItemHelpEvent&, GS::UniString*) override {}

private:
    Wrapper* owner_;
};

template <typename Derived, typename DGItem>
class ItemControlX : public ControlX<Derived, DGItem> {
public:
    virtual ~ItemControlX() { onClick = nullptr; }

    // The hooks, called by the observer.
    virtual void OnChanged(const DG::ItemChangeEvent&) {}
    virtual void OnClicked(const DG::ItemClickEvent&)
    {
        if (onClick)
            onClick();
    }
    virtual void OnMouseUp(const DG::ItemMouseUpEvent&, bool* processed)
    {
        *processed = false;
        if (onClick) {
            onClick();
            *processed = true;
        }
    }
    virtual void OnWheelTrackEntered(const DG::ItemWheelTrackEvent&, bool*) {}
    virtual void OnWheelTracked(const DG::ItemWheelTrackEvent&, bool*) {}
    virtual void OnWheelTrackExited(const DG::ItemWheelTrackEvent&, bool*) {}
    virtual void OnValueChanged(const DG::ItemChangeEvent&) {}
    virtual void OnUpdate(const DG::UserItemUpdateEvent&) {}

protected:
    ItemControlX(const DG::Panel& panel, short itemId, ApplicationContentCache* cache)
        : ControlX<Derived, DGItem>(cache), observer(this), onClick()
    {
        this->item = new DGItem(panel, itemId);
        this->item->Attach(observer);
        this->item->Show();
    }
    // Items made at run time on a rectangle (user items).
    ItemControlX(const DG::Panel& panel, const DG::Rect& rect, ApplicationContentCache* cache)
        requires std::is_constructible_v<DGItem, const DG::Panel&, const DG::Rect&, short, short>
        : ControlX<Derived, DGItem>(cache), observer(this), onClick()
    {
        this->item = new DGItem(panel, DG::Rect(rect), 0, 0);
        this->item->Attach(observer);
        this->item->Show();
    }

    DGXItemObserver<ItemControlX> observer;

public:
    std::function<void()> onClick;
};

// The item's text, as UTF-16 units.
template <typename Derived>
class HasTextPropertyX {
public:
    void SetText(const std::wstring& text)
    {
        static_cast<Derived&>(*this).GetItem().SetText(ostrel::ac::interop::ToUniString(text));
    }
    std::wstring GetText() const
    {
        return ostrel::ac::interop::ToWString(static_cast<const Derived&>(*this).GetItem().GetText());
    }

    std::function<void(const std::wstring&)> onTextChanged;

protected:
    ~HasTextPropertyX() { onTextChanged = nullptr; }
};

template <typename Derived, typename DGItem>
class CheckItemX : public ItemControlX<Derived, DGItem> {
public:
    std::function<void(bool)> onCheckChanged;

protected:
    using ItemControlX<Derived, DGItem>::ItemControlX;
    ~CheckItemX() override { onCheckChanged = nullptr; }
};

template <typename Derived, typename DGItem>
class StaticTextX : public ItemControlX<Derived, DGItem> {
protected:
    using ItemControlX<Derived, DGItem>::ItemControlX;
};

template <typename Derived, typename DGItem>
class BarControlX : public ItemControlX<Derived, DGItem> {
protected:
    using ItemControlX<Derived, DGItem>::ItemControlX;
};

template <typename Derived, typename DGItem>
class EditControlX : public ItemControlX<Derived, DGItem> {
protected:
    using ItemControlX<Derived, DGItem>::ItemControlX;
};

template <typename Derived, typename DGItem>
class TextEditBaseX : public EditControlX<Derived, DGItem> {
protected:
    using EditControlX<Derived, DGItem>::EditControlX;
};

class ButtonX : public ItemControlX<ButtonX, DG::Button>, public HasTextPropertyX<ButtonX> {
public:
    ButtonX(const DG::Panel& panel, short itemId, ApplicationContentCache* cache)
        : ItemControlX(panel, itemId, cache)
    {
    }
};

class LeftTextX : public StaticTextX<LeftTextX, DG::LeftText>, public HasTextPropertyX<LeftTextX> {
public:
    LeftTextX(const DG::Panel& panel, short itemId, ApplicationContentCache* cache) : StaticTextX(panel, itemId, cache)
    {
    }
};

class CenterTextX : public StaticTextX<CenterTextX, DG::CenterText>, public HasTextPropertyX<CenterTextX> {
public:
    CenterTextX(const DG::Panel& panel, short itemId, ApplicationContentCache* cache)
        : StaticTextX(panel, itemId, cache)
    {
    }
};

class ProgressBarX : public BarControlX<ProgressBarX, DG::ProgressBar> {
public:
    ProgressBarX(const DG::Panel& panel, short itemId, ApplicationContentCache* cache)
        : BarControlX(panel, itemId, cache)
    {
    }
};

class SeparatorX : public ItemControlX<SeparatorX, DG::Separator> {
public:
    SeparatorX(const DG::Panel& panel, short itemId, ApplicationContentCache* cache)
        : ItemControlX(panel, itemId, cache)
    {
    }
};

class CheckBoxX : public CheckItemX<CheckBoxX, DG::CheckBox>, public HasTextPropertyX<CheckBoxX> {
public:
    CheckBoxX(const DG::Panel& panel, short itemId, ApplicationContentCache* cache) : CheckItemX(panel, itemId, cache)
    {
    }

    void OnValueChanged(const DG::ItemChangeEvent&) override
    {
        if (onCheckChanged)
            onCheckChanged(GetItem().IsChecked());
    }
};

class TextEditX : public TextEditBaseX<TextEditX, DG::TextEdit>, public HasTextPropertyX<TextEditX> {
public:
    TextEditX(const DG::Panel& panel, short itemId, ApplicationContentCache* cache)
        : TextEditBaseX(panel, itemId, cache)
    {
    }

    void OnValueChanged(const DG::ItemChangeEvent&) override
    {
        if (onTextChanged)
            onTextChanged(GetText());
    }
};

}  // namespace ostrel::ac::dgx
