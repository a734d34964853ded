// The catalogue page's message on the clipboard: "-----START ARCHICAD-----", the
// Base64 of the artifacts message, "-----END ARCHICAD-----"; and the Base64 codec.
#pragma once

#include "Win32.hpp"

#include <string>

namespace tarvel {

constexpr const char* kMessageStart = "-----START ARCHICAD-----";
constexpr const char* kMessageEnd = "-----END ARCHICAD-----";

// Takes a marked text from the clipboard and empties it. True only when the payload
// differs from lastPayload, which then holds it as read.
bool ReadClipboardMessage(HWND owner, std::string& lastPayload);
// Empties the clipboard when it holds a marked text; a foreign text stays.
void ClearClipboardMessage(HWND owner);

// The decoded bytes; "" when the text cannot be decoded. Whitespace is skipped,
// missing "=" at the end are accepted, "=" before other characters is refused.
// The argument is left as it is.
std::string Base64Decode(const std::string& text);
// The Base64 text, closed with "=" to a multiple of 4 characters.
std::string Base64Encode(const std::string& bytes);

}  // namespace tarvel
