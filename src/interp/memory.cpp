#include "interp/memory.h"

namespace vx::interp {

uint32_t Memory::allocate(uint32_t words, uint32_t align) {
    if (align == 0)
        align = 1;
    uint64_t address = static_cast<uint64_t>(size()) + kGuardWords;
    address = (address + align - 1) / align * align;
    resize(static_cast<uint32_t>(address + words));
    set_live(static_cast<uint32_t>(address), words, true);
    return static_cast<uint32_t>(address);
}

} // namespace vx::interp
