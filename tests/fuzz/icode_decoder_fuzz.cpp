// libFuzzer target: the I-code format layer on arbitrary bytes.
#include "fuzz/icode_input_check.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool installed = (vx::set_stop_handler(vx::throwing_stop_handler), true);
    (void)installed;
    vx::icode::fuzzing::check_icode_input(
        std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
