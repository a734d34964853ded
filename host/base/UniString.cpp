#include "GSRoot.hpp"
#include "standin/Base.hpp"

#include <utf8.h>

#include <cstring>

namespace standin::base {
namespace {

// Windows-1252 bytes 0x80 to 0x9F; 0 marks the five undefined ones.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

std::u16string DecodeUtf8Lenient(const char* text, std::size_t length)
{
    std::u16string out;
    out.reserve(length);
    const char* it = text;
    const char* end = text + length;
    while (it < end) {
        const char* start = it;
        try {
            std::uint32_t cp = utf8::next(it, end);
            if (cp > 0xFFFF) {
                cp -= 0x10000;
                out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
                out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
            } else {
                out.push_back(static_cast<char16_t>(cp));
            }
        } catch (const utf8::exception&) {
            // Each bad byte becomes one replacement character.
            out.push_back(0xFFFD);
            it = start + 1;
        }
    }
    return out;
}

}  // namespace

std::u16string Decode(const char* text, std::size_t length, GSCharCode code)
{
    if (code == GS::CC_UTF8)
        return DecodeUtf8Lenient(text, length);
    const int page = DefaultCodePage();
    std::u16string out;
    out.reserve(length);
    for (std::size_t i = 0; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (page == 1252 && byte >= 0x80 && byte <= 0x9F) {
            const char16_t mapped = kCp1252High[byte - 0x80];
            out.push_back(mapped != 0 ? mapped : 0xFFFD);
        } else {
            out.push_back(byte);
        }
    }
    return out;
}

std::string EncodeUtf8(const std::u16string& units)
{
    std::string out;
    out.reserve(units.size());
    for (std::size_t i = 0; i < units.size(); ++i) {
        std::uint32_t cp = units[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        utf8::append(cp, std::back_inserter(out));
    }
    return out;
}

}  // namespace standin::base

namespace GS {

UniString::UniString(const uchar_t* units, std::size_t length) : units_(units, length) {}

UniString::UniString(const uchar_t* zeroTerminated)
{
    if (zeroTerminated != nullptr)
        units_ = zeroTerminated;
}

UniString::UniString(const char* text, GSCharCode code)
{
    if (text != nullptr)
        units_ = standin::base::Decode(text, std::strlen(text), code);
}

UniString& UniString::Append(const UniString& other)
{
    units_ += other.units_;
    return *this;
}

std::string UniString::ToUtf8() const { return standin::base::EncodeUtf8(units_); }

namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

}  // namespace

Guid::Guid(const char* text)
{
    if (text == nullptr)
        return;
    std::string s(text);
    if (s.size() == 38 && s.front() == '{' && s.back() == '}')
        s = s.substr(1, 36);
    if (s.size() != 36 || s[8] != '-' || s[13] != '-' || s[18] != '-' || s[23] != '-')
        return;
    std::string hex;
    for (char c : s)
        if (c != '-')
            hex.push_back(c);
    std::uint8_t raw[16];
    for (int i = 0; i < 16; ++i) {
        const int hi = HexValue(hex[2 * i]);
        const int lo = HexValue(hex[2 * i + 1]);
        if (hi < 0 || lo < 0)
            return;
        raw[i] = static_cast<std::uint8_t>(hi * 16 + lo);
    }
    // Windows layout: Data1 (4 bytes), Data2 and Data3 (2 bytes each) little-endian.
    const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    for (int i = 0; i < 16; ++i)
        bytes_[i] = raw[order[i]];
}

bool Guid::IsNull() const
{
    for (auto b : bytes_)
        if (b != 0)
            return false;
    return true;
}

std::string Guid::ToString() const
{
    static const char* digits = "0123456789ABCDEF";
    const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    std::string out;
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            out.push_back('-');
        const std::uint8_t b = bytes_[order[i]];
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 15]);
    }
    return out;
}

}  // namespace GS

void CHTruncate(const char* source, char* destination, GSSize size, GSCharCode)
{
    if (destination == nullptr || size <= 0)
        return;
    GSSize n = 0;
    if (source != nullptr)
        while (n < size - 1 && source[n] != '\0')
            ++n;
    std::memcpy(destination, source != nullptr ? source : "", static_cast<std::size_t>(n));
    destination[n] = '\0';
}

std::int32_t CHCompareTexts(const char* a, const char* b, std::int32_t, GSCharCode)
{
    if (a == nullptr || b == nullptr)
        return a == b ? 0 : (a == nullptr ? -1 : 1);
    const int r = std::strcmp(a, b);
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}
