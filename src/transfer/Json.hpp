// Reading JSON that comes from the network or the clipboard: a parse that never
// throws and refuses deep nesting, and type-tested member access.
#pragma once

#include <json/value.h>

#include <cstddef>
#include <optional>
#include <string>

namespace tarvel {

// Deepest nesting of arrays and objects taken. Real documents need a handful of
// levels; the parser recurses per level, so a hostile text must not choose the depth.
constexpr std::size_t kMaxJsonDepth = 100;

// Parses the text with the reader's default settings into root, which is reset first.
// True when the whole text parsed. When the text breaks off, root keeps what was read
// so far (false). Nesting deeper than kMaxJsonDepth, or any failure inside the parser,
// leaves root null (false). Never throws.
bool ParseJson(const std::string& text, Json::Value& root);

// The member of an object; null when the value is no object or has no such member.
const Json::Value* JsonMember(const Json::Value& object, const char* key);
// The member's text; nothing when it is missing or not a string.
std::optional<std::string> JsonString(const Json::Value& object, const char* key);

}  // namespace tarvel
