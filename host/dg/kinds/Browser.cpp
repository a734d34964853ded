// The embedded browser: an engine of its own per item (host/browser), which loads
// pages on its thread; the item shows the page loaded. The user acts on the page's
// elements by id (standin::dg::FollowLink, SubmitForm, PressElement).
#include "../DgInternal.hpp"

#include "BrowserEngine.hpp"

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

// Whole words to lines of at most `columns` characters.
std::vector<std::string> Wrap(const std::string& text, std::size_t columns)
{
    std::vector<std::string> lines;
    std::string line;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(' ', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string word = text.substr(start, end - start);
        if (!line.empty() && line.size() + 1 + word.size() > columns) {
            lines.push_back(line);
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
        start = end + 1;
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

class BrowserKind : public ItemKind {
public:
    BrowserKind() : ItemKind("browser", "browser") {}

    // An address bar with the page's address, then its title and visible text.
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
            const auto columns = static_cast<std::size_t>(std::max(8, (r.GetWidth() - 16) / 7));
            std::string body = engine->Title();
            for (const std::string& line : Wrap(engine->VisibleText(), columns))
                body += "\n" + line;
            const DG::Rect page(static_cast<short>(r.left + 6), static_cast<short>(r.top + bar + 6), r.right, r.bottom);
            canvas.Text(page, Utf16(body), 0, false, true);
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
