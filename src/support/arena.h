// A monotonic arena: objects are allocated by bumping a pointer inside large
// blocks and are all released together.  Per-function data (nodes, local
// symbols, blocks) live in the function's arena, which is dropped when the
// trailer has written the function; run-wide data live in the run's arena.
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

namespace vx {

class Arena {
public:
    explicit Arena(std::size_t block_size = 64 * 1024) : block_size_(block_size) {}
    Arena(const Arena&) = delete;
    Arena& operator=(const Arena&) = delete;
    ~Arena() { release(); }

    // Raw storage, aligned for `alignment`.
    void* allocate(std::size_t size, std::size_t alignment = alignof(std::max_align_t));

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

    std::size_t block_size_;
    std::vector<std::unique_ptr<std::byte[]>> blocks_;
    std::byte* next_ = nullptr;
    std::byte* end_ = nullptr;
    std::vector<Finalizer> finalizers_;
    std::size_t reserved_ = 0;
    std::size_t used_ = 0;
};

} // namespace vx
