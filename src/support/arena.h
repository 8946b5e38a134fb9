// A monotonic arena: objects are allocated by bumping a pointer inside large
// blocks and are all released together.  Per-function data (nodes, local
// symbols, blocks) live in the function's arena, which is dropped when the
// trailer has written the function; run-wide data live in the run's arena.
//
// Blocks of the standard size come from a process-wide pool, which carves
// them out of huge-page regions (page_regions.h) and takes them back when an
// arena is released; the next arena reuses them.  A run that reads, writes
// and drops one function after the other thus asks the system for memory
// once, instead of handing it back and faulting every page in afresh for
// every function (half of a pass-through's time went into that).
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

namespace vx {

// Standard-size blocks: released ones first, then fresh ones carved from
// the current region.  Blocks are never returned to the system during a run,
// so what the pool holds is the most the arenas ever held at once.
class ArenaBlockPool {
public:
    static constexpr std::size_t kBlockSize = 64 * 1024;

    // A block of kBlockSize bytes, a released one when there is one.
    std::byte* take();
    // Keeps `block`, taken from this pool, for the next take().
    void give_back(std::byte* block);

    std::size_t blocks_kept() const { return free_.size(); }
    // Blocks carved from regions so far, in use or kept.
    std::size_t blocks_made() const { return made_; }

private:
    std::vector<std::byte*> free_;
    std::byte* region_next_ = nullptr;
    std::byte* region_end_ = nullptr;
    std::size_t made_ = 0;
};

// The process's pool.  It holds memory only, no state a run could observe,
// so a test that builds a fresh world has nothing to reset here.
ArenaBlockPool& arena_block_pool();

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
        std::byte* bytes;
        std::size_t size; // kBlockSize: from the pool; larger: from operator new
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
