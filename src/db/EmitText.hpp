// Helpers of the emission: one GDL line built as UTF-8, the placement lines that
// every solid opens with.
#pragma once

#include "db/GdlWriter.hpp"

#include "ostrel/Text.hpp"

#include <glm/mat4x4.hpp>
#include <glm/vec3.hpp>

#include <charconv>
#include <cmath>
#include <string>
#include <string_view>

namespace tarvel::emit {

// The six-significant-digit text of a number (%.6g, the framework's number text),
// into out (32 bytes); gives its length. Most numbers of a product lie between
// 0.0001 and a million: they are rounded here directly and take the general path
// only where the rounding is too close to call in double arithmetic.
inline std::size_t NumberText(double value, char* out)
{
    const double magnitude = std::fabs(value);
    if (magnitude < 1e6 && value == static_cast<double>(static_cast<long>(value)) &&
        !(value == 0 && std::signbit(value)))
        return static_cast<std::size_t>(std::to_chars(out, out + 32, static_cast<long>(value)).ptr - out);
    if (magnitude >= 0.0001 && magnitude < 1e6) {
        static constexpr double kPowers[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
        // The decimal exponent e of the leading digit, -4 to 5.
        int e = 5;
        while (e > -4 && magnitude < (e >= 0 ? kPowers[e] : 1 / kPowers[-e]))
            --e;
        const double scaled = magnitude * kPowers[5 - e];  // six digits before the point
        const double whole = std::floor(scaled);
        const double fraction = scaled - whole;
        if (whole >= 1e5 && whole < 1e6 && std::fabs(fraction - 0.5) > 1e-6) {
            const long digits = static_cast<long>(whole) + (fraction > 0.5 ? 1 : 0);
            if (digits < 1000000) {
                char six[6];
                for (int i = 5, d = static_cast<int>(digits); i >= 0; --i, d /= 10)
                    six[i] = static_cast<char>('0' + d % 10);
                int used = 6;
                while (used > 1 && six[used - 1] == '0')
                    --used;
                char* p = out;
                if (value < 0)
                    *p++ = '-';
                if (e >= 0) {
                    for (int i = 0; i <= e; ++i)
                        *p++ = six[i];
                    if (used > e + 1) {
                        *p++ = '.';
                        for (int i = e + 1; i < used; ++i)
                            *p++ = six[i];
                    }
                } else {
                    *p++ = '0';
                    *p++ = '.';
                    for (int i = -1; i > e; --i)
                        *p++ = '0';
                    for (int i = 0; i < used; ++i)
                        *p++ = six[i];
                }
                return static_cast<std::size_t>(p - out);
            }
        }
    }
    const std::string text = ostrel::ToUtf8Number(value);
    text.copy(out, text.size());
    return text.size();
}

class Line {
public:
    explicit Line(std::string_view start) { *this << start; }
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;

    Line& operator<<(std::string_view text)
    {
        if (overflow_.empty() && size_ + text.size() <= sizeof buffer_) {
            text.copy(buffer_ + size_, text.size());
            size_ += text.size();
        } else {
            if (overflow_.empty())
                overflow_.assign(buffer_, size_);
            overflow_.append(text);
        }
        return *this;
    }
    Line& operator<<(double value)
    {
        char number[32];
        const std::size_t length = NumberText(value, number);
        return *this << std::string_view(number, length);
    }
    std::string_view Text() const
    {
        return overflow_.empty() ? std::string_view(buffer_, size_) : std::string_view(overflow_);
    }

private:
    // Lines are short: most never leave this buffer.
    char buffer_[240];
    std::size_t size_ = 0;
    std::string overflow_;
};

inline void Append(GdlWriter& writer, const Line& line) { writer.AppendUtf8(line.Text()); }

// "    XFORM " with columns 0 to 2 of the matrix, each column's row-3 value divided by u.
void AppendTransformLine(GdlWriter& writer, const glm::dmat4& transform);
// "    ADD " with the point divided by u.
void AppendOffsetLine(GdlWriter& writer, const glm::dvec3& point);

}  // namespace tarvel::emit
