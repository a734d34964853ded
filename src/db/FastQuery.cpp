#include "db/FastQuery.hpp"

#include "ostrel/importers/XmlImport.hpp"

#include <cstring>

namespace tarvel::import {
namespace {

bool IsNameChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
           c == '.';
}

bool ReadName(const char*& p, std::string& name)
{
    const char* start = p;
    if (!((*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z') || *p == '_'))
        return false;
    while (IsNameChar(*p))
        ++p;
    name.assign(start, p);
    return true;
}

}  // namespace

Path::Path(const char* query) : text_(query)
{
    const char* p = query;
    for (;;) {
        if (*p == '@') {
            ++p;
            if (!ReadName(p, attribute_) || *p != '\0')
                return;
            break;
        }
        Step step;
        if (!ReadName(p, step.name))
            return;
        if (*p == '[') {
            ++p;
            if (*p++ != '@' || !ReadName(p, step.testAttribute) || *p++ != '=' || *p++ != '\'')
                return;
            const char* value = p;
            while (*p != '\0' && *p != '\'')
                ++p;
            if (*p != '\'')
                return;
            step.testValue.assign(value, p);
            ++p;
            if (*p++ != ']')
                return;
            step.test = true;
        }
        steps_.push_back(std::move(step));
        if (*p == '\0')
            break;
        if (*p++ != '/')
            return;
    }
    walkable_ = true;
}

bool Path::Matches(const pugi::xml_node& node, const Step& step) const
{
    return Matches(node, node.name(), step);
}

bool Path::Matches(const pugi::xml_node& node, const char* name, const Step& step) const
{
    if (name[0] != step.name[0] || std::strcmp(name, step.name.c_str()) != 0 || node.type() != pugi::node_element)
        return false;
    if (!step.test)
        return true;
    // As XPath compares: any attribute of that name with that value.
    const char* wanted = step.testAttribute.c_str();
    for (pugi::xml_attribute attribute = node.first_attribute(); attribute; attribute = attribute.next_attribute()) {
        const char* attributeName = attribute.name();
        if (attributeName[0] == wanted[0] && std::strcmp(attributeName, wanted) == 0 &&
            std::strcmp(attribute.value(), step.testValue.c_str()) == 0)
            return true;
    }
    return false;
}

pugi::xpath_node Path::FirstFrom(const pugi::xml_node& node, std::size_t step) const
{
    if (step == steps_.size()) {
        if (attribute_.empty())
            return pugi::xpath_node(node);
        const pugi::xml_attribute attribute = node.attribute(attribute_.c_str());
        return attribute ? pugi::xpath_node(attribute, node) : pugi::xpath_node();
    }
    for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
        if (!Matches(child, steps_[step]))
            continue;
        const pugi::xpath_node found = FirstFrom(child, step + 1);
        if (found)
            return found;
    }
    return pugi::xpath_node();
}

pugi::xpath_node Path::FromChild(const pugi::xml_node& child, const char* childName) const
{
    if (!Matches(child, childName, steps_[0]))
        return pugi::xpath_node();
    return FirstFrom(child, 1);
}

pugi::xpath_node Path::First(const pugi::xml_node& from) const
{
    if (!walkable_)
        return ostrel::importers::Select(from, text_.c_str());
    if (!from)
        return pugi::xpath_node();
    return FirstFrom(from, 0);
}

}  // namespace tarvel::import
