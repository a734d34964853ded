// The list box wrapper, driven through the scripted user: rows mapped to items past
// separator rows, check marks toggled by a click inside their tab field, drag
// reordering, the active-area answer and tooltips.
#include "ostrel/dgx/ListBox.hpp"

#include "HostFixture.hpp"
#include "standin/Dialogs.hpp"

namespace {

namespace dg = standin::dg;
using namespace ostrel::ac::dgx;

// One row's content: a text and a built-in icon id (0: none) per tab field.
struct Entry {
    std::wstring texts[3];
    short icons[3] = {0, 0, 0};
    bool logo = false;  // an icon made from an image in tab field 1
};
using EntryPtr = std::shared_ptr<Entry>;

class FixedIcon : public IIconOwner {
public:
    explicit FixedIcon(DG::Icon shown) : icon(std::move(shown)) {}
    const DG::Icon& GetIcon() const override { return icon; }

private:
    DG::Icon icon;
};

std::vector<glm::dvec2> askedSizes;

}  // namespace

template <>
struct ostrel::ac::dgx::ListRowModel<EntryPtr> {
    static std::vector<std::wstring> Texts(const EntryPtr& entry)
    {
        return {entry->texts[0], entry->texts[1], entry->texts[2]};
    }
    static std::vector<std::shared_ptr<IIconOwner>> Icons(const EntryPtr& entry,
                                                          const boost::optional<glm::dvec2>& maxSize,
                                                          ApplicationContentCache*)
    {
        askedSizes.push_back(maxSize.value_or(glm::dvec2(-1, -1)));
        std::vector<std::shared_ptr<IIconOwner>> icons(3);
        for (int i = 0; i < 3; ++i)
            if (entry->icons[i] != 0)
                icons[i] = std::make_shared<FixedIcon>(DG::Icon(DG::BuiltInIcons, entry->icons[i]));
        if (entry->logo) {
            const auto image = DG::NativeImage(DG::Icon(DG::BuiltInIcons, DG::ActiveAreaIcon), 1.0).GetNativeImage();
            icons[0] = std::make_shared<FixedIcon>(DG::Icon(GX::Image(image).GetIconHandle()));
        }
        return icons;
    }
};

namespace {

constexpr GSResModule Module = 2000;
constexpr short Lists = 100;
constexpr short CloseItem = 1;
constexpr short ListItem = 2;

// Rows span 200 pixels (218 less frame and scroll bar); dragging allowed.
constexpr const char* kDialog = R"({"id": 100, "type": "modal", "title": "Lists", "size": [300, 200],
  "items": [
    {"id": 1, "kind": "button", "rect": [200, 165, 88, 25], "text": "Close"},
    {"id": 2, "kind": "singlesellistbox", "rect": [10, 10, 218, 140], "dragging": true}
  ]})";

EntryPtr Named(const wchar_t* name, short mark = 0)
{
    auto entry = std::make_shared<Entry>();
    entry->texts[2] = name;
    entry->icons[1] = mark;
    return entry;
}

class Lists3 {
public:
    Lists3() : cache("."), dialog(Module, Lists, Module), close(dialog, CloseItem, &cache), list(dialog, ListItem, &cache)
    {
        close.onClick = [this] { dialog.PostCloseRequest(DG::ModalDialog::Cancel); };
        list.onClick = [this] { ++clicks; };
        DG::SingleSelListBox& host = list.GetItem();
        host.SetTabFieldProperties(1, 0, 60, DG::ListBox::Left, DG::ListBox::EndTruncate);
        host.SetTabFieldProperties(2, 60, 100, DG::ListBox::Left, DG::ListBox::EndTruncate);
        host.SetTabFieldProperties(3, 100, 180, DG::ListBox::Left, DG::ListBox::EndTruncate);
    }
    void Run(const std::function<void(dg::DialogScript&)>& script)
    {
        dg::DialogScript user = dg::User(Lists);
        script(user);
        user.Click(CloseItem);
        dialog.Invoke();
    }
    std::vector<std::wstring> Names()
    {
        std::vector<std::wstring> names;
        for (short position = 1; position <= static_cast<short>(list.ItemCount()); ++position)
            names.push_back(list.GetItem(position)->texts[2]);
        return names;
    }

    ostrel::ApplicationContentCache cache;
    DG::ModalDialog dialog;
    ButtonX close;
    SingleSelListBoxX<EntryPtr, 3> list;
    int clicks = 0;
};

short MarkOf(short row, short column = 2)
{
    return dg::FindItem(Lists, ListItem)->list->rows.at(row - 1).cells.at(column - 1).iconId;
}

class ListBoxXTest : public tarvel::testing::HostFixture {
protected:
    void SetUp() override
    {
        HostFixture::SetUp();
        AddDialogModule(Module, {kDialog});
        askedSizes.clear();
    }
};

TEST_F(ListBoxXTest, SelectionMapsRowsPastSeparatorsToItems)
{
    Lists3 lists;
    const auto info = dg::FindItem(Lists, ListItem)->list;
    EXPECT_EQ(info->tabFields.size(), 3u);
    EXPECT_EQ(info->headerItems.size(), 3u);
    const EntryPtr a = Named(L"A");
    const EntryPtr b = Named(L"B");
    lists.list.AppendSeparator();
    lists.list.AppendItem(a);
    lists.list.AppendSeparator();
    lists.list.AppendItem(std::make_shared<Entry>());  // shows nothing: no row
    lists.list.AppendItem(b);
    lists.list.AppendSeparator();
    EXPECT_EQ(lists.list.GetSeparators(), (std::vector<short>{1, 3, 5}));
    EXPECT_EQ(lists.list.GetItem().GetItemCount(), 5);
    EXPECT_EQ(lists.list.ItemCount(), 2u);
    // The row model was asked with the row's size: item width and row height.
    ASSERT_EQ(askedSizes.size(), 3u);
    EXPECT_EQ(askedSizes[0], glm::dvec2(200, 20));

    std::vector<EntryPtr> changed;
    std::vector<std::vector<EntryPtr>> selected;
    lists.list.onSelectionChanged = [&](const EntryPtr& entry) {
        changed.push_back(entry);
        selected.push_back(lists.list.GetSelectedItems());
    };
    lists.Run([](dg::DialogScript& user) {
        user.Then(dg::ClickListRow(ListItem, 2, 150)).Then(dg::ClickListRow(ListItem, 4, 150));
    });
    EXPECT_EQ(changed, (std::vector<EntryPtr>{a, b}));
    EXPECT_EQ(selected, (std::vector<std::vector<EntryPtr>>{{a}, {b}}));
    EXPECT_EQ(lists.list.GetItem(3), nullptr);
    EXPECT_EQ(lists.list.GetItem(0), nullptr);
    lists.list.GetItem().DeselectItem(DG::ListBox::AllItems);
    EXPECT_TRUE(lists.list.GetSelectedItems().empty());
}

TEST_F(ListBoxXTest, AClickInsideATabFieldTurnsItsCheckMark)
{
    Lists3 lists;
    auto logo = Named(L"logo", DG::UncheckedIcon);
    logo->logo = true;
    lists.list.AppendItem(logo);
    lists.list.AppendItem(Named(L"checked", DG::CheckedIcon));
    lists.list.AppendItem(Named(L"mixed", DG::MixedIcon));
    std::vector<short> marks;
    auto look = [&] { marks.push_back(MarkOf(1)); };
    lists.Run([&](dg::DialogScript& user) {
        user.Then(dg::ClickListRow(ListItem, 1, 80))
            .Do("look", look)
            .Then(dg::ClickListRow(ListItem, 1, 61))
            .Do("look", look)
            .Then(dg::ClickListRow(ListItem, 1, 60))  // on the border: nothing
            .Then(dg::ClickListRow(ListItem, 1, 100))
            .Do("look", look)
            .Then(dg::ClickListRow(ListItem, 1, 20))  // the logo stays
            .Then(dg::ClickListRow(ListItem, 1, 150))  // no icon: nothing
            .Then(dg::ClickListRow(ListItem, 2, 99))
            .Then(dg::ClickListRow(ListItem, 3, 70));
    });
    EXPECT_EQ(marks, (std::vector<short>{DG::CheckedIcon, DG::UncheckedIcon, DG::UncheckedIcon}));
    EXPECT_EQ(MarkOf(2), DG::UncheckedIcon);
    EXPECT_EQ(MarkOf(3), DG::CheckedIcon);
    const auto logoCell = dg::FindItem(Lists, ListItem)->list->rows.at(0).cells.at(0);
    EXPECT_TRUE(logoCell.hasIcon);
    EXPECT_EQ(logoCell.iconModule, 0);
    EXPECT_EQ(logoCell.iconWidth, 16);
    EXPECT_FALSE(dg::FindItem(Lists, ListItem)->list->rows.at(0).cells.at(2).hasIcon);
    // onClick after every click, whatever it hit.
    EXPECT_EQ(lists.clicks, 8);
}

TEST_F(ListBoxXTest, DraggedRowsMoveTheirItems)
{
    Lists3 lists;
    for (const wchar_t* name : {L"A", L"B", L"C"})
        lists.list.AppendItem(Named(name));
    std::vector<std::pair<short, short>> moves;
    lists.list.onItemsReordered = [&](short from, short to) { moves.emplace_back(from, to); };
    lists.Run([](dg::DialogScript& user) {
        user.Then(dg::DragListRow(ListItem, 3, 1)).Then(dg::DragListRow(ListItem, 2, 2));
    });
    EXPECT_EQ(lists.Names(), (std::vector<std::wstring>{L"C", L"A", L"B"}));
    EXPECT_EQ(moves, (std::vector<std::pair<short, short>>{{2, 0}}));

    // Past separator rows, rows are mapped to items as the selection maps them.
    lists.list.Clear();
    lists.list.AppendItem(Named(L"A"));
    lists.list.AppendSeparator();
    lists.list.AppendItem(Named(L"B"));
    lists.list.AppendItem(Named(L"C"));
    moves.clear();
    std::vector<std::wstring> selected;
    lists.list.onSelectionChanged = [&](const EntryPtr& entry) { selected.push_back(entry->texts[2]); };
    lists.Run([](dg::DialogScript& user) {
        user.Then(dg::DragListRow(ListItem, 4, 1))
            .Then(dg::ClickListRow(ListItem, 4, 150))
            .Then(dg::ClickListRow(ListItem, 1, 150));
    });
    EXPECT_EQ(lists.Names(), (std::vector<std::wstring>{L"C", L"A", L"B"}));
    EXPECT_EQ(lists.list.GetSeparators(), std::vector<short>{3});
    EXPECT_EQ(moves, (std::vector<std::pair<short, short>>{{2, 0}}));
    EXPECT_EQ(selected, (std::vector<std::wstring>{L"B", L"C"}));
}

TEST_F(ListBoxXTest, PointingReportsActiveAreasAndAsksForTooltips)
{
    Lists3 lists;
    lists.list.AppendItem(Named(L"area", DG::ActiveAreaIcon));
    lists.list.AppendItem(Named(L"plain", DG::CheckedIcon));
    std::vector<short> tipFields;
    lists.list.onToolTipRequested = [&](short field, GS::UniString* text) {
        tipFields.push_back(field);
        *text = GS::UniString("tip");
    };
    std::vector<short> areas;
    std::vector<std::string> tips;
    auto look = [&] {
        areas.push_back(dg::FindItem(Lists, ListItem)->list->activeArea);
        tips.push_back(dg::LastToolTip());
    };
    lists.Run([&](dg::DialogScript& user) {
        for (auto [row, x] : {std::pair<short, short>{1, 80}, {1, 60}, {1, 150}, {2, 80}, {1, 190}})
            user.Then(dg::PointAtListRow(ListItem, row, x)).Do("look", look);
    });
    EXPECT_EQ(areas, (std::vector<short>{1, 0, 0, 0, 0}));
    // At x 190 no tab field lies under the pointer: no tooltip asked.
    EXPECT_EQ(tipFields, (std::vector<short>{2, 2, 3, 2}));
    EXPECT_EQ(tips, (std::vector<std::string>{"tip", "tip", "tip", "tip", ""}));
}

TEST_F(ListBoxXTest, DeletingRowsKeepsRowsAndItemsTogether)
{
    Lists3 lists;
    lists.list.AppendSeparator();
    lists.list.AppendItem(Named(L"A"));
    lists.list.AppendSeparator();
    lists.list.AppendItem(Named(L"B"));
    lists.list.AppendSeparator();
    lists.list.DeleteItem(3);  // a separator holds no item
    lists.list.DeleteItem(9);
    EXPECT_EQ(lists.list.GetItem().GetItemCount(), 5);
    lists.list.DeleteItem(4);
    EXPECT_EQ(lists.Names(), std::vector<std::wstring>{L"A"});
    EXPECT_EQ(lists.list.GetSeparators(), (std::vector<short>{1, 3, 4}));
    lists.list.GetItem().SelectItem(2);
    lists.list.RemoveSelected();
    EXPECT_TRUE(lists.Names().empty());
    EXPECT_EQ(lists.list.GetItem().GetSelectedCount(), 0);
    EXPECT_EQ(lists.list.GetItem().GetItemCount(), 3);
    lists.list.Clear();
    EXPECT_EQ(lists.list.GetItem().GetItemCount(), 0);
    EXPECT_TRUE(lists.list.GetSeparators().empty());
}

}  // namespace
