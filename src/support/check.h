// Internal consistency checks.  A failed check is a defect of the optimizer,
// not of its input; it ends the run through the installed failure handler
// (the driver's abnormal-termination path, status 1).
#pragma once

namespace vx {

using CheckFailureHandler = void (*)(const char* expression, const char* file, int line);

// Installs the handler; nullptr restores the default, which prints the
// failed expression to standard error and stops the run with status 1.
CheckFailureHandler set_check_failure_handler(CheckFailureHandler handler);

[[noreturn]] void check_failed(const char* expression, const char* file, int line);

} // namespace vx

#define VX_CHECK(expr) ((expr) ? (void)0 : ::vx::check_failed(#expr, __FILE__, __LINE__))
