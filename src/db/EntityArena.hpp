// Memory for the entities of one import. An import creates tens of thousands of
// small entities that live and die together with their database: they are taken
// from large blocks one after another instead of one heap allocation each, and the
// blocks are released when the last entity taken from them is released.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#endif

namespace tarvel {

class EntityArena {
public:
    EntityArena() = default;
    EntityArena(const EntityArena&) = delete;
    EntityArena& operator=(const EntityArena&) = delete;

    // Room for `bytes` at the alignment; only one thread takes from an arena.
    void* Take(std::size_t bytes, std::size_t alignment)
    {
        std::size_t skip = (alignment - reinterpret_cast<std::uintptr_t>(next_) % alignment) % alignment;
        if (next_ == nullptr || skip + bytes > left_) {
            const std::size_t size = bytes + alignment > kBlock ? bytes + alignment : kBlock;
            blocks_.push_back(std::make_unique_for_overwrite<std::byte[]>(size));
            next_ = blocks_.back().get();
            left_ = size;
            skip = (alignment - reinterpret_cast<std::uintptr_t>(next_) % alignment) % alignment;
        }
        std::byte* taken = next_ + skip;
        next_ = taken + bytes;
        left_ -= skip + bytes;
        return taken;
    }

    // What was taken is given back with the whole arena; a sanitized build marks it
    // unusable at once, so that a use after release is still found.
    static void Give(void* taken, std::size_t bytes)
    {
#if defined(__SANITIZE_ADDRESS__)
        ASAN_POISON_MEMORY_REGION(taken, bytes);
#else
        static_cast<void>(taken);
        static_cast<void>(bytes);
#endif
    }

private:
    static constexpr std::size_t kBlock = std::size_t{64} << 10;

    std::vector<std::unique_ptr<std::byte[]>> blocks_;
    std::byte* next_ = nullptr;
    std::size_t left_ = 0;
};

// The allocator through which std::allocate_shared places an entity, with its
// reference counts, in an arena; every entity holds the arena.
template <typename T>
class ArenaAllocator {
public:
    using value_type = T;

    explicit ArenaAllocator(std::shared_ptr<EntityArena> arena) : arena_(std::move(arena)) {}
    template <typename U>
    ArenaAllocator(const ArenaAllocator<U>& other) : arena_(other.arena_)
    {
    }

    T* allocate(std::size_t n) { return static_cast<T*>(arena_->Take(n * sizeof(T), alignof(T))); }
    void deallocate(T* p, std::size_t n) noexcept { EntityArena::Give(p, n * sizeof(T)); }

    template <typename U>
    bool operator==(const ArenaAllocator<U>& other) const
    {
        return arena_ == other.arena_;
    }

private:
    template <typename U>
    friend class ArenaAllocator;

    std::shared_ptr<EntityArena> arena_;
};

}  // namespace tarvel
