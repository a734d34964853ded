// A page as the engine keeps it: the tree libxml2's HTML parser built, copied into
// plain values so that any thread may read it without the parser's library.
#pragma once

#include "BrowserEngine.hpp"

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace standin::browser {

struct Node {
    bool isText = false;
    std::string name;  // tag in lower case; the text itself for a text node
    std::vector<std::pair<std::string, std::string>> attributes;
    std::vector<Node> children;

    const std::string* Attribute(const std::string& attribute) const;
    bool Is(const char* tag) const { return !isText && name == tag; }
    // The text of every descendant text node, in order.
    std::string Text() const;
};

class Document {
public:
    // Parses the bytes as HTML. The charset is the one the server named, empty when
    // none: the page's own declaration then decides.
    static std::shared_ptr<const Document> Parse(const std::string& bytes, const std::string& url,
                                                 const std::string& charset);

    const std::string& Url() const { return url_; }
    std::string Title() const;
    std::string VisibleText() const;
    std::vector<Block> Layout() const;
    std::vector<std::string> Ids() const;
    // The first element of the id, with its ancestors (the root first).
    const Node* Find(const std::string& id, std::vector<const Node*>* ancestors = nullptr) const;

    // The id of the form that the page's script submits when the page has loaded.
    std::optional<std::string> AutoSubmitFormId() const;
    // The request that submitting the form (by the submitter, or by itself when null)
    // makes; an empty text, or what stands in the way.
    std::string Submit(const Node& form, const Node* submitter, Navigation& request) const;

private:
    std::string url_;
    Node root_;
};

// The nearest form among the ancestors (the root first); null when none.
const Node* FormOf(const std::vector<const Node*>& ancestors);
// A button that submits its form: <button> of type submit, <input> submit or image.
bool IsSubmitButton(const Node& node);

// Runs of whitespace as one space, none at either end.
std::string CollapseWhitespace(const std::string& text);

}  // namespace standin::browser
