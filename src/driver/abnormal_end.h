// How a run ends early: the abnormal-termination path shared by consistency
// checks, out-of-memory and explicit fatal checks, and the callbacks that the
// fault report uses.
#pragma once

namespace vx::driver {

// Closes the I-code files, removes the output file, reports on standard
// error (and in the debug log) and exits with status 1, or 3 under
// `debug:abort`.  `reason` may be null.
[[noreturn]] void terminate_abnormally(const char* reason = nullptr);

// Installs the driver's stop and check-failure handlers and the fault
// handlers with their two callbacks.
void install_driver_handlers();

// The stop handler: removes a partial output file before exiting.
[[noreturn]] void stop_with_cleanup(int status);

// The context line of the fault report.
const char* current_function_name();

// The signal reporter: notes the signal in the listing files and closes them.
void report_signal_to_listings(int signal);

} // namespace vx::driver
