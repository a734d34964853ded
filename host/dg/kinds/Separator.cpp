// Separators: a line along the longer side of the item.
#include "../DgInternal.hpp"

namespace standin::dg::detail {
namespace {

class SeparatorKind : public ItemKind {
public:
    SeparatorKind() : ItemKind("separator", "separator") {}

    void Draw(const Canvas& canvas, const std::shared_ptr<ItemState>& item) const override
    {
        const DG::Rect& r = item->rect;
        if (r.GetWidth() >= r.GetHeight()) {
            const auto y = static_cast<short>(r.top + r.GetHeight() / 2);
            canvas.FillRect(DG::Rect(r.left, y, r.right, static_cast<short>(y + 1)), 0.6, 0.6, 0.6);
        } else {
            const auto x = static_cast<short>(r.left + r.GetWidth() / 2);
            canvas.FillRect(DG::Rect(x, r.top, static_cast<short>(x + 1), r.bottom), 0.6, 0.6, 0.6);
        }
    }
};

const SeparatorKind kind;
const KindRegistration registration(kind);

}  // namespace
}  // namespace standin::dg::detail

DG::Separator::Separator(const Panel& panel, short itemId) : Item(panel, itemId, "separator") {}
