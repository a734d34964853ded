#include "transfer/LocalNames.hpp"

#include <utf8.h>

#include <algorithm>
#include <string_view>

namespace tarvel {
namespace {

bool IsForbidden(unsigned char c)
{
    return c < 0x20 || c == 0x7F || std::string_view("<>:\"/\\|?*").find(static_cast<char>(c)) != std::string_view::npos;
}

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : static_cast<char>(c); });
    return text;
}

}  // namespace

std::string MakeSafeFileName(const std::string& name)
{
    if (name.empty() || name == "." || name == "..")
        return "artifact";
    std::string safe;
    safe.reserve(name.size());
    auto it = name.begin();
    while (it != name.end()) {
        auto next = it;
        // One code point at a time; a malformed sequence costs one byte.
        if (utf8::internal::validate_next(next, name.end()) != utf8::internal::UTF8_OK) {
            safe.push_back('_');
            ++it;
            continue;
        }
        if (next - it == 1 && IsForbidden(static_cast<unsigned char>(*it)))
            safe.push_back('_');
        else
            safe.append(it, next);
        it = next;
    }
    return safe;
}

std::string LocalNameFromUrl(const std::string& url)
{
    const std::size_t slash = url.find_last_of("/\\");
    return MakeSafeFileName(slash == std::string::npos ? url : url.substr(slash + 1));
}

std::string MakeUniqueName(const std::string& name, std::set<std::string>& used)
{
    std::string candidate = name;
    const std::size_t dot = name.find_last_of('.');
    const bool hasExtension = dot != std::string::npos && dot > 0;
    const std::string stem = hasExtension ? name.substr(0, dot) : name;
    const std::string extension = hasExtension ? name.substr(dot) : std::string();
    for (int n = 2; used.count(Lower(candidate)) != 0; ++n)
        candidate = stem + "_" + std::to_string(n) + extension;
    used.insert(Lower(candidate));
    return candidate;
}

}  // namespace tarvel
