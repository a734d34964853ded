// User items: drawn by their owner through the update event. A click raises the
// user item's mouse-up, then the generic click; pointing raises its mouse-moved.
#include "../DgInternal.hpp"

namespace standin::dg::detail {
namespace {

class UserItemKind : public ItemKind {
public:
    UserItemKind() : ItemKind("useritem", "user item") {}

    void Draw(const Canvas& canvas, const std::shared_ptr<ItemState>& item) const override
    {
        const DG::Rect& r = item->rect;
        cairo_t* cr = canvas.cr;
        cairo_save(cr);
        cairo_translate(cr, canvas.originX + r.left, canvas.originY + r.top);
        cairo_rectangle(cr, 0, 0, r.GetWidth(), r.GetHeight());
        cairo_clip(cr);
        auto target = std::make_shared<DrawTarget>(cr, r.GetWidth(), r.GetHeight(), item->Describe(), false);
        RaiseUpdate(item, target);
        target->cr = nullptr;
        cairo_restore(cr);
    }

    bool Click(const std::shared_ptr<ItemState>& item, DG::Point where) const override
    {
        EventSource source(item);
        DG::ItemMouseUpEvent ev(source.Get(), where);
        bool processed = false;
        DeliverToItem<DG::UserItemObserver>(
            item, [&](DG::UserItemObserver& observer) { observer.UserItemMouseUp(ev, &processed); });
        if (!item->dead)
            RaiseClicked(item);
        return true;
    }

    void MouseMoved(const std::shared_ptr<ItemState>& item, DG::Point where) const override
    {
        EventSource source(item);
        DG::ItemMouseMoveEvent ev(source.Get(), where);
        bool processed = false;
        DeliverToItem<DG::UserItemObserver>(
            item, [&](DG::UserItemObserver& observer) { observer.UserItemMouseMoved(ev, &processed); });
    }
};

const UserItemKind kind;
const KindRegistration registration(kind);

}  // namespace
}  // namespace standin::dg::detail

namespace DG {

using namespace standin::dg::detail;

UserItem::UserItem(const Panel& panel, short itemId) : Item(panel, itemId, "useritem") {}

UserItem::UserItem(const Panel& panel, const Rect& rect, short userItemType, short frameType)
    : Item(panel, rect, "useritem")
{
    if (State()->failed)
        return;
    // The stand-in knows only the plain owner-drawn item without a frame.
    if (userItemType != 0 || frameType != 0)
        Refuse("DG::UserItem: user-item type " + std::to_string(userItemType) + " and frame type " +
               std::to_string(frameType) + " for " + State()->Describe() +
               "; only type 0 with frame type 0 is known");
    State()->userItemType = userItemType;
    State()->frameType = frameType;
}

void UserItem::Redraw(bool eraseBackground, bool updateNow)
{
    if (!Usable(State(), "DG::UserItem::Redraw"))
        return;
    const auto item = State();
    // Drawn at once on a scratch area of the item's size, so that the owner's
    // drawing runs (and is logged) as on screen.
    auto scratch = MakePixels(item->rect.GetWidth(), item->rect.GetHeight());
    cairo_t* cr = scratch ? cairo_create(scratch->surface) : nullptr;
    auto target =
        std::make_shared<DrawTarget>(cr, item->rect.GetWidth(), item->rect.GetHeight(), item->Describe(), true);
    target->keep = scratch;
    RaiseUpdate(item, target);
    if (target->cr != nullptr) {
        cairo_destroy(target->cr);
        target->cr = nullptr;
    }
}

}  // namespace DG
