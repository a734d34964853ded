// Single-selection list boxes: rows of cells in tab fields, separator rows, an
// optional header, selection; the user clicks a row at a point, points at one, and
// drags rows where the resource allows it.
//
// Resource fields: "rowHeight" (the height of a row, 20 by default), "header" (the
// header's height, 0 for none) and "dragging" (true: the user may drag rows).
// A row spans the list's inner width beside its 16-pixel scroll bar; a separator
// row is 8 pixels high.
#include "../DgInternal.hpp"

#include <cmath>

namespace standin::dg::detail {
namespace {

constexpr short kFrame = 1;
constexpr short kScrollBar = 16;
constexpr short kSeparatorRow = 8;
constexpr short kPadding = 2;
constexpr short kIconGap = 4;
constexpr short kMostTabFields = 64;

struct Cell {
    std::u16string text;
    bool hasIcon = false;
    GSResModule iconModule = 0;
    short iconId = 0;
    std::shared_ptr<Pixels> iconPixels;
};

struct Row {
    bool separator = false;
    bool selected = false;
    std::vector<Cell> cells;
};

struct TabField {
    short begin = 0;
    short end = 0;
    short justification = DG::ListBox::Left;
    short truncation = DG::ListBox::NoTruncate;
    bool hasSeparator = false;
    bool enabled = true;
};

struct ListData : KindData {
    short rowHeight = 20;
    short headerHeight = 0;
    bool dragging = false;
    std::vector<TabField> tabs;
    std::vector<std::u16string> headers;
    std::vector<Row> rows;
    short activeArea = 0;
};

ListData* ListOf(const std::shared_ptr<ItemState>& item)
{
    return item ? dynamic_cast<ListData*>(item->data.get()) : nullptr;
}

short ItemWidth(const ItemState& item)
{
    return static_cast<short>(std::max(0, item.rect.GetWidth() - 2 * kFrame - kScrollBar));
}

short RowHeight(const ListData& data, const Row& row) { return row.separator ? kSeparatorRow : data.rowHeight; }

// The top of the row (from 1), in the item's coordinates.
int RowTop(const ListData& data, std::size_t row)
{
    int top = kFrame + data.headerHeight;
    for (std::size_t i = 0; i + 1 < row && i < data.rows.size(); ++i)
        top += RowHeight(data, data.rows[i]);
    return top;
}

// The row (from 1) at y in the item's coordinates; 0 for none.
short RowAt(const ListData& data, int y)
{
    int top = kFrame + data.headerHeight;
    for (std::size_t i = 0; i < data.rows.size(); ++i) {
        const int height = RowHeight(data, data.rows[i]);
        if (y >= top && y < top + height)
            return static_cast<short>(i + 1);
        top += height;
    }
    return 0;
}

// The tab field (from 1) at x in the rows' coordinates; 0 for none.
short TabAt(const ListData& data, int x)
{
    for (std::size_t i = 0; i < data.tabs.size(); ++i)
        if (x >= data.tabs[i].begin && x < data.tabs[i].end)
            return static_cast<short>(i + 1);
    return 0;
}

std::string RowsText(const ListData& data) { return std::to_string(data.rows.size()) + " row(s)"; }

bool CheckRow(const ItemState& item, const ListData& data, const std::string& call, short row)
{
    if (row >= 1 && static_cast<std::size_t>(row) <= data.rows.size())
        return true;
    Refuse(call + ": " + item.Describe() + " has no row " + std::to_string(row) + " (it has " + RowsText(data) + ")");
    return false;
}

bool CheckTab(const ItemState& item, const ListData& data, const std::string& call, short tab)
{
    if (tab >= 1 && static_cast<std::size_t>(tab) <= data.tabs.size())
        return true;
    Refuse(call + ": " + item.Describe() + " has no tab field " + std::to_string(tab) + " (it has " +
           std::to_string(data.tabs.size()) + ")");
    return false;
}

// A cell that may be read (a separator row's cells read empty).
bool CheckReadCell(const ItemState& item, const ListData& data, const std::string& call, short row, short tab)
{
    return CheckRow(item, data, call, row) && CheckTab(item, data, call, tab);
}

bool CheckWriteCell(const ItemState& item, const ListData& data, const std::string& call, short row, short tab)
{
    if (!CheckReadCell(item, data, call, row, tab))
        return false;
    if (!data.rows[row - 1].separator)
        return true;
    Refuse(call + ": row " + std::to_string(row) + " of " + item.Describe() + " is a separator, which has no cells");
    return false;
}

Row NewRow(const ListData& data, bool separator)
{
    Row row;
    row.separator = separator;
    if (!separator)
        row.cells.resize(data.tabs.size());
    return row;
}

// Puts a row before the row given (BottomItem, or one past the last: at the end).
void InsertRow(const ItemState& item, ListData& data, const std::string& call, short before, bool separator)
{
    if (before == DG::ListBox::BottomItem || static_cast<std::size_t>(before) == data.rows.size() + 1) {
        data.rows.push_back(NewRow(data, separator));
        return;
    }
    if (CheckRow(item, data, call, before))
        data.rows.insert(data.rows.begin() + (before - 1), NewRow(data, separator));
}

const Cell kEmptyCell{};

const Cell& CellAt(const ListData& data, short row, short tab)
{
    const Row& found = data.rows[row - 1];
    return found.separator ? kEmptyCell : found.cells[tab - 1];
}

void SetCellIcon(Cell& cell, const DG::Icon& icon)
{
    cell.iconModule = icon.GetResourceModule();
    cell.iconId = icon.GetResourceId();
    cell.iconPixels = icon.GetPixels();
    cell.hasIcon = cell.iconModule != 0 || cell.iconPixels != nullptr;
}

DG::Icon CellIcon(const Cell& cell)
{
    return cell.hasIcon ? Access::MakeIcon(cell.iconModule, cell.iconId, cell.iconPixels) : DG::Icon();
}

// ---------------------------------------------------------------------------
// Events

void RaiseSelectionChanged(const std::shared_ptr<ItemState>& item)
{
    EventSource source(item);
    DG::ListBoxSelectionEvent ev(source.Get());
    DeliverToItem<DG::ListBoxObserver>(item,
                                       [&](DG::ListBoxObserver& observer) { observer.ListBoxSelectionChanged(ev); });
}

// The user's click on a row, at x and y within the row.
void ClickRow(const std::shared_ptr<ItemState>& item, ListData& data, short row, short x, short y)
{
    if (data.rows[row - 1].separator)
        return;
    bool alone = data.rows[row - 1].selected;
    for (std::size_t i = 0; i < data.rows.size(); ++i)
        alone = alone && (data.rows[i].selected == (i + 1 == static_cast<std::size_t>(row)));
    if (!alone) {
        for (Row& each : data.rows)
            each.selected = false;
        data.rows[row - 1].selected = true;
        RaiseSelectionChanged(item);
        if (item->dead)
            return;
    }
    EventSource source(item);
    DG::ListBoxClickEvent ev(source.Get(), row, DG::Point{x, y});
    DeliverToItem<DG::ListBoxObserver>(item, [&](DG::ListBoxObserver& observer) { observer.ListBoxClicked(ev); });
}

void MoveRow(const std::shared_ptr<ItemState>& item, ListData& data, short from, short to)
{
    EventSource source(item);
    bool canStart = true;
    const DG::ItemDragEvent starting(source.Get(), from);
    DeliverToItem<DG::ItemDragSourceObserver>(
        item, [&](DG::ItemDragSourceObserver& observer) { observer.ItemDragStarting(starting, &canStart); });
    if (!canStart || item->dead)
        return;
    DeliverToItem<DG::ItemDropTargetObserver>(
        item, [&](DG::ItemDropTargetObserver& observer) { observer.ItemDragEntered(starting); });
    // Rows may have changed under the observers.
    if (item->dead || static_cast<std::size_t>(std::max(from, to)) > data.rows.size())
        return;
    Row moved = std::move(data.rows[from - 1]);
    data.rows.erase(data.rows.begin() + (from - 1));
    data.rows.insert(data.rows.begin() + (to - 1), std::move(moved));
    const DG::ItemDragEvent dropped(source.Get(), to);
    DeliverToItem<DG::ItemDropTargetObserver>(
        item, [&](DG::ItemDropTargetObserver& observer) { observer.ItemDropped(dropped); });
    const DG::ListBoxDragEvent dragged(source.Get(), from, to);
    DeliverToItem<DG::ListBoxObserver>(item,
                                       [&](DG::ListBoxObserver& observer) { observer.ListBoxItemDragged(dragged); });
    DeliverToItem<DG::ItemDragSourceObserver>(
        item, [&](DG::ItemDragSourceObserver& observer) { observer.ItemDragEnded(dropped); });
}

// The user's action names a row of a list box at x: the list's data, or null (refused).
ListData* UserRow(const std::shared_ptr<ItemState>& item, const char* action, short row, short x)
{
    ListData* data = ListOf(item);
    if (data == nullptr) {
        Refuse(std::string("the user cannot ") + action + " a row of " + item->Describe() + ": it is no list box");
        return nullptr;
    }
    if (row < 1 || static_cast<std::size_t>(row) > data->rows.size()) {
        Refuse(std::string("the user cannot ") + action + " row " + std::to_string(row) + " of " + item->Describe() +
               ": it has " + RowsText(*data));
        return nullptr;
    }
    if (x < 0 || x >= ItemWidth(*item)) {
        Refuse(std::string("the user cannot ") + action + " " + item->Describe() + " at x " + std::to_string(x) +
               ": the rows span 0 to " + std::to_string(ItemWidth(*item) - 1));
        return nullptr;
    }
    return data;
}

// ---------------------------------------------------------------------------
// Drawing

bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Where each character of the text begins, and its end.
std::vector<std::size_t> Boundaries(const std::u16string& text)
{
    std::vector<std::size_t> bounds;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (i == 0 || !IsLowSurrogate(text[i]))
            bounds.push_back(i);
    bounds.push_back(text.size());
    return bounds;
}

// The text as the tab field's truncation shows it in that width.
std::u16string Fit(const Canvas& canvas, const std::u16string& text, double width, short truncation)
{
    if (truncation == DG::ListBox::NoTruncate || canvas.TextWidth(text) <= width)
        return text;
    const std::u16string ellipsis = u"\u2026";
    const std::vector<std::size_t> bounds = Boundaries(text);
    const std::size_t characters = bounds.size() - 1;
    for (std::size_t keep = characters; keep-- > 0;) {
        std::u16string shown;
        if (truncation == DG::ListBox::EndTruncate) {
            shown = text.substr(0, bounds[keep]) + ellipsis;
        } else {
            const std::size_t tail = keep / 2;
            const std::size_t head = keep - tail;
            shown = text.substr(0, bounds[head]) + ellipsis + text.substr(bounds[characters - tail]);
        }
        if (canvas.TextWidth(shown) <= width)
            return shown;
    }
    return u"";
}

void DrawCell(const Canvas& canvas, const DG::Rect& box, const Cell& cell, const TabField& tab, bool enabled)
{
    const int available = box.GetWidth() - 2 * kPadding;
    const int iconWidth = cell.iconPixels ? cell.iconPixels->Width() : 0;
    const int iconHeight = cell.iconPixels ? cell.iconPixels->Height() : 0;
    std::u16string text;
    double textWidth = 0;
    if (!cell.text.empty()) {
        const double room = available - (iconWidth > 0 ? iconWidth + kIconGap : 0);
        text = Fit(canvas, cell.text, std::max(0.0, room), tab.truncation);
        textWidth = canvas.TextWidth(text);
    }
    const double group = iconWidth + (iconWidth > 0 && !text.empty() ? kIconGap : 0) + textWidth;
    double x = box.left + kPadding;
    if (tab.justification == DG::ListBox::Center)
        x = box.left + (box.GetWidth() - group) / 2;
    else if (tab.justification == DG::ListBox::Right)
        x = box.right - kPadding - group;
    cairo_t* cr = canvas.cr;
    if (iconWidth > 0) {
        cairo_save(cr);
        cairo_rectangle(cr, canvas.originX + box.left, canvas.originY + box.top, box.GetWidth(), box.GetHeight());
        cairo_clip(cr);
        canvas.Image(*cell.iconPixels, std::floor(x), box.top + std::floor((box.GetHeight() - iconHeight) / 2.0),
                     enabled ? 1.0 : 0.5);
        cairo_restore(cr);
        x += iconWidth + kIconGap;
    }
    if (!text.empty())
        canvas.TextLine(box, x, text, enabled);
}

class SingleSelListBoxKind : public ItemKind {
public:
    SingleSelListBoxKind() : ItemKind("singlesellistbox", "single-selection list box") {}

    std::vector<const char*> Fields() const override { return {"rowHeight", "header", "dragging"}; }

    void Read(const Json::Value& attributes, ItemState& item) const override
    {
        auto data = std::make_unique<ListData>();
        data->rowHeight = static_cast<short>(ReadNumber(attributes, "rowHeight", 20, 8, 200));
        data->headerHeight = static_cast<short>(ReadNumber(attributes, "header", 0, 0, 100));
        if (attributes.isMember("dragging") && !attributes["dragging"].isBool())
            throw std::runtime_error("dragging must be true or false");
        data->dragging = attributes.get("dragging", false).asBool();
        item.data = std::move(data);
    }

    void Draw(const Canvas& canvas, const std::shared_ptr<ItemState>& item) const override
    {
        const ListData& data = *ListOf(item);
        const DG::Rect& r = item->rect;
        canvas.FillRect(r, 1, 1, 1);
        const auto left = static_cast<short>(r.left + kFrame);
        const auto right = static_cast<short>(left + ItemWidth(*item));
        // The scroll bar's track.
        canvas.FillRect(DG::Rect(right, static_cast<short>(r.top + kFrame), static_cast<short>(r.right - kFrame),
                                 static_cast<short>(r.bottom - kFrame)),
                        0.93, 0.93, 0.93);
        const auto rowsTop = static_cast<short>(r.top + kFrame + data.headerHeight);
        if (data.headerHeight > 0) {
            const DG::Rect header(left, static_cast<short>(r.top + kFrame), right, rowsTop);
            canvas.FillRect(header, 0.9, 0.9, 0.9);
            for (std::size_t i = 0; i < data.headers.size(); ++i) {
                const TabField& tab = data.tabs[i];
                const DG::Rect box(static_cast<short>(left + tab.begin), header.top,
                                   static_cast<short>(std::min<int>(left + tab.end, right)), header.bottom);
                Cell cell;
                cell.text = data.headers[i];
                DrawCell(canvas, box, cell, tab, item->enabled);
                canvas.FillRect(DG::Rect(static_cast<short>(box.right - 1), box.top, box.right, box.bottom), 0.7,
                                0.7, 0.7);
            }
            canvas.FillRect(DG::Rect(left, static_cast<short>(rowsTop - 1), right, rowsTop), 0.7, 0.7, 0.7);
        }
        cairo_t* cr = canvas.cr;
        cairo_save(cr);
        cairo_rectangle(cr, canvas.originX + left, canvas.originY + rowsTop, right - left,
                        r.bottom - kFrame - rowsTop);
        cairo_clip(cr);
        int top = rowsTop;
        for (const Row& row : data.rows) {
            const int height = RowHeight(data, row);
            if (top >= r.bottom)
                break;
            const auto y = static_cast<short>(top);
            const auto bottom = static_cast<short>(top + height);
            if (row.separator) {
                const auto middle = static_cast<short>(top + height / 2);
                canvas.FillRect(DG::Rect(static_cast<short>(left + 4), middle, static_cast<short>(right - 4),
                                         static_cast<short>(middle + 1)),
                                0.72, 0.72, 0.72);
            } else {
                if (row.selected)
                    canvas.FillRect(DG::Rect(left, y, right, bottom), 0.8, 0.89, 0.97);
                for (std::size_t i = 0; i < data.tabs.size(); ++i) {
                    const TabField& tab = data.tabs[i];
                    if (tab.end <= tab.begin)
                        continue;
                    const DG::Rect box(static_cast<short>(left + tab.begin), y,
                                       static_cast<short>(std::min<int>(left + tab.end, right)), bottom);
                    DrawCell(canvas, box, row.cells[i], tab, item->enabled && tab.enabled);
                    if (tab.hasSeparator)
                        canvas.FillRect(DG::Rect(static_cast<short>(box.right - 1), y, box.right, bottom), 0.85,
                                        0.85, 0.85);
                }
            }
            top += height;
        }
        cairo_restore(cr);
        canvas.StrokeRect(r, 0.5, 0.5, 0.5);
    }

    bool Click(const std::shared_ptr<ItemState>& item, DG::Point where) const override
    {
        ListData& data = *ListOf(item);
        const short row = RowAt(data, where.y);
        // A click below the last row selects nothing.
        if (row != 0)
            ClickRow(item, data, row, static_cast<short>(where.x - kFrame),
                     static_cast<short>(where.y - RowTop(data, row)));
        return true;
    }

    void MouseMoved(const std::shared_ptr<ItemState>& item, DG::Point where) const override
    {
        ListData& data = *ListOf(item);
        const short row = RowAt(data, where.y);
        const DG::Point offset{static_cast<short>(where.x - kFrame),
                               static_cast<short>(where.y - (row != 0 ? RowTop(data, row) : 0))};
        EventSource source(item);
        DG::ListBoxMouseMoveEvent ev(source.Get(), row, offset);
        short inArea = 0;
        DeliverToItem<DG::ListBoxObserver>(
            item, [&](DG::ListBoxObserver& observer) { observer.ListBoxMouseMoved(ev, &inArea); });
        if (ListData* alive = ListOf(item))
            alive->activeArea = inArea;
    }

    short SubItemAt(const std::shared_ptr<ItemState>& item, DG::Point where) const override
    {
        return TabAt(*ListOf(item), where.x - kFrame);
    }

    void Describe(const ItemState& item, ItemInfo& info) const override
    {
        const auto* data = dynamic_cast<const ListData*>(item.data.get());
        if (data == nullptr)
            return;
        ListInfo list;
        list.itemWidth = ItemWidth(item);
        list.itemHeight = data->rowHeight;
        list.dragging = data->dragging;
        list.headerHeight = data->headerHeight;
        list.activeArea = data->activeArea;
        for (const auto& header : data->headers)
            list.headerItems.push_back(Utf8(header));
        for (const TabField& tab : data->tabs)
            list.tabFields.push_back(
                TabFieldInfo{tab.begin, tab.end, tab.justification, tab.truncation, tab.hasSeparator, tab.enabled});
        for (std::size_t i = 0; i < data->rows.size(); ++i) {
            const Row& row = data->rows[i];
            ListRowInfo shown;
            shown.separator = row.separator;
            shown.selected = row.selected;
            shown.top = static_cast<short>(RowTop(*data, i + 1));
            shown.height = RowHeight(*data, row);
            for (const Cell& cell : row.cells) {
                ListCellInfo cellInfo;
                cellInfo.text = Utf8(cell.text);
                cellInfo.hasIcon = cell.hasIcon;
                cellInfo.iconModule = cell.iconModule;
                cellInfo.iconId = cell.iconId;
                cellInfo.iconWidth = cell.iconPixels ? cell.iconPixels->Width() : 0;
                cellInfo.iconHeight = cell.iconPixels ? cell.iconPixels->Height() : 0;
                shown.cells.push_back(std::move(cellInfo));
            }
            list.rows.push_back(std::move(shown));
        }
        info.list = std::move(list);
    }
};

const SingleSelListBoxKind kind;
const KindRegistration registration(kind);

// The list box of a panel, for the calls that name it by panel and item id.
std::shared_ptr<ItemState> ListItem(short dialId, short itemId, const std::string& call)
{
    if (!CheckCall(call.c_str()))
        return nullptr;
    std::shared_ptr<PanelState> panel;
    for (const auto& candidate : GetState().panels)
        if (candidate->id == dialId && !candidate->dead)
            panel = candidate;
    if (!panel) {
        Refuse(call + ": " + std::to_string(dialId) + " names no dialog");
        return nullptr;
    }
    auto item = panel->FindItem(itemId);
    if (!item) {
        Refuse(call + ": " + panel->Describe() + " has no item " + std::to_string(itemId));
        return nullptr;
    }
    if (ListOf(item) == nullptr) {
        Refuse(call + ": " + item->Describe() + " is no list box");
        return nullptr;
    }
    return item;
}

}  // namespace
}  // namespace standin::dg::detail

namespace standin::dg {

using namespace detail;

Action ClickListRow(short item, short row, short x)
{
    return Action{"click row " + std::to_string(row) + " of item " + std::to_string(item) + " at x " +
                      std::to_string(x),
                  [item, row, x](PanelState& panel) {
                      auto target = ReachableItem(panel, item, "click");
                      if (!target)
                          return;
                      if (ListData* data = UserRow(target, "click", row, x))
                          ClickRow(target, *data, row, x, static_cast<short>(RowHeight(*data, data->rows[row - 1]) / 2));
                  }};
}

Action PointAtListRow(short item, short row, short x)
{
    return Action{"point at row " + std::to_string(row) + " of item " + std::to_string(item) + " at x " +
                      std::to_string(x),
                  [item, row, x](PanelState& panel) {
                      auto target = panel.FindItem(item);
                      ListData* data = target ? UserRow(target, "point at", row, x) : nullptr;
                      if (target && data == nullptr)
                          return;
                      std::optional<DG::Point> where;
                      if (data != nullptr)
                          where = DG::Point{static_cast<short>(x + kFrame),
                                            static_cast<short>(RowTop(*data, row) +
                                                               RowHeight(*data, data->rows[row - 1]) / 2)};
                      PointAt(panel, item, where);
                  }};
}

Action DragListRow(short item, short from, short to)
{
    return Action{"drag row " + std::to_string(from) + " of item " + std::to_string(item) + " to row " +
                      std::to_string(to),
                  [item, from, to](PanelState& panel) {
                      auto target = ReachableItem(panel, item, "drag rows of");
                      if (!target)
                          return;
                      ListData* data = UserRow(target, "drag", from, 0);
                      if (data == nullptr)
                          return;
                      if (!data->dragging) {
                          Refuse("the user cannot drag rows of " + target->Describe() +
                                 ": its resource allows no dragging");
                          return;
                      }
                      if (to < 1 || static_cast<std::size_t>(to) > data->rows.size()) {
                          Refuse("the user cannot drag a row of " + target->Describe() + " to row " +
                                 std::to_string(to) + ": it has " + RowsText(*data));
                          return;
                      }
                      if (data->rows[from - 1].separator) {
                          Refuse("the user cannot drag row " + std::to_string(from) + " of " + target->Describe() +
                                 ": it is a separator");
                          return;
                      }
                      MoveRow(target, *data, from, to);
                  }};
}

}  // namespace standin::dg

namespace DG {

using namespace standin::dg::detail;

namespace {

// The list's data when the call may go on.
ListData* Data(const Item& self, const char* call)
{
    return Usable(self.State(), call) ? ListOf(self.State()) : nullptr;
}

}  // namespace

ListBox::ListBox(const Panel& panel, short itemId, const char* kind) : Item(panel, itemId, kind) {}

SingleSelListBox::SingleSelListBox(const Panel& panel, short itemId) : ListBox(panel, itemId, "singlesellistbox") {}

short ListBox::GetItemCount() const
{
    const ListData* data = Data(*this, "DG::ListBox::GetItemCount");
    return data != nullptr ? static_cast<short>(data->rows.size()) : 0;
}

void ListBox::AppendItem()
{
    if (ListData* data = Data(*this, "DG::ListBox::AppendItem"))
        data->rows.push_back(NewRow(*data, false));
}

void ListBox::InsertItem(short listItem)
{
    const char* call = "DG::ListBox::InsertItem";
    if (ListData* data = Data(*this, call))
        InsertRow(*State(), *data, call, listItem, false);
}

void ListBox::DeleteItem(short listItem)
{
    const char* call = "DG::ListBox::DeleteItem";
    ListData* data = Data(*this, call);
    if (data == nullptr)
        return;
    if (listItem == AllItems)
        data->rows.clear();
    else if (CheckRow(*State(), *data, call, listItem))
        data->rows.erase(data->rows.begin() + (listItem - 1));
}

void ListBox::InsertSeparator(short listItem)
{
    const char* call = "DG::ListBox::InsertSeparator";
    if (ListData* data = Data(*this, call))
        InsertRow(*State(), *data, call, listItem, true);
}

bool ListBox::IsSeparator(short listItem) const
{
    const char* call = "DG::ListBox::IsSeparator";
    const ListData* data = Data(*this, call);
    return data != nullptr && CheckRow(*State(), *data, call, listItem) && data->rows[listItem - 1].separator;
}

void ListBox::SetTabFieldCount(short count)
{
    const char* call = "DG::ListBox::SetTabFieldCount";
    ListData* data = Data(*this, call);
    if (data == nullptr)
        return;
    if (count < 0 || count > kMostTabFields) {
        Refuse(std::string(call) + ": " + std::to_string(count) + " tab fields for " + State()->Describe() +
               " (0 to " + std::to_string(kMostTabFields) + ")");
        return;
    }
    data->tabs.resize(static_cast<std::size_t>(count));
    if (data->headers.size() > data->tabs.size())
        data->headers.resize(data->tabs.size());
    for (Row& row : data->rows)
        if (!row.separator)
            row.cells.resize(data->tabs.size());
}

short ListBox::GetTabFieldCount() const
{
    const ListData* data = Data(*this, "DG::ListBox::GetTabFieldCount");
    return data != nullptr ? static_cast<short>(data->tabs.size()) : 0;
}

void ListBox::SetTabFieldProperties(short tabIndex, short begPos, short endPos, Justification justification,
                                    Truncation truncation, bool hasSeparator, bool status)
{
    const std::string call = "DG::ListBox::SetTabFieldProperties";
    ListData* data = Data(*this, call.c_str());
    if (data == nullptr || !CheckTab(*State(), *data, call, tabIndex))
        return;
    const std::string field = " for tab field " + std::to_string(tabIndex) + " of " + State()->Describe();
    if (begPos < 0 || endPos < begPos) {
        Refuse(call + ": positions " + std::to_string(begPos) + " to " + std::to_string(endPos) + field);
        return;
    }
    if (justification != Left && justification != Center && justification != Right) {
        Refuse(call + ": justification " + std::to_string(justification) + field + " is none of 256, 512, 768");
        return;
    }
    if (truncation != NoTruncate && truncation != EndTruncate && truncation != MiddleTruncate) {
        Refuse(call + ": truncation " + std::to_string(truncation) + field + " is none of 0, 4096, 8192");
        return;
    }
    data->tabs[tabIndex - 1] = TabField{begPos, endPos, justification, truncation, hasSeparator, status};
}

short ListBox::GetTabFieldBeginPosition(short tabIndex) const
{
    const char* call = "DG::ListBox::GetTabFieldBeginPosition";
    const ListData* data = Data(*this, call);
    return data != nullptr && CheckTab(*State(), *data, call, tabIndex) ? data->tabs[tabIndex - 1].begin : 0;
}

short ListBox::GetTabFieldEndPosition(short tabIndex) const
{
    const char* call = "DG::ListBox::GetTabFieldEndPosition";
    const ListData* data = Data(*this, call);
    return data != nullptr && CheckTab(*State(), *data, call, tabIndex) ? data->tabs[tabIndex - 1].end : 0;
}

short ListBox::GetTabFieldWidth(short tabIndex) const
{
    const char* call = "DG::ListBox::GetTabFieldWidth";
    const ListData* data = Data(*this, call);
    if (data == nullptr || !CheckTab(*State(), *data, call, tabIndex))
        return 0;
    return static_cast<short>(data->tabs[tabIndex - 1].end - data->tabs[tabIndex - 1].begin);
}

void ListBox::SetTabItemText(short listItem, short tabIndex, const GS::UniString& text)
{
    const char* call = "DG::ListBox::SetTabItemText";
    ListData* data = Data(*this, call);
    if (data != nullptr && CheckWriteCell(*State(), *data, call, listItem, tabIndex))
        data->rows[listItem - 1].cells[tabIndex - 1].text = text.Units();
}

GS::UniString ListBox::GetTabItemText(short listItem, short tabIndex) const
{
    const char* call = "DG::ListBox::GetTabItemText";
    const ListData* data = Data(*this, call);
    if (data == nullptr || !CheckReadCell(*State(), *data, call, listItem, tabIndex))
        return {};
    return GS::UniString(CellAt(*data, listItem, tabIndex).text);
}

void ListBox::SetTabItemIcon(short listItem, short tabIndex, const Icon& icon)
{
    const char* call = "DG::ListBox::SetTabItemIcon";
    ListData* data = Data(*this, call);
    if (data != nullptr && CheckWriteCell(*State(), *data, call, listItem, tabIndex))
        SetCellIcon(data->rows[listItem - 1].cells[tabIndex - 1], icon);
}

Icon ListBox::GetTabItemIcon(short listItem, short tabIndex) const
{
    const char* call = "DG::ListBox::GetTabItemIcon";
    const ListData* data = Data(*this, call);
    if (data == nullptr || !CheckReadCell(*State(), *data, call, listItem, tabIndex))
        return Icon();
    return CellIcon(CellAt(*data, listItem, tabIndex));
}

void ListBox::SetHeaderItemCount(short count)
{
    const char* call = "DG::ListBox::SetHeaderItemCount";
    ListData* data = Data(*this, call);
    if (data == nullptr)
        return;
    if (count < 0 || static_cast<std::size_t>(count) > data->tabs.size()) {
        Refuse(std::string(call) + ": " + std::to_string(count) + " header items for " + State()->Describe() +
               ", which has " + std::to_string(data->tabs.size()) + " tab field(s)");
        return;
    }
    data->headers.resize(static_cast<std::size_t>(count));
}

short ListBox::GetHeaderItemCount() const
{
    const ListData* data = Data(*this, "DG::ListBox::GetHeaderItemCount");
    return data != nullptr ? static_cast<short>(data->headers.size()) : 0;
}

void ListBox::SetHeaderItemText(short headerItem, const GS::UniString& text)
{
    const char* call = "DG::ListBox::SetHeaderItemText";
    ListData* data = Data(*this, call);
    if (data == nullptr)
        return;
    if (headerItem < 1 || static_cast<std::size_t>(headerItem) > data->headers.size()) {
        Refuse(std::string(call) + ": " + State()->Describe() + " has no header item " + std::to_string(headerItem));
        return;
    }
    data->headers[headerItem - 1] = text.Units();
}

GS::UniString ListBox::GetHeaderItemText(short headerItem) const
{
    const char* call = "DG::ListBox::GetHeaderItemText";
    const ListData* data = Data(*this, call);
    if (data == nullptr)
        return {};
    if (headerItem < 1 || static_cast<std::size_t>(headerItem) > data->headers.size()) {
        Refuse(std::string(call) + ": " + State()->Describe() + " has no header item " + std::to_string(headerItem));
        return {};
    }
    return GS::UniString(data->headers[headerItem - 1]);
}

short ListBox::GetItemWidth() const { return Data(*this, "DG::ListBox::GetItemWidth") ? ItemWidth(*State()) : 0; }

short ListBox::GetItemHeight() const
{
    const ListData* data = Data(*this, "DG::ListBox::GetItemHeight");
    return data != nullptr ? data->rowHeight : 0;
}

void ListBox::SelectItem(short listItem)
{
    const char* call = "DG::ListBox::SelectItem";
    ListData* data = Data(*this, call);
    if (data == nullptr || !CheckRow(*State(), *data, call, listItem))
        return;
    if (data->rows[listItem - 1].separator) {
        Refuse(std::string(call) + ": row " + std::to_string(listItem) + " of " + State()->Describe() +
               " is a separator, which cannot be selected");
        return;
    }
    for (Row& row : data->rows)
        row.selected = false;
    data->rows[listItem - 1].selected = true;
}

void ListBox::DeselectItem(short listItem)
{
    const char* call = "DG::ListBox::DeselectItem";
    ListData* data = Data(*this, call);
    if (data == nullptr)
        return;
    if (listItem == AllItems) {
        for (Row& row : data->rows)
            row.selected = false;
    } else if (CheckRow(*State(), *data, call, listItem)) {
        data->rows[listItem - 1].selected = false;
    }
}

short ListBox::GetSelectedCount() const
{
    const ListData* data = Data(*this, "DG::ListBox::GetSelectedCount");
    if (data == nullptr)
        return 0;
    return static_cast<short>(
        std::count_if(data->rows.begin(), data->rows.end(), [](const Row& row) { return row.selected; }));
}

short ListBox::GetSelectedItem(short startItem) const
{
    const ListData* data = Data(*this, "DG::ListBox::GetSelectedItem");
    if (data == nullptr)
        return 0;
    for (std::size_t i = static_cast<std::size_t>(std::max<short>(startItem, 0)); i < data->rows.size(); ++i)
        if (data->rows[i].selected)
            return static_cast<short>(i + 1);
    return 0;
}

void ItemDragSourceObserver::ItemDragStarting(const ItemDragEvent& ev, bool*)
{
    LogBaseCall(ev.GetSource(), "ItemDragStarting");
}

void ItemDragSourceObserver::ItemDragEnded(const ItemDragEvent& ev) { LogBaseCall(ev.GetSource(), "ItemDragEnded"); }

void ItemDropTargetObserver::ItemDragEntered(const ItemDragEvent& ev)
{
    LogBaseCall(ev.GetSource(), "ItemDragEntered");
}

void ItemDropTargetObserver::ItemDropped(const ItemDragEvent& ev) { LogBaseCall(ev.GetSource(), "ItemDropped"); }

void ListBoxObserver::ListBoxSelectionChanged(const ListBoxSelectionEvent& ev)
{
    LogBaseCall(ev.GetSource(), "ListBoxSelectionChanged");
}

void ListBoxObserver::ListBoxClicked(const ListBoxClickEvent& ev) { LogBaseCall(ev.GetSource(), "ListBoxClicked"); }

void ListBoxObserver::ListBoxItemDragged(const ListBoxDragEvent& ev)
{
    LogBaseCall(ev.GetSource(), "ListBoxItemDragged");
}

void ListBoxObserver::ListBoxMouseMoved(const ListBoxMouseMoveEvent& ev, short*)
{
    LogBaseCall(ev.GetSource(), "ListBoxMouseMoved");
}

}  // namespace DG

DG::Icon DGListGetTabItemIcon(short dialId, short item, short listItem, short tabIndex)
{
    using namespace standin::dg::detail;
    const std::string call = "DGListGetTabItemIcon";
    const auto list = ListItem(dialId, item, call);
    const ListData* data = ListOf(list);
    if (data == nullptr || !CheckReadCell(*list, *data, call, listItem, tabIndex))
        return DG::Icon();
    return CellIcon(CellAt(*data, listItem, tabIndex));
}

void DGListSetTabItemIcon(short dialId, short item, short listItem, short tabIndex, const DG::Icon& icon)
{
    using namespace standin::dg::detail;
    const std::string call = "DGListSetTabItemIcon";
    const auto list = ListItem(dialId, item, call);
    ListData* data = ListOf(list);
    if (data != nullptr && CheckWriteCell(*list, *data, call, listItem, tabIndex))
        SetCellIcon(data->rows[listItem - 1].cells[tabIndex - 1], icon);
}
