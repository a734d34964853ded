// Static texts, left-aligned or centred: a click raises the generic mouse-up event
// (texts used as links act on it).
#include "../DgInternal.hpp"

namespace standin::dg::detail {
namespace {

class StaticTextKind : public ItemKind {
public:
    StaticTextKind(const char* name, const char* label, int align) : ItemKind(name, label), align_(align) {}

    bool HasText() const override { return true; }

    void Draw(const Canvas& canvas, const std::shared_ptr<ItemState>& item) const override
    {
        canvas.Text(item->rect, item->text, align_, false, item->enabled, 12, true);
    }

    bool Click(const std::shared_ptr<ItemState>& item, DG::Point where) const override
    {
        RaiseMouseUp(item, where);
        return true;
    }

private:
    int align_;
};

const StaticTextKind left("lefttext", "left text", 0);
const StaticTextKind centre("centertext", "centred text", 1);
const KindRegistration leftRegistration(left);
const KindRegistration centreRegistration(centre);

}  // namespace
}  // namespace standin::dg::detail

DG::StaticText::StaticText(const Panel& panel, short itemId, const char* kind)
    : Item(panel, itemId, kind), ItemTextProperty(this)
{
}

DG::LeftText::LeftText(const Panel& panel, short itemId) : StaticText(panel, itemId, "lefttext") {}

DG::CenterText::CenterText(const Panel& panel, short itemId) : StaticText(panel, itemId, "centertext") {}
