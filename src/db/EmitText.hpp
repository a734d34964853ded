// Helpers of the emission: one GDL line built as UTF-8, the placement lines that
// every solid opens with.
#pragma once

#include "db/GdlWriter.hpp"

#include "ostrel/Text.hpp"

#include <glm/mat4x4.hpp>
#include <glm/vec3.hpp>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace tarvel::emit {

// The six-significant-digit text of a number (%.6g, the framework's number text),
// into out (32 bytes); gives its length. Most numbers of a product are whole or lie
// between 0.0001 and a million: they are rounded here directly and take the general
// path only where the rounding is too close to call in double arithmetic.
std::size_t NumberTextInGeneral(double value, char* out);

inline std::size_t NumberText(double value, char* out)
{
    const double magnitude = std::fabs(value);
    if (magnitude < 1e6 && value == static_cast<double>(static_cast<long>(value)) &&
        !(value == 0 && std::signbit(value))) {
        if (magnitude < 10) {  // 0, 1 and -1 above all, in placements
            char* p = out;
            if (value < 0)
                *p++ = '-';
            *p++ = static_cast<char>('0' + static_cast<int>(magnitude));
            return static_cast<std::size_t>(p - out);
        }
        return static_cast<std::size_t>(std::to_chars(out, out + 32, static_cast<long>(value)).ptr - out);
    }
    if (!(magnitude >= 0.0001 && magnitude < 1e6))
        return NumberTextInGeneral(value, out);
    static constexpr double kPowers[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
    // The decimal exponent e of the leading digit, -4 to 5 (the bounds are the
    // doubles nearest to the powers of ten).
    const int e = magnitude >= 1
                      ? (magnitude >= 100 ? (magnitude >= 1e4 ? (magnitude >= 1e5 ? 5 : 4) : (magnitude >= 1e3 ? 3 : 2))
                                          : (magnitude >= 10 ? 1 : 0))
                      : (magnitude >= 1e-2 ? (magnitude >= 1e-1 ? -1 : -2) : (magnitude >= 1e-3 ? -3 : -4));
    const double scaled = magnitude * kPowers[5 - e];  // six digits before the point
    const double whole = static_cast<double>(static_cast<long>(scaled));  // scaled is positive
    const double fraction = scaled - whole;
    if (!(whole >= 1e5 && whole < 1e6 && std::fabs(fraction - 0.5) > 1e-6))
        return NumberTextInGeneral(value, out);
    const int digits = static_cast<int>(whole) + (fraction > 0.5 ? 1 : 0);
    if (digits >= 1000000)
        return NumberTextInGeneral(value, out);
    static constexpr char kPairs[] = "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
                                     "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
                                     "8081828384858687888990919293949596979899";
    char six[16] = {};  // the six digits; room to copy eight from any of them
    std::memcpy(six, kPairs + 2 * (digits / 10000), 2);
    std::memcpy(six + 2, kPairs + 2 * (digits / 100 % 100), 2);
    std::memcpy(six + 4, kPairs + 2 * (digits % 100), 2);
    int used = 6;
    while (six[used - 1] == '0')  // the leading digit is not 0
        --used;
    char* p = out;
    if (value < 0)
        *p++ = '-';
    if (e >= 0) {
        std::memcpy(p, six, 8);
        if (used <= e + 1)
            return static_cast<std::size_t>(p - out) + static_cast<std::size_t>(e + 1);
        p[e + 1] = '.';
        std::memcpy(p + e + 2, six + e + 1, 8);
        return static_cast<std::size_t>(p - out) + static_cast<std::size_t>(used + 1);
    }
    std::memcpy(p, "0.000", 5);
    p += 1 - e;  // "0." and the zeros after the point
    std::memcpy(p, six, 8);
    return static_cast<std::size_t>(p - out) + static_cast<std::size_t>(used);
}

class Line {
public:
    explicit Line(std::string_view start) { *this << start; }
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;

    Line& operator<<(std::string_view text)
    {
        if (text.size() <= room_) [[likely]] {
            std::memcpy(buffer_ + size_, text.data(), text.size());
            size_ += text.size();
            room_ -= text.size();
            return *this;
        }
        return Overflow(text);
    }
    // A literal: its length is known here.
    template <std::size_t N>
    Line& operator<<(const char (&text)[N])
    {
        return *this << std::string_view(text, N - 1);
    }
    Line& operator<<(double value)
    {
        if (kNumberRoom <= room_) [[likely]] {
            const std::size_t length = NumberText(value, buffer_ + size_);
            size_ += length;
            room_ -= length;
            return *this;
        }
        char number[kNumberRoom];
        return Overflow(std::string_view(number, NumberText(value, number)));
    }
    Line& operator<<(long value)
    {
        char digits[24];
        return *this << std::string_view(digits, static_cast<std::size_t>(
                                                     std::to_chars(digits, digits + sizeof digits, value).ptr - digits));
    }
    // The UTF-8 of wide text (UTF-16 units); plain ASCII is narrowed in place.
    Line& Wide(std::wstring_view text)
    {
        if (text.size() <= room_) {
            char* out = buffer_ + size_;
            std::uint32_t high = 0;  // the bits of every unit: beyond 0x7F for text that is not ASCII
            for (std::size_t i = 0; i < text.size(); ++i) {
                high |= static_cast<std::uint32_t>(text[i]);
                out[i] = static_cast<char>(text[i]);
            }
            if (high < 0x80) {
                size_ += text.size();
                room_ -= text.size();
                return *this;
            }
        }
        std::string utf8;
        AppendUtf8Of(utf8, text);
        return Overflow(utf8);
    }
    std::string_view Text() const
    {
        return overflowed_ ? std::string_view(overflow_) : std::string_view(buffer_, size_);
    }

private:
    static constexpr std::size_t kNumberRoom = 32;

    // A line longer than the buffer continues in a string; every later piece goes there too.
    Line& Overflow(std::string_view text)
    {
        if (!overflowed_) {
            overflow_.assign(buffer_, size_);
            overflowed_ = true;
            room_ = 0;
        }
        overflow_.append(text);
        return *this;
    }

    // Lines are short: most never leave this buffer.
    char buffer_[240];
    std::size_t size_ = 0;
    std::size_t room_ = sizeof buffer_;
    bool overflowed_ = false;
    std::string overflow_;
};

inline void Append(GdlWriter& writer, const Line& line) { writer.AppendUtf8(line.Text()); }

// "    XFORM " with columns 0 to 2 of the matrix, each column's row-3 value divided by u.
void AppendTransformLine(GdlWriter& writer, const glm::dmat4& transform);
// "    ADD " with the point divided by u.
void AppendOffsetLine(GdlWriter& writer, const glm::dvec3& point);

}  // namespace tarvel::emit
