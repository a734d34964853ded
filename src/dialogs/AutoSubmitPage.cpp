#include "dialogs/AutoSubmitPage.hpp"

namespace tarvel::dialogs {
namespace {

std::string AttributeText(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

}  // namespace

std::string BuildAutoSubmitPage(const std::string& url, const std::vector<std::pair<std::string, std::string>>& fields)
{
    std::string page = "<!DOCTYPE html>\n"
                       "<html>\n"
                       " <head>\n"
                       "  <title>form for posting data</title>\n"
                       " </head>\n"
                       " <body>\n"
                       "  <form action=\"" +
                       AttributeText(url) + "\" method=\"post\" id=\"main_post_form\">\n";
    for (const auto& [name, value] : fields)
        page += "   <input type=\"hidden\" name=\"" + AttributeText(name) + "\" value=\"" + AttributeText(value) + "\" />";
    page += "\n"
            "\n"
            "\n"
            "  </form>\n"
            "  <script type=\"text/javascript\">\n"
            "   function formAutoSubmit () {\n"
            "    var frm = document.getElementById(\"main_post_form\");\n"
            "    frm.submit();\n"
            "   }\n"
            "   window.onload = formAutoSubmit;\n"
            "  </script>\n"
            " </body>\n"
            "</html>\n";
    return page;
}

}  // namespace tarvel::dialogs
