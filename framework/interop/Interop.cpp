#include "ostrel/interop/Interop.hpp"

#include "IO.hpp"
#include "Win32.hpp"
#include "ostrel/Text.hpp"
#include "ostrel/interop/HostApi.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>

namespace ostrel::ac::interop {
namespace {

constexpr std::int32_t kSpecialLocationRoot = 9;
// Path texts pass through a buffer of this many units, the terminator included.
constexpr std::size_t kPathBufferUnits = 512;

void Check(GSErrCode code)
{
    if (code != NoError)
        throw GSException(code);
}

std::wstring LocationToPath(const IO::Location& location)
{
    GS::UniString text;
    Check(location.ToPath(&text));
    // A longer path would not fit the buffer: refuse it rather than cut it short.
    if (text.GetLength() >= kPathBufferUnits)
        throw GSException(HostInterface::ErrGeneral);
    std::array<GS::uchar_t, kPathBufferUnits> buffer{};
    std::copy_n(text.ToUStr(), text.GetLength(), buffer.begin());
    return std::wstring(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(text.GetLength()));
}

}  // namespace

std::wstring ToWString(const GS::UniString& text)
{
    return std::wstring(text.ToUStr(), text.ToUStr() + text.GetLength());
}

GS::UniString ToUniString(const std::wstring& text)
{
    std::u16string units;
    units.reserve(text.size());
    for (wchar_t unit : text)
        units.push_back(static_cast<char16_t>(unit));
    return GS::UniString(std::move(units));
}

std::wstring GetSpecialFolderPath()
{
    IO::Location location;
    Check(IO::fileSystem.GetSpecialLocation(kSpecialLocationRoot, &location));
    return LocationToPath(location);
}

std::wstring GetAddOnFolderPath()
{
    IO::Location location;
    Check(HostApi_AddOnFileLocation(&location));
    location.DeleteLastLocalName();
    return LocationToPath(location);
}

std::wstring GetAddOnFolderFilePath(const std::wstring& name) { return GetAddOnFolderPath() + L"/" + name; }

std::wstring LoadResourceString(std::int16_t list, std::int16_t index)
{
    // Cleared first: the host leaves the buffer as it is for a missing entry.
    std::array<GS::uchar_t, HostInterface::StringBufferUnits> buffer{};
    HostApi_LoadIndexedString(HostApi_ResourceModuleId(), list, index, buffer.data());
    buffer.back() = 0;
    std::size_t length = 0;
    while (buffer[length] != 0)
        ++length;
    return std::wstring(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(length));
}

std::string LoadResourceStringUtf8(std::int16_t list, std::int16_t index)
{
    return WStringToUtf8(LoadResourceString(list, index));
}

bool IsOpenableLink(const std::string& target)
{
    // Only web and mail links: a file path or another scheme would start a program.
    for (const char* scheme : {"http://", "https://", "mailto:"}) {
        const std::size_t n = std::char_traits<char>::length(scheme);
        if (target.size() >= n && std::equal(scheme, scheme + n, target.begin(), [](char a, char b) {
                return a == std::tolower(static_cast<unsigned char>(b));
            }))
            return true;
    }
    return false;
}

bool ShellOpen(const std::string& target)
{
    if (!IsOpenableLink(target))
        return false;
    const std::wstring wide = Utf8ToWString(target);
    const HINSTANCE result = ShellExecuteW(GetActiveWindow(), L"open", wide.c_str(), nullptr, nullptr, SW_SHOWDEFAULT);
    // Values above 32 mean success.
    return reinterpret_cast<std::intptr_t>(result) > 32;
}

}  // namespace ostrel::ac::interop
