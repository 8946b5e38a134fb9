// The internal-error report: a fatal signal becomes a one-screen message on
// standard error naming what was being optimised, followed by the support
// text, and the process ends with status 2.
//
// The driver installs the handlers once at start-up with its tool name, its
// tool kind (which selects the support text), a describer of the current
// function and input file, and a callback that notes the signal in the
// listing files before the process ends.
#pragma once

#include <csignal>
#include <string>

namespace vx::fault {

// What was being worked on when the signal arrived; nullptr members are
// reported as "<unknown>".
struct FaultContext {
    const char* function_name;
    const char* file_name;
};

using ContextDescriber = FaultContext (*)();
using ReportCallback = void (*)(int signal);

// The context line of the driver's report.
inline constexpr const char* processing_context_format = "while processing function %s file %s";

// Everything the report needs, in one record.
struct FaultState {
    std::string tool_name;
    std::string tool_kind;
    ContextDescriber describe_context = nullptr;
    ReportCallback report_callback = nullptr;
    bool handlers_installed = false;
    char context[2048] = {};
    const char* description = nullptr; // chosen by the first report of the run
};

FaultState& fault_state();
// Restores the default action of the handled signals and forgets the state.
void reset_fault_state();

// Installs the handler for SIGILL, SIGABRT, SIGFPE, SIGSEGV, SIGTERM, SIGINT
// (and SIGBREAK where the host has it).  The handler calls report_fault with
// the tool name and, when a describer is given, the context
// "while processing function %s file %s".  Either function may be nullptr.
void install_fault_handlers(const char* tool_name, const char* tool_kind,
                            ContextDescriber describe_context, ReportCallback report_callback);

// Prints the report for the signal and ends the process with status 2.  A
// nullptr tool name is printed as "unknown"; a nullptr context format prints
// no context line.
[[noreturn]] void report_fault(int signal, const char* tool_name, const char* context_format, ...)
    __attribute__((format(printf, 3, 4)));

// The support text for a tool kind ("Linker", "C/C++ Optimizer", ...).
const char* support_message(const char* tool_kind);

} // namespace vx::fault
