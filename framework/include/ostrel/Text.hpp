// Text conversions (UTF-8 narrow, UTF-16 wide), paths, binary streams, folders and
// the number text of every generated script.
//
// A std::wstring holds UTF-16 code units, one per element, even where wchar_t is
// wider. Paths are built from UTF-8; a backslash in a path text is a separator.
#pragma once

#include <boost/filesystem/path.hpp>

#include <fstream>
#include <locale>
#include <string>

namespace ostrel {

// Validating conversions: the first malformed sequence throws utfcpp's exception.
std::wstring Utf8ToWString(std::string text);
std::wstring Utf8ToWString(const char* text);
std::string WStringToUtf8(std::wstring text);

boost::filesystem::path WStringToPath(const std::wstring& text);
boost::filesystem::path Utf8StringToPath(const std::string& text);
boost::filesystem::path MakePathFromCString(const char* text);
std::wstring PathToWString(const boost::filesystem::path& path);
std::string PathToUtf8String(const boost::filesystem::path& path);

// Never throw for a file that cannot be opened: the stream is then not open.
std::ifstream OpenInputStream(const boost::filesystem::path& path);
std::ofstream OpenOutputStream(const boost::filesystem::path& path);

// True when a folder was created, false when it already existed; throws
// boost::filesystem::filesystem_error when it cannot be created.
bool CreateDirectories(const boost::filesystem::path& path);

// The stream's default text of the value (six significant digits for doubles).
template <typename T>
std::wstring ToString(const T& value, const std::locale& locale);

// Standard stream extraction: leading white space skipped, trailing characters
// ignored, 0 for a text that does not begin with a number.
template <typename T>
T FromString(const char* text, const std::locale& locale);

extern template std::wstring ToString<short>(const short&, const std::locale&);
extern template std::wstring ToString<unsigned short>(const unsigned short&, const std::locale&);
extern template std::wstring ToString<double>(const double&, const std::locale&);
extern template int FromString<int>(const char*, const std::locale&);
extern template double FromString<double>(const char*, const std::locale&);
extern template unsigned short FromString<unsigned short>(const char*, const std::locale&);

// The number text as UTF-8, with the classic locale; the same characters as ToString.
std::string ToUtf8Number(double value);

// The text ends with the suffix, byte for byte.
bool EndsWith(const std::string& text, const char* suffix);

}  // namespace ostrel
