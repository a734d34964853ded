// Helpers of the emission: one GDL line built as UTF-8, the placement lines that
// every solid opens with.
#pragma once

#include "db/GdlWriter.hpp"

#include "ostrel/Text.hpp"

#include <glm/mat4x4.hpp>
#include <glm/vec3.hpp>

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tarvel::emit {

// The six-significant-digit text of a number (%.6g, the framework's number text),
// into out (32 bytes); gives its length. Most numbers of a product are whole or lie
// between 0.0001 and a million: they are rounded here directly and take the general
// path only where the rounding is too close to call in double arithmetic.
std::size_t NumberTextInGeneral(double value, char* out);

// The three digits of 0 to 999, and how many of them are left without the trailing zeros.
struct Triple {
    char digits[3];
    int significant;
};

constexpr std::array<Triple, 1000> MakeTriples()
{
    std::array<Triple, 1000> triples{};
    for (int i = 0; i < 1000; ++i) {
        Triple& t = triples[static_cast<std::size_t>(i)];
        t.digits[0] = static_cast<char>('0' + i / 100);
        t.digits[1] = static_cast<char>('0' + i / 10 % 10);
        t.digits[2] = static_cast<char>('0' + i % 10);
        t.significant = i == 0 ? 0 : i % 100 == 0 ? 1 : i % 10 == 0 ? 2 : 3;
    }
    return triples;
}

inline constexpr std::array<Triple, 1000> kTriples = MakeTriples();

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
    const Triple& high = kTriples[digits / 1000];  // 100 to 999
    const Triple& low = kTriples[digits % 1000];
    char six[16] = {};  // the six digits; room to copy eight from any of them
    std::memcpy(six, high.digits, 3);
    std::memcpy(six + 3, low.digits, 3);
    const int used = low.significant != 0 ? 3 + low.significant : high.significant;  // without trailing zeros
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

// The pieces of one line, written one after another into a run of memory and
// continued in a string when the run is too short for them.
template <typename Derived>
class LineText {
public:
    LineText(const LineText&) = delete;
    LineText& operator=(const LineText&) = delete;

    Derived& operator<<(std::string_view text)
    {
        if (text.size() <= Room()) [[likely]] {
            std::memcpy(cursor_, text.data(), text.size());
            cursor_ += text.size();
            return Self();
        }
        return Overflow(text);
    }
    // A literal: its length is known here.
    template <std::size_t N>
    Derived& operator<<(const char (&text)[N])
    {
        return *this << std::string_view(text, N - 1);
    }
    Derived& operator<<(double value)
    {
        if (kNumberRoom <= Room()) [[likely]] {
            cursor_ += NumberText(value, cursor_);
            return Self();
        }
        char number[kNumberRoom];
        return Overflow(std::string_view(number, NumberText(value, number)));
    }
    Derived& operator<<(long value)
    {
        char digits[24];
        return *this << std::string_view(digits, static_cast<std::size_t>(
                                                     std::to_chars(digits, digits + sizeof digits, value).ptr - digits));
    }
    // The UTF-8 of wide text (UTF-16 units); plain ASCII is narrowed in place.
    Derived& Wide(std::wstring_view text)
    {
        if (text.size() <= Room()) {
            char* out = cursor_;  // a local, so that the stores cannot change it
            const wchar_t* units = text.data();
            std::uint32_t high = 0;  // the bits of every unit: beyond 0x7F for text that is not ASCII
            for (std::size_t i = 0; i < text.size(); ++i) {
                high |= static_cast<std::uint32_t>(units[i]);
                out[i] = static_cast<char>(units[i]);
            }
            if (high < 0x80) {
                cursor_ += text.size();
                return Self();
            }
        }
        std::string utf8;
        AppendUtf8Of(utf8, text);
        return Overflow(utf8);
    }
    std::string_view Text() const
    {
        return overflowed_ ? std::string_view(overflow_)
                           : std::string_view(begin_, static_cast<std::size_t>(cursor_ - begin_));
    }

protected:
    LineText() = default;
    ~LineText() = default;

    void Start(char* begin, char* limit)
    {
        begin_ = cursor_ = begin;
        limit_ = limit;
    }
    bool Overflowed() const { return overflowed_; }
    char* Begin() const { return begin_; }
    char* Cursor() const { return cursor_; }

private:
    static constexpr std::size_t kNumberRoom = 32;

    Derived& Self() { return static_cast<Derived&>(*this); }
    std::size_t Room() const { return static_cast<std::size_t>(limit_ - cursor_); }

    // A line longer than the run continues in a string; every later piece goes there too.
    Derived& Overflow(std::string_view text)
    {
        if (!overflowed_) {
            overflow_.assign(begin_, static_cast<std::size_t>(cursor_ - begin_));
            overflowed_ = true;
            limit_ = cursor_;  // no room left
        }
        overflow_.append(text);
        return Self();
    }

    char* begin_ = nullptr;
    char* cursor_ = nullptr;
    char* limit_ = nullptr;
    bool overflowed_ = false;
    std::string overflow_;
};

// A line built in a buffer of its own (for the master text).
class Line : public LineText<Line> {
public:
    explicit Line(std::string_view start)
    {
        Start(buffer_, buffer_ + sizeof buffer_);
        *this << start;
    }

private:
    // Lines are short: most never leave this buffer.
    char buffer_[240];
};

// A line of the 3D text written in place at its end; End() adds the line feed and
// makes it part of the text. Nothing else may be appended to the 3D text while a
// line is being written.
class ScriptLine : public LineText<ScriptLine> {
public:
    ScriptLine(GdlWriter& writer, std::string_view start) : writer_(writer)
    {
        char* limit = nullptr;
        char* begin = writer.ScriptRoom(kRoom, limit);
        Start(begin, limit - 2);  // the line feeds of this line and of an empty line after it
        *this << start;
    }

    void End()
    {
        if (Overflowed())
            writer_.AppendUtf8(Text());
        else
            writer_.CommitScriptLine(Begin(), Cursor());
    }
    // Ends the line and appends an empty line after it.
    void EndWithEmptyLine()
    {
        if (Overflowed()) {
            writer_.AppendUtf8(Text());
            writer_.AppendUtf8("");
        } else {
            writer_.CommitScriptLine(Begin(), Cursor(), true);
        }
    }

private:
    // Room that a line of numbers never outgrows.
    static constexpr std::size_t kRoom = 512;

    GdlWriter& writer_;
};

// Whether an id cannot stand in an unquoted GDL name as it is (it has characters
// outside A-Z, a-z, 0-9 and "_"), and the id with each such character (a surrogate
// pair is one) as "_".
bool NeedsBareNameText(std::wstring_view id);
std::wstring BareNameText(std::wstring_view id);
// The text AssignResultIds gave the id in one of the writer's result-id tables, or null.
const std::wstring* AssignedResultId(const std::unordered_map<std::wstring, std::wstring>& resultIds,
                                     const std::wstring& id);

// "    XFORM " with columns 0 to 2 of the matrix, each column's row-3 value divided by u.
void AppendTransformLine(GdlWriter& writer, const glm::dmat4& transform);
// "    ADD " with the point divided by u.
void AppendOffsetLine(GdlWriter& writer, const glm::dvec3& point);

}  // namespace tarvel::emit
