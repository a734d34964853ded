#include "ostrel/Text.hpp"

#include <boost/filesystem/operations.hpp>
#include <utf8.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <sstream>
#include <string_view>

namespace ostrel {

std::wstring Utf8ToWString(std::string text)
{
    std::wstring out;
    out.reserve(text.size());
    utf8::utf8to16(text.begin(), text.end(), std::back_inserter(out));
    return out;
}

std::wstring Utf8ToWString(const char* text) { return Utf8ToWString(std::string(text != nullptr ? text : "")); }

std::string WStringToUtf8(std::wstring text)
{
    // Elements are UTF-16 units: anything wider is no UTF-16 at all.
    for (wchar_t unit : text)
        if (static_cast<std::uint32_t>(unit) > 0xFFFF)
            throw utf8::invalid_utf16(static_cast<std::uint16_t>(unit));
    std::string out;
    out.reserve(text.size());
    utf8::utf16to8(text.begin(), text.end(), std::back_inserter(out));
    return out;
}

boost::filesystem::path WStringToPath(const std::wstring& text)
{
    std::string utf8 = WStringToUtf8(text);
    std::replace(utf8.begin(), utf8.end(), '\\', '/');
    return boost::filesystem::path(utf8);
}

boost::filesystem::path Utf8StringToPath(const std::string& text) { return WStringToPath(Utf8ToWString(text)); }

boost::filesystem::path MakePathFromCString(const char* text) { return Utf8StringToPath(std::string(text)); }

std::wstring PathToWString(const boost::filesystem::path& path) { return Utf8ToWString(path.string()); }

std::string PathToUtf8String(const boost::filesystem::path& path) { return WStringToUtf8(PathToWString(path)); }

std::ifstream OpenInputStream(const boost::filesystem::path& path)
{
    return std::ifstream(path.string(), std::ios::in | std::ios::binary);
}

std::ofstream OpenOutputStream(const boost::filesystem::path& path)
{
    return std::ofstream(path.string(), std::ios::out | std::ios::binary);
}

bool CreateDirectories(const boost::filesystem::path& path)
{
    const boost::filesystem::path copy = path;
    return boost::filesystem::create_directories(copy);
}

namespace {

bool IsClassic(const std::locale& locale) { return locale == std::locale::classic(); }

template <typename T>
std::wstring StreamToString(const T& value, const std::locale& locale)
{
    std::ostringstream stream;
    stream.imbue(locale);
    stream << value;
    return Utf8ToWString(stream.str());
}

std::wstring AsciiToWide(const char* begin, const char* end) { return std::wstring(begin, end); }

// %.6g, as the classic stream writes it; fixed texts for the non-finite values.
std::size_t FormatDouble(double value, char* buffer, std::size_t size)
{
    if (std::isnan(value)) {
        std::copy_n("nan", 3, buffer);
        return 3;
    }
    const auto result = std::to_chars(buffer, buffer + size, value, std::chars_format::general, 6);
    return static_cast<std::size_t>(result.ptr - buffer);
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

template <typename T>
T StreamFromString(const char* text, const std::locale& locale)
{
    std::istringstream stream{std::string(text)};
    stream.imbue(locale);
    T value{};
    stream >> value;
    return value;
}

// The longest prefix of [sign] digits [. digits] [e [sign] digits] after white space.
// Gives false where stream extraction might read further than this prefix (then the
// stream itself decides).
bool ScanDecimal(const char*& begin, const char*& end, bool allowFraction)
{
    const char* p = begin;
    while (IsSpace(*p))
        ++p;
    const char* start = p;
    if (*p == '+' || *p == '-')
        ++p;
    int digits = 0;
    while (IsDigit(*p)) {
        ++p;
        ++digits;
    }
    if (allowFraction) {
        if (*p == '.') {
            ++p;
            while (IsDigit(*p)) {
                ++p;
                ++digits;
            }
        }
        if (digits > 0 && (*p == 'e' || *p == 'E')) {
            const char* q = p + 1;
            if (*q == '+' || *q == '-')
                ++q;
            if (!IsDigit(*q))
                return false;
            while (IsDigit(*q))
                ++q;
            p = q;
        }
    }
    if (digits == 0)
        return false;
    const char next = *p;
    if (IsDigit(next) || next == '.' || next == 'e' || next == 'E' || next == '+' || next == '-')
        return false;
    begin = *start == '+' ? start + 1 : start;
    end = p;
    return true;
}

}  // namespace

template <typename T>
std::wstring ToString(const T& value, const std::locale& locale)
{
    if (!IsClassic(locale))
        return StreamToString(value, locale);
    char buffer[64];
    if constexpr (std::is_same_v<T, double>) {
        const std::size_t n = FormatDouble(value, buffer, sizeof buffer);
        return AsciiToWide(buffer, buffer + n);
    } else {
        const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
        return AsciiToWide(buffer, result.ptr);
    }
}

std::string ToUtf8Number(double value)
{
    char buffer[64];
    const std::size_t n = FormatDouble(value, buffer, sizeof buffer);
    return std::string(buffer, n);
}

template <typename T>
T FromString(const char* text, const std::locale& locale)
{
    if (text == nullptr)
        return T{};
    // Fast path for plain numbers in the classic locale; the stream reads the rest.
    if (IsClassic(locale)) {
        const char* begin = text;
        const char* end = text;
        if (ScanDecimal(begin, end, std::is_floating_point_v<T>)) {
            if constexpr (std::is_floating_point_v<T>) {
                T value{};
                const auto result = std::from_chars(begin, end, value);
                if (result.ec == std::errc() && result.ptr == end && std::isfinite(value) &&
                    (value == 0 || std::fabs(value) >= std::numeric_limits<T>::min()))
                    return value;
            } else if (end - begin <= 12) {
                long long value = 0;
                const auto result = std::from_chars(begin, end, value);
                if (result.ec == std::errc() && result.ptr == end && value >= 0 &&
                    value <= std::numeric_limits<T>::max())
                    return static_cast<T>(value);
                if (result.ec == std::errc() && result.ptr == end && std::is_signed_v<T> &&
                    value >= std::numeric_limits<T>::min() && value <= std::numeric_limits<T>::max())
                    return static_cast<T>(value);
            }
        }
    }
    return StreamFromString<T>(text, locale);
}

template std::wstring ToString<short>(const short&, const std::locale&);
template std::wstring ToString<unsigned short>(const unsigned short&, const std::locale&);
template std::wstring ToString<double>(const double&, const std::locale&);
template int FromString<int>(const char*, const std::locale&);
template double FromString<double>(const char*, const std::locale&);
template unsigned short FromString<unsigned short>(const char*, const std::locale&);

bool EndsWith(const std::string& text, const char* suffix)
{
    const std::string_view tail(suffix != nullptr ? suffix : "");
    return text.size() >= tail.size() && std::string_view(text).substr(text.size() - tail.size()) == tail;
}

}  // namespace ostrel
