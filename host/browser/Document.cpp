#include "Document.hpp"

#include <libxml/HTMLparser.h>
#include <libxml/tree.h>

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <regex>

namespace standin::browser {
namespace {

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string XmlText(const xmlChar* text) { return text != nullptr ? reinterpret_cast<const char*>(text) : ""; }

Node Copy(xmlNode* source)
{
    Node node;
    node.name = Lower(XmlText(source->name));
    for (xmlAttr* attribute = source->properties; attribute != nullptr; attribute = attribute->next) {
        xmlChar* value = xmlNodeGetContent(reinterpret_cast<xmlNode*>(attribute));
        node.attributes.emplace_back(Lower(XmlText(attribute->name)), XmlText(value));
        xmlFree(value);
    }
    for (xmlNode* child = source->children; child != nullptr; child = child->next) {
        if (child->type == XML_ELEMENT_NODE) {
            node.children.push_back(Copy(child));
        } else if (child->type == XML_TEXT_NODE || child->type == XML_CDATA_SECTION_NODE) {
            Node text;
            text.isText = true;
            text.name = XmlText(child->content);
            node.children.push_back(std::move(text));
        }
    }
    return node;
}

void AppendText(const Node& node, std::string& out)
{
    for (const Node& child : node.children) {
        if (child.isText)
            out += child.name;
        else
            AppendText(child, out);
    }
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

// Depth first, in document order; the visitor answers false to stop.
template <typename Visit>
bool Walk(const Node& node, std::vector<const Node*>& ancestors, Visit&& visit)
{
    if (!visit(node, ancestors))
        return false;
    ancestors.push_back(&node);
    for (const Node& child : node.children) {
        if (!child.isText && !Walk(child, ancestors, visit)) {
            ancestors.pop_back();
            return false;
        }
    }
    ancestors.pop_back();
    return true;
}

template <typename Visit>
void WalkElements(const Node& node, Visit&& visit)
{
    std::vector<const Node*> ancestors;
    Walk(node, ancestors, [&](const Node& element, const std::vector<const Node*>&) {
        visit(element);
        return true;
    });
}

void AppendVisibleText(const Node& node, std::string& out)
{
    static const char* const hidden[] = {"head", "script", "style", "template", "noscript", "title"};
    for (const Node& child : node.children) {
        if (child.isText) {
            out += child.name;
            out += ' ';
        } else if (std::none_of(std::begin(hidden), std::end(hidden), [&](const char* tag) { return child.Is(tag); })) {
            AppendVisibleText(child, out);
            out += ' ';
        }
    }
}

// A form's name and value pair with its line breaks as CR LF, as a form's entries are.
std::string NormaliseLineBreaks(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else if (text[i] == '\n') {
            out += "\r\n";
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string AttributeOr(const Node& node, const char* name, const std::string& fallback)
{
    const std::string* value = node.Attribute(name);
    return value != nullptr ? *value : fallback;
}

// The entries a form submits, in document order.
std::vector<std::pair<std::string, std::string>> Entries(const Node& form, const Node* submitter)
{
    std::vector<std::pair<std::string, std::string>> entries;
    WalkElements(form, [&](const Node& control) {
        if (control.Attribute("disabled") != nullptr)
            return;
        const std::string name = AttributeOr(control, "name", "");
        if (name.empty())
            return;
        if (control.Is("input")) {
            const std::string type = Lower(AttributeOr(control, "type", "text"));
            if (type == "image") {
                if (&control == submitter) {
                    entries.emplace_back(name + ".x", "0");
                    entries.emplace_back(name + ".y", "0");
                }
            } else if (type == "submit") {
                if (&control == submitter)
                    entries.emplace_back(name, AttributeOr(control, "value", "Submit"));
            } else if (type == "checkbox" || type == "radio") {
                if (control.Attribute("checked") != nullptr)
                    entries.emplace_back(name, AttributeOr(control, "value", "on"));
            } else if (type != "button" && type != "reset" && type != "file") {
                entries.emplace_back(name, AttributeOr(control, "value", ""));
            }
        } else if (control.Is("button")) {
            if (&control == submitter)
                entries.emplace_back(name, AttributeOr(control, "value", ""));
        } else if (control.Is("textarea")) {
            entries.emplace_back(name, control.Text());
        } else if (control.Is("select")) {
            std::vector<const Node*> options;
            WalkElements(control, [&](const Node& option) {
                if (option.Is("option"))
                    options.push_back(&option);
            });
            bool any = false;
            for (const Node* option : options) {
                if (option->Attribute("selected") != nullptr && option->Attribute("disabled") == nullptr) {
                    entries.emplace_back(name, AttributeOr(*option, "value", CollapseWhitespace(option->Text())));
                    any = true;
                }
            }
            if (!any && control.Attribute("multiple") == nullptr && !options.empty())
                entries.emplace_back(name, AttributeOr(*options.front(), "value",
                                                       CollapseWhitespace(options.front()->Text())));
        }
    });
    for (auto& [name, value] : entries) {
        name = NormaliseLineBreaks(name);
        value = NormaliseLineBreaks(value);
    }
    return entries;
}

std::string Encode(const std::vector<std::pair<std::string, std::string>>& entries)
{
    std::string body;
    for (const auto& [name, value] : entries) {
        if (!body.empty())
            body += '&';
        body += FormUrlEncode(name) + "=" + FormUrlEncode(value);
    }
    return body;
}

std::string WithQuery(const std::string& url, const std::string& query)
{
    CURLU* handle = curl_url();
    std::string out;
    char* text = nullptr;
    if (curl_url_set(handle, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK &&
        curl_url_set(handle, CURLUPART_QUERY, query.c_str(), 0) == CURLUE_OK &&
        curl_url_get(handle, CURLUPART_URL, &text, 0) == CURLUE_OK) {
        out = text;
        curl_free(text);
    }
    curl_url_cleanup(handle);
    return out;
}

}  // namespace

const std::string* Node::Attribute(const std::string& attribute) const
{
    for (const auto& [name, value] : attributes)
        if (name == attribute)
            return &value;
    return nullptr;
}

std::string Node::Text() const
{
    std::string out;
    AppendText(*this, out);
    return out;
}

std::string CollapseWhitespace(const std::string& text)
{
    std::string out;
    bool space = false;
    for (char c : text) {
        if (IsSpace(c)) {
            space = !out.empty();
        } else {
            if (space)
                out += ' ';
            space = false;
            out += c;
        }
    }
    return out;
}

std::shared_ptr<const Document> Document::Parse(const std::string& bytes, const std::string& url,
                                                const std::string& charset)
{
    auto document = std::make_shared<Document>();
    document->url_ = url;
    // A charset given from outside (the server's, or Unicode text handed over) wins
    // over the page's own declaration.
    const int options = HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET |
                        (charset.empty() ? 0 : HTML_PARSE_IGNORE_ENC);
    htmlDocPtr parsed = htmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), url.c_str(),
                                       charset.empty() ? nullptr : charset.c_str(), options);
    if (parsed != nullptr) {
        if (xmlNode* root = xmlDocGetRootElement(parsed))
            document->root_ = Copy(root);
        xmlFreeDoc(parsed);
    }
    return document;
}

std::string Document::Title() const
{
    std::string title;
    std::vector<const Node*> ancestors;
    Walk(root_, ancestors, [&](const Node& node, const std::vector<const Node*>&) {
        if (!node.Is("title"))
            return true;
        title = CollapseWhitespace(node.Text());
        return false;
    });
    return title;
}

std::string Document::VisibleText() const
{
    std::string text;
    AppendVisibleText(root_, text);
    return CollapseWhitespace(text);
}

namespace {

bool IsHidden(const Node& node)
{
    static const char* const hidden[] = {"head", "script", "style", "template", "noscript", "title"};
    if (std::any_of(std::begin(hidden), std::end(hidden), [&](const char* tag) { return node.Is(tag); }))
        return true;
    if (node.Attribute("hidden") != nullptr)
        return true;
    const std::string* type = node.Attribute("type");
    return node.Is("input") && type != nullptr && Lower(*type) == "hidden";
}

// Elements that begin a block of their own; everything else flows in the line.
bool IsBlock(const Node& node)
{
    static const char* const blocks[] = {"html", "body", "p", "div", "section", "article", "header", "footer",
                                         "main", "nav", "aside", "form", "fieldset", "legend", "ul", "ol", "li",
                                         "dl", "dt", "dd", "table", "thead", "tbody", "tfoot", "tr", "caption",
                                         "pre", "blockquote", "address", "figure", "figcaption", "hr", "h1",
                                         "h2", "h3", "h4", "h5", "h6"};
    return std::any_of(std::begin(blocks), std::end(blocks), [&](const char* tag) { return node.Is(tag); });
}

// Collapses whitespace across the runs of a line and drops what is left empty.
std::vector<TextRun> Tidy(std::vector<TextRun> runs)
{
    std::vector<TextRun> tidy;
    bool blankBefore = true;  // the line starts without one
    for (TextRun& run : runs) {
        if (run.kind == TextRun::Kind::Button || run.kind == TextRun::Kind::Field) {
            run.text = CollapseWhitespace(run.text);
            tidy.push_back(std::move(run));
            blankBefore = false;
            continue;
        }
        std::string text;
        for (char c : run.text) {
            if (IsSpace(c)) {
                if (!blankBefore)
                    text += ' ';
                blankBefore = true;
            } else {
                text += c;
                blankBefore = false;
            }
        }
        if (!text.empty())
            tidy.push_back({run.kind, std::move(text)});
    }
    while (!tidy.empty() && tidy.back().kind != TextRun::Kind::Button && tidy.back().kind != TextRun::Kind::Field) {
        std::string& text = tidy.back().text;
        while (!text.empty() && text.back() == ' ')
            text.pop_back();
        if (!text.empty())
            break;
        tidy.pop_back();
    }
    return tidy;
}

class Layouter {
public:
    std::vector<Block> blocks;

    void Flow(const Node& node, bool link)
    {
        for (const Node& child : node.children) {
            if (child.isText) {
                line_.push_back({link ? TextRun::Kind::Link : TextRun::Kind::Text, child.name});
                continue;
            }
            if (IsHidden(child))
                continue;
            if (child.Is("br")) {
                EndLine();
                continue;
            }
            if (const auto control = Control(child)) {
                line_.push_back(*control);
                continue;
            }
            if (child.Is("img")) {
                if (const std::string* alt = child.Attribute("alt"); alt != nullptr && !alt->empty())
                    line_.push_back({TextRun::Kind::Text, "[" + *alt + "]"});
                continue;
            }
            if (child.Is("tr")) {
                Row(child);
                continue;
            }
            if (child.Is("table")) {
                EndLine();
                ++tables_;
                Flow(child, link);
                EndLine();
                continue;
            }
            if (!IsBlock(child)) {
                Flow(child, link || (child.Is("a") && child.Attribute("href") != nullptr));
                continue;
            }
            EndLine();
            const Block::Kind before = kind_;
            const int levelBefore = level_;
            if (child.name.size() == 2 && child.name[0] == 'h' && child.name[1] >= '1' && child.name[1] <= '6') {
                kind_ = Block::Kind::Heading;
                level_ = child.name[1] - '0';
            } else if (child.Is("li")) {
                kind_ = Block::Kind::ListItem;
            }
            Flow(child, link);
            EndLine();
            kind_ = before;
            level_ = levelBefore;
        }
    }

    void EndLine()
    {
        std::vector<TextRun> runs = Tidy(std::exchange(line_, {}));
        if (runs.empty())
            return;
        Block block;
        block.kind = kind_;
        block.level = level_;
        block.runs = std::move(runs);
        blocks.push_back(std::move(block));
    }

private:
    // A form control as the user sees it: a button with its label, a field with its value.
    static std::optional<TextRun> Control(const Node& node)
    {
        if (node.Is("button")) {
            std::string label;
            AppendText(node, label);
            return TextRun{TextRun::Kind::Button, label};
        }
        if (node.Is("select")) {
            std::string chosen;
            WalkElements(node, [&](const Node& option) {
                if (option.Is("option") && (chosen.empty() || option.Attribute("selected") != nullptr)) {
                    chosen.clear();
                    AppendText(option, chosen);
                }
            });
            return TextRun{TextRun::Kind::Field, chosen};
        }
        if (node.Is("textarea")) {
            std::string text;
            AppendText(node, text);
            return TextRun{TextRun::Kind::Field, text};
        }
        if (!node.Is("input"))
            return std::nullopt;
        const std::string type = Lower(AttributeOr(node, "type", "text"));
        const std::string value = AttributeOr(node, "value", "");
        if (type == "submit" || type == "button" || type == "reset")
            return TextRun{TextRun::Kind::Button, value.empty() ? (type == "reset" ? "Reset" : "Submit") : value};
        if (type == "image")
            return TextRun{TextRun::Kind::Button, AttributeOr(node, "alt", "Submit")};
        if (type == "checkbox" || type == "radio")
            return TextRun{TextRun::Kind::Text, node.Attribute("checked") != nullptr ? "\xE2\x98\x91 " : "\xE2\x98\x90 "};
        return TextRun{TextRun::Kind::Field, value.empty() ? AttributeOr(node, "placeholder", "") : value};
    }

    void Row(const Node& row)
    {
        EndLine();
        Block block;
        block.kind = Block::Kind::Row;
        block.table = tables_;
        for (const Node& cell : row.children) {
            if (cell.isText || IsHidden(cell) || !(cell.Is("td") || cell.Is("th")))
                continue;
            Layouter inner;
            inner.Flow(cell, false);
            inner.EndLine();
            std::vector<TextRun> runs;
            for (Block& part : inner.blocks)
                for (TextRun& run : part.runs) {
                    if (!runs.empty())
                        runs.push_back({TextRun::Kind::Text, " "});
                    runs.push_back(std::move(run));
                }
            block.cells.push_back(std::move(runs));
        }
        if (!block.cells.empty())
            blocks.push_back(std::move(block));
    }

    std::vector<TextRun> line_;
    Block::Kind kind_ = Block::Kind::Paragraph;
    int level_ = 0;
    int tables_ = 0;
};

}  // namespace

std::vector<Block> Document::Layout() const
{
    Layouter layouter;
    layouter.Flow(root_, false);
    layouter.EndLine();
    return std::move(layouter.blocks);
}

std::vector<std::string> Document::Ids() const
{
    std::vector<std::string> ids;
    WalkElements(root_, [&](const Node& node) {
        if (const std::string* id = node.Attribute("id"))
            ids.push_back(*id);
    });
    return ids;
}

const Node* Document::Find(const std::string& id, std::vector<const Node*>* ancestors) const
{
    const Node* found = nullptr;
    std::vector<const Node*> path;
    Walk(root_, path, [&](const Node& node, const std::vector<const Node*>& above) {
        const std::string* value = node.Attribute("id");
        if (value == nullptr || *value != id)
            return true;
        found = &node;
        if (ancestors != nullptr)
            *ancestors = above;
        return false;
    });
    return found;
}

std::optional<std::string> Document::AutoSubmitFormId() const
{
    std::string script;
    WalkElements(root_, [&](const Node& node) {
        if (!node.Is("script") || node.Attribute("src") != nullptr)
            return;
        const std::string type = Lower(AttributeOr(node, "type", ""));
        if (type.empty() || type.find("javascript") != std::string::npos)
            script += node.Text() + "\n";
    });
    // window.onload = F; function F () { ... getElementById("ID") ... .submit(); }
    static const std::regex onload(R"(window\.onload\s*=\s*([A-Za-z_$][\w$]*)\s*;)");
    std::smatch handler;
    if (!std::regex_search(script, handler, onload))
        return std::nullopt;
    const std::regex function("function\\s+" + handler[1].str() + "\\s*\\(\\s*\\)\\s*\\{([^}]*)\\}");
    std::smatch body;
    if (!std::regex_search(script, body, function))
        return std::nullopt;
    static const std::regex lookup(R"(getElementById\(\s*["']([^"']+)["']\s*\))");
    static const std::regex submit(R"(\.submit\s*\(\s*\))");
    const std::string text = body[1].str();
    std::smatch id;
    if (!std::regex_search(text, id, lookup) || !std::regex_search(text, submit))
        return std::nullopt;
    return id[1].str();
}

std::string Document::Submit(const Node& form, const Node* submitter, Navigation& request) const
{
    auto chosen = [&](const char* formAttribute, const char* attribute) {
        if (submitter != nullptr)
            if (const std::string* value = submitter->Attribute(formAttribute))
                return *value;
        return AttributeOr(form, attribute, "");
    };
    const std::string action = chosen("formaction", "action");
    const std::string url = ResolveUrl(url_, action.empty() ? url_ : action);
    if (url.empty())
        return "the form's action \"" + action + "\" names no address from " + url_;
    if (url.rfind("http://", 0) != 0 && url.rfind("https://", 0) != 0)
        return "the form's action " + url + " is not a web address";
    const std::string method = Lower(chosen("formmethod", "method"));
    const std::string body = Encode(Entries(form, submitter));
    if (method == "post") {
        const std::string enctype = Lower(chosen("formenctype", "enctype"));
        if (!enctype.empty() && enctype != "application/x-www-form-urlencoded")
            return "the stand-in posts forms only as application/x-www-form-urlencoded, not " + enctype;
        request = Navigation{"POST", url, "application/x-www-form-urlencoded", body};
    } else {
        const std::string target = WithQuery(url, body);
        if (target.empty())
            return "the form's query cannot be added to " + url;
        request = Navigation{"GET", target, "", ""};
    }
    return "";
}

// The form a submit button belongs to: its nearest form ancestor.
const Node* FormOf(const std::vector<const Node*>& ancestors)
{
    for (auto it = ancestors.rbegin(); it != ancestors.rend(); ++it)
        if ((*it)->Is("form"))
            return *it;
    return nullptr;
}

bool IsSubmitButton(const Node& node)
{
    if (node.Is("button"))
        return Lower(AttributeOr(node, "type", "submit")) == "submit";
    if (node.Is("input")) {
        const std::string type = Lower(AttributeOr(node, "type", "text"));
        return type == "submit" || type == "image";
    }
    return false;
}

std::string FormUrlEncode(const std::string& text)
{
    static const char* const hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : NormaliseLineBreaks(text)) {
        if (std::isalnum(c) || c == '*' || c == '-' || c == '.' || c == '_') {
            out += static_cast<char>(c);
        } else if (c == ' ') {
            out += '+';
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 0xF];
        }
    }
    return out;
}

std::string ResolveUrl(const std::string& base, const std::string& reference)
{
    CURLU* handle = curl_url();
    std::string out;
    // Addresses in attributes lose their surrounding whitespace.
    std::size_t first = 0, last = reference.size();
    while (first < last && IsSpace(reference[first]))
        ++first;
    while (last > first && IsSpace(reference[last - 1]))
        --last;
    const std::string trimmed = reference.substr(first, last - first);
    const bool haveBase = curl_url_set(handle, CURLUPART_URL, base.c_str(), 0) == CURLUE_OK;
    if (!haveBase) {
        curl_url_cleanup(handle);
        handle = curl_url();
    }
    char* text = nullptr;
    if (curl_url_set(handle, CURLUPART_URL, trimmed.c_str(), 0) == CURLUE_OK &&
        curl_url_get(handle, CURLUPART_URL, &text, 0) == CURLUE_OK) {
        out = text;
        curl_free(text);
    }
    curl_url_cleanup(handle);
    return out;
}

}  // namespace standin::browser
