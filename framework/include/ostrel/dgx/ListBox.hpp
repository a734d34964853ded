// A host list box bound to a vector of items: each row that is not a separator
// shows one item in the list's tab fields, with the texts and icons that the
// item type's row model gives. A click inside a tab field toggles that cell's
// check mark; the selection, rows dragged to a new place and tooltip requests
// reach function objects.
#pragma once

#include "DG.hpp"
#include "ostrel/ApplicationContent.hpp"
#include "ostrel/dgx/Controls.hpp"
#include "ostrel/dgx/Icons.hpp"
#include "ostrel/interop/Interop.hpp"

#include <boost/optional.hpp>
#include <glm/vec2.hpp>

#include <algorithm>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ostrel::ac::dgx {

// How an item of T shows in a row; specialised for each item type:
//   static std::vector<std::wstring> Texts(const T& item);
//       one text per tab field, "" for none;
//   static std::vector<std::shared_ptr<IIconOwner>> Icons(const T& item,
//       const boost::optional<glm::dvec2>& maxSize, ApplicationContentCache* cache);
//       one icon per tab field, empty for none; maxSize is the row's size.
template <typename T>
struct ListRowModel;

// Calls the list's hook for each of its events, then the host's own handler.
template <typename List>
class DGXListBoxObserver : public DG::ListBoxObserver {
public:
    explicit DGXListBoxObserver(List* owner) : owner_(owner) {}

    void ListBoxSelectionChanged(const DG::ListBoxSelectionEvent& ev) override
    {
        owner_->OnChanged(ev);
        DG::ListBoxObserver::ListBoxSelectionChanged(ev);
    }
    void ListBoxClicked(const DG::ListBoxClickEvent& ev) override
    {
        owner_->OnClicked(ev);
        DG::ListBoxObserver::ListBoxClicked(ev);
    }
    void ItemChanged(const DG::ItemChangeEvent& ev) override
    {
        owner_->OnValueChanged(ev);
        DG::ListBoxObserver::ItemChanged(ev);
    }
    void ListBoxItemDragged(const DG::ListBoxDragEvent& ev) override
    {
        owner_->OnItemDragged(ev);
        DG::ListBoxObserver::ListBoxItemDragged(ev);
    }
    void ListBoxMouseMoved(const DG::ListBoxMouseMoveEvent& ev, short* inArea) override
    {
        owner_->OnListMouseMoved(ev, inArea);
        DG::ListBoxObserver::ListBoxMouseMoved(ev, inArea);
    }
    void ItemToolTipRequested(const DG::ItemHelpEvent& ev, GS::UniString* text) override
    {
        owner_->OnListToolTipRequested(ev, text);
        DG::ListBoxObserver::ItemToolTipRequested(ev, text);
    }

private:
    List* owner_;
};

// The items shown, one per row that is not a separator, in row order.
template <typename Derived, typename T, typename DGItem>
class EntityBoundControlX : public ItemControlX<Derived, DGItem> {
public:
    using ControlX<Derived, DGItem>::GetItem;

    // A copy of the item at the position (from 1); an empty T outside the items.
    T GetItem(short position) const
    {
        if (position < 1 || static_cast<std::size_t>(position) > items.size())
            return T();
        return items[static_cast<std::size_t>(position) - 1];
    }
    std::size_t ItemCount() const { return items.size(); }

protected:
    using ItemControlX<Derived, DGItem>::ItemControlX;

    std::vector<T> items;
};

// Separator rows between the items: their row numbers (from 1, ascending).
template <typename Derived>
class SupportsSeparatorsPropertyX {
public:
    // A separator row at the end of the list.
    void AppendSeparator()
    {
        Derived& self = static_cast<Derived&>(*this);
        self.GetItem().InsertSeparator(DG::ListBox::BottomItem);
        separators.push_back(static_cast<short>(self.ItemCount() + separators.size() + 1));
    }
    const std::vector<short>& GetSeparators() const { return separators; }
    bool IsSeparatorRow(short row) const { return std::binary_search(separators.begin(), separators.end(), row); }
    // The item position a row shows: the row less the separators at or before it.
    short PositionOfRow(short row) const
    {
        const auto before = std::upper_bound(separators.begin(), separators.end(), row) - separators.begin();
        return static_cast<short>(row - before);
    }

protected:
    ~SupportsSeparatorsPropertyX() = default;

    std::vector<short> separators;
};

template <typename Derived, typename T, typename DGList, short Columns, short MostSelected>
class ListBoxX : public EntityBoundControlX<Derived, T, DGList>, public SupportsSeparatorsPropertyX<Derived> {
    using Bound = EntityBoundControlX<Derived, T, DGList>;
    using Model = ListRowModel<T>;

public:
    using Bound::GetItem;
    static constexpr short ColumnCount = Columns;
    static constexpr short MostSelectedRows = MostSelected;

    ListBoxX(const DG::Panel& panel, short itemId, ApplicationContentCache* cache)
        : Bound(panel, itemId, cache), listObserver(this)
    {
        this->item->SetTabFieldCount(Columns);
        this->item->Detach(this->observer);
        this->item->Attach(listObserver);
        this->item->SetHeaderItemCount(Columns);
    }
    ~ListBoxX() override
    {
        onToolTipRequested = nullptr;
        onItemsReordered = nullptr;
        onSelectionChanged = nullptr;
    }

    // The selection changed: onSelectionChanged with the selected item (an empty T
    // for none).
    void OnChanged(const DG::ItemChangeEvent&) override
    {
        if (onSelectionChanged)
            onSelectionChanged(GetItem(this->PositionOfRow(this->GetItem().GetSelectedItem(0))));
    }

    // A click inside a tab field turns that cell's check mark (set or mixed to
    // cleared, cleared to set); then onClick.
    void OnClicked(const DG::ItemClickEvent& ev) override
    {
        if (const auto* click = dynamic_cast<const DG::ListBoxClickEvent*>(&ev))
            ToggleCheckMark(click->GetListItem(), click->GetMouseOffset().x);
        Bound::OnClicked(ev);
    }

    virtual void Clear()
    {
        this->GetItem().DeleteItem(DG::ListBox::AllItems);
        this->items.clear();
        this->separators.clear();
    }

    // A row for the item, unless the model gives it neither a text nor an icon.
    virtual void AppendItem(const T& entry)
    {
        DGList& list = this->GetItem();
        const boost::optional<glm::dvec2> maxSize = glm::dvec2(list.GetItemWidth(), list.GetItemHeight());
        std::vector<std::wstring> texts = Model::Texts(entry);
        std::vector<std::shared_ptr<IIconOwner>> icons = Model::Icons(entry, maxSize, this->contentCache);
        texts.resize(Columns);
        icons.resize(Columns);
        const bool shows = std::any_of(texts.begin(), texts.end(), [](const auto& text) { return !text.empty(); }) ||
                           std::any_of(icons.begin(), icons.end(), [](const auto& icon) { return icon != nullptr; });
        if (!shows)
            return;
        list.AppendItem();
        const short row = list.GetItemCount();
        for (short column = 1; column <= Columns; ++column) {
            if (!texts[column - 1].empty())
                list.SetTabItemText(row, column, interop::ToUniString(texts[column - 1]));
            if (icons[column - 1])
                list.SetTabItemIcon(row, column, icons[column - 1]->GetIcon());
        }
        this->items.push_back(entry);
    }

    // Removes the row and the item it shows; a separator row or a row the list
    // lacks changes nothing.
    virtual void DeleteItem(short row)
    {
        const short position = this->PositionOfRow(row);
        if (row < 1 || this->IsSeparatorRow(row) || position < 1 ||
            static_cast<std::size_t>(position) > this->items.size())
            return;
        this->items.erase(this->items.begin() + (position - 1));
        this->GetItem().DeleteItem(row);
        for (short& separator : this->separators)
            if (separator > row)
                --separator;
    }

    virtual std::vector<T> GetSelectedItems() = 0;

    virtual void RemoveSelected()
    {
        DGList& list = this->GetItem();
        if (list.GetSelectedCount() > 0)
            DeleteItem(list.GetSelectedItem(0));
        list.DeselectItem(DG::ListBox::AllItems);
    }

    // Sets a cell of a list of a panel to the host's built-in icon of that id.
    static void SetListTabItemIcon(short panelId, short itemId, short row, short column, short iconId)
    {
        DGListSetTabItemIcon(panelId, itemId, row, column, DG::Icon(DG::BuiltInIcons, iconId));
    }

    // The host moved a row: the item it shows moves with it. Rows past separator
    // rows are mapped to item positions as the selection maps them.
    void OnItemDragged(const DG::ListBoxDragEvent& ev)
    {
        const short previous = ev.GetPreviousIndex();
        const short next = ev.GetNewIndex();
        const std::size_t rows = this->items.size() + this->separators.size();
        if (previous == next || previous < 1 || next < 1 || static_cast<std::size_t>(previous) > rows ||
            static_cast<std::size_t>(next) > rows)
            return;
        const bool separatorMoved = this->IsSeparatorRow(previous);
        const short from = this->PositionOfRow(previous);
        std::vector<bool> isSeparator(rows, false);
        for (short separator : this->separators)
            isSeparator[static_cast<std::size_t>(separator) - 1] = true;
        isSeparator.erase(isSeparator.begin() + (previous - 1));
        isSeparator.insert(isSeparator.begin() + (next - 1), separatorMoved);
        this->separators.clear();
        for (std::size_t row = 0; row < rows; ++row)
            if (isSeparator[row])
                this->separators.push_back(static_cast<short>(row + 1));
        if (separatorMoved)
            return;
        const short to = this->PositionOfRow(next);
        if (from == to)
            return;
        T moved = std::move(this->items[static_cast<std::size_t>(from) - 1]);
        this->items.erase(this->items.begin() + (from - 1));
        this->items.insert(this->items.begin() + (to - 1), std::move(moved));
        if (onItemsReordered)
            onItemsReordered(static_cast<short>(from - 1), static_cast<short>(to - 1));
    }

    // The pointer over a cell whose icon marks an active area: the host is told so.
    void OnListMouseMoved(const DG::ListBoxMouseMoveEvent& ev, short* inArea)
    {
        const short column = ColumnAt(ev.GetMouseOffset().x);
        if (column != 0 && ev.GetListItem() >= 1 &&
            CellIconId(ev.GetListItem(), column) == DG::ActiveAreaIcon)
            *inArea = 1;
    }

    void OnListToolTipRequested(const DG::ItemHelpEvent& ev, GS::UniString* text)
    {
        if (onToolTipRequested && ev.GetSubItem() > 0)
            onToolTipRequested(ev.GetSubItem(), text);
    }

    DGXListBoxObserver<ListBoxX> listObserver;
    std::function<void(const T&)> onSelectionChanged;
    // (previous position, new position), counted from 0.
    std::function<void(short, short)> onItemsReordered;
    // (tab field, text to fill).
    std::function<void(short, GS::UniString*)> onToolTipRequested;

private:
    // The first tab field that holds x strictly inside its edges; 0 for none.
    short ColumnAt(short x) const
    {
        const DGList& list = this->GetItem();
        const short count = list.GetTabFieldCount();
        for (short column = 1; column <= count; ++column)
            if (x > list.GetTabFieldBeginPosition(column) && x < list.GetTabFieldEndPosition(column))
                return column;
        return 0;
    }

    short PanelId() const
    {
        const DG::Panel* panel = this->GetItem().GetPanel();
        return panel != nullptr ? panel->GetId() : 0;
    }

    short CellIconId(short row, short column) const
    {
        return DGListGetTabItemIcon(PanelId(), this->GetItem().GetId(), row, column).GetResourceId();
    }

    // Only check marks change: any other icon (a logo) stays as it is.
    void ToggleCheckMark(short row, short x)
    {
        const short column = ColumnAt(x);
        if (column == 0 || row < 1)
            return;
        const short id = CellIconId(row, column);
        short toggled = id;
        if (id == DG::MixedIcon || id == DG::UncheckedIcon)
            toggled = DG::CheckedIcon;
        else if (id == DG::CheckedIcon)
            toggled = DG::UncheckedIcon;
        if (toggled != id)
            SetListTabItemIcon(PanelId(), this->GetItem().GetId(), row, column, toggled);
    }
};

// The single-selection list: GetSelectedItems gives the selected item or nothing.
template <typename T, short Columns = 3>
class SingleSelListBoxX : public ListBoxX<SingleSelListBoxX<T, Columns>, T, DG::SingleSelListBox, Columns, 1> {
    using Base = ListBoxX<SingleSelListBoxX<T, Columns>, T, DG::SingleSelListBox, Columns, 1>;

public:
    using Base::Base;

    std::vector<T> GetSelectedItems() override
    {
        std::vector<T> selected;
        const DG::SingleSelListBox& list = this->GetItem();
        if (list.GetSelectedCount() < 1)
            return selected;
        for (short row = list.GetSelectedItem(0);
             row != 0 && selected.size() < static_cast<std::size_t>(Base::MostSelectedRows);
             row = list.GetSelectedItem(row))
            selected.push_back(this->GetItem(this->PositionOfRow(row)));
        return selected;
    }
};

}  // namespace ostrel::ac::dgx
