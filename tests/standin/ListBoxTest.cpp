// The stand-in's list boxes: rows, separators, tab fields and cells as the program
// sets them, what it refuses, the user's clicks, pointing and dragging with the
// events they raise, and how the rows are drawn.
#include "HostFixture.hpp"
#include "Pictures.hpp"

#include "DG.hpp"
#include "standin/Dialogs.hpp"

#include <functional>
#include <thread>

namespace {

namespace dg = standin::dg;

constexpr GSResModule Module = 2000;
constexpr short Lists = 100;
constexpr short CloseItem = 1;
constexpr short DragList = 2;  // header, dragging allowed
constexpr short PlainList = 3;

// Rows span 200 pixels in the first list (218 less frame and scroll bar).
constexpr const char* kDialog = R"({"id": 100, "type": "modal", "title": "Lists", "size": [300, 250],
  "items": [
    {"id": 1, "kind": "button", "rect": [200, 215, 88, 25], "text": "Close"},
    {"id": 2, "kind": "singlesellistbox", "rect": [10, 10, 218, 140], "rowHeight": 20, "header": 18, "dragging": true},
    {"id": 3, "kind": "singlesellistbox", "rect": [10, 160, 218, 45]}
  ]})";

using tarvel::testing::Contains;

// Records the list's events; answers mouse moves and drag starts as told.
class ListWatcher : public DG::ListBoxObserver {
public:
    void ListBoxSelectionChanged(const DG::ListBoxSelectionEvent& ev) override
    {
        events.push_back("selection " + std::to_string(static_cast<DG::ListBox*>(ev.GetSource())->GetSelectedItem()));
    }
    void ListBoxClicked(const DG::ListBoxClickEvent& ev) override
    {
        events.push_back("click " + std::to_string(ev.GetListItem()) + " at " +
                         std::to_string(ev.GetMouseOffset().x) + "," + std::to_string(ev.GetMouseOffset().y));
    }
    void ListBoxItemDragged(const DG::ListBoxDragEvent& ev) override
    {
        events.push_back("dragged " + std::to_string(ev.GetPreviousIndex()) + " to " +
                         std::to_string(ev.GetNewIndex()));
    }
    void ListBoxMouseMoved(const DG::ListBoxMouseMoveEvent& ev, short* inArea) override
    {
        events.push_back("moved " + std::to_string(ev.GetListItem()) + " at " +
                         std::to_string(ev.GetMouseOffset().x) + "," + std::to_string(ev.GetMouseOffset().y));
        if (activeFrom <= ev.GetMouseOffset().x)
            *inArea = 1;
    }
    void ItemToolTipRequested(const DG::ItemHelpEvent& ev, GS::UniString* text) override
    {
        events.push_back("tooltip " + std::to_string(ev.GetSubItem()));
        *text = GS::UniString(("field " + std::to_string(ev.GetSubItem())).c_str());
    }
    void ItemDragStarting(const DG::ItemDragEvent& ev, bool* canStart) override
    {
        events.push_back("starting " + std::to_string(ev.GetListItem()));
        *canStart = allowDrag;
    }
    void ItemDragEntered(const DG::ItemDragEvent&) override { events.push_back("entered"); }
    void ItemDropped(const DG::ItemDragEvent& ev) override
    {
        events.push_back("dropped at " + std::to_string(ev.GetListItem()));
    }
    void ItemDragEnded(const DG::ItemDragEvent&) override { events.push_back("ended"); }

    std::vector<std::string> events;
    short activeFrom = 1000;
    bool allowDrag = true;
};

// Closes the dialog when its button is clicked.
class Closer : public DG::ItemObserver {
public:
    explicit Closer(DG::ModalDialog& dialog) : dialog_(dialog) {}
    void SpecClicked(const DG::ItemClickEvent&) override { dialog_.PostCloseRequest(DG::ModalDialog::Cancel); }

private:
    DG::ModalDialog& dialog_;
};

// The dialog of the test module with its lists and its close button.
struct ListsDialog {
    ListsDialog() : dialog(Module, Lists, Module), close(dialog, CloseItem), closer(dialog), list(dialog, DragList)
    {
        close.Attach(closer);
        list.Attach(watcher);
    }
    // Runs the dialog until the script's last action, which closes it.
    void Run(const std::function<void(dg::DialogScript&)>& script)
    {
        dg::DialogScript user = dg::User(Lists);
        script(user);
        user.Click(CloseItem);
        dialog.Invoke();
    }

    DG::ModalDialog dialog;
    DG::Button close;
    Closer closer;
    DG::SingleSelListBox list;
    ListWatcher watcher;
};

// Three tab fields (left, centred, right) and four rows: Alpha, a separator, Beta
// with a check mark, Gamma.
void Fill(DG::ListBox& list)
{
    list.SetTabFieldCount(3);
    list.SetTabFieldProperties(1, 0, 60, DG::ListBox::Left, DG::ListBox::EndTruncate);
    list.SetTabFieldProperties(2, 60, 100, DG::ListBox::Center, DG::ListBox::NoTruncate);
    list.SetTabFieldProperties(3, 100, 200, DG::ListBox::Right, DG::ListBox::MiddleTruncate, true);
    list.AppendItem();
    list.SetTabItemText(1, 1, GS::UniString("Alpha"));
    list.InsertSeparator(DG::ListBox::BottomItem);
    list.AppendItem();
    list.SetTabItemText(3, 1, GS::UniString("Beta"));
    list.SetTabItemIcon(3, 2, DG::Icon(DG::BuiltInIcons, DG::CheckedIcon));
    list.AppendItem();
    list.SetTabItemText(4, 3, GS::UniString("Gamma"));
}

std::vector<std::string> FirstTexts(short resourceId, short item)
{
    std::vector<std::string> texts;
    const std::vector<dg::ListRowInfo> rows = dg::FindItem(resourceId, item)->list->rows;
    for (const auto& row : rows)
        texts.push_back(row.separator ? "-" : row.cells.at(0).text);
    return texts;
}

class ListBoxTest : public tarvel::testing::HostFixture {
protected:
    void SetUp() override
    {
        HostFixture::SetUp();
        AddDialogModule(Module, {kDialog});
    }
};

TEST_F(ListBoxTest, RowsCellsAndTabFieldsAreKeptAsTheProgramSetsThem)
{
    ListsDialog lists;
    DG::SingleSelListBox& list = lists.list;
    EXPECT_EQ(list.GetItemWidth(), 200);
    EXPECT_EQ(list.GetItemHeight(), 20);
    Fill(list);
    EXPECT_EQ(list.GetItemCount(), 4);
    EXPECT_TRUE(list.IsSeparator(2));
    EXPECT_FALSE(list.IsSeparator(3));
    EXPECT_EQ(list.GetTabFieldBeginPosition(2), 60);
    EXPECT_EQ(list.GetTabFieldEndPosition(2), 100);
    EXPECT_EQ(list.GetTabFieldWidth(3), 100);
    EXPECT_EQ(list.GetTabItemText(3, 1).ToUtf8(), "Beta");
    EXPECT_EQ(list.GetTabItemText(2, 1).ToUtf8(), "");  // a separator's cells read empty
    EXPECT_EQ(list.GetTabItemIcon(3, 2).GetResourceId(), DG::CheckedIcon);
    EXPECT_EQ(list.GetTabItemIcon(3, 2).GetResourceModule(), DG::BuiltInIcons);
    EXPECT_TRUE(list.GetTabItemIcon(1, 2).IsEmpty());
    // The same cell through the calls that name the list by panel and item.
    const short panel = lists.dialog.GetId();
    EXPECT_EQ(DGListGetTabItemIcon(panel, DragList, 3, 2).GetResourceId(), DG::CheckedIcon);
    DGListSetTabItemIcon(panel, DragList, 3, 2, DG::Icon(DG::BuiltInIcons, DG::UncheckedIcon));
    EXPECT_EQ(list.GetTabItemIcon(3, 2).GetResourceId(), DG::UncheckedIcon);
    // An icon made from an image keeps its pixels and has no resource id.
    const DG::Icon made(GX::Image(DG::NativeImage(DG::Icon(DG::BuiltInIcons, -2), 1.0).GetNativeImage())
                            .GetIconHandle());
    list.SetTabItemIcon(1, 1, made);
    EXPECT_EQ(list.GetTabItemIcon(1, 1).GetResourceId(), 0);
    EXPECT_FALSE(list.GetTabItemIcon(1, 1).IsEmpty());

    // Rows go in before a row and come out again; selection moves with its row.
    list.SelectItem(4);
    list.InsertItem(1);
    list.SetTabItemText(1, 1, GS::UniString("First"));
    EXPECT_EQ(FirstTexts(Lists, DragList), (std::vector<std::string>{"First", "Alpha", "-", "Beta", ""}));
    EXPECT_EQ(list.GetSelectedItem(), 5);
    EXPECT_EQ(list.GetSelectedItem(5), 0);
    EXPECT_EQ(list.GetSelectedCount(), 1);
    list.SelectItem(2);  // one row at a time
    EXPECT_EQ(list.GetSelectedCount(), 1);
    list.DeleteItem(2);
    EXPECT_EQ(list.GetSelectedCount(), 0);
    EXPECT_EQ(FirstTexts(Lists, DragList), (std::vector<std::string>{"First", "-", "Beta", ""}));
    const auto info = dg::FindItem(Lists, DragList)->list;
    ASSERT_TRUE(info);
    EXPECT_TRUE(info->dragging);
    EXPECT_EQ(info->headerHeight, 18);
    ASSERT_EQ(info->tabFields.size(), 3u);
    EXPECT_EQ(info->tabFields[2].justification, DG::ListBox::Right);
    EXPECT_EQ(info->tabFields[2].truncation, DG::ListBox::MiddleTruncate);
    EXPECT_TRUE(info->tabFields[2].hasSeparator);
    EXPECT_TRUE(info->tabFields[2].enabled);
    // Row tops below the frame and header; a separator row is 8 high.
    ASSERT_EQ(info->rows.size(), 4u);
    EXPECT_EQ(info->rows[1].top, 39);
    EXPECT_EQ(info->rows[1].height, 8);
    EXPECT_EQ(info->rows[2].top, 47);
    EXPECT_TRUE(info->rows[1].cells.empty());

    // Header items name tab fields.
    list.SetHeaderItemCount(2);
    list.SetHeaderItemText(2, GS::UniString("Mark"));
    EXPECT_EQ(list.GetHeaderItemText(2).ToUtf8(), "Mark");
    list.SetTabFieldCount(1);  // fewer tab fields take the header items beyond them along
    EXPECT_EQ(list.GetHeaderItemCount(), 1);
    EXPECT_EQ(dg::FindItem(Lists, DragList)->list->rows[0].cells.size(), 1u);
    list.DeleteItem(DG::ListBox::AllItems);
    EXPECT_EQ(list.GetItemCount(), 0);
}

TEST_F(ListBoxTest, RefusesWhatAListWouldNot)
{
    struct Case {
        const char* what;
        std::function<void(ListsDialog&)> act;
        const char* message;
    };
    auto user = [](std::function<void(dg::DialogScript&)> script) {
        return [script](ListsDialog& lists) { lists.Run(script); };
    };
    const std::vector<Case> cases = {
        {"a row the list lacks", [](ListsDialog& l) { l.list.SetTabItemText(9, 1, GS::UniString("x")); },
         "DG::ListBox::SetTabItemText: item 2 (single-selection list box) of dialog 100 \"Lists\" has no row 9 (it "
         "has 4 row(s))"},
        {"a tab field the list lacks", [](ListsDialog& l) { l.list.GetTabItemIcon(1, 4); },
         "has no tab field 4 (it has 3)"},
        {"a separator's cell", [](ListsDialog& l) { l.list.SetTabItemIcon(2, 2, DG::Icon()); },
         "row 2 of item 2 (single-selection list box) of dialog 100 \"Lists\" is a separator, which has no cells"},
        {"an unknown justification",
         [](ListsDialog& l) {
             l.list.SetTabFieldProperties(1, 0, 10, static_cast<DG::ListBox::Justification>(0),
                                          DG::ListBox::EndTruncate);
         },
         "justification 0 for tab field 1"},
        {"an unknown truncation",
         [](ListsDialog& l) {
             l.list.SetTabFieldProperties(1, 0, 10, DG::ListBox::Left, static_cast<DG::ListBox::Truncation>(1));
         },
         "truncation 1 for tab field 1"},
        {"an end before the beginning",
         [](ListsDialog& l) { l.list.SetTabFieldProperties(2, 50, 10, DG::ListBox::Left, DG::ListBox::NoTruncate); },
         "positions 50 to 10 for tab field 2"},
        {"more header items than tab fields", [](ListsDialog& l) { l.list.SetHeaderItemCount(4); },
         "4 header items for item 2 (single-selection list box) of dialog 100 \"Lists\", which has 3 tab field(s)"},
        {"selecting a separator", [](ListsDialog& l) { l.list.SelectItem(2); }, "which cannot be selected"},
        {"a panel id that names no dialog",
         [](ListsDialog&) { DGListSetTabItemIcon(-7, DragList, 1, 1, DG::Icon()); },
         "DGListSetTabItemIcon: -7 names no dialog"},
        {"an item that is no list",
         [](ListsDialog& l) { DGListGetTabItemIcon(l.dialog.GetId(), CloseItem, 1, 1); },
         "DGListGetTabItemIcon: item 1 (push button) of dialog 100 \"Lists\" is no list box"},
        {"a call off the user-interface thread",
         [](ListsDialog& l) { std::thread([&] { l.list.GetItemCount(); }).join(); },
         "DG::ListBox::GetItemCount called off the user-interface thread"},
        {"a click on a row the list lacks", user([](dg::DialogScript& s) { s.Then(dg::ClickListRow(DragList, 9, 5)); }),
         "the user cannot click row 9 of item 2 (single-selection list box) of dialog 100 \"Lists\": it has 4 row(s)"},
        {"a click beside the rows", user([](dg::DialogScript& s) { s.Then(dg::ClickListRow(DragList, 1, 200)); }),
         "the user cannot click item 2 (single-selection list box) of dialog 100 \"Lists\" at x 200: the rows span 0 "
         "to 199"},
        {"a row click on a button", user([](dg::DialogScript& s) { s.Then(dg::PointAtListRow(CloseItem, 1, 5)); }),
         "the user cannot point at a row of item 1 (push button) of dialog 100 \"Lists\": it is no list box"},
        {"dragging where the resource allows none",
         user([](dg::DialogScript& s) { s.Then(dg::DragListRow(PlainList, 1, 1)); }),
         "the user cannot drag rows of item 3 (single-selection list box) of dialog 100 \"Lists\": its resource "
         "allows no dragging"},
        {"dragging a separator", user([](dg::DialogScript& s) { s.Then(dg::DragListRow(DragList, 2, 1)); }),
         "the user cannot drag row 2 of item 2 (single-selection list box) of dialog 100 \"Lists\": it is a separator"},
        {"dragging past the rows", user([](dg::DialogScript& s) { s.Then(dg::DragListRow(DragList, 1, 5)); }),
         "to row 5: it has 4 row(s)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ListsDialog lists;
        Fill(lists.list);
        DG::SingleSelListBox plain(lists.dialog, PlainList);
        plain.AppendItem();
        std::vector<std::string> messages;
        {
            dg::RefusalCatcher catcher;
            c.act(lists);
            messages = catcher.Messages();
        }
        ASSERT_EQ(messages.size(), 1u) << (messages.empty() ? "" : messages.back());
        EXPECT_TRUE(Contains(messages[0], c.message)) << messages[0];
        // What was refused changed nothing.
        EXPECT_EQ(FirstTexts(Lists, DragList), (std::vector<std::string>{"Alpha", "-", "Beta", ""}));
    }
}

TEST_F(ListBoxTest, AClickSelectsTheRowThenReportsWhereItHit)
{
    ListsDialog lists;
    Fill(lists.list);
    lists.Run([](dg::DialogScript& user) {
        user.Then(dg::ClickListRow(DragList, 3, 70))
            .Then(dg::ClickListRow(DragList, 3, 0))
            .Then(dg::ClickListRow(DragList, 2, 70))  // a separator: nothing
            .Then(dg::ClickListRow(DragList, 4, 199))
            .Click(DragList);  // the list's middle: y 70 lies in row 4
    });
    EXPECT_EQ(lists.watcher.events, (std::vector<std::string>{"selection 3", "click 3 at 70,10", "click 3 at 0,10",
                                                              "selection 4", "click 4 at 199,10", "click 4 at 108,3"}));
    EXPECT_EQ(lists.list.GetSelectedItem(), 4);
    EXPECT_EQ(dg::Steps().at(1), "dialog 100 \"Lists\": click row 3 of item 2 at x 70");
}

TEST_F(ListBoxTest, PointingAsksForTheActiveAreaAndTheTabFieldsTooltip)
{
    ListsDialog lists;
    Fill(lists.list);
    lists.watcher.activeFrom = 60;
    std::vector<short> areas;
    std::vector<std::string> tips;
    auto look = [&] {
        areas.push_back(dg::FindItem(Lists, DragList)->list->activeArea);
        tips.push_back(dg::LastToolTip());
    };
    lists.Run([&](dg::DialogScript& user) {
        user.Then(dg::PointAtListRow(DragList, 3, 75))
            .Do("look", look)
            .Then(dg::PointAtListRow(DragList, 1, 10))
            .Do("look", look)
            .Hover(DragList)  // the list's middle
            .Do("look", look);
    });
    EXPECT_EQ(lists.watcher.events,
              (std::vector<std::string>{"moved 3 at 75,10", "tooltip 2", "moved 1 at 10,10", "tooltip 1",
                                        "moved 4 at 108,3", "tooltip 3"}));
    EXPECT_EQ(areas, (std::vector<short>{1, 0, 1}));
    EXPECT_EQ(tips, (std::vector<std::string>{"field 2", "field 1", "field 3"}));
}

TEST_F(ListBoxTest, ARowDraggedMovesWithItsCellsAndTellsSourceAndTarget)
{
    ListsDialog lists;
    Fill(lists.list);
    lists.list.SelectItem(4);
    lists.Run([&](dg::DialogScript& user) {
        user.Then(dg::DragListRow(DragList, 4, 1))
            .Do("refuse the next drag", [&] { lists.watcher.allowDrag = false; })
            .Then(dg::DragListRow(DragList, 1, 4));
    });
    EXPECT_EQ(lists.watcher.events,
              (std::vector<std::string>{"starting 4", "entered", "dropped at 1", "dragged 4 to 1", "ended",
                                        "starting 1"}));
    const auto rows = dg::FindItem(Lists, DragList)->list->rows;
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].cells.at(2).text, "Gamma");
    EXPECT_TRUE(rows[0].selected);
    EXPECT_EQ(FirstTexts(Lists, DragList), (std::vector<std::string>{"", "Alpha", "-", "Beta"}));
}

TEST_F(ListBoxTest, ThePictureShowsEachCellInItsTabField)
{
    ListsDialog lists;
    DG::SingleSelListBox& list = lists.list;
    Fill(list);
    list.SetHeaderItemCount(3);
    list.SetHeaderItemText(1, GS::UniString("Name"));
    list.SelectItem(4);
    const dg::Picture picture = dg::RenderPanel(Lists);
    // Rows begin inside the frame: x 11 of the client area; row 1 at y 10 + 19.
    const int left = picture.clientLeft + 11;
    const int top = picture.clientTop + 10;
    auto pixel = [&](int x, int y) { return picture.At(left + x, top + y); };
    auto darkIn = [&](int x0, int x1, int y0, int y1) {
        return tarvel::testing::DarkPixels(picture, left + x0, top + y0, x1 - x0, y1 - y0);
    };
    // The check mark of row 3 (y 47 to 67), centred in tab field 2: the built-in
    // icon's pixels, 16 x 16, at x 60 + (40 - 16) / 2.
    const dg::Picture mark = dg::PictureOf(DG::NativeImage(DG::Icon(DG::BuiltInIcons, -3), 1.0).GetNativeImage());
    EXPECT_LE(tarvel::testing::OverlayDifference(picture, left + 72, top + 49, mark, 0xFFFFFF), 2);
    // Texts lie in their fields: "Alpha" at the left of field 1, "Gamma" at the
    // right of field 3 (on the selected row's colour), nothing elsewhere.
    EXPECT_GT(darkIn(2, 40, 19, 39), 0);
    EXPECT_EQ(darkIn(40, 200, 19, 39), 0);
    const std::uint32_t selected = pixel(110, 70);  // the selected row's pale blue
    EXPECT_GT(selected & 0xFF, (selected >> 16) & 0xFF);
    EXPECT_LT((selected >> 16) & 0xFF, 0xF0u);
    EXPECT_EQ(darkIn(100, 140, 67, 87), 0);
    EXPECT_GT(darkIn(140, 198, 67, 87), 0);
    // The separator row is a grey line across; the header shows its text.
    EXPECT_NE(pixel(30, 43) & 0xFF, 0xFFu);
    EXPECT_EQ(pixel(30, 41), 0xFFFFFFFFu);
    EXPECT_GT(darkIn(2, 60, 1, 18), 0);
}

}  // namespace
