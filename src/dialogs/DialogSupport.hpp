// What every dialog of the add-on needs alike.
#pragma once

#include <string>

namespace tarvel::dialogs {

// The base folder of a dialog's content cache: the Images data folder, as UTF-8.
std::string ImagesFolderUtf8();

}  // namespace tarvel::dialogs
