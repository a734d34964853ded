// Typed values read out of a pugixml document by XPath queries relative to an
// element, under two policies: required (a missing or wrongly kinded result throws
// and ends the import) and optional (a missing result writes a warning and gives
// the type's default).
#pragma once

#include "ostrel/Text.hpp"

#include <glm/mat4x4.hpp>
#include <glm/vec2.hpp>
#include <glm/vec3.hpp>
#include <pugixml.hpp>

#include <stdexcept>
#include <string>

namespace ostrel::importers {

struct PugiXmlImportException : std::runtime_error {
    explicit PugiXmlImportException(const std::string& message) : std::runtime_error("Xml ImportError: " + message) {}
};

// The label of a value type in the import's messages. The value types of the
// product database add their own specialisations.
template <typename T>
struct TypeLabel;

template <>
struct TypeLabel<glm::dvec3> {
    static constexpr const char* value = "struct glm::detail::tvec3<double,0>";
};
template <>
struct TypeLabel<glm::dvec2> {
    static constexpr const char* value = "struct glm::detail::tvec2<double,0>";
};
template <>
struct TypeLabel<glm::dmat4> {
    static constexpr const char* value = "struct glm::detail::tmat4x4<double,0>";
};

template <typename T>
struct NotImportableFromXmlAttributeException : PugiXmlImportException {
    NotImportableFromXmlAttributeException()
        : PugiXmlImportException(std::string(TypeLabel<T>::value) + " is not importable from xml_attribute!")
    {
    }
};

// The import's warning reports, each called with the element's name and the query:
// for a missing optional value, and for a number whose text is not plain. The importer
// that runs installs them for its thread.
using EmptyValueReport = void (*)(const char* nodeName, const char* query);
using NotPlainNumberReport = void (*)(const char* nodeName, const char* query);
void ReportEmptyValue(const char* nodeName, const char* query);
void ReportNotPlainNumber(const char* nodeName, const char* query);

class ScopedEmptyValueReport {
public:
    explicit ScopedEmptyValueReport(EmptyValueReport report, NotPlainNumberReport notPlainNumber = nullptr);
    ~ScopedEmptyValueReport();
    ScopedEmptyValueReport(const ScopedEmptyValueReport&) = delete;
    ScopedEmptyValueReport& operator=(const ScopedEmptyValueReport&) = delete;

private:
    EmptyValueReport previous_;
    NotPlainNumberReport previousNotPlain_;
};

// Whether a number's text is plain: but for white space around it, the number reading
// (FromString with the classic locale) takes all of it, and that reading neither fails
// nor overflows, nor wraps a negative number into an unsigned type. A text of white
// space only counts as plain (it is an empty value).
template <typename T>
bool IsPlainNumber(const char* text);
extern template bool IsPlainNumber<int>(const char*);
extern template bool IsPlainNumber<unsigned short>(const char*);
extern template bool IsPlainNumber<double>(const char*);

// The number as FromString reads it with the classic locale; a text that is not plain
// keeps that value and writes the warning for the value of that query on that element.
template <typename T>
T NumberValue(const char* text, const char* nodeName, const char* query)
{
    const T value = FromString<T>(text, std::locale::classic());
    if (!IsPlainNumber<T>(text))
        ReportNotPlainNumber(nodeName, query);
    return value;
}
// The same for the value a result carries.
template <typename T>
T NumberValue(const char* text, const pugi::xpath_node& result)
{
    if (result.attribute())
        return NumberValue<T>(text, result.parent().name(), ("@" + std::string(result.attribute().name())).c_str());
    return NumberValue<T>(text, result.node().name(), "text()");
}

// The first node of the query's result in document order, or an empty result.
// Queries are compiled once and kept for every thread; a plain "@name" reads the attribute.
pugi::xpath_node Select(const pugi::xml_node& element, const char* query);

// The text a result carries: an attribute's value, an element's first character
// data ("" without any). Anything else throws.
const char* ResultText(const pugi::xpath_node& result);

// The wide text of a value read by the query on the named element. A text that is no
// UTF-8 throws the reader's error naming the value, not the conversion's own error.
std::wstring WideValue(const char* text, const char* nodeName, const char* query);
// The same for the value a result carries.
std::wstring WideValue(const char* text, const pugi::xpath_node& result);

template <typename T>
T ReadValue(const pugi::xpath_node& result)
{
    const char* text = ResultText(result);
    if constexpr (std::is_same_v<T, std::wstring>) {
        return WideValue(text, result);
    } else if constexpr (std::is_same_v<T, std::string>) {
        return std::string(text);
    } else {
        static_assert(std::is_same_v<T, int> || std::is_same_v<T, unsigned short> || std::is_same_v<T, double>);
        return NumberValue<T>(text, result);
    }
}

template <typename T>
T ImportOptional(const pugi::xml_node& element, const char* query)
{
    const pugi::xpath_node result = Select(element, query);
    if (!result) {
        ReportEmptyValue(element.name(), query);
        return T{};
    }
    return ReadValue<T>(result);
}

[[noreturn]] void ThrowNoResult(const std::string& query, const char* label);

template <typename T>
pugi::xpath_node Query(const pugi::xml_node& element, const std::string& query)
{
    const pugi::xpath_node result = Select(element, query.c_str());
    if (!result)
        ThrowNoResult(query, TypeLabel<T>::value);
    return result;
}

// Reads the value type from the element's attributes; specialised per type.
template <typename T>
T ImportFromNode(const pugi::xml_node& element);

template <>
glm::dvec3 ImportFromNode<glm::dvec3>(const pugi::xml_node& element);
template <>
glm::dvec2 ImportFromNode<glm::dvec2>(const pugi::xml_node& element);

template <typename T>
[[noreturn]] T ImportFromAttribute(const pugi::xml_attribute&)
{
    throw NotImportableFromXmlAttributeException<T>();
}

[[noreturn]] void ThrowEmptyNode();

// The reading of a node result, handed to the type's node reader.
template <typename T, typename Read>
T ImportFromResult(const pugi::xpath_node& result, Read&& readNode)
{
    if (result.attribute())
        ImportFromAttribute<T>(result.attribute());
    if (result.node() && result.node().type() == pugi::node_element)
        return readNode(result.node());
    ThrowEmptyNode();
}

template <typename T>
T ImportFrom(const pugi::xpath_node& result)
{
    return ImportFromResult<T>(result, [](const pugi::xml_node& node) { return ImportFromNode<T>(node); });
}

template <typename T>
T Import(const pugi::xml_node& element, const char* query)
{
    return ImportFrom<T>(Query<T>(element, std::string(query)));
}

// For value types whose reader needs the import's context (Style2D).
template <typename T, typename Context>
T Import(const pugi::xml_node& element, const char* query, Context& context)
{
    return ImportFromResult<T>(Query<T>(element, std::string(query)),
                               [&context](const pugi::xml_node& node) { return ImportFromNode<T>(node, context); });
}

}  // namespace ostrel::importers
