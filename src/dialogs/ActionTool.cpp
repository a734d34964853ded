#include "dialogs/ActionTool.hpp"

#include <utility>

namespace tarvel::dialogs {

ActionTool::ActionTool(std::string command, std::wstring caption, std::string iconFile, std::int16_t iconResourceId)
    : command(std::move(command)),
      caption(std::move(caption)),
      iconFile(std::move(iconFile)),
      iconResourceId(iconResourceId)
{
}

std::shared_ptr<ActionTool> MakeActionTool(std::string command, std::wstring caption, std::string iconFile,
                                           std::int16_t iconResourceId)
{
    return std::make_shared<ActionTool>(std::move(command), std::move(caption), std::move(iconFile), iconResourceId);
}

}  // namespace tarvel::dialogs
