// Push buttons: a click raises the generic click event.
#include "../DgInternal.hpp"

namespace standin::dg::detail {
namespace {

class ButtonKind : public ItemKind {
public:
    ButtonKind() : ItemKind("button", "push button") {}

    bool HasText() const override { return true; }

    void Draw(const Canvas& canvas, const std::shared_ptr<ItemState>& item) const override
    {
        canvas.FillRect(item->rect, 0.88, 0.88, 0.88);
        canvas.StrokeRect(item->rect, item->enabled ? 0.45 : 0.7, item->enabled ? 0.45 : 0.7,
                          item->enabled ? 0.45 : 0.7);
        canvas.Text(item->rect, item->text, 1, true, item->enabled);
    }

    bool Click(const std::shared_ptr<ItemState>& item, DG::Point) const override
    {
        RaiseClicked(item);
        return true;
    }
};

const ButtonKind kind;
const KindRegistration registration(kind);

}  // namespace
}  // namespace standin::dg::detail

DG::Button::Button(const Panel& panel, short itemId) : Item(panel, itemId, "button"), ItemTextProperty(this) {}
