// Making a function current, its banner in the debug log, and the
// per-function debug log of `debug:split_odb`.
#pragma once

#include "driver/run_context.h"

namespace vx::driver {

// Makes the function current and selects its option set.
void make_current(FunctionEntry& function);
void clear_current_function();

// Reads the function's body when the reader stepped over it.
void read_function_body(FunctionEntry& function);

// Printed before the first step a function runs in a sweep (tracing only).
void print_function_banner(FunctionEntry& function);
// Returns to the main debug log after a per-function one.
void restore_debug_log();

} // namespace vx::driver
