// Group boxes: a frame with a title around other items; they take no clicks.
#include "../DgInternal.hpp"

namespace standin::dg::detail {
namespace {

class GroupBoxKind : public ItemKind {
public:
    GroupBoxKind() : ItemKind("groupbox", "group box") {}

    bool HasText() const override { return true; }

    void Draw(const Canvas& canvas, const std::shared_ptr<ItemState>& item) const override
    {
        const DG::Rect& r = item->rect;
        canvas.StrokeRect(DG::Rect(r.left, static_cast<short>(r.top + 7), r.right, r.bottom), 0.7, 0.7, 0.7);
        const DG::Rect title(static_cast<short>(r.left + 6), r.top, static_cast<short>(r.right - 6),
                             static_cast<short>(r.top + 16));
        canvas.Text(title, item->text, 0, false, item->enabled, 11);
    }
};

const GroupBoxKind kind;
const KindRegistration registration(kind);

}  // namespace
}  // namespace standin::dg::detail

DG::GroupBox::GroupBox(const Panel& panel, short itemId) : Item(panel, itemId, "groupbox"), ItemTextProperty(this)
{
}
