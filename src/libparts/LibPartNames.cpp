#include "libparts/LibPartNames.hpp"

#include "libparts/LibPartSpec.hpp"

#include <cstdint>
#include <string_view>

namespace tarvel {

void SanitizeFileName(std::wstring& name)
{
    constexpr std::wstring_view forbidden = L"*\"<>:/\\?|";
    for (wchar_t& c : name)
        if (forbidden.find(c) != std::wstring_view::npos)
            c = L'_';
}

std::wstring ProposeUniqueName(const std::wstring& base)
{
    // The counter stops at its last value instead of wrapping, so the search ends.
    for (std::uint32_t counter = 10; counter <= 0xFFFF; ++counter) {
        const std::wstring digits = std::to_wstring(counter);
        const std::wstring candidate = base.substr(0, CutLength(base, kMaxLibPartNameUnits - digits.size())) + digits;
        if (FindLibPartIndex(candidate) == 0)
            return candidate;
    }
    return std::wstring();
}

std::string PreviewPathFor(const std::string& cadPath)
{
    const std::size_t separator = cadPath.find_last_of("/\\");
    const std::size_t dot = cadPath.rfind('.');
    if (dot == std::string::npos || (separator != std::string::npos && dot < separator))
        return std::string();
    return cadPath.substr(0, dot) + ".png";
}

}  // namespace tarvel
