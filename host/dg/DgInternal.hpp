// Inside the stand-in dialog manager: the state of panels and items, the item
// kinds, event delivery, drawing and the checks every call makes.
#pragma once

#include "DG.hpp"
#include "standin/Dialogs.hpp"

#include <cairo.h>
#include <json/json.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace standin::dg::detail {

class ItemKind;

// ---------------------------------------------------------------------------
// Pixels and drawing targets

// A 32-bit image with premultiplied alpha (Cairo's ARGB32).
struct Pixels {
    explicit Pixels(cairo_surface_t* s) : surface(s) {}
    ~Pixels();
    Pixels(const Pixels&) = delete;
    Pixels& operator=(const Pixels&) = delete;
    int Width() const { return cairo_image_surface_get_width(surface); }
    int Height() const { return cairo_image_surface_get_height(surface); }

    cairo_surface_t* surface;
};

// A blank image; null for a size of 0 or one too large to hold.
std::shared_ptr<Pixels> MakePixels(int width, int height);
// Decoders: null for bytes that do not decode.
std::shared_ptr<Pixels> DecodePng(const void* data, std::size_t size);
std::shared_ptr<Pixels> DecodeJpeg(const void* data, std::size_t size);

// Where a native context draws: an image, a user item in a picture, a scratch area.
struct DrawTarget {
    DrawTarget(cairo_t* context, double w, double h, std::string what, bool owns)
        : cr(context), width(w), height(h), name(std::move(what)), ownsContext(owns)
    {
    }
    ~DrawTarget();
    DrawTarget(const DrawTarget&) = delete;
    DrawTarget& operator=(const DrawTarget&) = delete;

    cairo_t* cr;
    double width;
    double height;
    std::string name;
    bool ownsContext;
    std::shared_ptr<Pixels> keep;  // the image drawn on, kept alive
    std::string fontFamily;
    double fontSize = 0;
    NewDisplay::Color foreColor;
};

// ---------------------------------------------------------------------------
// Resources

struct ItemResource {
    short id = 0;
    const ItemKind* kind = nullptr;
    DG::Rect rect;
    std::u16string text;
    Json::Value attributes;
};

struct DialogResource {
    GSResModule module = 0;
    short id = 0;
    bool palette = false;
    std::u16string title;
    short width = 0;
    short height = 0;
    short x = 0;
    short y = 0;
    std::vector<ItemResource> items;
    std::string file;
};

struct ResourceSet {
    std::string folder;
    std::map<short, DialogResource> dialogs;
    std::map<short, std::shared_ptr<Pixels>> icons;
};

// The dialog resource, or null (refused) when the module or the id is unknown.
const DialogResource* FindDialogResource(GSResModule module, short id, const char* call);
// The icon's pixels: null for an id the module lacks. Module -4: the built-in icons.
std::shared_ptr<Pixels> FindIcon(GSResModule module, short id, const char* call);
constexpr GSResModule BuiltInModule = -4;
std::shared_ptr<Pixels> BuiltInIcon(short id);

// ---------------------------------------------------------------------------
// Items and panels

// What a kind keeps beyond the common item state (rows of a list, a page...).
struct KindData {
    virtual ~KindData() = default;
};

struct PanelState;

struct ItemState {
    std::weak_ptr<PanelState> panel;
    short id = 0;
    const ItemKind* kind = nullptr;
    DG::Rect rect;
    bool visible = true;
    bool enabled = true;
    bool fromResource = true;
    bool dead = false;
    bool failed = false;  // its creation was refused: calls on it do nothing
    std::u16string text;
    bool checked = false;
    std::int32_t min = 0;
    std::int32_t max = 100;
    std::int32_t value = 0;
    short maxLength = 0;
    GSResModule iconModule = 0;
    short iconId = 0;
    std::shared_ptr<Pixels> iconPixels;
    short userItemType = 0;
    short frameType = 0;
    DG::Item* wrapper = nullptr;
    std::vector<DG::ItemObserver*> observers;
    std::unique_ptr<KindData> data;

    // "item 9 (left text) of dialog 32504 "About""
    std::string Describe() const;
};

struct CloseRequest {
    bool accepted = false;
    bool cancelled = false;
    DG::ModalDialog::ModalResponse response = DG::ModalDialog::Cancel;
};

struct PanelState {
    short id = 0;
    const DialogResource* resource = nullptr;
    bool modal = true;
    DG::Panel* object = nullptr;
    bool dead = false;
    bool failed = false;  // its creation was refused: calls on it do nothing
    std::u16string title;
    short clientWidth = 0;
    short clientHeight = 0;
    short minWidth = 0;
    short minHeight = 0;
    std::vector<std::shared_ptr<ItemState>> items;
    std::vector<DG::PanelObserver*> observers;
    bool idleEnabled = false;
    bool inIdle = false;
    bool idleSinceAction = true;  // the scripted user waits for an idle event between actions
    bool running = false;
    bool visible = false;
    bool everShown = false;
    bool eventProcessing = false;
    bool docked = false;
    // The values the add-on passed last; none until it passes one.
    std::optional<short> status;
    std::optional<bool> idleForInactiveApp;
    std::optional<short> clientSizeFixPoint;
    std::optional<bool> clientSizeKeepOld;
    GS::Guid guid;
    std::optional<CloseRequest> pendingClose;
    DG::ModalDialog::ModalResponse response = DG::ModalDialog::Cancel;
    bool handlerThrew = false;  // an exception left one of its handlers: its run ends

    short ResourceId() const { return resource != nullptr ? resource->id : 0; }
    std::shared_ptr<ItemState> FindItem(short itemId) const;
    // "dialog 32504 "About"" or "palette 32401 "Tarvel""
    std::string Describe() const;
};

// ---------------------------------------------------------------------------
// The dialog manager's state: one per process, touched on the user-interface
// thread only (the logs and refusals carry their own lock).

struct QueuedAction {
    Action action;
    std::optional<std::chrono::steady_clock::time_point> waitingSince;
};

struct State {
    std::atomic<bool> started{false};
    std::atomic<std::thread::id> uiThread;
    std::map<GSResModule, ResourceSet> modules;
    std::vector<std::shared_ptr<PanelState>> panels;
    std::vector<PanelState*> modalStack;
    short nextPanelId = 1;
    std::map<short, std::deque<QueuedAction>> script;
    std::deque<short> alertAnswers;
    std::u16string lastToolTip;
    std::chrono::milliseconds patience{5000};

    std::mutex logMutex;
    bool echo = false;
    std::vector<std::string> steps;
    std::vector<AlertRecord> alerts;
    std::vector<BaseHandlerCall> baseCalls;
    std::vector<DrawRecord> draws;
    std::vector<FocusRecord> focusCalls;
    int rectangleResets = 0;
};

State& GetState();

// Records a refusal and hands it to the handler.
void Refuse(const std::string& message);
// A DG call: true when it may go on (the dialog manager runs and this is the
// user-interface thread); otherwise refused.
bool CheckCall(const char* call);
// The object's state is usable: alive and the dialog manager running.
bool Usable(const std::shared_ptr<PanelState>& panel, const char* call);
bool Usable(const std::shared_ptr<ItemState>& item, const char* call);

void Step(const std::string& line);
void LogBaseCall(const DG::Item* item, const char* event, const bool* processed = nullptr);
void LogBaseCall(const DG::Panel* panel, const char* event);
void LogDraw(DrawRecord record);

std::string Utf8(const std::u16string& units);
std::u16string Utf16(const std::string& utf8);
// A text quoted for messages, cut after 40 characters.
std::string Quote(const std::u16string& text);

// ---------------------------------------------------------------------------
// Item kinds. A kind is one file in kinds/: its public class's constructors and
// members, and an ItemKind registered under the name the dialog resources use.

// Paints on a panel picture.
struct Canvas {
    cairo_t* cr;
    // Where the client area's origin lies in the picture.
    double originX;
    double originY;
    PanelState* panel;

    // Text in the box, each line of the text on its own line from the box's top
    // (vertically centred for one line when `middle`); align 0 left, 1 centre. With
    // `wrap`, a line wider than the box breaks at its last blank that fits, as static
    // texts do.
    void Text(const DG::Rect& box, const std::u16string& text, int align, bool middle, bool enabled,
              double size = 12, bool wrap = false) const;
    // The width of one line of text; one line drawn from x (client coordinates),
    // vertically centred in the box and clipped to it.
    double TextWidth(const std::u16string& text, double size = 12) const;
    void TextLine(const DG::Rect& box, double x, const std::u16string& text, bool enabled, double size = 12) const;
    // UTF-8 text from (x, baseline) in client coordinates, in 0xRRGGBB; and what it takes.
    void TextAt(double x, double baseline, const std::string& utf8, double size, std::uint32_t rgb) const;
    double Advance(const std::string& utf8, double size) const;
    // The font's ascent and line height at the size.
    std::pair<double, double> FontMetrics(double size) const;
    void Line(double x0, double y0, double x1, double y1, std::uint32_t rgb, double width = 1) const;
    // Keeps what is drawn inside the box until the matching EndClip.
    void BeginClip(const DG::Rect& box) const;
    void EndClip() const;
    void FillRect(const DG::Rect& box, double r, double g, double b) const;
    void StrokeRect(const DG::Rect& box, double r, double g, double b, double width = 1) const;
    void Image(const Pixels& pixels, double x, double y, double opacity = 1) const;
};

class ItemKind {
public:
    ItemKind(const char* name, const char* label) : name_(name), label_(label) {}
    virtual ~ItemKind() = default;
    ItemKind(const ItemKind&) = delete;
    ItemKind& operator=(const ItemKind&) = delete;

    // The kind's name in dialog resources ("button") and in messages ("push button").
    const char* Name() const { return name_; }
    const char* Label() const { return label_; }

    // Whether items of the kind show a text (and resources may give one).
    virtual bool HasText() const { return false; }
    // The kind's own fields in a resource item, beside id, kind, rect and text.
    virtual std::vector<const char*> Fields() const { return {}; }
    // Reads the kind's own fields of a resource item into a new item; throws
    // std::runtime_error for a field that is wrong.
    virtual void Read(const Json::Value& attributes, ItemState& item) const {}
    virtual void Draw(const Canvas& canvas, const std::shared_ptr<ItemState>& item) const = 0;
    // The user's click at a point of the item: raises the kind's events. False:
    // the kind takes no clicks.
    virtual bool Click(const std::shared_ptr<ItemState>& item, DG::Point where) const { return false; }
    // The user types the text in place of the item's text. False: no typing here.
    virtual bool Type(const std::shared_ptr<ItemState>& item, const std::u16string& text) const { return false; }
    // The pointer rests on the item: the mouse-moved event.
    virtual void MouseMoved(const std::shared_ptr<ItemState>& item, DG::Point where) const;
    // The part of the item under the point that a tooltip request names (a list's
    // tab field, from 1); 0 for the item as a whole.
    virtual short SubItemAt(const std::shared_ptr<ItemState>& item, DG::Point where) const { return 0; }
    // Adds the kind's own state to what tests see of the item.
    virtual void Describe(const ItemState& item, ItemInfo& info) const {}

private:
    const char* name_;
    const char* label_;
};

// A whole-number field of a resource item within [least, most]; the fallback when absent.
inline std::int32_t ReadNumber(const Json::Value& item, const char* field, std::int32_t fallback,
                               std::int32_t least, std::int32_t most)
{
    if (!item.isMember(field))
        return fallback;
    const Json::Value& value = item[field];
    if (!value.isInt() || value.asInt() < least || value.asInt() > most)
        throw std::runtime_error(std::string(field) + " must be a whole number from " + std::to_string(least) +
                                 " to " + std::to_string(most));
    return value.asInt();
}

// Registers a kind for the lifetime of the library (a static object in its file).
struct KindRegistration {
    explicit KindRegistration(const ItemKind& kind);
};
const ItemKind* FindKind(std::string_view name);

// ---------------------------------------------------------------------------
// Event delivery. Observers are taken from a copy of the list; one detached or an
// item destroyed on the way gets nothing more.

struct Access {
    static std::unique_ptr<DG::Item> View(const std::shared_ptr<ItemState>& item)
    {
        return std::unique_ptr<DG::Item>(new DG::Item(item, item ? item->id : 0));
    }
    // An icon as the dialog manager keeps it: module, id and pixels, without a lookup.
    static DG::Icon MakeIcon(GSResModule module, short id, std::shared_ptr<Pixels> pixels)
    {
        DG::Icon icon;
        icon.module_ = module;
        icon.id_ = id;
        icon.pixels_ = std::move(pixels);
        return icon;
    }
};

// The item object events name as their source: the add-on's, or a view.
class EventSource {
public:
    explicit EventSource(const std::shared_ptr<ItemState>& item);
    DG::Item* Get() const { return item_; }

private:
    std::unique_ptr<DG::Item> view_;
    DG::Item* item_;
};

// An exception left a handler of the panel (or of one of its items): the platform
// would crash there. Called inside the catch: refused with the exception's text, and
// the panel's modal run ends with Cancel. The event goes to no further observer.
void HandlerThrew(const std::shared_ptr<PanelState>& panel, const std::string& where);

template <typename Observer, typename Call>
void DeliverToItem(const std::shared_ptr<ItemState>& item, Call&& call)
{
    const std::shared_ptr<ItemState> keep = item;
    const std::vector<DG::ItemObserver*> observers = item->observers;
    for (DG::ItemObserver* observer : observers) {
        if (keep->dead)
            return;
        if (std::find(keep->observers.begin(), keep->observers.end(), observer) == keep->observers.end())
            continue;
        if (auto* typed = dynamic_cast<Observer*>(observer)) {
            try {
                call(*typed);
            } catch (...) {
                HandlerThrew(keep->panel.lock(), keep->Describe());
                return;
            }
        }
    }
}

template <typename Call>
void DeliverToPanel(const std::shared_ptr<PanelState>& panel, Call&& call)
{
    const std::shared_ptr<PanelState> keep = panel;
    const std::vector<DG::PanelObserver*> observers = panel->observers;
    for (DG::PanelObserver* observer : observers) {
        if (keep->dead)
            return;
        if (std::find(keep->observers.begin(), keep->observers.end(), observer) == keep->observers.end())
            continue;
        try {
            call(*observer);
        } catch (...) {
            HandlerThrew(keep, keep->Describe());
            return;
        }
    }
}

// The common events of items.
void RaiseClicked(const std::shared_ptr<ItemState>& item);
void RaiseItemChanged(const std::shared_ptr<ItemState>& item);
// Answers whether an observer processed it.
bool RaiseMouseUp(const std::shared_ptr<ItemState>& item, DG::Point where);
// A user item draws itself on the target.
void RaiseUpdate(const std::shared_ptr<ItemState>& item, const std::shared_ptr<DrawTarget>& target);

// Panels: close requests (answers whether accepted), idle, tooltips.
bool AskClose(const std::shared_ptr<PanelState>& panel, const CloseRequest& request);
void DeliverIdle(const std::shared_ptr<PanelState>& panel);

// The shared pointer of a live panel.
std::shared_ptr<PanelState> Shared(PanelState& panel);

// Takes the next scripted action for the panel. 
enum class UserTurn { Acted, Waiting, Idle, Failed };
UserTurn TakeScriptedAction(const std::shared_ptr<PanelState>& panel);

// The user's generic actions on an item (used by the script and by kinds' actions):
// the item, when the user can reach it; otherwise refused and null.
std::shared_ptr<ItemState> ReachableItem(PanelState& panel, short itemId, const char* action);
// The pointer rests on a point of the item (item coordinates; none: its centre), or
// on no item (id 0): mouse moved, the item's tooltip request, then the panel's.
void PointAt(PanelState& panel, short itemId, std::optional<DG::Point> where);

// A picture of the panel (the caller destroys it).
cairo_surface_t* RenderPanelSurface(const std::shared_ptr<PanelState>& panel);
// Writes the surface as a PNG file, whole or not at all; false with the reason.
bool WriteSurfacePng(cairo_surface_t* surface, const std::string& path, std::string& error);
Picture PictureOfSurface(cairo_surface_t* surface);
// The newest live panel of the resource id.
std::shared_ptr<PanelState> NewestPanel(short resourceId);

}  // namespace standin::dg::detail
