#include "support/arena.h"

#include <cstdint>

namespace vx {

void* Arena::allocate(std::size_t size, std::size_t alignment) {
    auto aligned = [alignment](std::byte* p) {
        auto address = reinterpret_cast<std::uintptr_t>(p);
        return reinterpret_cast<std::byte*>((address + alignment - 1) & ~(alignment - 1));
    };
    std::byte* start = next_ ? aligned(next_) : nullptr;
    if (!start || start + size > end_) {
        // Large requests get a block of their own so the current block's
        // remaining space is not wasted on them.
        std::size_t block = std::max(block_size_, size + alignment);
        blocks_.push_back(std::make_unique_for_overwrite<std::byte[]>(block));
        reserved_ += block;
        std::byte* base = blocks_.back().get();
        start = aligned(base);
        if (size + alignment <= block_size_ || !next_) {
            next_ = start + size;
            end_ = base + block;
        }
        used_ += size;
        return start;
    }
    next_ = start + size;
    used_ += size;
    return start;
}

void Arena::release() {
    for (auto it = finalizers_.rbegin(); it != finalizers_.rend(); ++it)
        it->destroy(it->object);
    finalizers_.clear();
    blocks_.clear();
    next_ = end_ = nullptr;
    reserved_ = used_ = 0;
}

} // namespace vx
