// The page the browser dialog loads to post form fields: it submits its one form as
// soon as it has loaded.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace tarvel::dialogs {

// The page posting the (name, value) fields, UTF-8, in order to the URL. Every text is
// written as HTML attribute text ("&", "<", ">" and both quotation marks escaped), so
// the browser posts exactly the bytes given.
std::string BuildAutoSubmitPage(const std::string& url, const std::vector<std::pair<std::string, std::string>>& fields);

}  // namespace tarvel::dialogs
