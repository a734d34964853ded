#include "GSRoot.hpp"
#include "standin/Base.hpp"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

// Every block carries its size in a header in front of the user bytes.
struct alignas(std::max_align_t) BlockHeader {
    GSSize size;
};

// A handle is the address of the master pointer inside its record.
struct HandleRecord {
    char* data;
    GSSize size;
};

std::atomic<std::int64_t> livePointers{0};
std::atomic<std::int64_t> liveHandles{0};
std::mutex failMutex;
int failCountdown = -1;

bool ShouldFail()
{
    std::lock_guard lock(failMutex);
    if (failCountdown < 0)
        return false;
    if (failCountdown == 0) {
        failCountdown = -1;
        return true;
    }
    --failCountdown;
    return false;
}

char* AllocateBytes(GSSize size)
{
    // Always cleared: a zero-filled block is what the flagged allocations promise
    // and harmless for the others.
    return static_cast<char*>(std::calloc(static_cast<std::size_t>(size > 0 ? size : 1), 1));
}

}  // namespace

namespace standin::base {

std::int64_t LivePointers() { return livePointers.load(); }
std::int64_t LiveHandles() { return liveHandles.load(); }

void FailAllocation(int skip)
{
    std::lock_guard lock(failMutex);
    failCountdown = skip;
}

void ResetMemoryFailures()
{
    std::lock_guard lock(failMutex);
    failCountdown = -1;
}

}  // namespace standin::base

GSPtr BMAllocatePtr(GSSize size, std::int32_t, std::int32_t)
{
    if (size < 0 || ShouldFail())
        return nullptr;
    auto* block = static_cast<char*>(std::calloc(sizeof(BlockHeader) + static_cast<std::size_t>(size), 1));
    if (block == nullptr)
        return nullptr;
    reinterpret_cast<BlockHeader*>(block)->size = size;
    ++livePointers;
    return block + sizeof(BlockHeader);
}

GSSize BMGetPtrSize(GSPtr ptr)
{
    if (ptr == nullptr)
        return 0;
    return reinterpret_cast<BlockHeader*>(ptr - sizeof(BlockHeader))->size;
}

void BMKillPtr(GSPtr* ptr)
{
    if (ptr == nullptr || *ptr == nullptr)
        return;
    std::free(*ptr - sizeof(BlockHeader));
    *ptr = nullptr;
    --livePointers;
}

GSHandle BMAllocateHandle(GSSize size, std::int32_t, std::int32_t)
{
    if (size < 0 || ShouldFail())
        return nullptr;
    auto* record = new HandleRecord{AllocateBytes(size), size};
    if (record->data == nullptr) {
        delete record;
        return nullptr;
    }
    ++liveHandles;
    return &record->data;
}

GSSize BMGetHandleSize(GSHandle handle)
{
    if (handle == nullptr)
        return 0;
    return reinterpret_cast<HandleRecord*>(handle)->size;
}

GSHandle BMReallocHandle(GSHandle handle, GSSize newSize, std::int32_t flags, std::int32_t reserved)
{
    if (handle == nullptr)
        return BMAllocateHandle(newSize, flags, reserved);
    if (newSize < 0 || ShouldFail())
        return nullptr;
    auto* record = reinterpret_cast<HandleRecord*>(handle);
    char* data = AllocateBytes(newSize);
    if (data == nullptr)
        return nullptr;
    std::memcpy(data, record->data, static_cast<std::size_t>(std::min(record->size, newSize)));
    std::free(record->data);
    record->data = data;
    record->size = newSize;
    return handle;
}

void BMKillHandle(GSHandle* handle)
{
    if (handle == nullptr || *handle == nullptr)
        return;
    auto* record = reinterpret_cast<HandleRecord*>(*handle);
    std::free(record->data);
    delete record;
    *handle = nullptr;
    --liveHandles;
}

void BNCopyMemory(void* destination, const void* source, GSSize count)
{
    if (count > 0)
        std::memmove(destination, source, static_cast<std::size_t>(count));
}
