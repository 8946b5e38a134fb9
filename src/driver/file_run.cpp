#include "driver/file_run.h"

#include "driver/flow_steps.h"
#include "driver/function_switch.h"
#include "driver/listing.h"
#include "driver/run_context.h"
#include "driver/schedule.h"
#include "driver/steps.h"
#include "icode/reader_client.h"
#include "icode/writer_client.h"
#include "ir/symbol_listing.h"
#include "support/check.h"
#include "support/switches.h"

#include <csignal>

namespace vx::driver {

namespace {

// The self-tests of the dependence value engine are announced here; the
// engine arrives with the dependence steps.
void run_value_engine_self_tests() {
    if (!tracing())
        return;
    debug_printf("DVE Unit Test #1\n");
    debug_printf("DVE Unit Test #2\n");
    debug_printf("DVE Unit Test #3\n");
}

// Test hooks, so that the ends of a run can be checked end to end:
// `debug:raise_signal=N` raises signal N once the files are open, and
// `debug:fail_check` fails a consistency check there.
void run_test_hooks() {
    int32_t signal = sw::debug("raise_signal");
    if (signal > 0)
        std::raise(signal);
    VX_CHECK(sw::debug("fail_check") == 0);
}

// Each function read joins the function list.
void keep_function(icode::FunctionRead&& read) {
    FunctionEntry& entry = run_context().functions.emplace_back();
    entry.symbol = read.symbol;
    entry.info = read.info;
    entry.body = std::move(read.body);
    entry.unread_body = read.unread_body;
}

// Function bodies are read when their first step needs them.
void read_input() {
    RunContext& run = run_context();
    run.phase = 1;
    run.reading = true;
    icode::OptimizerReaderClient client(icode::run_type_package(), *run.writer, keep_function);
    client.defer_function_bodies(true);
    run.reader->read_all(client);
}

void queue_schedule_for_every_function() {
    RunContext& run = run_context();
    build_trailer();
    for (FunctionEntry& function : run.functions) {
        function.passes.clear();
        for (auto& step : run.schedule)
            function.passes.push_back(step.get());
        function.passes.push_back(run.trailer.get());
    }
}

void enter_function(FunctionEntry& function) {
    make_current(function);
    run_context().current_entry = &function;
}

void run_steps_up_to_barrier(FunctionEntry& function) {
    enter_function(function);
    bool first = true;
    while (!function.passes.empty() && !function.passes.front()->is_barrier()) {
        if (first && tracing())
            print_function_banner(function);
        first = false;
        pass* step = function.passes.front();
        if (step->reads_trees())
            read_function_body(function);
        step->run_step();
        verify_after_step(step->serial(), step->name().c_str());
        function.passes.pop_front();
        // A step may clear the current function (the end of pass 1 and the
        // trailer do); the next one runs with it current again.
        if (!function.passes.empty() && !run_context().currfunc)
            enter_function(function);
    }
    // Only one function has blocks at a time.
    if (run_context().currfunc)
        release_function_flow_graph();
    run_context().current_entry = nullptr;
    // A per-function log lasts for the function's stretch of the sweep; the
    // barrier after it writes to the main log.
    restore_debug_log();
}

// Writes the initializers, which follow the last function, and, when
// tracing, lists the global symbols.
void finish_file() {
    RunContext& run = run_context();
    if (run.writer)
        icode::write_initializers(*run.writer);
    if (tracing()) {
        ir::list_global_symbols(run.debug_log);
        VX_CHECK(std::fflush(run.debug_log) == 0);
    }
}

} // namespace

bool run_one_sweep() {
    RunContext& run = run_context();
    bool any_pending = false;
    for (FunctionEntry& function : run.functions)
        any_pending = any_pending || !function.passes.empty();
    if (!any_pending)
        return false;

    for (FunctionEntry& function : run.functions)
        run_steps_up_to_barrier(function);

    clear_current_function();
    pass* barrier = nullptr;
    for (FunctionEntry& function : run.functions) {
        if (function.passes.empty())
            continue;
        if (!barrier)
            barrier = function.passes.front();
        VX_CHECK(barrier == function.passes.front());
        function.passes.pop_front();
    }
    if (barrier)
        barrier->run_step();
    return true;
}

void run_file() {
    RunContext& run = run_context();
    run.flow_graph_dumper = flow::dump_current_flow_graph;
    run_value_engine_self_tests();
    run_test_hooks();
    read_input();
    if (run.functions.empty()) {
        run_file_level_analysis();
    } else {
        queue_schedule_for_every_function();
        while (run_one_sweep()) {
        }
    }
    finish_file();
}

} // namespace vx::driver
