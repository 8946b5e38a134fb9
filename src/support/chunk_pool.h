// Records handed out from chunks, so that records made one after the other
// sit next to each other in memory and cost no allocation each.  A chunk is
// one arena block (arena.h), so records live in huge-page memory like the
// trees they describe, and a released pool's chunks go to the next one.
#pragma once

#include "support/arena.h"

#include <cstddef>
#include <new>
#include <vector>

namespace vx {

template <typename T> class ChunkPool {
public:
    static_assert(alignof(T) <= alignof(std::max_align_t));
    static constexpr std::size_t kPerChunk = ArenaBlockPool::kBlockSize / sizeof(T);
    static_assert(kPerChunk >= 1);

    ChunkPool() = default;
    ChunkPool(const ChunkPool&) = delete;
    ChunkPool& operator=(const ChunkPool&) = delete;
    ~ChunkPool() { clear(); }

    // A value-initialised record.
    T* make() {
        if (used_in_last_ == kPerChunk) {
            chunks_.push_back(arena_block_pool().take());
            used_in_last_ = 0;
        }
        void* place = chunks_.back() + used_in_last_ * sizeof(T);
        T* record = new (place) T();
        ++used_in_last_;
        return record;
    }

    bool empty() const { return chunks_.empty(); }

    // Destroys every record and gives the chunks back.
    void clear() {
        for (std::size_t chunk = 0; chunk < chunks_.size(); ++chunk) {
            const std::size_t made = chunk + 1 == chunks_.size() ? used_in_last_ : kPerChunk;
            T* records = reinterpret_cast<T*>(chunks_[chunk]);
            for (std::size_t i = 0; i < made; ++i)
                records[i].~T();
            arena_block_pool().give_back(chunks_[chunk]);
        }
        chunks_.clear();
        used_in_last_ = kPerChunk;
    }

private:
    std::vector<std::byte*> chunks_;
    std::size_t used_in_last_ = kPerChunk;
};

} // namespace vx
