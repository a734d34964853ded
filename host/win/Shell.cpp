#include "Win32.hpp"
#include "standin/Win.hpp"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <mutex>

namespace standin::win {
namespace {

struct ShellState {
    std::mutex mutex;
    std::vector<ShellRequest> log;
    long long result = 42;
    void* activeWindow = nullptr;
};

ShellState& State()
{
    static ShellState state;
    return state;
}

constexpr long long kFileNotFound = 2;  // SE_ERR_FNF
constexpr long long kNoAssociation = 31;  // SE_ERR_NOASSOC

// What the system answers by itself: a link of a scheme without a handler, or a file
// that does not exist. 0: the request goes on to the set result.
long long Refusal(const std::string& target)
{
    const std::size_t colon = target.find(':');
    const auto isSchemeChar = [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
    };
    // "C:\..." is a drive, not a scheme: schemes have two letters or more.
    if (colon != std::string::npos && colon >= 2 && std::isalpha(static_cast<unsigned char>(target[0])) &&
        std::all_of(target.begin(), target.begin() + static_cast<std::ptrdiff_t>(colon), isSchemeChar)) {
        std::string scheme = target.substr(0, colon);
        for (char& c : scheme)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return scheme == "http" || scheme == "https" || scheme == "mailto" ? 0 : kNoAssociation;
    }
    std::string path = target;
    std::replace(path.begin(), path.end(), '\\', '/');
    std::error_code error;
    return !path.empty() && std::filesystem::exists(path, error) ? 0 : kFileNotFound;
}

}  // namespace

std::vector<ShellRequest> ShellLog()
{
    std::lock_guard lock(State().mutex);
    return State().log;
}

void ClearShellLog()
{
    std::lock_guard lock(State().mutex);
    State().log.clear();
}

void SetShellResult(long long result)
{
    std::lock_guard lock(State().mutex);
    State().result = result;
}

void SetActiveWindow(void* window)
{
    std::lock_guard lock(State().mutex);
    State().activeWindow = window;
}

}  // namespace standin::win

HWND GetActiveWindow()
{
    auto& state = standin::win::State();
    std::lock_guard lock(state.mutex);
    return static_cast<HWND>(state.activeWindow);
}

HINSTANCE ShellExecuteW(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR directory,
                        int showCommand)
{
    using standin::win::WideToUtf8;
    standin::win::ShellRequest request{owner,
                                       WideToUtf8(verb),
                                       WideToUtf8(file),
                                       WideToUtf8(parameters),
                                       WideToUtf8(directory),
                                       showCommand};
    const long long refusal = standin::win::Refusal(request.file);
    auto& state = standin::win::State();
    std::lock_guard lock(state.mutex);
    state.log.push_back(std::move(request));
    return reinterpret_cast<HINSTANCE>(static_cast<std::intptr_t>(refusal != 0 ? refusal : state.result));
}
