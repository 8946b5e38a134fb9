// The one way an orderly run ends early.
//
// Every module that must stop the program (a fatal diagnostic, a failed
// consistency check, a file that cannot be opened) calls stop_run or
// abort_run.  The driver installs a stop handler that closes the I-code
// files and removes the partial output file before the process exits; unit
// tests install one that throws RunStopped so that a fatal path can be
// checked without leaving the test process.
#pragma once

#include <stdexcept>
#include <string>

namespace vx {

// Thrown by the test stop handler; carries the exit status that the run
// would have ended with.
struct RunStopped : std::runtime_error {
    explicit RunStopped(int status_)
        : std::runtime_error("run stopped with status " + std::to_string(status_)),
          status(status_) {}
    int status;
};

// A stop handler performs the clean-up of an early end and then ends the
// process (or throws).  It must not return.
using StopHandler = void (*)(int status);

// Installs the handler; returns the previous one.  nullptr restores the
// default, which flushes the standard streams and exits.
StopHandler set_stop_handler(StopHandler handler);

// Runs the stop handler with the status.  Never returns.
[[noreturn]] void stop_run(int status);

// The abnormal end that a debugging user asked to be an abort: status 3.
// The host's abort raises SIGABRT, whose exit code differs between hosts
// and which our own fault handler would report as an internal error; the
// compiler driver expects a plain 3 everywhere, so this flushes the
// streams and ends the process with that status directly.
[[noreturn]] void abort_run();

// A stop handler for tests: throws RunStopped(status).
[[noreturn]] void throwing_stop_handler(int status);

} // namespace vx
