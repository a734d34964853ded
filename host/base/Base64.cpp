#include "standin/Base.hpp"

#include <array>
#include <cstdint>

namespace standin::base {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The value of each character; -1 for a character outside the alphabet.
constexpr std::array<std::int8_t, 256> Values()
{
    std::array<std::int8_t, 256> values{};
    values.fill(-1);
    for (int i = 0; i < 64; ++i)
        values[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::int8_t>(i);
    return values;
}

constexpr std::array<std::int8_t, 256> kValues = Values();

}  // namespace

std::string Base64Encode(std::string_view bytes)
{
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t left = bytes.size() - i;
        auto byte = [&](std::size_t at) { return at < left ? static_cast<unsigned char>(bytes[i + at]) : 0u; };
        const std::uint32_t v = byte(0) << 16 | byte(1) << 8 | byte(2);
        out.push_back(kAlphabet[(v >> 18) & 63]);
        out.push_back(kAlphabet[(v >> 12) & 63]);
        out.push_back(left > 1 ? kAlphabet[(v >> 6) & 63] : '=');
        out.push_back(left > 2 ? kAlphabet[v & 63] : '=');
    }
    return out;
}

std::optional<std::string> Base64Decode(std::string_view text)
{
    if (text.size() % 4 != 0)
        return std::nullopt;
    std::string out;
    out.reserve(text.size() / 4 * 3);
    for (std::size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        // "=" pads the last group only: "xx==" or "xxx=".
        const int padding = last && text[i + 3] == '=' ? (text[i + 2] == '=' ? 2 : 1) : 0;
        std::uint32_t v = 0;
        for (int j = 0; j < 4; ++j) {
            const std::int8_t value = j < 4 - padding ? kValues[static_cast<unsigned char>(text[i + j])] : 0;
            if (value < 0)
                return std::nullopt;
            v = v << 6 | static_cast<std::uint32_t>(value);
        }
        out.push_back(static_cast<char>(v >> 16));
        if (padding < 2)
            out.push_back(static_cast<char>((v >> 8) & 0xFF));
        if (padding < 1)
            out.push_back(static_cast<char>(v & 0xFF));
    }
    return out;
}

}  // namespace standin::base
