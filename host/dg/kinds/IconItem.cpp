// Icon items: an icon of the dialog's icon module, centred in the item and shrunk
// to fit when it is larger.
#include "../DgInternal.hpp"

namespace standin::dg::detail {
namespace {

class IconKind : public ItemKind {
public:
    IconKind() : ItemKind("icon", "icon") {}

    std::vector<const char*> Fields() const override { return {"icon"}; }

    void Read(const Json::Value& attributes, ItemState& item) const override
    {
        item.iconId = static_cast<short>(ReadNumber(attributes, "icon", 0, -32768, 32767));
    }

    void Draw(const Canvas& canvas, const std::shared_ptr<ItemState>& item) const override
    {
        if (!item->iconPixels)
            return;
        const DG::Rect& r = item->rect;
        const double w = item->iconPixels->Width();
        const double h = item->iconPixels->Height();
        const double s = std::min({1.0, r.GetWidth() / w, r.GetHeight() / h});
        cairo_t* cr = canvas.cr;
        cairo_save(cr);
        cairo_translate(cr, canvas.originX + r.left + (r.GetWidth() - w * s) / 2,
                        canvas.originY + r.top + (r.GetHeight() - h * s) / 2);
        cairo_scale(cr, s, s);
        cairo_set_source_surface(cr, item->iconPixels->surface, 0, 0);
        cairo_paint_with_alpha(cr, item->enabled ? 1.0 : 0.5);
        cairo_restore(cr);
    }
};

const IconKind kind;
const KindRegistration registration(kind);

}  // namespace
}  // namespace standin::dg::detail

namespace DG {

using namespace standin::dg::detail;

IconItem::IconItem(const Panel& panel, short itemId) : Item(panel, itemId, "icon") {}

void IconItem::SetIcon(const Icon& icon)
{
    if (!Usable(State(), "DG::IconItem::SetIcon"))
        return;
    State()->iconModule = icon.GetResourceModule();
    State()->iconId = icon.GetResourceId();
    State()->iconPixels = icon.GetPixels();
}

Icon IconItem::GetIcon() const
{
    if (!Usable(State(), "DG::IconItem::GetIcon") || State()->iconModule == 0)
        return Icon();
    return Icon(State()->iconModule, State()->iconId);
}

}  // namespace DG
