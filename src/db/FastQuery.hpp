// The fixed queries of the import, evaluated by walking the document instead of
// running XPath: child steps with an optional [@attribute='value'] test and an
// optional final @attribute. The first result is the first in document order, as
// XPath gives it. Any other query text is run through XPath.
#pragma once

#include <pugixml.hpp>

#include <string>
#include <vector>

namespace tarvel::import {

class Path {
public:
    explicit Path(const char* query);

    const char* Text() const { return text_.c_str(); }
    pugi::xpath_node First(const pugi::xml_node& from) const;

    // Every element the path selects, in document order (paths without a final attribute).
    template <typename F>
    void ForEachElement(const pugi::xml_node& from, F&& f) const
    {
        if (!walkable_) {
            for (const pugi::xpath_node& node : from.select_nodes(text_.c_str()))
                if (node.node() && node.node().type() == pugi::node_element)
                    f(node.node());
            return;
        }
        Each(from, 0, f);
    }

private:
    struct Step {
        std::string name;
        bool test = false;
        std::string testAttribute;
        std::string testValue;
    };

    bool Matches(const pugi::xml_node& node, const Step& step) const;
    pugi::xpath_node FirstFrom(const pugi::xml_node& node, std::size_t step) const;

    template <typename F>
    void Each(const pugi::xml_node& node, std::size_t step, F& f) const
    {
        if (step == steps_.size()) {
            f(node);
            return;
        }
        for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling())
            if (Matches(child, steps_[step]))
                Each(child, step + 1, f);
    }

    std::string text_;
    std::vector<Step> steps_;
    std::string attribute_;  // final @attribute, empty without one
    bool walkable_ = false;
};

}  // namespace tarvel::import
