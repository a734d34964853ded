// List boxes. Only the resource side so far: the dialog resources that hold a list
// can be read and drawn; the item class and its events come with the list's own work.
#include "../DgInternal.hpp"

namespace standin::dg::detail {
namespace {

class SingleSelListBoxKind : public ItemKind {
public:
    SingleSelListBoxKind() : ItemKind("singlesellistbox", "single-selection list box") {}

    void Draw(const Canvas& canvas, const std::shared_ptr<ItemState>& item) const override
    {
        canvas.FillRect(item->rect, 1, 1, 1);
        canvas.StrokeRect(item->rect, 0.5, 0.5, 0.5);
    }
};

const SingleSelListBoxKind kind;
const KindRegistration registration(kind);

}  // namespace
}  // namespace standin::dg::detail
