// How the dialog manager's steps and messages name one of the add-on's dialogs, from
// the list of dialog ids: "dialog 32504 \"About\"", "palette 32401 \"Tarvel\"".
#pragma once

#include "DialogIds.hpp"

#include <stdexcept>
#include <string>

namespace tarvel::testing {

inline std::string Named(short resourceId)
{
    const ids::ListedDialog* dialog = ids::FindDialog(resourceId);
    if (dialog == nullptr)
        throw std::invalid_argument("no dialog " + std::to_string(resourceId) + " in the list of dialog ids");
    return (dialog->type == "palette" ? "palette " : "dialog ") + std::to_string(resourceId) + " \"" +
           std::string(dialog->title) + "\"";
}

}  // namespace tarvel::testing
