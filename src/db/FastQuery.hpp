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

    // A path of one child step: what it gives for that child of its element
    // (childName is the child's name), so that several paths share one walk.
    bool OneStep() const { return walkable_ && steps_.size() == 1; }
    // For walking the children of the path's start once for several paths: whether
    // a child (named childName) is one the first step selects, and every element
    // the path selects below such a child, in document order.
    bool Walkable() const { return walkable_ && !steps_.empty() && attribute_.empty(); }
    bool FirstStepSelects(const pugi::xml_node& child, const char* childName) const
    {
        return Matches(child, childName, steps_[0]);
    }
    template <typename F>
    void ForEachElementBelow(const pugi::xml_node& firstStepChild, F&& f) const
    {
        Each(firstStepChild, 1, f);
    }

    // The first character of a one-step path's element name.
    char StepInitial() const { return steps_[0].name[0]; }
    pugi::xpath_node FromChild(const pugi::xml_node& child, const char* childName) const;

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
    bool Matches(const pugi::xml_node& node, const char* name, const Step& step) const;
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
