// Check boxes: a click toggles the mark and raises the item-changed event.
#include "../DgInternal.hpp"

namespace standin::dg::detail {
namespace {

class CheckBoxKind : public ItemKind {
public:
    CheckBoxKind() : ItemKind("checkbox", "check box") {}

    bool HasText() const override { return true; }
    std::vector<const char*> Fields() const override { return {"checked"}; }

    void Read(const Json::Value& attributes, ItemState& item) const override
    {
        if (attributes.isMember("checked") && !attributes["checked"].isBool())
            throw std::runtime_error("checked must be true or false");
        item.checked = attributes.get("checked", false).asBool();
    }

    void Draw(const Canvas& canvas, const std::shared_ptr<ItemState>& item) const override
    {
        const DG::Rect& r = item->rect;
        const short top = static_cast<short>(r.top + (r.GetHeight() - 13) / 2);
        const DG::Rect box(r.left, top, static_cast<short>(r.left + 13), static_cast<short>(top + 13));
        canvas.FillRect(box, 1, 1, 1);
        canvas.StrokeRect(box, 0.4, 0.4, 0.4);
        if (item->checked) {
            cairo_t* cr = canvas.cr;
            cairo_move_to(cr, canvas.originX + box.left + 3, canvas.originY + box.top + 7);
            cairo_line_to(cr, canvas.originX + box.left + 5.5, canvas.originY + box.top + 10);
            cairo_line_to(cr, canvas.originX + box.left + 10, canvas.originY + box.top + 3);
            cairo_set_line_width(cr, 2);
            cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
            cairo_stroke(cr);
        }
        canvas.Text(DG::Rect(static_cast<short>(r.left + 16), r.top, r.right, r.bottom), item->text, 0, true,
                    item->enabled);
    }

    bool Click(const std::shared_ptr<ItemState>& item, DG::Point) const override
    {
        item->checked = !item->checked;
        RaiseItemChanged(item);
        return true;
    }
};

const CheckBoxKind kind;
const KindRegistration registration(kind);

}  // namespace
}  // namespace standin::dg::detail

namespace DG {

using namespace standin::dg::detail;

CheckBox::CheckBox(const Panel& panel, short itemId) : Item(panel, itemId, "checkbox"), ItemTextProperty(this) {}

void CheckBox::Check() { SetState(true); }

void CheckBox::Uncheck() { SetState(false); }

void CheckBox::SetState(bool checked)
{
    if (Usable(State(), "DG::CheckBox::SetState"))
        State()->checked = checked;
}

bool CheckBox::IsChecked() const { return Usable(State(), "DG::CheckBox::IsChecked") && State()->checked; }

}  // namespace DG
