#include "dialogs/DialogSupport.hpp"

#include "Main/Globals.hpp"
#include "ostrel/Text.hpp"

namespace tarvel::dialogs {

std::string ImagesFolderUtf8() { return ostrel::WStringToUtf8(FullDataPath(imagesFolder)); }

}  // namespace tarvel::dialogs
