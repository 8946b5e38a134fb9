#include "driver/abnormal_end.h"

#include "driver/listing.h"
#include "driver/run_context.h"
#include "support/check.h"
#include "support/fault_report.h"
#include "support/switches.h"
#include "support/termination.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace vx::driver {

namespace {

// Closes the I-code streams and removes the output, so that no partial
// output file is left behind.  The input file is only ever read.
void discard_output() {
    RunContext& run = run_context();
    if (run.reader)
        run.reader->close();
    run.reader.reset();
    if (run.input)
        run.input = nullptr; // closed by the reader, or never handed to it
    if (run.writer)
        run.writer.reset(); // drop pending output unwritten
    if (run.output) {
        std::fclose(run.output);
        run.output = nullptr;
    }
    if (run.output_created) {
        std::remove(run.output_name.c_str());
        run.output_created = false;
    }
}

void close_listing(FILE*& file) {
    if (file) {
        std::fflush(file);
        std::fclose(file);
    }
    file = nullptr;
}

void on_check_failure(const char*, const char*, int) {
    terminate_abnormally(nullptr);
}

const char* signal_name(int signal) {
    switch (signal) {
    case SIGILL:
        return "SIGILL";
    case SIGFPE:
        return "SIGFPE";
    case SIGSEGV:
        return "SIGSEGV";
    case SIGTERM:
        return "SIGTERM";
    case SIGABRT:
        return "SIGABRT";
    default:
        return "<unknown>";
    }
}

fault::FaultContext describe_context() {
    return {current_function_name(), run_context().input_name.c_str()};
}

} // namespace

void stop_with_cleanup(int status) {
    if (status != 0)
        discard_output();
    std::fflush(nullptr);
    std::exit(status);
}

void terminate_abnormally(const char* reason) {
    RunContext& run = run_context();
    discard_output();
    if (tracing()) {
        std::fprintf(run.debug_log, "\n>>>> Optimizer terminated abnormally.\n");
        if (reason)
            std::fprintf(run.debug_log, "\n>>>> %s.\n", reason);
        close_listing(run.debug_log);
    }
    std::fprintf(stderr, "\n>>>> Optimizer terminated abnormally\n");
    if (run.currfunc)
        std::fprintf(stderr, ">>>>    in function %s()\n", run.currfunc->name.c_str());
    if (run.currfuninfo && !run.currfuninfo->source_file.empty())
        std::fprintf(stderr, ">>>>    in file \"%s\"\n", run.currfuninfo->source_file.c_str());
    if (reason)
        std::fprintf(stderr, "\n>>>> %s.\n", reason);
    std::fflush(nullptr);
    if (sw::debug_abort.is_set())
        abort_run();
    std::exit(1);
}

const char* current_function_name() {
    ir::Symbol* f = run_context().currfunc;
    return f ? f->name.c_str() : "<unknown>";
}

void report_signal_to_listings(int signal) {
    RunContext& run = run_context();
    std::fflush(nullptr);
    if (run.trace_level != 0 && run.debug_log) {
        std::fprintf(run.debug_log, "\n>>>> Optimizer terminated by signal: %s.\n",
                     signal_name(signal));
        close_listing(run.debug_log);
    }
    if (run.info_file) {
        std::fprintf(run.info_file, "\n>>>> Optimizer terminated by signal: %s.\n",
                     signal_name(signal));
        close_listing(run.info_file);
    }
    discard_output();
}

void install_driver_handlers() {
    set_stop_handler(stop_with_cleanup);
    set_check_failure_handler(on_check_failure);
    fault::install_fault_handlers(run_context().program_name.c_str(), "C/C++ Optimizer",
                                  describe_context, report_signal_to_listings);
}

} // namespace vx::driver
