// The embedded browser: an engine of its own per item (host/browser), which loads
// pages on its thread; the item shows the page loaded. The user acts on the page's
// elements by id (standin::dg::FollowLink, SubmitForm, PressElement).
#include "../DgInternal.hpp"

#include "BrowserEngine.hpp"

#include <cmath>

namespace standin::dg::detail {
namespace {

struct BrowserData : KindData {
    browser::BrowserEngine engine;
};

browser::BrowserEngine* EngineOf(const ItemState& item)
{
    auto* data = dynamic_cast<BrowserData*>(item.data.get());
    return data != nullptr ? &data->engine : nullptr;
}

using browser::Block;
using browser::TextRun;

constexpr std::uint32_t kInk = 0x141414;
constexpr std::uint32_t kLinkInk = 0x1A0DAB;
constexpr std::uint32_t kFrame = 0x8C8C8C;
constexpr double kControlPadding = 6;
constexpr double kFieldWidth = 140;

// Lays runs out from `left` in lines no wider than `width`, as a browser flows inline
// content: words wrap at blanks, a button or a field is one box that is never cut.
// Draws them when `draw`; answers the height taken.
double FlowRuns(const Canvas& canvas, const std::vector<TextRun>& runs, double left, double top, double width,
                double size, bool draw)
{
    const auto [ascent, height] = canvas.FontMetrics(size);
    const double controlHeight = height + 6;
    const bool controls = std::any_of(runs.begin(), runs.end(), [](const TextRun& run) {
        return run.kind == TextRun::Kind::Button || run.kind == TextRun::Kind::Field;
    });
    const double lineHeight = (controls ? controlHeight : height) + 2;
    double x = left;
    double y = top;
    const double right = left + width;
    auto newLine = [&] {
        x = left;
        y += lineHeight;
    };
    for (const TextRun& run : runs) {
        if (run.kind == TextRun::Kind::Button || run.kind == TextRun::Kind::Field) {
            const double textWidth = canvas.Advance(run.text, size);
            const double boxWidth = run.kind == TextRun::Kind::Button ? textWidth + 2 * kControlPadding
                                                                       : std::max(kFieldWidth, textWidth + 2 * kControlPadding);
            if (x > left && x + boxWidth > right)
                newLine();
            if (draw) {
                const DG::Rect box(static_cast<short>(x), static_cast<short>(y + 1), static_cast<short>(x + boxWidth),
                                   static_cast<short>(y + 1 + controlHeight));
                if (run.kind == TextRun::Kind::Button)
                    canvas.FillRect(box, 0.9, 0.9, 0.92);
                else
                    canvas.FillRect(box, 1, 1, 1);
                canvas.StrokeRect(box, 0.55, 0.55, 0.55);
                canvas.BeginClip(box);
                canvas.TextAt(x + kControlPadding, y + 1 + 3 + ascent, run.text, size, kInk);
                canvas.EndClip();
            }
            x += boxWidth + 4;
            continue;
        }
        // Word by word, each with the blank after it.
        std::size_t start = 0;
        while (start < run.text.size()) {
            std::size_t end = run.text.find(' ', start);
            end = end == std::string::npos ? run.text.size() : end + 1;
            std::string word = run.text.substr(start, end - start);
            start = end;
            const std::string bare = word.back() == ' ' ? word.substr(0, word.size() - 1) : word;
            const double wordWidth = canvas.Advance(bare, size);
            if (x > left && x + wordWidth > right) {
                newLine();
                if (bare.empty())
                    continue;
            }
            const double baseline = y + (lineHeight - height) / 2 + ascent;
            const double advance = canvas.Advance(word, size);
            if (draw) {
                const bool link = run.kind == TextRun::Kind::Link;
                canvas.TextAt(x, baseline, word, size, link ? kLinkInk : kInk);
                // The line runs on under the blank between two words of one link, on a
                // pixel row of its own.
                const double under = std::round(baseline) + 2.5;
                if (link)
                    canvas.Line(x, under, x + (start < run.text.size() ? advance : wordWidth), under, kLinkInk);
            }
            x += advance;
        }
    }
    return y + lineHeight - top;
}

double TextSize(const Block& block)
{
    if (block.kind != Block::Kind::Heading)
        return 12;
    static const double sizes[] = {22, 18, 15, 13, 12, 12};
    return sizes[std::clamp(block.level, 1, 6) - 1];
}

// Where each column of a table begins: after the widest cell of the column before.
std::vector<double> Columns(const Canvas& canvas, const std::vector<Block>& blocks, int table, double width)
{
    std::vector<double> widths;
    for (const Block& block : blocks) {
        if (block.kind != Block::Kind::Row || block.table != table)
            continue;
        if (widths.size() < block.cells.size())
            widths.resize(block.cells.size(), 0);
        for (std::size_t c = 0; c < block.cells.size(); ++c) {
            double cell = 0;
            for (const TextRun& run : block.cells[c])
                cell += canvas.Advance(run.text, 12) + (run.kind == TextRun::Kind::Text || run.kind == TextRun::Kind::Link ? 0 : 2 * kControlPadding);
            widths[c] = std::max(widths[c], cell);
        }
    }
    std::vector<double> starts{0};
    const double share = widths.empty() ? width : width / static_cast<double>(widths.size());
    for (std::size_t c = 0; c + 1 < widths.size(); ++c)
        starts.push_back(starts.back() + std::min(widths[c], share * 1.5) + 16);
    return starts;
}

// The page's blocks one below the other in the box, from its top.
void DrawPage(const Canvas& canvas, const std::vector<Block>& blocks, const DG::Rect& box)
{
    const double left = box.left + 8;
    const double width = box.GetWidth() - 16;
    double y = box.top + 6;
    std::map<int, std::vector<double>> tables;
    for (const Block& block : blocks) {
        if (y > box.bottom)
            break;
        const double size = TextSize(block);
        if (block.kind == Block::Kind::Row) {
            auto found = tables.find(block.table);
            if (found == tables.end())
                found = tables.emplace(block.table, Columns(canvas, blocks, block.table, width)).first;
            const std::vector<double>& starts = found->second;
            double rowHeight = 0;
            for (std::size_t c = 0; c < block.cells.size() && c < starts.size(); ++c) {
                const double end = c + 1 < starts.size() ? starts[c + 1] - 16 : width;
                rowHeight = std::max(rowHeight, FlowRuns(canvas, block.cells[c], left + starts[c], y,
                                                         std::max(16.0, end - starts[c]), size, true));
            }
            y += rowHeight;
            continue;
        }
        double indent = 0;
        if (block.kind == Block::Kind::ListItem) {
            const auto [ascent, height] = canvas.FontMetrics(size);
            canvas.TextAt(left + 4, y + 1 + ascent, "\xE2\x80\xA2", size, kInk);
            indent = 16;
        }
        if (block.kind == Block::Kind::Heading)
            y += 2;
        y += FlowRuns(canvas, block.runs, left + indent, y, width - indent, size, true);
        y += block.kind == Block::Kind::Heading ? 6 : block.kind == Block::Kind::ListItem ? 0 : 4;
    }
}

class BrowserKind : public ItemKind {
public:
    BrowserKind() : ItemKind("browser", "browser") {}

    // An address bar with the page's address (and what became of its load), then the
    // page laid out as a browser would: headings, paragraphs, table rows and list items
    // on lines of their own, links underlined, buttons and fields as boxes.
    void Draw(const Canvas& canvas, const std::shared_ptr<ItemState>& item) const override
    {
        const DG::Rect& r = item->rect;
        canvas.FillRect(r, 1, 1, 1);
        const browser::BrowserEngine* engine = EngineOf(*item);
        if (engine != nullptr) {
            const auto bar = static_cast<short>(std::min<int>(r.GetHeight(), 24));
            const DG::Rect address(r.left, r.top, r.right, static_cast<short>(r.top + bar));
            canvas.FillRect(address, 0.92, 0.92, 0.94);
            const browser::LoadState state = engine->State();
            std::string shown = engine->Url();
            if (state == browser::LoadState::Loading)
                shown += "  (loading)";
            else if (state == browser::LoadState::Failed)
                shown += "  (" + engine->Error() + ")";
            canvas.Text(address, Utf16(shown), 0, true, true, 10);
            const DG::Rect page(r.left, static_cast<short>(r.top + bar), r.right, r.bottom);
            canvas.BeginClip(page);
            DrawPage(canvas, engine->Layout(), page);
            canvas.EndClip();
        }
        canvas.StrokeRect(r, 0.75, 0.75, 0.75);
    }
};

const BrowserKind kind;
const KindRegistration registration(kind);

// The engine of the browser item the user acts on; null (refused) when the user
// cannot reach it or it shows nothing.
browser::BrowserEngine* PageToActOn(PanelState& panel, short itemId)
{
    auto target = ReachableItem(panel, itemId, "act on the page of");
    if (!target)
        return nullptr;
    if (target->kind != &kind) {
        Refuse("the user cannot act on the page of " + target->Describe() + ": a " + target->kind->Label() +
               " shows no page");
        return nullptr;
    }
    browser::BrowserEngine* engine = EngineOf(*target);
    if (engine == nullptr || engine->State() == browser::LoadState::Blank) {
        Refuse("the user cannot act on the page of " + target->Describe() + ": it shows no page");
        return nullptr;
    }
    return engine;
}

Action PageAction(short itemId, std::string elementId, const char* verb,
                  std::string (browser::BrowserEngine::*act)(const std::string&))
{
    const std::string what = std::string(verb) + " \"" + elementId + "\" on item " + std::to_string(itemId);
    return Action{what, [itemId, elementId, verb, act](PanelState& panel) {
                      browser::BrowserEngine* engine = PageToActOn(panel, itemId);
                      if (engine == nullptr)
                          return;
                      const std::string error = (engine->*act)(elementId);
                      if (!error.empty())
                          Refuse("the user cannot " + std::string(verb) + " \"" + elementId + "\" on the page " +
                                 engine->Url() + " of " + panel.FindItem(itemId)->Describe() + ": " + error);
                  }};
}

}  // namespace
}  // namespace standin::dg::detail

namespace DG {

using namespace standin::dg::detail;

BrowserBase::BrowserBase(const Panel& panel, short itemId) : Item(panel, itemId, "browser")
{
    if (Usable(State(), "DG::BrowserBase::BrowserBase") && State()->data == nullptr)
        State()->data = std::make_unique<BrowserData>();
}

BrowserBase::~BrowserBase()
{
    // A browser whose window is gone loads nothing more.
    if (standin::browser::BrowserEngine* engine = State() ? EngineOf(*State()) : nullptr)
        engine->StopLoad();
}

void BrowserBase::LoadURL(const GS::UniString& url)
{
    if (Usable(State(), "DG::BrowserBase::LoadURL"))
        EngineOf(*State())->LoadURL(Utf8(url.Units()));
}

void BrowserBase::LoadHTML(const GS::UniString& html)
{
    if (Usable(State(), "DG::BrowserBase::LoadHTML"))
        EngineOf(*State())->LoadHTML(Utf8(html.Units()));
}

void BrowserBase::StopLoad()
{
    if (Usable(State(), "DG::BrowserBase::StopLoad"))
        EngineOf(*State())->StopLoad();
}

Browser::Browser(const Panel& panel, short itemId) : BrowserBase(panel, itemId) {}

}  // namespace DG

namespace standin::dg {

using namespace detail;

std::optional<BrowserPage> FindBrowserPage(short resourceId, short itemId)
{
    if (!CheckCall("standin::dg::FindBrowserPage"))
        return std::nullopt;
    const auto panel = NewestPanel(resourceId);
    const auto item = panel ? panel->FindItem(itemId) : nullptr;
    const standin::browser::BrowserEngine* engine = item ? EngineOf(*item) : nullptr;
    if (engine == nullptr)
        return std::nullopt;
    BrowserPage page;
    page.state = standin::browser::ToString(engine->State());
    page.error = engine->Error();
    page.url = engine->Url();
    page.status = engine->Status();
    page.title = engine->Title();
    page.text = engine->VisibleText();
    page.elementIds = engine->ElementIds();
    for (const standin::browser::Navigation& navigation : engine->Navigations())
        page.requests.push_back(BrowserPage::Request{navigation.method, navigation.url, navigation.body});
    return page;
}

Action FollowLink(short item, std::string elementId)
{
    return PageAction(item, std::move(elementId), "follow the link", &standin::browser::BrowserEngine::FollowLink);
}

Action SubmitForm(short item, std::string elementId)
{
    return PageAction(item, std::move(elementId), "submit", &standin::browser::BrowserEngine::SubmitForm);
}

Action PressElement(short item, std::string elementId)
{
    return PageAction(item, std::move(elementId), "press", &standin::browser::BrowserEngine::Press);
}

Action WaitForPage(short resourceId, short item, std::chrono::milliseconds timeout)
{
    Action action("the page of item " + std::to_string(item) + " has loaded", nullptr);
    action.until = [resourceId, item] {
        const std::optional<BrowserPage> page = FindBrowserPage(resourceId, item);
        if (!page || page->state == "loading" || page->state == "blank")
            return false;
        if (page->state != "done")
            Refuse("the page of item " + std::to_string(item) + " of dialog " + std::to_string(resourceId) +
                   " did not load (" + page->state + "): " + page->error);
        return true;
    };
    action.timeout = timeout;
    return action;
}

}  // namespace standin::dg
