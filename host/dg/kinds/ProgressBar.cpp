// Progress bars: a range and a value; the value is kept as set and shown within
// the range.
#include "../DgInternal.hpp"

namespace standin::dg::detail {
namespace {

class ProgressBarKind : public ItemKind {
public:
    ProgressBarKind() : ItemKind("progressbar", "progress bar") {}

    std::vector<const char*> Fields() const override { return {"min", "max", "value"}; }

    void Read(const Json::Value& attributes, ItemState& item) const override
    {
        constexpr std::int32_t most = 1 << 30;
        item.min = ReadNumber(attributes, "min", 0, -most, most);
        item.max = ReadNumber(attributes, "max", 100, -most, most);
        item.value = ReadNumber(attributes, "value", item.min, -most, most);
        if (item.max <= item.min)
            throw std::runtime_error("max must lie above min");
    }

    void Draw(const Canvas& canvas, const std::shared_ptr<ItemState>& item) const override
    {
        const DG::Rect& r = item->rect;
        canvas.FillRect(r, 0.9, 0.9, 0.9);
        const double span = static_cast<double>(item->max) - item->min;
        double part = span > 0 ? (static_cast<double>(item->value) - item->min) / span : 0;
        part = std::clamp(part, 0.0, 1.0);
        const auto filled = static_cast<short>((r.GetWidth() - 2) * part);
        canvas.FillRect(DG::Rect(static_cast<short>(r.left + 1), static_cast<short>(r.top + 1),
                                 static_cast<short>(r.left + 1 + filled), static_cast<short>(r.bottom - 1)),
                        0.2, 0.6, 0.25);
        canvas.StrokeRect(r, 0.55, 0.55, 0.55);
    }
};

const ProgressBarKind kind;
const KindRegistration registration(kind);

}  // namespace
}  // namespace standin::dg::detail

namespace DG {

using namespace standin::dg::detail;

ProgressBar::ProgressBar(const Panel& panel, short itemId) : Item(panel, itemId, "progressbar") {}

void ProgressBar::SetMin(std::int32_t min)
{
    if (Usable(State(), "DG::ProgressBar::SetMin"))
        State()->min = min;
}

void ProgressBar::SetMax(std::int32_t max)
{
    if (Usable(State(), "DG::ProgressBar::SetMax"))
        State()->max = max;
}

void ProgressBar::SetValue(std::int32_t value)
{
    if (Usable(State(), "DG::ProgressBar::SetValue"))
        State()->value = value;
}

std::int32_t ProgressBar::GetMin() const { return Usable(State(), "DG::ProgressBar::GetMin") ? State()->min : 0; }

std::int32_t ProgressBar::GetMax() const { return Usable(State(), "DG::ProgressBar::GetMax") ? State()->max : 0; }

std::int32_t ProgressBar::GetValue() const
{
    return Usable(State(), "DG::ProgressBar::GetValue") ? State()->value : 0;
}

}  // namespace DG
