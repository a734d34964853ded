// Items: binding an item object to a resource item of the right kind, items made
// at run time, the common item operations, and the registry of item kinds.
#include "DgInternal.hpp"

namespace standin::dg::detail {
namespace {

std::vector<const ItemKind*>& Kinds()
{
    static std::vector<const ItemKind*> kinds;
    return kinds;
}

std::shared_ptr<ItemState> FailedItem(short id)
{
    auto item = std::make_shared<ItemState>();
    item->id = id;
    item->dead = true;
    item->failed = true;
    return item;
}

std::string KindLabel(const char* kind)
{
    const ItemKind* found = FindKind(kind);
    return found != nullptr ? found->Label() : kind;
}

}  // namespace

KindRegistration::KindRegistration(const ItemKind& kind) { Kinds().push_back(&kind); }

const ItemKind* FindKind(std::string_view name)
{
    for (const ItemKind* kind : Kinds())
        if (name == kind->Name())
            return kind;
    return nullptr;
}

std::shared_ptr<ItemState> ReachableItem(PanelState& panel, short itemId, const char* action)
{
    auto item = panel.FindItem(itemId);
    if (!item) {
        Refuse(std::string("the user cannot ") + action + " item " + std::to_string(itemId) + ": " +
               panel.Describe() + " has no such item");
        return nullptr;
    }
    if (!item->visible) {
        Refuse(std::string("the user cannot ") + action + " " + item->Describe() + ": it is hidden");
        return nullptr;
    }
    if (!item->enabled) {
        Refuse(std::string("the user cannot ") + action + " " + item->Describe() +
               ": it is disabled (a disabled item gets no mouse events)");
        return nullptr;
    }
    return item;
}

}  // namespace standin::dg::detail

namespace DG {

using namespace standin::dg::detail;

Item::Item(const Panel& panel, short itemId, const char* kind) : id_(itemId)
{
    const std::string call = "DG item " + std::to_string(itemId) + " as " + KindLabel(kind);
    const auto& owner = panel.State();
    if (Usable(owner, call.c_str())) {
        auto found = owner->FindItem(itemId);
        if (!found || !found->fromResource) {
            Refuse(call + ": " + owner->Describe() + " has no item " + std::to_string(itemId) + " in its resource");
        } else if (std::string_view(found->kind->Name()) != kind) {
            Refuse(call + ": " + found->Describe() + " is a " + found->kind->Label() + " in the resource");
        } else if (found->wrapper != nullptr) {
            Refuse(call + ": " + found->Describe() + " has an item object already");
        } else {
            state_ = std::move(found);
            state_->wrapper = this;
            bound_ = true;
            return;
        }
    }
    state_ = FailedItem(itemId);
}

Item::Item(const Panel& panel, const Rect& rect, const char* kind)
{
    const std::string call = std::string("DG ") + KindLabel(kind) + " made at run time";
    const auto& owner = panel.State();
    if (!Usable(owner, call.c_str())) {
        state_ = FailedItem(0);
        return;
    }
    if (rect.right < rect.left || rect.bottom < rect.top) {
        Refuse(call + ": the rectangle's right or bottom edge lies before its left or top on " + owner->Describe());
        state_ = FailedItem(0);
        return;
    }
    short next = 0;
    for (const auto& item : owner->items)
        next = std::max(next, item->id);
    state_ = std::make_shared<ItemState>();
    state_->panel = owner;
    state_->id = static_cast<short>(next + 1);
    state_->kind = FindKind(kind);
    state_->rect = rect;
    state_->fromResource = false;
    state_->wrapper = this;
    owner->items.push_back(state_);
    id_ = state_->id;
    bound_ = true;
}

Item::Item(std::shared_ptr<ItemState> state, short id) : state_(std::move(state)), id_(id) {}

Item::~Item()
{
    if (!bound_ || state_->dead)
        return;
    CheckCall("DG::Item::~Item");
    state_->wrapper = nullptr;
    state_->observers.clear();
    if (!state_->fromResource) {
        state_->dead = true;
        if (auto owner = state_->panel.lock())
            std::erase(owner->items, state_);
    }
}

Panel* Item::GetPanel() const
{
    if (!Usable(state_, "DG::Item::GetPanel"))
        return nullptr;
    auto owner = state_->panel.lock();
    return owner ? owner->object : nullptr;
}

void Item::Show() { SetVisibility(true); }

void Item::Hide() { SetVisibility(false); }

void Item::SetVisibility(bool visible)
{
    if (Usable(state_, "DG::Item::SetVisibility"))
        state_->visible = visible;
}

bool Item::IsVisible() const { return Usable(state_, "DG::Item::IsVisible") && state_->visible; }

void Item::Enable() { SetStatus(true); }

void Item::Disable() { SetStatus(false); }

void Item::SetStatus(bool enabled)
{
    if (Usable(state_, "DG::Item::SetStatus"))
        state_->enabled = enabled;
}

bool Item::IsEnabled() const { return Usable(state_, "DG::Item::IsEnabled") && state_->enabled; }

Point Item::GetPosition() const
{
    if (!Usable(state_, "DG::Item::GetPosition"))
        return {};
    return Point{state_->rect.left, state_->rect.top};
}

void Item::SetPosition(short x, short y)
{
    if (!Usable(state_, "DG::Item::SetPosition"))
        return;
    Rect& rect = state_->rect;
    rect = Rect(x, y, static_cast<short>(x + rect.GetWidth()), static_cast<short>(y + rect.GetHeight()));
}

short Item::GetWidth() const { return Usable(state_, "DG::Item::GetWidth") ? state_->rect.GetWidth() : 0; }

short Item::GetHeight() const { return Usable(state_, "DG::Item::GetHeight") ? state_->rect.GetHeight() : 0; }

void Item::SetWidth(short width)
{
    if (Usable(state_, "DG::Item::SetWidth"))
        SetSize(width, state_->rect.GetHeight());
}

void Item::SetHeight(short height)
{
    if (Usable(state_, "DG::Item::SetHeight"))
        SetSize(state_->rect.GetWidth(), height);
}

void Item::SetSize(short width, short height)
{
    if (!Usable(state_, "DG::Item::SetSize"))
        return;
    if (width < 0 || height < 0) {
        Refuse("DG::Item::SetSize: " + std::to_string(width) + " x " + std::to_string(height) + " for " +
               state_->Describe());
        return;
    }
    Rect& rect = state_->rect;
    rect.right = static_cast<short>(rect.left + width);
    rect.bottom = static_cast<short>(rect.top + height);
}

Rect Item::GetRect() const { return Usable(state_, "DG::Item::GetRect") ? state_->rect : Rect(); }

void Item::SetRect(const Rect& rect)
{
    if (!Usable(state_, "DG::Item::SetRect"))
        return;
    if (rect.right < rect.left || rect.bottom < rect.top) {
        Refuse("DG::Item::SetRect: right or bottom edge before left or top for " + state_->Describe());
        return;
    }
    state_->rect = rect;
}

void ItemTextProperty::SetText(const GS::UniString& text)
{
    if (Usable(self_.State(), "DG::ItemTextProperty::SetText"))
        self_.State()->text = text.Units();
}

GS::UniString ItemTextProperty::GetText() const
{
    if (!Usable(self_.State(), "DG::ItemTextProperty::GetText"))
        return {};
    return GS::UniString(self_.State()->text);
}

}  // namespace DG
