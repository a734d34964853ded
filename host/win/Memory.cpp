#include "Win32.hpp"
#include "WinInternal.hpp"
#include "standin/Win.hpp"

#include <cstring>
#include <memory>
#include <mutex>
#include <map>

namespace standin::win {
namespace {

struct Block {
    std::unique_ptr<char[]> bytes;
    SIZE_T size = 0;
    int locks = 0;
};

struct MemoryState {
    std::mutex mutex;
    // Keyed by the block's bytes: a handle is its data pointer, as for fixed memory.
    std::map<const void*, std::unique_ptr<Block>> live;
    long long lostLocks = 0;
};

MemoryState& Memory()
{
    static MemoryState state;
    return state;
}

Block* Find(HGLOBAL handle)
{
    auto& state = Memory();
    auto it = state.live.find(handle);
    return it != state.live.end() ? it->second.get() : nullptr;
}

}  // namespace

long long LiveGlobalBlocks()
{
    std::lock_guard lock(Memory().mutex);
    return static_cast<long long>(Memory().live.size());
}

int OutstandingLocks()
{
    auto& state = Memory();
    std::lock_guard lock(state.mutex);
    long long locks = state.lostLocks;
    for (const auto& [bytes, block] : state.live)
        locks += block->locks;
    return static_cast<int>(locks);
}

HGLOBAL AllocateText(const std::u16string& units)
{
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, (units.size() + 1) * sizeof(WCHAR));
    if (block == nullptr)
        return nullptr;
    auto* text = static_cast<WCHAR*>(GlobalLock(block));
    for (std::size_t i = 0; i < units.size(); ++i)
        text[i] = static_cast<WCHAR>(units[i]);
    GlobalUnlock(block);
    return block;
}

}  // namespace standin::win

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes)
{
    auto block = std::make_unique<standin::win::Block>();
    // Exactly the bytes asked for: a reader that runs past the end is caught.
    block->bytes = std::make_unique<char[]>(bytes);
    block->size = bytes;
    if ((flags & GMEM_ZEROINIT) != 0 && bytes > 0)
        std::memset(block->bytes.get(), 0, bytes);
    auto& state = standin::win::Memory();
    std::lock_guard lock(state.mutex);
    HGLOBAL handle = block->bytes.get();
    state.live.emplace(handle, std::move(block));
    return handle;
}

HGLOBAL GlobalFree(HGLOBAL handle)
{
    auto& state = standin::win::Memory();
    std::lock_guard lock(state.mutex);
    standin::win::Block* block = standin::win::Find(handle);
    if (block == nullptr)
        return handle;
    state.lostLocks += block->locks;
    state.live.erase(handle);
    return nullptr;
}

LPVOID GlobalLock(HGLOBAL handle)
{
    auto& state = standin::win::Memory();
    std::lock_guard lock(state.mutex);
    standin::win::Block* block = standin::win::Find(handle);
    if (block == nullptr)
        return nullptr;
    ++block->locks;
    return block->bytes.get();
}

BOOL GlobalUnlock(HGLOBAL handle)
{
    auto& state = standin::win::Memory();
    std::lock_guard lock(state.mutex);
    standin::win::Block* block = standin::win::Find(handle);
    if (block == nullptr || block->locks == 0)
        return FALSE;
    return --block->locks > 0 ? TRUE : FALSE;
}

SIZE_T GlobalSize(HGLOBAL handle)
{
    auto& state = standin::win::Memory();
    std::lock_guard lock(state.mutex);
    standin::win::Block* block = standin::win::Find(handle);
    return block != nullptr ? block->size : 0;
}
