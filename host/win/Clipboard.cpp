#include "Win32.hpp"
#include "WinInternal.hpp"
#include "standin/Win.hpp"

#include <cstring>
#include <mutex>
#include <thread>

namespace standin::win {
namespace {

struct ClipboardState {
    std::mutex mutex;
    bool open = false;
    std::thread::id opener;
    HGLOBAL text = nullptr;
};

ClipboardState& Clipboard()
{
    static ClipboardState state;
    return state;
}

bool HeldByCaller(const ClipboardState& state) { return state.open && state.opener == std::this_thread::get_id(); }


}  // namespace

bool SetClipboardBytes(const std::string& bytes, bool terminate)
{
    const SIZE_T size = bytes.size() + (terminate ? 1 : 0);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    if (bytes.size() > 0) {
        std::memcpy(GlobalLock(block), bytes.data(), bytes.size());
        GlobalUnlock(block);
    }
    HGLOBAL old = nullptr;
    {
        auto& state = Clipboard();
        std::lock_guard lock(state.mutex);
        if (state.open) {
            GlobalFree(block);
            return false;
        }
        old = state.text;
        state.text = block;
    }
    GlobalFree(old);
    return true;
}

bool ClearClipboard()
{
    HGLOBAL old = nullptr;
    {
        auto& state = Clipboard();
        std::lock_guard lock(state.mutex);
        if (state.open)
            return false;
        old = state.text;
        state.text = nullptr;
    }
    GlobalFree(old);
    return true;
}

std::optional<std::string> ClipboardText()
{
    auto& state = Clipboard();
    std::lock_guard lock(state.mutex);
    if (state.text == nullptr)
        return std::nullopt;
    const SIZE_T size = GlobalSize(state.text);
    const char* bytes = static_cast<const char*>(GlobalLock(state.text));
    std::string text(bytes, strnlen(bytes, size));
    GlobalUnlock(state.text);
    return text;
}

bool HoldClipboard(bool hold)
{
    auto& state = Clipboard();
    std::lock_guard lock(state.mutex);
    if (hold) {
        if (state.open)
            return false;
        state.open = true;
        state.opener = std::thread::id();
        return true;
    }
    if (!state.open || state.opener != std::thread::id())
        return false;
    state.open = false;
    return true;
}

bool ClipboardIsOpen()
{
    auto& state = Clipboard();
    std::lock_guard lock(state.mutex);
    return state.open;
}

int ClipboardLocks() { return OutstandingLocks(); }

}  // namespace standin::win

using standin::win::Clipboard;

BOOL IsClipboardFormatAvailable(UINT format)
{
    auto& state = Clipboard();
    std::lock_guard lock(state.mutex);
    return format == CF_TEXT && state.text != nullptr ? TRUE : FALSE;
}

BOOL OpenClipboard(HWND)
{
    auto& state = Clipboard();
    std::lock_guard lock(state.mutex);
    if (state.open)
        return FALSE;
    state.open = true;
    state.opener = std::this_thread::get_id();
    return TRUE;
}

BOOL CloseClipboard()
{
    auto& state = Clipboard();
    std::lock_guard lock(state.mutex);
    if (!standin::win::HeldByCaller(state))
        return FALSE;
    state.open = false;
    return TRUE;
}

BOOL EmptyClipboard()
{
    HGLOBAL old = nullptr;
    {
        auto& state = Clipboard();
        std::lock_guard lock(state.mutex);
        if (!standin::win::HeldByCaller(state))
            return FALSE;
        old = state.text;
        state.text = nullptr;
    }
    GlobalFree(old);
    return TRUE;
}

HANDLE GetClipboardData(UINT format)
{
    auto& state = Clipboard();
    std::lock_guard lock(state.mutex);
    if (format != CF_TEXT || !standin::win::HeldByCaller(state))
        return nullptr;
    return state.text;
}

HANDLE SetClipboardData(UINT format, HANDLE data)
{
    HGLOBAL old = nullptr;
    {
        auto& state = Clipboard();
        std::lock_guard lock(state.mutex);
        if (format != CF_TEXT || !standin::win::HeldByCaller(state))
            return nullptr;
        old = state.text;
        state.text = data;
    }
    GlobalFree(old);
    return data;
}
