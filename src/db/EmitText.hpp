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
    explicit Line(std::string_view start) : text_(start) {}
    Line& operator<<(std::string_view text)
    {
        text_.append(text);
        return *this;
    }
    Line& operator<<(double value)
    {
        // Whole numbers below a million print as their digits in the six-digit
        // notation; the rest takes the general path. Negative zero keeps its sign.
        if (value > -1e6 && value < 1e6 && value == static_cast<double>(static_cast<long>(value)) &&
            !(value == 0 && std::signbit(value))) {
            char buffer[16];
            const auto result = std::to_chars(buffer, buffer + sizeof buffer, static_cast<long>(value));
            text_.append(buffer, result.ptr);
        } else {
            text_ += ostrel::ToUtf8Number(value);
        }
        return *this;
    }
    const std::string& Text() const { return text_; }

private:
    std::string text_;
};

inline void Append(GdlWriter& writer, const Line& line) { writer.AppendUtf8(line.Text()); }

// "    XFORM " with columns 0 to 2 of the matrix, each column's row-3 value divided by u.
void AppendTransformLine(GdlWriter& writer, const glm::dmat4& transform);
// "    ADD " with the point divided by u.
void AppendOffsetLine(GdlWriter& writer, const glm::dvec3& point);

}  // namespace tarvel::emit
