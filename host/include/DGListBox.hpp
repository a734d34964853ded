// Stand-in for the dialog manager's list boxes: rows (counted from 1) in tab fields
// with their positions, justification and truncation, a text and an icon per cell,
// separator rows, an optional header, selection, and the list's own events (clicks
// on a row at a point, selection changes, mouse moves with their active-area
// answer, rows dragged to a new place where the resource allows dragging).
//
// Included by DG.hpp; every call belongs to the user-interface thread.
#pragma once

#include "DG.hpp"

namespace DG {

// The host's built-in icons: -2 marks an active area, -3 a set check mark, -4 a
// cleared one, -5 a mixed one.
constexpr GSResModule BuiltInIcons = -4;
constexpr short ActiveAreaIcon = -2;
constexpr short CheckedIcon = -3;
constexpr short UncheckedIcon = -4;
constexpr short MixedIcon = -5;

// ---------------------------------------------------------------------------
// Events

// The selection changed by the user's hand (never by the program's calls).
class ListBoxSelectionEvent : public ItemChangeEvent {
public:
    using ItemChangeEvent::ItemChangeEvent;
};

// A click on a row: the row and where the mouse was, from the row's top left
// corner (x in the coordinates of the tab fields).
class ListBoxClickEvent : public ItemClickEvent {
public:
    ListBoxClickEvent(Item* source, short listItem, Point mouseOffset)
        : ItemClickEvent(source), listItem_(listItem), offset_(mouseOffset)
    {
    }
    short GetListItem() const { return listItem_; }
    Point GetMouseOffset() const { return offset_; }

private:
    short listItem_;
    Point offset_;
};

// The pointer moved over the list: the row under it (0 below the last row) and
// where, as in a click.
class ListBoxMouseMoveEvent : public ItemEvent {
public:
    ListBoxMouseMoveEvent(Item* source, short listItem, Point mouseOffset)
        : ItemEvent(source), listItem_(listItem), offset_(mouseOffset)
    {
    }
    short GetListItem() const { return listItem_; }
    Point GetMouseOffset() const { return offset_; }

private:
    short listItem_;
    Point offset_;
};

// A row was dragged from the previous to the new row number (the row's number
// after the move); the list has moved it already.
class ListBoxDragEvent : public ItemEvent {
public:
    ListBoxDragEvent(Item* source, short previousIndex, short newIndex)
        : ItemEvent(source), previous_(previousIndex), new_(newIndex)
    {
    }
    short GetPreviousIndex() const { return previous_; }
    short GetNewIndex() const { return new_; }

private:
    short previous_;
    short new_;
};

// A drag of one row of an item, as its source and its target see it.
class ItemDragEvent : public ItemEvent {
public:
    ItemDragEvent(Item* source, short listItem) : ItemEvent(source), listItem_(listItem) {}
    short GetListItem() const { return listItem_; }

private:
    short listItem_;
};

// ---------------------------------------------------------------------------
// Observers. As with the other observers, the bodies are the host's base handlers.

class ItemDragSourceObserver {
public:
    virtual ~ItemDragSourceObserver() = default;
    // *canStart starts true; false keeps the row where it is.
    virtual void ItemDragStarting(const ItemDragEvent& ev, bool* canStart);
    virtual void ItemDragEnded(const ItemDragEvent& ev);
};

class ItemDropTargetObserver {
public:
    virtual ~ItemDropTargetObserver() = default;
    virtual void ItemDragEntered(const ItemDragEvent& ev);
    virtual void ItemDropped(const ItemDragEvent& ev);
};

class ListBoxObserver : public ItemObserver, public ItemDragSourceObserver, public ItemDropTargetObserver {
public:
    virtual void ListBoxSelectionChanged(const ListBoxSelectionEvent& ev);
    virtual void ListBoxClicked(const ListBoxClickEvent& ev);
    virtual void ListBoxItemDragged(const ListBoxDragEvent& ev);
    // *inArea starts 0; 1 tells the host that the pointer rests on an active area.
    virtual void ListBoxMouseMoved(const ListBoxMouseMoveEvent& ev, short* inArea);
};

// ---------------------------------------------------------------------------
// List boxes

class ListBox : public Item {
public:
    // Row numbers: 0 for every row (DeleteItem, DeselectItem), -1 for after the last.
    static constexpr short AllItems = 0;
    static constexpr short BottomItem = -1;

    enum Justification : short { Left = 256, Center = 512, Right = 768 };
    enum Truncation : short { NoTruncate = 0, EndTruncate = 4096, MiddleTruncate = 8192 };

    short GetItemCount() const;
    // A new empty row at the end, or before the row given (BottomItem: at the end).
    void AppendItem();
    void InsertItem(short listItem);
    // Removes the row (AllItems: every row).
    void DeleteItem(short listItem);
    // A separator row before the row given (BottomItem: at the end). It holds no
    // cells and cannot be selected or clicked.
    void InsertSeparator(short listItem);
    bool IsSeparator(short listItem) const;

    // Tab fields, counted from 1; positions in the row's coordinates (0 to the item
    // width). A new tab field spans nothing until its properties are set.
    void SetTabFieldCount(short count);
    short GetTabFieldCount() const;
    void SetTabFieldProperties(short tabIndex, short begPos, short endPos, Justification justification,
                               Truncation truncation, bool hasSeparator = false, bool status = true);
    short GetTabFieldBeginPosition(short tabIndex) const;
    short GetTabFieldEndPosition(short tabIndex) const;
    short GetTabFieldWidth(short tabIndex) const;

    void SetTabItemText(short listItem, short tabIndex, const GS::UniString& text);
    GS::UniString GetTabItemText(short listItem, short tabIndex) const;
    void SetTabItemIcon(short listItem, short tabIndex, const Icon& icon);
    Icon GetTabItemIcon(short listItem, short tabIndex) const;

    // Header items name tab fields: at most as many as there are tab fields. The
    // header shows only when the resource gives the list one.
    void SetHeaderItemCount(short count);
    short GetHeaderItemCount() const;
    void SetHeaderItemText(short headerItem, const GS::UniString& text);
    GS::UniString GetHeaderItemText(short headerItem) const;

    // The size of one row: the list's inner width beside its scroll bar, and the
    // resource's row height.
    short GetItemWidth() const;
    short GetItemHeight() const;

    void SelectItem(short listItem);
    void DeselectItem(short listItem);
    short GetSelectedCount() const;
    // The first selected row after startItem; 0 when there is none.
    short GetSelectedItem(short startItem = 0) const;

protected:
    ListBox(const Panel& panel, short itemId, const char* kind);
};

class SingleSelListBox : public ListBox {
public:
    SingleSelListBox(const Panel& panel, short itemId);
};

}  // namespace DG

// The icon of a cell of a list box of a panel (dialId: the panel's GetId).
DG::Icon DGListGetTabItemIcon(short dialId, short item, short listItem, short tabIndex);
void DGListSetTabItemIcon(short dialId, short item, short listItem, short tabIndex, const DG::Icon& icon);
