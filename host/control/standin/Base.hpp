// Control surface of the stand-in base libraries, for the stand-in host and tests.
// The add-on never includes this header.
#pragma once

#include "GSRoot.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace standin::base {

// The code page that character code 0 decodes with: 1252 (Western, the default)
// or 28591 (Latin-1).
void SetDefaultCodePage(int codePage);
int DefaultCodePage();

// Special locations of the file system, as path text in the host's notation.
void SetSpecialLocation(std::int32_t which, const std::string& utf8Path);
void ClearSpecialLocations();
std::optional<std::string> SpecialLocation(std::int32_t which);
// The next n special-location queries answer this code.
void FailSpecialLocation(GSErrCode code, int times = 1);

// Path text with "/" as the only separator, doubled ones merged, no trailing one:
// equal folders give equal texts.
std::string NormalisePath(const std::string& path);

// Memory manager bookkeeping.
std::int64_t LivePointers();
std::int64_t LiveHandles();
// The allocation after the next `skip` ones fails (pointer and handle alike).
void FailAllocation(int skip = 0);
void ResetMemoryFailures();

// Decodes 8-bit text the way the host does for a character code.
std::u16string Decode(const char* text, std::size_t length, GSCharCode code);
// UTF-16 to UTF-8; malformed units become U+FFFD.
std::string EncodeUtf8(const std::u16string& units);

// Base64 with the standard alphabet and "=" padding: the stand-in's one codec (the
// services' messages and form fields, the pictures of saved library parts).
std::string Base64Encode(std::string_view bytes);
// The bytes of padded Base64 text; none for a length that is no multiple of 4, a
// character outside the alphabet, or "=" anywhere but at the end.
std::optional<std::string> Base64Decode(std::string_view text);

// Files and folders: the next `times` IO::File::Open calls fail as if access were
// denied; folders can be made to look not writeable.
void FailFileOpen(int times = 1);
void ForceFoldersNotWriteable(bool notWriteable);
bool TakeFileOpenFailure();
bool FoldersForcedNotWriteable();

}  // namespace standin::base
