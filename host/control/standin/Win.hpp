// Control surface of the Windows stand-ins, for the stand-in host and tests.
#pragma once

#include <string>
#include <vector>

namespace standin::win {

struct ShellRequest {
    void* owner;
    std::string verb;        // UTF-8
    std::string file;        // UTF-8
    std::string parameters;  // UTF-8, empty when none was given
    std::string directory;   // UTF-8, empty when none was given
    int showCommand;
};

std::vector<ShellRequest> ShellLog();
void ClearShellLog();
// The value ShellExecuteW answers for a web or mail link or an existing file (above
// 32 is success); other targets are refused by the system itself.
void SetShellResult(long long result);

// The window GetActiveWindow answers (null by default).
void SetActiveWindow(void* window);

// UTF-16 units held in wchar_t elements to UTF-8; malformed units become U+FFFD.
std::string WideToUtf8(const wchar_t* text);

}  // namespace standin::win

#include <chrono>
#include <cstdint>
#include <optional>

namespace standin::win {

// The clipboard as another program sees it. SetClipboardBytes puts the bytes as
// CF_TEXT (with a terminating NUL unless `terminate` is false); it fails, like any
// other opener, while the clipboard is open. Empty optional: no text on it.
bool SetClipboardBytes(const std::string& bytes, bool terminate = true);
bool ClearClipboard();
std::optional<std::string> ClipboardText();
// Holds the clipboard open as another program would (false releases it).
bool HoldClipboard(bool hold);
bool ClipboardIsOpen();
// Locks taken on clipboard blocks and not released yet.
int ClipboardLocks();

// Global memory blocks not freed yet.
long long LiveGlobalBlocks();

// The user's proxy setting: the text WinHttpGetIEProxyConfigForCurrentUser gives as
// its proxy string (UTF-8 here); none gives a null string. `fail` makes the call fail.
void SetUserProxy(std::optional<std::string> proxy);
void SetUserProxyBypass(std::optional<std::string> bypass);
void FailUserProxyQuery(bool fail);

// Threads started with CreateThread and not ended yet.
int LiveThreads();
// Every WaitForSingleObject, in the order they ended: the start routine of the thread
// that waited (as given to CreateThread; null for a thread it did not start), the time
// limit asked, when the wait began, how long it really lasted and what it answered.
struct TimedWait {
    const void* startRoutine = nullptr;
    std::uint32_t milliseconds = 0;
    std::chrono::steady_clock::time_point began{};
    std::chrono::microseconds lasted{0};
    std::uint32_t result = 0;
};
std::vector<TimedWait> TimedWaits();
// Waits until every thread started with CreateThread has ended; false on timeout.
bool WaitForAllThreads(std::chrono::milliseconds timeout = std::chrono::seconds(30));

// The C runtime's clock as _time64 and _localtime64_s see it: a fixed time (seconds
// since 1970, UTC) in place of the system's, and a fixed offset from UTC in minutes
// in place of the system's time zone; nothing given restores the system's.
void SetClock(std::optional<std::int64_t> secondsSince1970);
void SetUtcOffset(std::optional<int> minutes);

// The trust check: a file is trusted when its bytes are among those signed here (as a
// signature by a trusted publisher would make it); every verify is logged.
struct TrustCheck {
    std::string file;  // path as the caller gave it, UTF-8
    bool trusted;
};
void TrustSignedContent(const std::string& bytes);
// Forgets the signed contents and the log.
void ClearTrust();
std::vector<TrustCheck> TrustLog();
// Verify states not closed yet.
int OpenTrustStates();

}  // namespace standin::win
