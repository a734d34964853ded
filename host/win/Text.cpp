#include "Win32.hpp"
#include "standin/Base.hpp"

#include <cstring>

int MultiByteToWideChar(UINT codePage, DWORD, LPCCH text, int byteCount, LPWSTR target, int targetUnits)
{
    if (codePage != CP_UTF8 || text == nullptr || byteCount == 0 || byteCount < -1 || targetUnits < 0)
        return 0;
    const std::size_t length = byteCount == -1 ? std::strlen(text) + 1 : static_cast<std::size_t>(byteCount);
    const std::u16string units = standin::base::Decode(text, length, 99);
    if (targetUnits == 0)
        return static_cast<int>(units.size());
    if (target == nullptr || units.size() > static_cast<std::size_t>(targetUnits))
        return 0;
    for (std::size_t i = 0; i < units.size(); ++i)
        target[i] = static_cast<WCHAR>(units[i]);
    return static_cast<int>(units.size());
}
