#include "support/page_regions.h"

#include <cstdint>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace vx {

namespace {

#if defined(__linux__)
// Maps twice the size and trims the ends, which leaves exactly one region on
// an aligned address.
std::byte* map_aligned_region() {
    const std::size_t span = 2 * kPageRegionSize;
    void* mapped = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t aligned = (start + kPageRegionSize - 1) & ~(kPageRegionSize - 1);
    const std::size_t head = aligned - start;
    if (head != 0)
        munmap(mapped, head);
    const std::size_t tail = span - head - kPageRegionSize;
    if (tail != 0)
        munmap(reinterpret_cast<void*>(aligned + kPageRegionSize), tail);
#if defined(MADV_HUGEPAGE)
    // Only advice: without huge pages the region works as ordinary memory.
    madvise(reinterpret_cast<void*>(aligned), kPageRegionSize, MADV_HUGEPAGE);
#endif
    return reinterpret_cast<std::byte*>(aligned);
}
#endif

} // namespace

std::byte* take_page_region() {
#if defined(__linux__)
    if (std::byte* region = map_aligned_region())
        return region;
#endif
    return static_cast<std::byte*>(
        ::operator new (kPageRegionSize, std::align_val_t{kPageRegionSize}));
}

} // namespace vx
