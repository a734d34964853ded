#include "ostrel/importers/XmlImport.hpp"

#include <utf8.h>

#include <memory>
#include <mutex>
#include <sstream>
#include <type_traits>
#include <unordered_map>

namespace ostrel::importers {
namespace {

thread_local EmptyValueReport currentReport = nullptr;
thread_local NotPlainNumberReport currentNotPlainReport = nullptr;

bool IsPlainAttributeQuery(const char* query)
{
    if (query[0] != '@' || query[1] == '\0')
        return false;
    for (const char* p = query + 1; *p != '\0'; ++p) {
        const char c = *p;
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                        (p != query + 1 && (c == '-' || c == '.'));
        if (!ok)
            return false;
    }
    return !(query[1] >= '0' && query[1] <= '9');
}

// One cache for every thread, kept until the library goes: a thread-local cache would
// have to be destroyed with its thread, which keeps the library loaded. A compiled
// query is only read while it is evaluated, so threads may share it.
const pugi::xpath_query& Compiled(const char* query)
{
    static std::mutex mutex;
    static std::unordered_map<std::string, std::unique_ptr<pugi::xpath_query>> cache;
    const std::lock_guard lock(mutex);
    auto& slot = cache[query];
    if (!slot)
        slot = std::make_unique<pugi::xpath_query>(query);
    return *slot;
}

}  // namespace

void ReportEmptyValue(const char* nodeName, const char* query)
{
    if (currentReport != nullptr)
        currentReport(nodeName, query);
}

void ReportNotPlainNumber(const char* nodeName, const char* query)
{
    if (currentNotPlainReport != nullptr)
        currentNotPlainReport(nodeName, query);
}

ScopedEmptyValueReport::ScopedEmptyValueReport(EmptyValueReport report, NotPlainNumberReport notPlainNumber)
    : previous_(currentReport), previousNotPlain_(currentNotPlainReport)
{
    currentReport = report;
    currentNotPlainReport = notPlainNumber;
}

ScopedEmptyValueReport::~ScopedEmptyValueReport()
{
    currentReport = previous_;
    currentNotPlainReport = previousNotPlain_;
}

template <typename T>
bool IsPlainNumber(const char* text)
{
    // White space as the stream's extraction skips it.
    const auto isSpace = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    const char* p = text;
    while (isSpace(*p))
        ++p;
    if (*p == '\0')
        return true;
    std::istringstream stream{std::string(p)};
    stream.imbue(std::locale::classic());
    T value{};
    stream >> value;
    if (stream.fail())
        return false;
    if constexpr (std::is_unsigned_v<T>) {
        if (*p == '-' && value != 0)
            return false;  // read as its wrapped value
    }
    for (char c; stream.get(c);)
        if (!isSpace(c))
            return false;
    return true;
}

template bool IsPlainNumber<int>(const char*);
template bool IsPlainNumber<unsigned short>(const char*);
template bool IsPlainNumber<double>(const char*);

pugi::xpath_node Select(const pugi::xml_node& element, const char* query)
{
    if (IsPlainAttributeQuery(query)) {
        const pugi::xml_attribute attribute = element.attribute(query + 1);
        return attribute ? pugi::xpath_node(attribute, element) : pugi::xpath_node();
    }
    return Compiled(query).evaluate_node(element);
}

const char* ResultText(const pugi::xpath_node& result)
{
    if (result.attribute())
        return result.attribute().value();
    if (result.node() && result.node().type() == pugi::node_element)
        return result.node().text().get();
    throw PugiXmlImportException("Empty node! Maybe empty query result?");
}

std::wstring WideValue(const char* text, const char* nodeName, const char* query)
{
    try {
        return Utf8ToWString(text);
    } catch (const utf8::exception&) {
        throw PugiXmlImportException(std::string("no UTF-8 text in ") + query + ", node=" + nodeName);
    }
}

std::wstring WideValue(const char* text, const pugi::xpath_node& result)
{
    if (result.attribute())
        return WideValue(text, result.parent().name(), ("@" + std::string(result.attribute().name())).c_str());
    return WideValue(text, result.node().name(), "text()");
}

void ThrowNoResult(const std::string& query, const char* label)
{
    throw PugiXmlImportException("No  result for query: " + query + "(looking for " + label + ")");
}

void ThrowEmptyNode() { throw PugiXmlImportException("Empty node! Maybe empty query result?"); }

template <>
glm::dvec3 ImportFromNode<glm::dvec3>(const pugi::xml_node& element)
{
    const auto x = Query<glm::dvec3>(element, "@x");
    const auto y = Query<glm::dvec3>(element, "@y");
    const auto z = Query<glm::dvec3>(element, "@z");
    return {ReadValue<double>(x), ReadValue<double>(y), ReadValue<double>(z)};
}

template <>
glm::dvec2 ImportFromNode<glm::dvec2>(const pugi::xml_node& element)
{
    const auto x = Query<glm::dvec2>(element, "@x");
    const auto y = Query<glm::dvec2>(element, "@y");
    return {ReadValue<double>(x), ReadValue<double>(y)};
}

}  // namespace ostrel::importers
