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
// The value ShellExecuteW answers (above 32 is success).
void SetShellResult(long long result);

// The window GetActiveWindow answers (null by default).
void SetActiveWindow(void* window);

// UTF-16 units held in wchar_t elements to UTF-8; malformed units become U+FFFD.
std::string WideToUtf8(const wchar_t* text);

}  // namespace standin::win
