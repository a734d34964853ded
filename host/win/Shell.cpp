#include "Win32.hpp"
#include "standin/Win.hpp"

#include <cstdint>
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
    auto& state = standin::win::State();
    std::lock_guard lock(state.mutex);
    state.log.push_back(std::move(request));
    return reinterpret_cast<HINSTANCE>(static_cast<std::intptr_t>(state.result));
}
