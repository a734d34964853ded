#include "transfer/Json.hpp"

#include <json/reader.h>

#include <exception>

namespace tarvel {
namespace {

// The deepest nesting of the text, counted up to limit + 1: brackets inside strings
// and comments do not count.
std::size_t NestingDepth(const std::string& text, std::size_t limit)
{
    std::size_t depth = 0;
    std::size_t deepest = 0;
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n && deepest <= limit; ++i) {
        const char c = text[i];
        if (c == '"') {
            for (++i; i < n && text[i] != '"'; ++i)
                if (text[i] == '\\')
                    ++i;
        } else if (c == '/' && i + 1 < n && text[i + 1] == '/') {
            // The parser ends a line comment at a line feed or a carriage return.
            i = text.find_first_of("\n\r", i + 2);
            if (i == std::string::npos)
                break;
        } else if (c == '/' && i + 1 < n && text[i + 1] == '*') {
            i = text.find("*/", i + 2);
            if (i == std::string::npos)
                break;
            ++i;
        } else if (c == '[' || c == '{') {
            if (++depth > deepest)
                deepest = depth;
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return deepest;
}

}  // namespace

bool ParseJson(const std::string& text, Json::Value& root)
{
    root = Json::Value();
    if (NestingDepth(text, kMaxJsonDepth) > kMaxJsonDepth)
        return false;
    try {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        Json::Reader reader;
#pragma GCC diagnostic pop
        return reader.parse(text.data(), text.data() + text.size(), root);
    } catch (const std::exception&) {
        // The parser's own limits, or memory: nothing half-built is handed on.
        root = Json::Value();
        return false;
    }
}

const Json::Value* JsonMember(const Json::Value& object, const char* key)
{
    if (!object.isObject())
        return nullptr;
    return object.find(key, key + std::char_traits<char>::length(key));
}

std::optional<std::string> JsonString(const Json::Value& object, const char* key)
{
    const Json::Value* member = JsonMember(object, key);
    if (member == nullptr || !member->isString())
        return std::nullopt;
    return member->asString();
}

}  // namespace tarvel
