#include "libparts/LibPartNames.hpp"

#include "Main/Globals.hpp"
#include "libparts/LibPartSpec.hpp"
#include "ostrel/Text.hpp"
#include "ostrel/interop/Interop.hpp"

#include <boost/filesystem/operations.hpp>

#include <cstdint>
#include <exception>
#include <locale>
#include <string_view>

namespace tarvel {
namespace {

namespace fs = boost::filesystem;

bool IsControl(wchar_t unit) { return unit < 0x20 || (unit >= 0x7F && unit <= 0x9F); }

// The case mapping of every Unicode character; the classic locale (ASCII only) where
// the C library lacks it.
const std::ctype<wchar_t>& CaseMapping()
{
    static const std::locale locale = [] {
        try {
            return std::locale("C.UTF-8");
        } catch (const std::exception&) {
            return std::locale::classic();
        }
    }();
    return std::use_facet<std::ctype<wchar_t>>(locale);
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::string PercentDecoded(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const int high = text[i] == '%' && i + 2 < text.size() ? HexDigit(text[i + 1]) : -1;
        const int low = high >= 0 ? HexDigit(text[i + 2]) : -1;
        if (low >= 0) {
            out.push_back(static_cast<char>(high * 16 + low));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

// A file name's bytes as the host reads UTF-8 (a malformed byte U+FFFD).
std::wstring FileNameText(const std::string& bytes)
{
    return ostrel::ac::interop::ToWString(GS::UniString(bytes.c_str(), GS::CC_UTF8));
}

}  // namespace

void SanitizeFileName(std::wstring& name)
{
    constexpr std::wstring_view forbidden = L"*\"<>:/\\?|";
    for (wchar_t& c : name)
        if (forbidden.find(c) != std::wstring_view::npos || IsControl(c))
            c = L'_';
}

bool IsBlank(wchar_t unit)
{
    return (unit >= 0x09 && unit <= 0x0D) || unit == 0x20 || unit == 0x85 || unit == 0xA0 || unit == 0x1680 ||
           (unit >= 0x2000 && unit <= 0x200A) || unit == 0x2028 || unit == 0x2029 || unit == 0x202F ||
           unit == 0x205F || unit == 0x3000;
}

std::wstring CleanLibPartName(std::wstring name)
{
    std::size_t first = 0;
    while (first < name.size() && IsBlank(name[first]))
        ++first;
    std::size_t last = name.size();
    while (last > first && IsBlank(name[last - 1]))
        --last;
    name = name.substr(first, last - first);
    SanitizeFileName(name);
    return name;
}

std::u32string FoldCase(const std::wstring& text)
{
    const std::ctype<wchar_t>& mapping = CaseMapping();
    std::u32string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t code = static_cast<char32_t>(text[i]) & 0xFFFF;
        if (code >= 0xD800 && code <= 0xDBFF && i + 1 < text.size()) {
            const char32_t trail = static_cast<char32_t>(text[i + 1]) & 0xFFFF;
            if (trail >= 0xDC00 && trail <= 0xDFFF) {
                code = 0x10000 + ((code - 0xD800) << 10) + (trail - 0xDC00);
                ++i;
            }
        }
        // wchar_t holds a whole code point here; a surrogate is no character to map.
        if (code < 0xD800 || code > 0xDFFF)
            code = static_cast<char32_t>(mapping.toupper(static_cast<wchar_t>(code)));
        out.push_back(code);
    }
    return out;
}

bool LibraryFolderNames::Holds(const std::wstring& name) const
{
    return unreadable || names.count(FoldCase(name)) != 0;
}

LibraryFolderNames ReadLibraryFolderNames()
{
    LibraryFolderNames result;
    if (libraryFolder.empty())
        return result;
    try {
        const fs::path folder = ostrel::WStringToPath(FullDataPath(libraryFolder));
        boost::system::error_code error;
        fs::directory_iterator it(folder, error);
        // No folder yet holds no file.
        if (error == boost::system::errc::no_such_file_or_directory)
            return result;
        for (const fs::directory_iterator end; !error && it != end; it.increment(error)) {
            boost::system::error_code ignored;
            if (fs::is_directory(it->path(), ignored))
                continue;
            const std::string stem = it->path().stem().string();
            result.names.insert(FoldCase(FileNameText(stem)));
            result.names.insert(FoldCase(FileNameText(PercentDecoded(stem))));
        }
        result.unreadable = static_cast<bool>(error);
    } catch (const std::exception&) {
        // No data root to look in: no name is known free.
        result.unreadable = true;
    }
    return result;
}

bool IsLibPartNameFree(const std::wstring& name)
{
    return !ReadLibraryFolderNames().Holds(name) && FindLibPartIndex(name) == 0;
}

std::wstring ProposeUniqueName(const std::wstring& base)
{
    const LibraryFolderNames files = ReadLibraryFolderNames();
    if (files.unreadable)
        return std::wstring();
    // The counter stops at its last value instead of wrapping, so the search ends.
    for (std::uint32_t counter = 10; counter <= 0xFFFF; ++counter) {
        const std::wstring digits = std::to_wstring(counter);
        const std::wstring candidate = base.substr(0, CutLength(base, kMaxLibPartNameUnits - digits.size())) + digits;
        if (FindLibPartIndex(candidate) == 0 && !files.Holds(candidate))
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
