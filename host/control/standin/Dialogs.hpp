// Control surface of the stand-in dialog manager, for the stand-in host, tests and
// tools: starting and stopping it, the scripted user, what is on screen, pictures
// of open panels, and the logs (steps, alerts, base handlers, image draws).
// The add-on never includes this header.
#pragma once

#include "DG.hpp"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace standin::dg {

// ---------------------------------------------------------------------------
// Life: the host application starts the dialog manager on its user-interface
// thread, registers the add-on's resource module, and stops it at shutdown. Stop
// refuses every panel and item still alive.

void Start();
void Stop();
bool IsRunning();
// Reads the dialog resources (dialogs/*.json) and icons (icons.json) of a resource
// folder for the module id; throws std::runtime_error naming the file at fault.
void AddResourceModule(GSResModule module, const std::string& folder);

// ---------------------------------------------------------------------------
// Refusals: what a real platform would not accept. Each is recorded and handed to
// the refusal handler (by default: written to standard error); the test support
// turns it into a test failure.

using RefusalHandler = std::function<void(const std::string& message)>;
// Answers the previous handler.
RefusalHandler SetRefusalHandler(RefusalHandler handler);
std::vector<std::string> Refusals();
void ClearRefusals();

// Collects the refusals of its lifetime instead of passing them to the handler.
class RefusalCatcher {
public:
    RefusalCatcher();
    ~RefusalCatcher();
    RefusalCatcher(const RefusalCatcher&) = delete;
    RefusalCatcher& operator=(const RefusalCatcher&) = delete;
    std::vector<std::string> Messages() const;

private:
    RefusalHandler previous_;
    struct Shared;
    std::shared_ptr<Shared> shared_;
};

// ---------------------------------------------------------------------------
// Time. Idle events reach the panels that enabled them every IdlePeriod while a
// modal loop runs or events are pumped. A dialog waits at most the patience for a
// user action before it is closed with Cancel and the wait refused.

constexpr std::chrono::milliseconds IdlePeriod{10};
void SetPatience(std::chrono::milliseconds patience);
std::chrono::milliseconds Patience();

// ---------------------------------------------------------------------------
// The scripted user. Per dialog resource id, a queue of actions taken in order
// whenever a panel of that resource is the active one (the top-most running modal
// dialog; a modeless panel while no modal dialog runs and events are pumped).
// Between two actions the dialog has at least one idle event, when it asked for
// idle events. An action that the user could not take (an item the panel lacks, a
// hidden or disabled item, a kind that does not take it) is refused.

namespace detail { struct PanelState; }

struct Action {
    Action() = default;
    Action(std::string description, std::function<void(detail::PanelState& panel)> step)
        : what(std::move(description)), run(std::move(step))
    {
    }

    std::string what;
    // Takes the action on the active panel.
    std::function<void(detail::PanelState& panel)> run;
    // For a wait: the action is done once this holds (checked between idle events).
    std::function<bool()> until;
    std::chrono::milliseconds timeout{0};  // 0: the patience
};

class DialogScript {
public:
    explicit DialogScript(short resourceId) : resourceId_(resourceId) {}

    // Presses a button, clicks a text, a check box (toggling it) or a user item.
    DialogScript& Click(short item);
    // Selects the edit's whole text and types this one, a character at a time;
    // characters beyond the edit's maximum length are not taken.
    DialogScript& Type(short item, const std::string& utf8);
    DialogScript& Type(short item, const std::u16string& units);
    // The window's close box.
    DialogScript& CloseBox();
    // Rests the pointer on the item (0: on no item): mouse moved, then the item's
    // and the panel's tooltip requests.
    DialogScript& Hover(short item);
    // Turns the wheel over the item: entered, tracked (x, y), exited.
    DialogScript& Wheel(short item, short x, short y);
    // Drags the window's border to this client size (kept above the minimum).
    DialogScript& Resize(short width, short height);
    // Waits, with idle events flowing, until the condition holds.
    DialogScript& Wait(std::string what, std::function<bool()> condition,
                       std::chrono::milliseconds timeout = std::chrono::milliseconds{0});
    // Runs a step of the test while the dialog is open.
    DialogScript& Do(std::string what, std::function<void()> step);
    // Writes the panel as a PNG file.
    DialogScript& Picture(std::string path);
    DialogScript& Then(Action action);

private:
    short resourceId_;
};

// Actions on list boxes, for DialogScript::Then. Rows count from 1; x is in the
// coordinates of the list's tab fields (0 at the rows' left edge).
// A click on the row at x: the row becomes the selected one (a selection-changed
// event when it was not), then the list's click event. A click on a separator row
// does nothing.
Action ClickListRow(short item, short row, short x);
// The pointer rests on the row at x: the list's mouse-moved event (the active-area
// answer is kept, see ListInfo::activeArea), then the tooltip requests with the tab
// field under the pointer as the sub-item.
Action PointAtListRow(short item, short row, short x);
// Drags the row to the place where it becomes row `to`; refused where the list's
// resource allows no dragging, and for separator rows.
Action DragListRow(short item, short from, short to);

DialogScript User(short resourceId);
// The next alert is answered with this button (1 to 3).
void AnswerAlert(short button);
// Actions not taken yet for the resource id; alerts not asked yet.
std::size_t PendingActions(short resourceId);
std::size_t PendingAlertAnswers();
void ClearScript();
// The text the last Hover's tooltip requests left (UTF-8).
std::string LastToolTip();

// Outside modal loops: delivers idle events to the modeless panels that enabled
// them and takes the scripted actions of visible modeless panels.
void PumpEvents(std::chrono::milliseconds duration);
// Pumps until the condition holds; false (and a refusal) after the timeout.
bool RunUntil(const std::string& what, const std::function<bool()>& condition,
              std::chrono::milliseconds timeout = std::chrono::milliseconds{0});

// ---------------------------------------------------------------------------
// What is on screen.

// A list box's rows and tab fields (positions in the rows' coordinates).
struct ListCellInfo {
    std::string text;  // UTF-8
    bool hasIcon = false;
    GSResModule iconModule = 0;
    short iconId = 0;
    int iconWidth = 0;
    int iconHeight = 0;
};

struct ListRowInfo {
    bool separator = false;
    bool selected = false;
    short top = 0;  // in the item's coordinates
    short height = 0;
    std::vector<ListCellInfo> cells;  // one per tab field; none for a separator
};

struct TabFieldInfo {
    short begin = 0;
    short end = 0;
    short justification = 0;
    short truncation = 0;
    bool hasSeparator = false;
    bool enabled = true;
};

struct ListInfo {
    short itemWidth = 0;
    short itemHeight = 0;
    bool dragging = false;  // the resource lets the user drag rows
    short headerHeight = 0;
    std::vector<std::string> headerItems;
    std::vector<TabFieldInfo> tabFields;
    std::vector<ListRowInfo> rows;
    // What the observers answered to the last mouse move (1: an active area).
    short activeArea = 0;
};

struct ItemInfo {
    short id = 0;
    std::string kind;  // the kind's name in dialog resources: "button", "lefttext", ...
    DG::Rect rect;
    bool visible = false;
    bool enabled = false;
    bool wrapped = false;  // an item object of the add-on is bound to it
    std::string text;      // UTF-8
    bool checked = false;
    std::int32_t min = 0;
    std::int32_t max = 0;
    std::int32_t value = 0;
    short maxLength = 0;
    GSResModule iconModule = 0;
    short iconId = 0;
    std::optional<ListInfo> list;  // list boxes only
};

struct PanelInfo {
    short id = 0;
    short resourceId = 0;
    std::string title;
    bool modal = false;
    bool running = false;  // a modal loop runs
    bool visible = false;
    bool idleEnabled = false;
    short clientWidth = 0;
    short clientHeight = 0;
    short minClientWidth = 0;
    short minClientHeight = 0;
    std::string guid;
    // What the add-on passed last, where the dialog manager takes more than one value:
    // a modeless window's status (ModelessBase::SetStatus), the flag of
    // Dialog::EnableIdleEvent, and the fix point and keep-old flag of
    // Dialog::SetClientSize. None until it passed one.
    std::optional<short> status;
    std::optional<bool> idleForInactiveApp;
    std::optional<short> clientSizeFixPoint;
    std::optional<bool> clientSizeKeepOld;
    std::vector<ItemInfo> items;
};

std::vector<PanelInfo> Panels();
// The newest panel of that resource.
std::optional<PanelInfo> FindPanel(short resourceId);
std::optional<ItemInfo> FindItem(short resourceId, short itemId);
// A palette's docked state (false by default).
void SetDocked(short resourceId, bool docked);

// ---------------------------------------------------------------------------
// Embedded browsers (host/README.md has the page convention).

struct BrowserPage {
    std::string state;  // "blank", "loading", "done", "failed" or "stopped"
    std::string error;  // why the last load failed
    std::string url;    // after redirects
    int status = 0;     // HTTP status; 0 for a page given as text
    std::string title;
    std::string text;   // visible text, whitespace runs as one space
    std::vector<std::string> elementIds;
    struct Request {
        std::string method;  // "GET", "POST", or "HTML" for a page given as text
        std::string url;
        std::string body;
    };
    std::vector<Request> requests;  // every load, in order
};
// The page of the browser item of the newest panel of that resource; none when no
// browser object of the add-on was made on the item.
std::optional<BrowserPage> FindBrowserPage(short resourceId, short itemId);
// The user's actions on a browser item's page, by element id; refused when the
// item cannot be reached, shows no page, or the element does not take the action.
Action FollowLink(short item, std::string elementId);
Action SubmitForm(short item, std::string elementId);
Action PressElement(short item, std::string elementId);
// Waits until the browser item of the dialog has loaded its page; a failed or
// stopped load is refused.
Action WaitForPage(short resourceId, short item, std::chrono::milliseconds timeout = std::chrono::milliseconds{0});

// ---------------------------------------------------------------------------
// Pictures. A panel drawn as a person sees it: frame and title, every visible item
// by its kind with its text and state, user items by their own update handlers.

struct Picture {
    int width = 0;
    int height = 0;
    // Where the client area begins in the picture.
    int clientLeft = 0;
    int clientTop = 0;
    // 0xAARRGGBB, not premultiplied, row by row.
    std::vector<std::uint32_t> pixels;

    std::uint32_t At(int x, int y) const { return pixels.at(static_cast<std::size_t>(y) * width + x); }
    bool Empty() const { return pixels.empty(); }
};

Picture RenderPanel(short resourceId);
// Writes the panel's picture, whole or not at all; false (with the reason) when no such
// panel exists or the file cannot be written.
bool WritePng(short resourceId, const std::string& path, std::string* error = nullptr);
Picture PictureOf(const NewDisplay::NativeImage& image);
Picture ReadPng(const std::string& path);

// ---------------------------------------------------------------------------
// Logs, in order, since Start.

// Every user action, dialog opening and closing and alert, as one line each.
std::vector<std::string> Steps();
// Also write each step to standard error as it happens.
void SetEcho(bool echo);

struct AlertRecord {
    short type = 0;
    std::string title;
    std::string largeText;
    std::string smallText;
    std::string buttons[3];
    short answer = 0;
};
std::vector<AlertRecord> Alerts();

// Calls that reached a base handler of an observer (the host's own handling).
struct BaseHandlerCall {
    short resourceId = 0;
    short itemId = 0;  // 0 for a panel event
    std::string event;
    // For events with a processed flag: its value when the base handler got it.
    std::optional<bool> processed;
};
std::vector<BaseHandlerCall> BaseHandlerCalls();

struct DrawRecord {
    std::string target;  // "image 48x24" or "item 3 of dialog 32401"
    std::uint32_t imageWidth = 0;
    std::uint32_t imageHeight = 0;
    double scaleX = 0;
    double scaleY = 0;
    double rotation = 0;
    double x = 0;
    double y = 0;
    bool useAlpha = false;
    double opacity = 0;
    int filtering = 0;
};
std::vector<DrawRecord> Draws();
void ClearDraws();

struct FocusRecord {
    short dialId = 0;
    short itemId = 0;
    friend bool operator==(const FocusRecord&, const FocusRecord&) = default;
};
std::vector<FocusRecord> FocusCalls();
int DialogRectangleResets();

}  // namespace standin::dg
