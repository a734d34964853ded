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
// Logs the request and starts nothing. Answers 31 (no association) for a link whose
// scheme is not http, https or mailto, 2 (not found) for a file that does not exist,
// and otherwise a value above 32 (success) unless a test set another.
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
// Waits for a thread to end or an event to be set, at most the milliseconds given.
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode);
// Closes a thread's or an event's handle.
BOOL CloseHandle(HANDLE handle);

// Events, unnamed only. A manual-reset event stays set until ResetEvent; an
// auto-reset one lets one wait through and is cleared by it.
HANDLE CreateEventW(LPSECURITY_ATTRIBUTES security, BOOL manualReset, BOOL initialState, LPCWSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);

ULONGLONG GetTickCount64();
void Sleep(DWORD milliseconds);

constexpr UINT CP_UTF8 = 65001;
using LPCCH = const char*;
// Code page CP_UTF8 only: decodes into UTF-16 units, each malformed byte becoming
// U+FFFD. A byte count of -1 includes the terminator. With a zero target size
// answers the units needed; 0 when the target is too small or the page unknown.
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCCH text, int byteCount, LPWSTR target, int targetUnits);

// The C runtime's clock: seconds since 1970 (UTC), and their local calendar time
// (0, or EINVAL for a null argument). Tests can set both the time and the zone.
using __time64_t = std::int64_t;
using errno_t = int;
struct tm;
__time64_t _time64(__time64_t* time);
errno_t _localtime64_s(struct tm* local, const __time64_t* time);

// The trust check of a file's signature (Authenticode through the generic verify
// action). A verify opens a state that a close with the same data must release.
using LONG = std::int32_t;
struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};
inline constexpr GUID WINTRUST_ACTION_GENERIC_VERIFY_V2 = {
    0x00AAC56B, 0xCD44, 0x11D0, {0x8C, 0xC2, 0x00, 0xC0, 0x4F, 0xC2, 0x95, 0xEE}};
struct WINTRUST_FILE_INFO {
    DWORD cbStruct;
    LPCWSTR pcwszFilePath;
    HANDLE hFile;
    const GUID* pgKnownSubject;
};
struct WINTRUST_DATA {
    DWORD cbStruct;
    LPVOID pPolicyCallbackData;
    LPVOID pSIPClientData;
    DWORD dwUIChoice;
    DWORD fdwRevocationChecks;
    DWORD dwUnionChoice;
    union {
        WINTRUST_FILE_INFO* pFile;
        void* pCatalog;
        void* pBlob;
        void* pSgnr;
        void* pCert;
    };
    DWORD dwStateAction;
    HANDLE hWVTStateData;
    WCHAR* pwszURLReference;
    DWORD dwProvFlags;
    DWORD dwUIContext;
    void* pSignatureSettings;
};
constexpr DWORD WTD_UI_ALL = 1;
constexpr DWORD WTD_UI_NONE = 2;
constexpr DWORD WTD_REVOKE_NONE = 0;
constexpr DWORD WTD_REVOKE_WHOLECHAIN = 1;
constexpr DWORD WTD_CHOICE_FILE = 1;
constexpr DWORD WTD_STATEACTION_IGNORE = 0;
constexpr DWORD WTD_STATEACTION_VERIFY = 1;
constexpr DWORD WTD_STATEACTION_CLOSE = 2;
constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG TRUST_E_PROVIDER_UNKNOWN = static_cast<LONG>(0x800B0001);
constexpr LONG TRUST_E_NOSIGNATURE = static_cast<LONG>(0x800B0100);
constexpr LONG TRUST_E_SUBJECT_FORM_UNKNOWN = static_cast<LONG>(0x800B0003);
constexpr LONG E_INVALIDARG = static_cast<LONG>(0x80070057);
LONG WinVerifyTrust(HWND window, GUID* action, LPVOID data);
