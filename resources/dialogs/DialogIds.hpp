// The add-on's dialog and item ids, made from the list beside the dialog resources
// (DialogIds.def): ids::About::Dialog is the About dialog's resource id,
// ids::About::Close its Close button's item id. The add-on, the stand-in's runner and
// the tests all take them from here.
#pragma once

#include <cstddef>
#include <iterator>
#include <string_view>

namespace tarvel::ids {

#define TARVEL_DIALOG(name, id, type, title)         \
    namespace name {                                 \
    inline constexpr short Dialog = id;              \
    inline constexpr std::string_view Title = title; \
    }
#define TARVEL_ITEM(dialog, name, id, kind) \
    namespace dialog {                      \
    inline constexpr short name = id;       \
    }
#define TARVEL_ADDED_ITEM(dialog, name, id) \
    namespace dialog {                      \
    inline constexpr short name = id;       \
    }
#include "DialogIds.def"

// The list as tables, for the tests that hold it against the resources and for
// naming a dialog by its id.
struct ListedDialog {
    short id;
    std::string_view name;
    std::string_view type;  // "modal" or "palette"
    std::string_view title;
};
struct ListedItem {
    short dialog;
    std::string_view name;
    short id;
    std::string_view kind;  // empty for an item made at run time
};

inline constexpr ListedDialog Dialogs[] = {
#define TARVEL_DIALOG(name, id, type, title) {id, #name, #type, title},
#define TARVEL_ITEM(dialog, name, id, kind)
#define TARVEL_ADDED_ITEM(dialog, name, id)
#include "DialogIds.def"
};

inline constexpr ListedItem Items[] = {
#define TARVEL_DIALOG(name, id, type, title)
#define TARVEL_ITEM(dialog, name, id, kind) {dialog::Dialog, #name, id, #kind},
#define TARVEL_ADDED_ITEM(dialog, name, id) {dialog::Dialog, #name, id, ""},
#include "DialogIds.def"
};

// The listed dialog of this resource id; nullptr for another id.
constexpr const ListedDialog* FindDialog(short id)
{
    for (const ListedDialog& dialog : Dialogs)
        if (dialog.id == id)
            return &dialog;
    return nullptr;
}

// Each dialog is listed once, and each of its items has an id of its own.
static_assert([] {
    for (std::size_t i = 0; i < std::size(Dialogs); ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (Dialogs[i].id == Dialogs[j].id)
                return false;
    for (std::size_t i = 0; i < std::size(Items); ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (Items[i].dialog == Items[j].dialog && Items[i].id == Items[j].id)
                return false;
    return true;
}(), "every dialog needs a resource id of its own, and every item of a dialog an item id of its own");

}  // namespace tarvel::ids
