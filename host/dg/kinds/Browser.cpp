// The embedded browser. Only the resource side so far: dialog resources that hold
// one can be read and drawn; the item class and its pages come with the browser's
// own work.
#include "../DgInternal.hpp"

namespace standin::dg::detail {
namespace {

class BrowserKind : public ItemKind {
public:
    BrowserKind() : ItemKind("browser", "browser") {}

    void Draw(const Canvas& canvas, const std::shared_ptr<ItemState>& item) const override
    {
        canvas.FillRect(item->rect, 1, 1, 1);
        canvas.StrokeRect(item->rect, 0.75, 0.75, 0.75);
    }
};

const BrowserKind kind;
const KindRegistration registration(kind);

}  // namespace
}  // namespace standin::dg::detail
