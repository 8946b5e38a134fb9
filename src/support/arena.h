// A monotonic arena: objects are allocated by bumping a pointer inside large
// blocks and are all released together.  Per-function data (nodes, local
// symbols, blocks) live in the function's arena, which is dropped when the
// trailer has written the function; run-wide data live in the run's arena.
//
// Blocks of the standard size go back to a process-wide pool when an arena
// is released, and the next arena takes them from there.  A run that reads,
// writes and drops one function after the other would otherwise hand the
// same memory to the C library and ask for it again for every function; the
// library then returns the top of the heap to the kernel and every page is
// faulted in afresh (half of a pass-through's time went into that).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

namespace vx {

// Released standard-size blocks, kept for the next arena.  At most
// `limit_bytes` are kept; the rest are freed.
class ArenaBlockPool {
public:
    static constexpr std::size_t kBlockSize = 64 * 1024;
    static constexpr std::size_t kDefaultLimit = 64u << 20;

    using Block = std::unique_ptr<std::byte[]>;

    // A block of kBlockSize bytes, from the pool when it has one.
    Block take();
    // Keeps `block` (of kBlockSize bytes) while the pool has room.
    void give_back(Block block);

    std::size_t blocks_kept() const { return free_.size(); }
    void set_limit(std::size_t limit_bytes);

private:
    std::vector<Block> free_;
    std::size_t limit_blocks_ = kDefaultLimit / kBlockSize;
};

// The process's pool, and its return to an empty pool with the default limit.
ArenaBlockPool& arena_block_pool();
void reset_arena_block_pool();

class Arena {
public:
    explicit Arena(std::size_t block_size = ArenaBlockPool::kBlockSize) : block_size_(block_size) {}
    Arena(const Arena&) = delete;
    Arena& operator=(const Arena&) = delete;
    ~Arena() { release(); }

    // Raw storage, aligned for `alignment`.
    void* allocate(std::size_t size, std::size_t alignment = alignof(std::max_align_t)) {
        std::byte* start = align_up(next_, alignment);
        if (next_ != nullptr && start <= end_ && size <= static_cast<std::size_t>(end_ - start)) {
            next_ = start + size;
            used_ += size;
            return start;
        }
        return allocate_in_new_block(size, alignment);
    }

    // Constructs a T in the arena.  Types with a non-trivial destructor are
    // remembered and destroyed, newest first, when the arena is released.
    template <typename T, typename... Args> T* make(Args&&... args) {
        void* place = allocate(sizeof(T), alignof(T));
        T* object = new (place) T(std::forward<Args>(args)...);
        if constexpr (!std::is_trivially_destructible_v<T>)
            finalizers_.push_back({object, [](void* p) { static_cast<T*>(p)->~T(); }});
        return object;
    }

    // Destroys every object and frees every block; the arena can be reused.
    void release();

    std::size_t bytes_reserved() const { return reserved_; }
    std::size_t bytes_used() const { return used_; }

private:
    struct Finalizer {
        void* object;
        void (*destroy)(void*);
    };
    struct OwnedBlock {
        ArenaBlockPool::Block bytes;
        std::size_t size;
    };

    static std::byte* align_up(std::byte* p, std::size_t alignment) {
        auto address = reinterpret_cast<std::uintptr_t>(p);
        return reinterpret_cast<std::byte*>((address + alignment - 1) & ~(alignment - 1));
    }
    void* allocate_in_new_block(std::size_t size, std::size_t alignment);

    std::size_t block_size_;
    std::vector<OwnedBlock> blocks_;
    std::byte* next_ = nullptr;
    std::byte* end_ = nullptr;
    std::vector<Finalizer> finalizers_;
    std::size_t reserved_ = 0;
    std::size_t used_ = 0;
};

} // namespace vx
