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

// Clipboard, global memory, the user's proxy setting, threads, ticks and sleep.
using SIZE_T = decltype(sizeof(0));
using ULONGLONG = std::uint64_t;
using LPDWORD = DWORD*;
using LPCVOID = const void*;
struct SECURITY_ATTRIBUTES;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;
using LPTHREAD_START_ROUTINE = DWORD (*)(LPVOID parameter);

constexpr UINT CF_TEXT = 1;
constexpr UINT GMEM_MOVEABLE = 0x0002;
constexpr UINT GMEM_ZEROINIT = 0x0040;
constexpr DWORD INFINITE = 0xFFFFFFFF;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
constexpr DWORD STILL_ACTIVE = 259;

// One text clipboard for the whole process. Only one opener holds it at a time: a
// second OpenClipboard fails until CloseClipboard, whichever thread asks.
BOOL IsClipboardFormatAvailable(UINT format);
BOOL OpenClipboard(HWND owner);
BOOL CloseClipboard();
BOOL EmptyClipboard();
// Only for the opener; the handle stays the clipboard's and lives until the next empty.
HANDLE GetClipboardData(UINT format);
// The opener hands over a block from GlobalAlloc; the clipboard owns it afterwards.
HANDLE SetClipboardData(UINT format, HANDLE data);

// Global memory blocks; sizes are kept exactly, so nothing past a block is readable.
HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes);
HGLOBAL GlobalFree(HGLOBAL block);
LPVOID GlobalLock(HGLOBAL block);
BOOL GlobalUnlock(HGLOBAL block);
SIZE_T GlobalSize(HGLOBAL block);

// The current user's internet proxy settings. The strings are GlobalAlloc blocks
// that the caller releases with GlobalFree.
struct WINHTTP_CURRENT_USER_IE_PROXY_CONFIG {
    BOOL fAutoDetect;
    LPWSTR lpszAutoConfigUrl;
    LPWSTR lpszProxy;
    LPWSTR lpszProxyBypass;
};
BOOL WinHttpGetIEProxyConfigForCurrentUser(WINHTTP_CURRENT_USER_IE_PROXY_CONFIG* config);

// Threads: every started thread is kept in a registry until it has ended and its
// handle is closed, so that nothing outlives the process unjoined.
HANDLE CreateThread(LPSECURITY_ATTRIBUTES security, SIZE_T stackSize, LPTHREAD_START_ROUTINE start, LPVOID parameter,
                    DWORD flags, LPDWORD threadId);
DWORD WaitForSingleObject(HANDLE thread, DWORD milliseconds);
BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode);
BOOL CloseHandle(HANDLE handle);

ULONGLONG GetTickCount64();
void Sleep(DWORD milliseconds);

constexpr UINT CP_UTF8 = 65001;
using LPCCH = const char*;
// Code page CP_UTF8 only: decodes into UTF-16 units, each malformed byte becoming
// U+FFFD. A byte count of -1 includes the terminator. With a zero target size
// answers the units needed; 0 when the target is too small or the page unknown.
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCCH text, int byteCount, LPWSTR target, int targetUnits);
