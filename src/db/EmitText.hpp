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
        std::size_t length;
        // Whole numbers below a million print as their digits in the six-digit
        // notation; the rest takes the general path. Negative zero keeps its sign.
        if (value > -1e6 && value < 1e6 && value == static_cast<double>(static_cast<long>(value)) &&
            !(value == 0 && std::signbit(value))) {
            length = static_cast<std::size_t>(std::to_chars(number, number + sizeof number, static_cast<long>(value)).ptr -
                                              number);
            return *this << std::string_view(number, length);
        }
        return *this << std::string_view(ostrel::ToUtf8Number(value));
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
