#include "support/fault_report.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace vx::fault {

namespace {

// The three support texts share their opening and their request for a test
// case.  The two forum lines are our own wording and address.
#define VX_SUPPORT_OPENING                                                                         \
    "This is caused by a defect in the Korvane C/C++ Optimizer.\n"                                 \
    "Korvane Customer Support may be able to suggest a workaround to avoid this.\n\n"              \
    "Upgrading to the newest version of the compiler may fix this problem.\n\n"                    \
    "Please report it on the Korvane support forum at https://forum.korvane.example/compilers\n"   \
    "using the forum's \"Submit an issue\" link, and attach:\n"                                    \
    "We need to see this ENTIRE error message and a complete, reproducable\n"                      \
    "test case including ALL of the command-line options.\n"

constexpr const char* compiler_support_text =
    VX_SUPPORT_OPENING "Include the .pp file created by option --preproc_with_comment\n\n";
constexpr const char* linker_support_text =
    VX_SUPPORT_OPENING "Include all of the object files, libraries, and linker command files\n"
                       "used to link the program.\n\n";
constexpr const char* general_support_text = VX_SUPPORT_OPENING "\n";

#undef VX_SUPPORT_OPENING

constexpr const char* unknown_tool = "unknown";
constexpr const char* unknown_name = "<unknown>";

constexpr int handled_signals[] = {SIGILL,  SIGABRT, SIGFPE, SIGSEGV, SIGTERM, SIGINT,
#ifdef SIGBREAK
                                   SIGBREAK
#endif
};

bool is_console_break(int signal) {
#ifdef SIGBREAK
    if (signal == SIGBREAK)
        return true;
#endif
    return signal == SIGINT;
}

const char* describe_signal(int signal) {
    switch (signal) {
    case SIGILL:
        return "executed an illegal instruction";
    case SIGFPE:
        return "received a floating point exception";
    case SIGSEGV:
        return "experienced a segmentation fault";
    case SIGABRT:
        return "had an internal inconsistency and aborted";
    default:
        return "experienced a fatal internal fault";
    }
}

const char* or_unknown(const char* name) {
    return name ? name : unknown_name;
}

const char* text_or_null(const std::string& text) {
    return text.empty() ? nullptr : text.c_str();
}

// _Exit rather than exit: atexit handlers and static destructors may see
// the half-finished state that raised the signal.
[[noreturn]] void flush_and_exit() {
    std::fflush(nullptr);
    std::_Exit(2);
}

// The user stopped the run: a one-line notice is all that is wanted.
[[noreturn]] void exit_with_notice(const char* format, const char* tool_name) {
    std::fprintf(stderr, format, tool_name);
    flush_and_exit();
}

void format_context(FaultState& state, const char* format, std::va_list args) {
    if (format != nullptr)
        std::vsnprintf(state.context, sizeof state.context, format, args);
}

void print_internal_error(const FaultState& state, const char* tool_name) {
    std::fprintf(stderr, "\nINTERNAL ERROR: %s %s\n", tool_name, state.description);
    if (state.context[0] != '\0')
        std::fprintf(stderr, "                  %s\n", state.context);
    std::fputs("\n", stderr);
    std::fflush(stderr);
    std::fputs(support_message(text_or_null(state.tool_kind)), stderr);
    std::fflush(nullptr);
}

extern "C" void handle_fault_signal(int signal) {
    // Back to the default action first, so that a fault inside the report
    // ends the process instead of re-entering it.
    std::signal(signal, SIG_DFL);
    const FaultState& state = fault_state();
    const char* tool_name = text_or_null(state.tool_name);
    if (state.describe_context == nullptr)
        report_fault(signal, tool_name, nullptr);
    FaultContext context = state.describe_context();
    report_fault(signal, tool_name, processing_context_format, or_unknown(context.function_name),
                 or_unknown(context.file_name));
}

void set_handled_signals_to(void (*action)(int)) {
    for (int signal : handled_signals)
        std::signal(signal, action);
}

} // namespace

FaultState& fault_state() {
    static FaultState state;
    return state;
}

void reset_fault_state() {
    FaultState& state = fault_state();
    if (state.handlers_installed)
        set_handled_signals_to(SIG_DFL);
    state = FaultState{};
}

void install_fault_handlers(const char* tool_name, const char* tool_kind,
                            ContextDescriber describe_context, ReportCallback report_callback) {
    FaultState& state = fault_state();
    state.tool_name = tool_name ? tool_name : "";
    state.tool_kind = tool_kind ? tool_kind : "";
    state.describe_context = describe_context;
    state.report_callback = report_callback;
    state.handlers_installed = true;
    set_handled_signals_to(handle_fault_signal);
}

void report_fault(int signal, const char* tool_name, const char* context_format, ...) {
    tool_name = tool_name ? tool_name : unknown_tool;
    if (is_console_break(signal))
        exit_with_notice("[%s forced exit]\n", tool_name);
    if (signal == SIGTERM)
        exit_with_notice("[%s received a terminate signal]\n", tool_name);

    FaultState& state = fault_state();
    std::va_list args;
    va_start(args, context_format);
    format_context(state, context_format, args);
    va_end(args);
    if (state.description == nullptr)
        state.description = describe_signal(signal);
    print_internal_error(state, tool_name);
    if (state.report_callback != nullptr)
        state.report_callback(signal);
    flush_and_exit();
}

const char* support_message(const char* tool_kind) {
    if (tool_kind == nullptr)
        return general_support_text;
    if (std::strcmp(tool_kind, "Linker") == 0)
        return linker_support_text;
    for (const char* compiler_part : {"C/C++ Parser", "C/C++ Optimizer", "C/C++ Codegen"})
        if (std::strstr(tool_kind, compiler_part) != nullptr)
            return compiler_support_text;
    return general_support_text;
}

} // namespace vx::fault
