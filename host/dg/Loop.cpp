// The event loops: a modal dialog's loop inside Invoke, and the pump that serves
// modeless panels while no modal dialog runs. Both deliver idle events at a fixed
// period, take the scripted user's actions, and never wait without a bound.
#include "DgInternal.hpp"

namespace standin::dg {
namespace detail {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

std::string Milliseconds(std::chrono::milliseconds duration) { return std::to_string(duration.count()) + " ms"; }

void DropScript(short resourceId)
{
    auto& script = GetState().script;
    if (auto it = script.find(resourceId); it != script.end())
        it->second.clear();
}

// The loop gives up on a dialog: a Cancel-like close request, and the loop ends
// whatever the observers answer.
void CloseForFailure(const std::shared_ptr<PanelState>& panel)
{
    DropScript(panel->ResourceId());
    AskClose(panel, CloseRequest{false, true, DG::ModalDialog::Cancel});
    panel->response = DG::ModalDialog::Cancel;
}

// Delivers idle when due; answers whether it did.
bool IdleIfDue(const std::shared_ptr<PanelState>& panel, Clock::time_point& lastIdle)
{
    if (!panel->idleEnabled || panel->inIdle || Clock::now() - lastIdle < IdlePeriod)
        return false;
    lastIdle = Clock::now();
    DeliverIdle(panel);
    return true;
}

void RunModalLoop(const std::shared_ptr<PanelState>& panel)
{
    State& state = GetState();
    Clock::time_point lastIdle = Clock::now() - IdlePeriod;
    bool idleSinceAction = true;
    Clock::time_point deadline = Clock::now() + state.patience;
    while (!panel->dead) {
        if (panel->handlerThrew) {
            CloseForFailure(panel);
            return;
        }
        if (panel->pendingClose) {
            const CloseRequest request = *panel->pendingClose;
            panel->pendingClose.reset();
            if (AskClose(panel, request)) {
                panel->response = request.response;
                return;
            }
            continue;
        }
        const Clock::time_point before = Clock::now();
        if (IdleIfDue(panel, lastIdle)) {
            // Time spent in the handler (a nested dialog, say) is not the user's.
            deadline += Clock::now() - before;
            idleSinceAction = true;
            continue;
        }
        if (idleSinceAction || !panel->idleEnabled) {
            switch (TakeScriptedAction(panel)) {
            case UserTurn::Acted:
                idleSinceAction = false;
                deadline = Clock::now() + state.patience;
                continue;
            case UserTurn::Failed:
                CloseForFailure(panel);
                return;
            case UserTurn::Waiting:
                deadline = Clock::now() + state.patience;
                break;
            case UserTurn::Idle:
                break;
            }
        }
        if (Clock::now() > deadline) {
            Refuse(panel->Describe() + " waited " + Milliseconds(state.patience) +
                   " for a user action that never came; closed with Cancel");
            CloseForFailure(panel);
            return;
        }
        std::this_thread::sleep_for(1ms);
    }
}

// One round of the pump over the modeless panels; answers whether anything happened.
bool PumpOnce(std::map<short, Clock::time_point>& lastIdle)
{
    State& state = GetState();
    bool busy = false;
    const std::vector<std::shared_ptr<PanelState>> panels = state.panels;
    for (const auto& panel : panels) {
        if (panel->dead || panel->modal || !panel->eventProcessing)
            continue;
        auto [last, inserted] = lastIdle.try_emplace(panel->id, Clock::now() - IdlePeriod);
        if (IdleIfDue(panel, last->second)) {
            panel->idleSinceAction = true;
            busy = true;
        }
    }
    for (const auto& panel : panels) {
        if (panel->dead || panel->modal || !panel->eventProcessing || !panel->visible)
            continue;
        if (!panel->idleSinceAction && panel->idleEnabled)
            continue;
        switch (TakeScriptedAction(panel)) {
        case UserTurn::Acted:
            panel->idleSinceAction = false;
            return true;
        case UserTurn::Failed:
            DropScript(panel->ResourceId());
            return true;
        case UserTurn::Waiting:
        case UserTurn::Idle:
            break;
        }
    }
    return busy;
}

bool Pump(const std::function<bool()>& done, Clock::time_point until, const char* call)
{
    if (!CheckCall(call))
        return false;
    if (!GetState().modalStack.empty()) {
        Refuse(std::string(call) + " inside the modal loop of " + GetState().modalStack.back()->Describe());
        return false;
    }
    std::map<short, Clock::time_point> lastIdle;
    while (true) {
        if (done && done())
            return true;
        if (Clock::now() >= until)
            return false;
        if (!PumpOnce(lastIdle))
            std::this_thread::sleep_for(1ms);
    }
}

}  // namespace

void HandlerThrew(const std::shared_ptr<PanelState>& panel, const std::string& where)
{
    std::string what;
    try {
        throw;
    } catch (const std::exception& e) {
        what = e.what();
    } catch (...) {
        what = "an exception of unknown type";
    }
    Refuse("an exception left a handler of " + where + ", which would crash the platform: " + what);
    if (panel && panel->running)
        panel->handlerThrew = true;
}

}  // namespace detail

using namespace detail;

void PumpEvents(std::chrono::milliseconds duration)
{
    Pump(nullptr, std::chrono::steady_clock::now() + duration, "standin::dg::PumpEvents");
}

bool RunUntil(const std::string& what, const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    if (timeout.count() <= 0)
        timeout = Patience();
    if (Pump(condition, std::chrono::steady_clock::now() + timeout, "standin::dg::RunUntil"))
        return true;
    Refuse("waited " + Milliseconds(timeout) + " until " + what + ": it never held");
    return false;
}

}  // namespace standin::dg

namespace DG {

using namespace standin::dg::detail;

ModalDialog::ModalResponse ModalDialog::Invoke()
{
    const std::shared_ptr<PanelState> panel = State();
    if (!Usable(panel, "DG::ModalDialog::Invoke"))
        return Cancel;
    if (panel->running) {
        Refuse("DG::ModalDialog::Invoke on " + panel->Describe() + ", which runs already");
        return Cancel;
    }
    auto& manager = GetState();
    panel->running = true;
    panel->visible = true;
    panel->pendingClose.reset();
    panel->handlerThrew = false;
    panel->response = Cancel;
    manager.modalStack.push_back(panel.get());
    Step("open " + panel->Describe());
    PanelOpenEvent ev(this);
    DeliverToPanel(panel, [&](PanelObserver& observer) { observer.PanelOpened(ev); });
    RunModalLoop(panel);
    const ModalResponse response = panel->response;
    if (!panel->dead) {
        panel->running = false;
        panel->visible = false;
        std::erase(manager.modalStack, panel.get());
    }
    Step("close " + panel->Describe() + (response == Accept ? " (accepted)" : " (cancelled)"));
    return response;
}

}  // namespace DG
