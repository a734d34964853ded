// Stand-in for the host's dialog manager (DG): panels made from the dialog
// resources of a resource module (modal dialogs, modeless palettes), the items on
// them, the observers that receive their events, alerts, and the icons and images
// that dialogs show.
//
// Every call belongs to the user-interface thread: a call from another thread is
// refused (see host/README.md) and does nothing.
#pragma once

#include "GSRoot.hpp"
#include "GX.hpp"
#include "NewDisplay.hpp"
#include "Win32.hpp"

#include <cstdint>
#include <memory>

namespace standin::dg::detail {
struct PanelState;
struct ItemState;
struct Access;
}  // namespace standin::dg::detail

namespace DG {

class Item;
class Panel;
class UserItem;

struct Point {
    short x = 0;
    short y = 0;
};

// Left, top, right and bottom edges; right and bottom lie just outside.
struct Rect {
    short left = 0;
    short top = 0;
    short right = 0;
    short bottom = 0;

    Rect() = default;
    Rect(short l, short t, short r, short b) : left(l), top(t), right(r), bottom(b) {}
    short GetWidth() const { return static_cast<short>(right - left); }
    short GetHeight() const { return static_cast<short>(bottom - top); }
    friend bool operator==(const Rect&, const Rect&) = default;
};

// ---------------------------------------------------------------------------
// Images and icons

// An image that may come from a resource module (module and id stay known).
class Image {
public:
    Image() = default;
    GSResModule GetResourceModule() const { return module_; }
    short GetResourceId() const { return id_; }
    bool IsEmpty() const;
    const std::shared_ptr<standin::dg::detail::Pixels>& GetPixels() const { return pixels_; }

protected:
    GSResModule module_ = 0;
    short id_ = 0;
    std::shared_ptr<standin::dg::detail::Pixels> pixels_;
};

class Icon : public Image {
    friend struct standin::dg::detail::Access;

public:
    Icon() = default;
    // The icon of that id in the module's icon resources (module -4: the host's
    // built-in icons). An id the module lacks gives an empty icon with that id.
    Icon(GSResModule module, short resourceId);
    explicit Icon(const GX::IconHandle& handle);
};

// An icon turned into a native image.
class NativeImage {
public:
    NativeImage(const Icon& icon, double resolutionFactor);
    NewDisplay::NativeImage GetNativeImage() const { return image_; }

private:
    NewDisplay::NativeImage image_;
};

// ---------------------------------------------------------------------------
// Events

class PanelEvent {
public:
    explicit PanelEvent(Panel* source) : source_(source) {}
    Panel* GetSource() const { return source_; }

private:
    Panel* source_;
};

class PanelOpenEvent : public PanelEvent {
public:
    using PanelEvent::PanelEvent;
};

class PanelIdleEvent : public PanelEvent {
public:
    using PanelEvent::PanelEvent;
};

class PanelResizeEvent : public PanelEvent {
public:
    PanelResizeEvent(Panel* source, short dx, short dy) : PanelEvent(source), dx_(dx), dy_(dy) {}
    short GetHorizontalChange() const { return dx_; }
    short GetVerticalChange() const { return dy_; }

private:
    short dx_;
    short dy_;
};

// A close request: accepted (OK-like), cancelled (Cancel-like, the close box), or
// neither (the host asks the window to close).
class PanelCloseRequestEvent : public PanelEvent {
public:
    PanelCloseRequestEvent(Panel* source, bool accepted, bool cancelled)
        : PanelEvent(source), accepted_(accepted), cancelled_(cancelled)
    {
    }
    bool IsAccepted() const { return accepted_; }
    bool IsCancelled() const { return cancelled_; }

private:
    bool accepted_;
    bool cancelled_;
};

// A tooltip request. GetItem is never null: with no item under the pointer it is
// an item of id 0.
class PanelHelpEvent : public PanelEvent {
public:
    PanelHelpEvent(Panel* source, const Item* item) : PanelEvent(source), item_(item) {}
    const Item* GetItem() const { return item_; }

private:
    const Item* item_;
};

class ItemEvent {
public:
    explicit ItemEvent(Item* source) : source_(source) {}
    virtual ~ItemEvent() = default;
    Item* GetSource() const { return source_; }

private:
    Item* source_;
};

class ItemClickEvent : public ItemEvent {
public:
    using ItemEvent::ItemEvent;
};

class ItemChangeEvent : public ItemEvent {
public:
    using ItemEvent::ItemEvent;
};

class ItemMouseUpEvent : public ItemEvent {
public:
    ItemMouseUpEvent(Item* source, Point position) : ItemEvent(source), position_(position) {}
    // In the item's coordinates.
    Point GetPosition() const { return position_; }

private:
    Point position_;
};

class ItemMouseMoveEvent : public ItemEvent {
public:
    ItemMouseMoveEvent(Item* source, Point position) : ItemEvent(source), position_(position) {}
    Point GetPosition() const { return position_; }

private:
    Point position_;
};

class ItemWheelTrackEvent : public ItemEvent {
public:
    ItemWheelTrackEvent(Item* source, short x, short y) : ItemEvent(source), x_(x), y_(y) {}
    short GetXTrackValue() const { return x_; }
    short GetYTrackValue() const { return y_; }

private:
    short x_;
    short y_;
};

// A tooltip request for an item; the sub-item is a list column, else 0.
class ItemHelpEvent : public ItemEvent {
public:
    ItemHelpEvent(Item* source, short subItem) : ItemEvent(source), subItem_(subItem) {}
    short GetSubItem() const { return subItem_; }

private:
    short subItem_;
};

// A user item is to draw itself; NewDisplay::UserItemUpdateNativeContext draws.
class UserItemUpdateEvent : public ItemEvent {
public:
    UserItemUpdateEvent(Item* source, std::shared_ptr<standin::dg::detail::DrawTarget> target)
        : ItemEvent(source), target_(std::move(target))
    {
    }
    const std::shared_ptr<standin::dg::detail::DrawTarget>& GetTarget() const { return target_; }

private:
    std::shared_ptr<standin::dg::detail::DrawTarget> target_;
};

// ---------------------------------------------------------------------------
// Observers. The virtual functions' own bodies are the host's base handlers: an
// observer that overrides one calls it to pass the event on. An observer detaches
// itself from everything when it is destroyed.

class PanelObserver {
public:
    PanelObserver() = default;
    virtual ~PanelObserver();
    PanelObserver(const PanelObserver&) = delete;
    PanelObserver& operator=(const PanelObserver&) = delete;

    virtual void PanelOpened(const PanelOpenEvent& ev);
    // *accepted starts true; an observer sets it false to keep the panel open.
    virtual void PanelCloseRequested(const PanelCloseRequestEvent& ev, bool* accepted);
    virtual void PanelIdle(const PanelIdleEvent& ev);
    virtual void PanelResized(const PanelResizeEvent& ev);
    virtual void PanelToolTipRequested(const PanelHelpEvent& ev, GS::UniString* text);
};

class ItemObserver {
public:
    ItemObserver() = default;
    virtual ~ItemObserver();
    ItemObserver(const ItemObserver&) = delete;
    ItemObserver& operator=(const ItemObserver&) = delete;

    virtual void SpecChanged(const ItemChangeEvent& ev);
    virtual void SpecClicked(const ItemClickEvent& ev);
    virtual void SpecMouseUp(const ItemMouseUpEvent& ev, bool* processed);
    virtual void ItemChanged(const ItemChangeEvent& ev);
    virtual void ItemMouseMoved(const ItemMouseMoveEvent& ev, bool* processed);
    virtual void ItemToolTipRequested(const ItemHelpEvent& ev, GS::UniString* text);
    virtual void ItemWheelTrackEntered(const ItemWheelTrackEvent& ev, bool* processed);
    virtual void ItemWheelTracked(const ItemWheelTrackEvent& ev, bool* processed);
    virtual void ItemWheelTrackExited(const ItemWheelTrackEvent& ev, bool* processed);
};

class UserItemObserver : public ItemObserver {
public:
    virtual void UserItemMouseUp(const ItemMouseUpEvent& ev, bool* processed);
    virtual void UserItemMouseMoved(const ItemMouseMoveEvent& ev, bool* processed);
    virtual void UserItemUpdate(const UserItemUpdateEvent& ev);
};

// ---------------------------------------------------------------------------
// Panels

class Panel {
public:
    virtual ~Panel();
    Panel(const Panel&) = delete;
    Panel& operator=(const Panel&) = delete;

    // A number that names the panel while it exists (never 0).
    short GetId() const;
    short GetResourceId() const;
    short GetItemCount() const;

    void Attach(PanelObserver& observer);
    void Detach(PanelObserver& observer);

    void EnableItems();
    void DisableItems();

    const std::shared_ptr<standin::dg::detail::PanelState>& State() const { return state_; }

protected:
    explicit Panel(std::shared_ptr<standin::dg::detail::PanelState> state);

private:
    std::shared_ptr<standin::dg::detail::PanelState> state_;
};

class Dialog : public Panel {
public:
    // Idle events reach the panel from now on; the flag asks for them also while
    // the application is inactive.
    void EnableIdleEvent(bool sendForInactiveApp = false);
    void DisableIdleEvent();

    short GetClientWidth() const;
    short GetClientHeight() const;
    // fixPoint: the corner that stays (0 top-left, 1 top-left too, ... 8); raises no
    // resized event.
    void SetClientSize(short width, short height, short fixPoint = 1, bool keepOld = false);
    void SetMinClientSize(short width, short height);

    GS::UniString GetTitle() const;
    void SetTitle(const GS::UniString& title);

    // The window, as Windows calls take it (the clipboard's owner).
    HWND GetWindow() const;

protected:
    using Panel::Panel;
};

class ModalDialog : public Dialog {
public:
    enum ModalResponse { Accept = 1, Cancel = 2 };

    ModalDialog(GSResModule resModule, short resId, GSResModule dialIconResModule);
    ~ModalDialog() override;

    // Shows the dialog and runs its event loop on this thread until a close
    // request is accepted; answers the response it was closed with.
    ModalResponse Invoke();
    // The loop ends after the current handler with this response.
    void PostCloseRequest(ModalResponse response);
};

class ModelessBase : public Dialog {
public:
    // Where a modeless window is shown: at the top of the modeless windows.
    static constexpr short TopModeless = -32768;

    void BeginEventProcessing();
    void EndEventProcessing();
    void Show(short refDialogId = TopModeless);
    void Hide();
    bool IsVisible() const;
    void Activate();
    void BringToFront();
    // The panel's observers are asked at once (neither accepted nor cancelled);
    // an accepted request hides the window.
    void SendCloseRequest();
    void SetStatus(short status);

protected:
    using Dialog::Dialog;
};

class Palette : public ModelessBase {
public:
    Palette(GSResModule resModule, short resId, GSResModule dialIconResModule, const GS::Guid& guid);
    ~Palette() override;

    bool IsDocked() const;
    GS::Guid GetGuid() const;
};

// ---------------------------------------------------------------------------
// Items

class Item {
public:
    virtual ~Item();
    Item(const Item&) = delete;
    Item& operator=(const Item&) = delete;

    short GetId() const { return id_; }
    Panel* GetPanel() const;

    void Attach(ItemObserver& observer);
    void Detach(ItemObserver& observer);

    void Show();
    void Hide();
    void SetVisibility(bool visible);
    bool IsVisible() const;
    void Enable();
    void Disable();
    void SetStatus(bool enabled);
    bool IsEnabled() const;

    Point GetPosition() const;
    void SetPosition(short x, short y);
    void SetPosition(const Point& position) { SetPosition(position.x, position.y); }
    short GetWidth() const;
    short GetHeight() const;
    void SetWidth(short width);
    void SetHeight(short height);
    void SetSize(short width, short height);
    Rect GetRect() const;
    void SetRect(const Rect& rect);

    const std::shared_ptr<standin::dg::detail::ItemState>& State() const { return state_; }

protected:
    // Binds to the item of that id in the panel's resource, which must be of this kind.
    Item(const Panel& panel, short itemId, const char* kind);
    // Creates an item of this kind at run time, with the next free id.
    Item(const Panel& panel, const Rect& rect, const char* kind);

private:
    friend struct standin::dg::detail::Access;
    // A view of an item for an event; binds nothing.
    Item(std::shared_ptr<standin::dg::detail::ItemState> state, short id);

    std::shared_ptr<standin::dg::detail::ItemState> state_;
    short id_ = 0;
    bool bound_ = false;
};

// The text of an item that shows one (buttons, static texts, check boxes, edits).
class ItemTextProperty {
public:
    void SetText(const GS::UniString& text);
    GS::UniString GetText() const;

protected:
    explicit ItemTextProperty(Item* self) : self_(*self) {}
    ~ItemTextProperty() = default;

private:
    Item& self_;
};

class Button : public Item, public ItemTextProperty {
public:
    Button(const Panel& panel, short itemId);
};

class StaticText : public Item, public ItemTextProperty {
protected:
    StaticText(const Panel& panel, short itemId, const char* kind);
};

class LeftText : public StaticText {
public:
    LeftText(const Panel& panel, short itemId);
};

class CenterText : public StaticText {
public:
    CenterText(const Panel& panel, short itemId);
};

class GroupBox : public Item, public ItemTextProperty {
public:
    GroupBox(const Panel& panel, short itemId);
};

class CheckBox : public Item, public ItemTextProperty {
public:
    CheckBox(const Panel& panel, short itemId);
    void Check();
    void Uncheck();
    void SetState(bool checked);
    bool IsChecked() const;
};

class TextEdit : public Item, public ItemTextProperty {
public:
    TextEdit(const Panel& panel, short itemId);
    // The most UTF-16 units the user can type; 0 for no limit.
    short GetMaxLength() const;
};

class ProgressBar : public Item {
public:
    ProgressBar(const Panel& panel, short itemId);
    void SetMin(std::int32_t min);
    void SetMax(std::int32_t max);
    // Any value is kept as given; the bar shows it within its range.
    void SetValue(std::int32_t value);
    std::int32_t GetMin() const;
    std::int32_t GetMax() const;
    std::int32_t GetValue() const;
};

class Separator : public Item {
public:
    Separator(const Panel& panel, short itemId);
};

class IconItem : public Item {
public:
    IconItem(const Panel& panel, short itemId);
    void SetIcon(const Icon& icon);
    Icon GetIcon() const;
};

// An item its owner draws. Made from the resource or at run time on a rectangle;
// the stand-in knows user-item type 0 with frame type 0 only.
class UserItem : public Item {
public:
    UserItem(const Panel& panel, short itemId);
    UserItem(const Panel& panel, const Rect& rect, short userItemType = 0, short frameType = 0);
    // Raises the update event now (the stand-in draws synchronously).
    void Redraw(bool eraseBackground = true, bool updateNow = false);
};

// The embedded browser. Pages load in the background: a load returns at once, and a
// new one ends the one under way.
class BrowserBase : public Item {
public:
    ~BrowserBase() override;
    // Loads the page at the address.
    void LoadURL(const GS::UniString& url);
    // Shows the page of this text.
    void LoadHTML(const GS::UniString& html);
    // Ends the load under way; the page shown stays.
    void StopLoad();

protected:
    BrowserBase(const Panel& panel, short itemId);
};

class Browser : public BrowserBase {
public:
    Browser(const Panel& panel, short itemId);
};

}  // namespace DG

// ---------------------------------------------------------------------------
// Global dialog-manager calls

// Alert types: the icon shown.
constexpr short DG_ALERT_INFORMATION = -1;
constexpr short DG_ALERT_WARNING = -2;
constexpr short DG_ALERT_QUESTION = -3;
constexpr short DG_ALERT_ERROR = -4;

// A modal alert with up to three buttons (an empty text: no such button); answers
// the number of the button pressed (1 to 3).
short DGAlert(short type, const GS::UniString& title, const GS::UniString& largeText,
              const GS::UniString& smallText, const GS::UniString& button1, const GS::UniString& button2 = {},
              const GS::UniString& button3 = {});

// Keyboard focus: dialId 0 is the current dialog (the top-most running modal one);
// itemId -1 resets the focus, any other must name an item of that dialog.
void DGSetFocus(short dialId, short itemId);

// Forgets the window rectangles the host remembers for dialogs.
void DGResetDialogRectangles();

// List boxes.
#include "DGListBox.hpp"
