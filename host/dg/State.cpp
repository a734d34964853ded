#include "DgInternal.hpp"

#include "standin/Base.hpp"

#include <iostream>

namespace standin::dg {
namespace detail {
namespace {

struct Refusals {
    std::mutex mutex;
    RefusalHandler handler;
    std::vector<std::string> messages;
};

Refusals& RefusalState()
{
    static Refusals refusals;
    return refusals;
}

}  // namespace

State& GetState()
{
    static State state;
    return state;
}

void Refuse(const std::string& message)
{
    RefusalHandler handler;
    {
        auto& refusals = RefusalState();
        std::lock_guard lock(refusals.mutex);
        refusals.messages.push_back(message);
        handler = refusals.handler;
    }
    if (handler)
        handler(message);
    else
        std::cerr << "stand-in dialog manager refused: " << message << std::endl;
}

bool CheckCall(const char* call)
{
    State& state = GetState();
    if (!state.started) {
        Refuse(std::string(call) + ": no dialog manager is running");
        return false;
    }
    if (std::this_thread::get_id() != state.uiThread) {
        Refuse(std::string(call) + " called off the user-interface thread");
        return false;
    }
    return true;
}

namespace {

template <typename Object>
bool UsableObject(const std::shared_ptr<Object>& object, const char* call, const char* what)
{
    if (!CheckCall(call))
        return false;
    // A refusal was made when it was created; nothing more to say.
    if (object && object->failed)
        return false;
    if (!object || object->dead) {
        Refuse(std::string(call) + " on " + what + " the dialog manager no longer has");
        return false;
    }
    return true;
}

}  // namespace

bool Usable(const std::shared_ptr<PanelState>& panel, const char* call)
{
    return UsableObject(panel, call, "a panel");
}

bool Usable(const std::shared_ptr<ItemState>& item, const char* call) { return UsableObject(item, call, "an item"); }

void Step(const std::string& line)
{
    State& state = GetState();
    std::lock_guard lock(state.logMutex);
    state.steps.push_back(line);
    if (state.echo)
        std::cerr << "[dialogs] " << line << std::endl;
}

namespace {

short ResourceIdOf(const std::shared_ptr<PanelState>& panel) { return panel ? panel->ResourceId() : 0; }

void AddBaseCall(BaseHandlerCall call)
{
    State& state = GetState();
    std::lock_guard lock(state.logMutex);
    state.baseCalls.push_back(std::move(call));
}

}  // namespace

void LogBaseCall(const DG::Item* item, const char* event, const bool* processed)
{
    BaseHandlerCall call;
    call.event = event;
    if (processed != nullptr)
        call.processed = *processed;
    if (item != nullptr) {
        call.itemId = item->GetId();
        if (item->State())
            call.resourceId = ResourceIdOf(item->State()->panel.lock());
    }
    AddBaseCall(std::move(call));
}

void LogBaseCall(const DG::Panel* panel, const char* event)
{
    BaseHandlerCall call;
    call.event = event;
    if (panel != nullptr)
        call.resourceId = ResourceIdOf(panel->State());
    AddBaseCall(std::move(call));
}

void LogDraw(DrawRecord record)
{
    State& state = GetState();
    std::lock_guard lock(state.logMutex);
    state.draws.push_back(std::move(record));
}

std::string Utf8(const std::u16string& units) { return standin::base::EncodeUtf8(units); }

std::u16string Utf16(const std::string& utf8) { return standin::base::Decode(utf8.data(), utf8.size(), GS::CC_UTF8); }

std::string Quote(const std::u16string& text)
{
    constexpr std::size_t kLongest = 40;
    std::u16string shown = text.size() > kLongest ? text.substr(0, kLongest) : text;
    for (auto& unit : shown)
        if (unit == u'\n' || unit == u'\r')
            unit = u' ';
    return "\"" + Utf8(shown) + (text.size() > kLongest ? "...\"" : "\"");
}

std::string PanelState::Describe() const
{
    const std::string kind = resource != nullptr && resource->palette ? "palette " : "dialog ";
    return kind + std::to_string(ResourceId()) + " " + Quote(title);
}

std::string ItemState::Describe() const
{
    std::string text = "item " + std::to_string(id);
    if (kind != nullptr)
        text += std::string(" (") + kind->Label() + ")";
    if (auto owner = panel.lock())
        text += " of " + owner->Describe();
    return text;
}

std::shared_ptr<ItemState> PanelState::FindItem(short itemId) const
{
    for (const auto& item : items)
        if (item->id == itemId && !item->dead)
            return item;
    return nullptr;
}

std::shared_ptr<PanelState> Shared(PanelState& panel)
{
    for (const auto& candidate : GetState().panels)
        if (candidate.get() == &panel)
            return candidate;
    return nullptr;
}

}  // namespace detail

using namespace detail;

void Start()
{
    State& state = GetState();
    if (state.started) {
        Refuse("the dialog manager was started twice");
        return;
    }
    state.modules.clear();
    state.panels.clear();
    state.modalStack.clear();
    state.nextPanelId = 1;
    state.script.clear();
    state.alertAnswers.clear();
    state.lastToolTip.clear();
    state.patience = std::chrono::milliseconds{5000};
    {
        std::lock_guard lock(state.logMutex);
        state.echo = false;
        state.steps.clear();
        state.alerts.clear();
        state.baseCalls.clear();
        state.draws.clear();
        state.focusCalls.clear();
        state.rectangleResets = 0;
    }
    state.uiThread = std::this_thread::get_id();
    state.started = true;
}

void Stop()
{
    State& state = GetState();
    if (!state.started)
        return;
    if (std::this_thread::get_id() != state.uiThread)
        Refuse("the dialog manager was stopped off the user-interface thread");
    for (const auto& panel : state.panels) {
        for (const auto& item : panel->items)
            if (item->wrapper != nullptr)
                Refuse(item->Describe() + " was not deleted before the host shut down");
        Refuse(panel->Describe() + (panel->running ? " was left open" : " was not deleted") +
               " when the host shut down");
    }
    for (const auto& [resourceId, queue] : state.script)
        if (!queue.empty())
            Refuse(std::to_string(queue.size()) + " scripted action(s) for dialog " + std::to_string(resourceId) +
                   " were never taken, the first: " + queue.front().action.what);
    if (!state.alertAnswers.empty())
        Refuse(std::to_string(state.alertAnswers.size()) + " scripted alert answer(s) were never asked for");
    for (const auto& panel : state.panels) {
        panel->dead = true;
        for (const auto& item : panel->items)
            item->dead = true;
    }
    state.panels.clear();
    state.modalStack.clear();
    state.script.clear();
    state.alertAnswers.clear();
    state.modules.clear();
    state.started = false;
}

bool IsRunning() { return GetState().started; }

RefusalHandler SetRefusalHandler(RefusalHandler handler)
{
    auto& refusals = RefusalState();
    std::lock_guard lock(refusals.mutex);
    std::swap(refusals.handler, handler);
    return handler;
}

std::vector<std::string> Refusals()
{
    auto& refusals = RefusalState();
    std::lock_guard lock(refusals.mutex);
    return refusals.messages;
}

void ClearRefusals()
{
    auto& refusals = RefusalState();
    std::lock_guard lock(refusals.mutex);
    refusals.messages.clear();
}

struct RefusalCatcher::Shared {
    std::mutex mutex;
    std::vector<std::string> messages;
};

RefusalCatcher::RefusalCatcher() : shared_(std::make_shared<Shared>())
{
    previous_ = SetRefusalHandler([shared = shared_](const std::string& message) {
        std::lock_guard lock(shared->mutex);
        shared->messages.push_back(message);
    });
}

RefusalCatcher::~RefusalCatcher() { SetRefusalHandler(std::move(previous_)); }

std::vector<std::string> RefusalCatcher::Messages() const
{
    std::lock_guard lock(shared_->mutex);
    return shared_->messages;
}

void SetPatience(std::chrono::milliseconds patience) { GetState().patience = patience; }

std::chrono::milliseconds Patience() { return GetState().patience; }

std::vector<std::string> Steps()
{
    State& state = GetState();
    std::lock_guard lock(state.logMutex);
    return state.steps;
}

void SetEcho(bool echo)
{
    State& state = GetState();
    std::lock_guard lock(state.logMutex);
    state.echo = echo;
}

std::vector<AlertRecord> Alerts()
{
    State& state = GetState();
    std::lock_guard lock(state.logMutex);
    return state.alerts;
}

std::vector<BaseHandlerCall> BaseHandlerCalls()
{
    State& state = GetState();
    std::lock_guard lock(state.logMutex);
    return state.baseCalls;
}

std::vector<DrawRecord> Draws()
{
    State& state = GetState();
    std::lock_guard lock(state.logMutex);
    return state.draws;
}

void ClearDraws()
{
    State& state = GetState();
    std::lock_guard lock(state.logMutex);
    state.draws.clear();
}

std::vector<FocusRecord> FocusCalls()
{
    State& state = GetState();
    std::lock_guard lock(state.logMutex);
    return state.focusCalls;
}

int DialogRectangleResets()
{
    State& state = GetState();
    std::lock_guard lock(state.logMutex);
    return state.rectangleResets;
}

}  // namespace standin::dg
