// Text edits: the user types a character at a time, each change raising the
// item-changed event; typing stops at the edit's maximum length.
#include "../DgInternal.hpp"

namespace standin::dg::detail {
namespace {

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

class TextEditKind : public ItemKind {
public:
    TextEditKind() : ItemKind("textedit", "text edit") {}

    bool HasText() const override { return true; }
    std::vector<const char*> Fields() const override { return {"maxLength"}; }

    void Read(const Json::Value& attributes, ItemState& item) const override
    {
        item.maxLength = static_cast<short>(ReadNumber(attributes, "maxLength", 0, 0, 32767));
    }

    void Draw(const Canvas& canvas, const std::shared_ptr<ItemState>& item) const override
    {
        canvas.FillRect(item->rect, 1, 1, 1);
        canvas.StrokeRect(item->rect, 0.5, 0.5, 0.5);
        canvas.Text(item->rect, item->text, 0, true, item->enabled);
    }

    bool Click(const std::shared_ptr<ItemState>&, DG::Point) const override { return true; }

    // Typing over the selected whole text: the first character replaces it.
    bool Type(const std::shared_ptr<ItemState>& item, const std::u16string& text) const override
    {
        if (text.empty()) {
            item->text.clear();
            RaiseItemChanged(item);
            return true;
        }
        std::u16string typed;
        for (std::size_t i = 0; i < text.size() && !item->dead;) {
            // A character outside the Basic Multilingual Plane is two units, typed at once.
            const std::size_t units =
                IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1]) ? 2 : 1;
            if (item->maxLength > 0 && typed.size() + units > static_cast<std::size_t>(item->maxLength))
                break;
            typed.append(text, i, units);
            i += units;
            item->text = typed;
            RaiseItemChanged(item);
        }
        return true;
    }
};

const TextEditKind kind;
const KindRegistration registration(kind);

}  // namespace
}  // namespace standin::dg::detail

namespace DG {

using namespace standin::dg::detail;

TextEdit::TextEdit(const Panel& panel, short itemId) : Item(panel, itemId, "textedit"), ItemTextProperty(this) {}

short TextEdit::GetMaxLength() const { return Usable(State(), "DG::TextEdit::GetMaxLength") ? State()->maxLength : 0; }

}  // namespace DG
