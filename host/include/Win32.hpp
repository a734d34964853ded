// Stand-in for the Windows calls the add-on makes. Wide texts are UTF-16 code
// units held in wchar_t elements, the same as the add-on's std::wstring.
#pragma once

#include <cstdint>

using BOOL = int;
using UINT = unsigned int;
using DWORD = std::uint32_t;
using LPVOID = void*;
using WCHAR = wchar_t;
using LPCWSTR = const WCHAR*;
using LPWSTR = WCHAR*;
using HANDLE = void*;
using HGLOBAL = void*;
struct HWND__;
using HWND = HWND__*;
struct HINSTANCE__;
using HINSTANCE = HINSTANCE__*;

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOWDEFAULT = 10;

HWND GetActiveWindow();
// Logs the request and starts nothing; answers a value above 32 (success).
HINSTANCE ShellExecuteW(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR directory,
                        int showCommand);

constexpr UINT CP_UTF8 = 65001;
using LPCCH = const char*;
// Code page CP_UTF8 only: decodes into UTF-16 units, each malformed byte becoming
// U+FFFD. A byte count of -1 includes the terminator. With a zero target size
// answers the units needed; 0 when the target is too small or the page unknown.
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCCH text, int byteCount, LPWSTR target, int targetUnits);
