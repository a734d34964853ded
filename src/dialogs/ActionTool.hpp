// A fixed command of the toolbar palette: the word the palette dispatches on, the
// caption its tooltip shows, and its picture.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace tarvel::dialogs {

struct ActionTool {
    ActionTool(std::string command, std::wstring caption, std::string iconFile, std::int16_t iconResourceId);

    // "modify", "setting", "help", "about" or "addlib".
    std::string command;
    std::wstring caption;
    // The picture's file name; the button draws the icon resource instead.
    std::string iconFile;
    std::int16_t iconResourceId;
};

std::shared_ptr<ActionTool> MakeActionTool(std::string command, std::wstring caption, std::string iconFile,
                                           std::int16_t iconResourceId);

}  // namespace tarvel::dialogs
