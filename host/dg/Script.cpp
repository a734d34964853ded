// The scripted user: the actions tests put in place of a person, per dialog
// resource, taken by the event loops; and the alerts, answered from the script.
#include "DgInternal.hpp"

namespace standin::dg {
namespace detail {
namespace {

using Clock = std::chrono::steady_clock;

DG::Point Centre(const ItemState& item)
{
    return DG::Point{static_cast<short>(item.rect.GetWidth() / 2), static_cast<short>(item.rect.GetHeight() / 2)};
}

void Enqueue(short resourceId, Action action)
{
    if (!CheckCall("standin::dg::User"))
        return;
    GetState().script[resourceId].push_back(QueuedAction{std::move(action), std::nullopt});
}

std::string Ms(std::chrono::milliseconds duration) { return std::to_string(duration.count()) + " ms"; }

void Wheel(PanelState& panel, short itemId, short x, short y)
{
    auto target = ReachableItem(panel, itemId, "turn the wheel over");
    if (!target)
        return;
    EventSource source(target);
    DG::ItemWheelTrackEvent ev(source.Get(), x, y);
    bool processed = false;
    DeliverToItem<DG::ItemObserver>(
        target, [&](DG::ItemObserver& observer) { observer.ItemWheelTrackEntered(ev, &processed); });
    DeliverToItem<DG::ItemObserver>(target,
                                    [&](DG::ItemObserver& observer) { observer.ItemWheelTracked(ev, &processed); });
    DeliverToItem<DG::ItemObserver>(
        target, [&](DG::ItemObserver& observer) { observer.ItemWheelTrackExited(ev, &processed); });
}

void Resize(PanelState& panel, short width, short height)
{
    const short w = std::max(width, panel.minWidth);
    const short h = std::max(height, panel.minHeight);
    if (w <= 0 || h <= 0) {
        Refuse("the user cannot make " + panel.Describe() + " " + std::to_string(width) + " x " +
               std::to_string(height));
        return;
    }
    const auto dx = static_cast<short>(w - panel.clientWidth);
    const auto dy = static_cast<short>(h - panel.clientHeight);
    panel.clientWidth = w;
    panel.clientHeight = h;
    const auto shared = Shared(panel);
    if (!shared)
        return;
    DG::PanelResizeEvent ev(panel.object, dx, dy);
    DeliverToPanel(shared, [&](DG::PanelObserver& observer) { observer.PanelResized(ev); });
}

void CloseBox(PanelState& panel)
{
    const CloseRequest request{false, true, DG::ModalDialog::Cancel};
    if (panel.modal) {
        panel.pendingClose = request;
        return;
    }
    const auto shared = Shared(panel);
    if (shared && AskClose(shared, request) && !shared->dead)
        shared->visible = false;
}

}  // namespace

void PointAt(PanelState& panel, short itemId, std::optional<DG::Point> where)
{
    std::shared_ptr<ItemState> target;
    if (itemId != 0) {
        target = panel.FindItem(itemId);
        if (!target || !target->visible) {
            Refuse("the user cannot point at item " + std::to_string(itemId) + " of " + panel.Describe() +
                   (target ? ": it is hidden" : ": there is no such item"));
            return;
        }
    }
    GS::UniString text;
    if (target) {
        const DG::Point point = where.value_or(Centre(*target));
        // A disabled item gets no mouse events, but its tooltip is still asked for.
        if (target->enabled)
            target->kind->MouseMoved(target, point);
        EventSource source(target);
        DG::ItemHelpEvent ev(source.Get(), target->kind->SubItemAt(target, point));
        DeliverToItem<DG::ItemObserver>(
            target, [&](DG::ItemObserver& observer) { observer.ItemToolTipRequested(ev, &text); });
    }
    const auto shared = Shared(panel);
    if (!shared)
        return;
    EventSource source(target);
    DG::PanelHelpEvent ev(panel.object, source.Get());
    DeliverToPanel(shared, [&](DG::PanelObserver& observer) { observer.PanelToolTipRequested(ev, &text); });
    GetState().lastToolTip = text.Units();
    Step(panel.Describe() + ": tooltip " + Quote(text.Units()));
}

UserTurn TakeScriptedAction(const std::shared_ptr<PanelState>& panel)
{
    State& state = GetState();
    auto queue = state.script.find(panel->ResourceId());
    if (queue == state.script.end() || queue->second.empty())
        return UserTurn::Idle;
    QueuedAction& front = queue->second.front();
    if (front.action.until) {
        const auto now = Clock::now();
        if (!front.waitingSince) {
            front.waitingSince = now;
            Step(panel->Describe() + ": wait until " + front.action.what);
        }
        if (front.action.until()) {
            queue->second.pop_front();
            return UserTurn::Acted;
        }
        const auto timeout = front.action.timeout.count() > 0 ? front.action.timeout : state.patience;
        if (now - *front.waitingSince > timeout) {
            Refuse(panel->Describe() + " waited " + Ms(timeout) + " until " + front.action.what +
                   ": it never held; closed with Cancel");
            queue->second.clear();
            return UserTurn::Failed;
        }
        return UserTurn::Waiting;
    }
    Action action = std::move(front.action);
    queue->second.pop_front();
    Step(panel->Describe() + ": " + action.what);
    if (action.run)
        action.run(*panel);
    return UserTurn::Acted;
}

}  // namespace detail

using namespace detail;

DialogScript User(short resourceId) { return DialogScript(resourceId); }

DialogScript& DialogScript::Then(Action action)
{
    Enqueue(resourceId_, std::move(action));
    return *this;
}

DialogScript& DialogScript::Click(short item)
{
    return Then(Action{"click item " + std::to_string(item), [item](PanelState& panel) {
                           auto target = ReachableItem(panel, item, "click");
                           if (target && !target->kind->Click(target, Centre(*target)))
                               Refuse("the user cannot click " + target->Describe() + ": a " +
                                      target->kind->Label() + " takes no clicks");
                       }});
}

DialogScript& DialogScript::Type(short item, const std::u16string& units)
{
    return Then(Action{"type " + Quote(units) + " into item " + std::to_string(item),
                       [item, units](PanelState& panel) {
                           auto target = ReachableItem(panel, item, "type into");
                           if (target && !target->kind->Type(target, units))
                               Refuse("the user cannot type into " + target->Describe() + ": a " +
                                      target->kind->Label() + " takes no typing");
                       }});
}

DialogScript& DialogScript::Type(short item, const std::string& utf8) { return Type(item, Utf16(utf8)); }

DialogScript& DialogScript::CloseBox()
{
    return Then(Action{"press the close box", [](PanelState& panel) { detail::CloseBox(panel); }});
}

DialogScript& DialogScript::Hover(short item)
{
    return Then(Action{item == 0 ? std::string("point at no item") : "point at item " + std::to_string(item),
                       [item](PanelState& panel) { PointAt(panel, item, std::nullopt); }});
}

DialogScript& DialogScript::Wheel(short item, short x, short y)
{
    return Then(Action{"turn the wheel over item " + std::to_string(item) + " by " + std::to_string(x) + ", " +
                           std::to_string(y),
                       [item, x, y](PanelState& panel) { detail::Wheel(panel, item, x, y); }});
}

DialogScript& DialogScript::Resize(short width, short height)
{
    return Then(Action{"resize to " + std::to_string(width) + " x " + std::to_string(height),
                       [width, height](PanelState& panel) { detail::Resize(panel, width, height); }});
}

DialogScript& DialogScript::Wait(std::string what, std::function<bool()> condition, std::chrono::milliseconds timeout)
{
    Action action(std::move(what), nullptr);
    action.until = std::move(condition);
    action.timeout = timeout;
    return Then(std::move(action));
}

DialogScript& DialogScript::Do(std::string what, std::function<void()> step)
{
    return Then(Action{std::move(what), [step = std::move(step)](PanelState&) { step(); }});
}

DialogScript& DialogScript::Picture(std::string path)
{
    return Then(Action{"picture to " + path, [path](PanelState& panel) {
                           const auto shared = Shared(panel);
                           cairo_surface_t* surface = shared ? RenderPanelSurface(shared) : nullptr;
                           std::string error = "it cannot be drawn";
                           if (surface == nullptr || !WriteSurfacePng(surface, path, error))
                               Refuse("the picture of " + panel.Describe() + " cannot be written to " + path + ": " +
                                      error);
                           if (surface != nullptr)
                               cairo_surface_destroy(surface);
                       }});
}

void AnswerAlert(short button)
{
    if (!CheckCall("standin::dg::AnswerAlert"))
        return;
    if (button < 1 || button > 3) {
        Refuse("an alert has no button " + std::to_string(button));
        return;
    }
    GetState().alertAnswers.push_back(button);
}

std::size_t PendingActions(short resourceId)
{
    auto& script = GetState().script;
    auto it = script.find(resourceId);
    return it == script.end() ? 0 : it->second.size();
}

std::size_t PendingAlertAnswers() { return GetState().alertAnswers.size(); }

void ClearScript()
{
    GetState().script.clear();
    GetState().alertAnswers.clear();
}

std::string LastToolTip() { return Utf8(GetState().lastToolTip); }

}  // namespace standin::dg

short DGAlert(short type, const GS::UniString& title, const GS::UniString& largeText,
              const GS::UniString& smallText, const GS::UniString& button1, const GS::UniString& button2,
              const GS::UniString& button3)
{
    using namespace standin::dg::detail;
    if (!CheckCall("DGAlert"))
        return 1;
    const std::string name = Quote(title.Units());
    if (type < DG_ALERT_ERROR || type > DG_ALERT_INFORMATION)
        Refuse("DGAlert " + name + ": type " + std::to_string(type) + " is none of -1 to -4");
    const GS::UniString* buttons[3] = {&button1, &button2, &button3};
    State& state = GetState();
    short answer = 1;
    if (button1.IsEmpty()) {
        Refuse("DGAlert " + name + ": an alert needs its first button");
        if (!state.alertAnswers.empty())
            state.alertAnswers.pop_front();
    } else if (state.alertAnswers.empty()) {
        Refuse("alert " + name + " came with no scripted answer; answered 1");
    } else {
        answer = state.alertAnswers.front();
        state.alertAnswers.pop_front();
        if (buttons[answer - 1]->IsEmpty()) {
            Refuse("alert " + name + " has no button " + std::to_string(answer) + "; answered 1");
            answer = 1;
        }
    }
    standin::dg::AlertRecord record;
    record.type = type;
    record.title = Utf8(title.Units());
    record.largeText = Utf8(largeText.Units());
    record.smallText = Utf8(smallText.Units());
    for (int i = 0; i < 3; ++i)
        record.buttons[i] = Utf8(buttons[i]->Units());
    record.answer = answer;
    {
        std::lock_guard lock(state.logMutex);
        state.alerts.push_back(record);
    }
    Step("alert " + name + ": answered " + std::to_string(answer) + " " + Quote(buttons[answer - 1]->Units()));
    return answer;
}

void DGSetFocus(short dialId, short itemId)
{
    using namespace standin::dg::detail;
    if (!CheckCall("DGSetFocus"))
        return;
    State& state = GetState();
    std::shared_ptr<PanelState> panel;
    for (const auto& candidate : state.panels)
        if (candidate->id == dialId)
            panel = candidate;
    // Dialog 0 is the current one: the top-most running modal dialog.
    if (dialId == 0 && !state.modalStack.empty())
        panel = Shared(*state.modalStack.back());
    if (dialId != 0 && !panel)
        Refuse("DGSetFocus: " + std::to_string(dialId) + " names no dialog");
    else if (itemId < -1 || itemId == 0)
        Refuse("DGSetFocus: item " + std::to_string(itemId) + " is no item; -1 resets the focus");
    else if (itemId != -1 && !panel)
        Refuse("DGSetFocus: item " + std::to_string(itemId) + " of the current dialog, while no dialog runs");
    else if (panel && itemId != -1 && !panel->FindItem(itemId))
        Refuse("DGSetFocus: " + panel->Describe() + " has no item " + std::to_string(itemId));
    std::lock_guard lock(state.logMutex);
    state.focusCalls.push_back(standin::dg::FocusRecord{dialId, itemId});
}

void DGResetDialogRectangles()
{
    using namespace standin::dg::detail;
    if (!CheckCall("DGResetDialogRectangles"))
        return;
    State& state = GetState();
    std::lock_guard lock(state.logMutex);
    ++state.rectangleResets;
}
