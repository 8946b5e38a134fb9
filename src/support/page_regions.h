// Memory for the arenas, taken from the kernel in regions of 2 MB aligned on
// 2 MB and marked for transparent huge pages where the system offers them.
//
// The per-function data of a large function (trees, block records, loop
// records) is spread over tens of megabytes and the analyses walk it again
// and again.  With 4 KB pages most of those walks miss the translation
// cache as well as the data cache, and the page-table walks grow faster than
// the data does; with 2 MB pages a function of 40 000 blocks needs a few
// dozen translations instead of thousands.  Memory from these regions is
// never given back to the kernel during a run; the block pool reuses it.
#pragma once

#include <cstddef>

namespace vx {

inline constexpr std::size_t kPageRegionSize = std::size_t{2} << 20;

// A fresh region of kPageRegionSize bytes aligned on its size.  Falls back to
// the C++ allocator when the kernel refuses a mapping.
std::byte* take_page_region();

} // namespace vx
