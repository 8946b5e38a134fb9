#include "driver/steps.h"

#include "driver/flow_steps.h"
#include "driver/function_switch.h"
#include "driver/listing.h"
#include "driver/option_access.h"
#include "driver/run_context.h"
#include "flow/liveness.h"
#include "icode/writer_client.h"

#include <algorithm>
#include <cstdio>

namespace vx::driver {

void restore_options_traced() {
    restore_file_options();
    debug_printf("[Restoring options");
    debug_printf(" --> -o%d -i%d", optimization_level(), inlining_level());
    debug_printf(" --opt_for_speed=%d", speed_level());
    debug_printf("]\n");
}

// From level 2 on, dead assignments go before the file-level analysis sees
// the function.  The function's blocks are written back at the end of the
// step, as the next function's steps follow.
void step_pass_1() {
    if (optimization_level() >= 2 && steps_transform())
        flow::elim_dead_assigns(function_flow_graph());
    release_function_flow_graph();
    clear_current_function();
    restore_file_options();
}

void run_file_level_analysis() {
    RunContext& run = run_context();
    run.reading = false;
    restore_file_options();
    if (run.writer)
        icode::write_global_symbols(*run.writer);
}

void step_intermission() {
    run_file_level_analysis();
}

void step_pass_2_header() {
    RunContext& run = run_context();
    run.phase = 2;
    if (run.info_file)
        std::fflush(run.info_file);
    if (tracing()) {
        std::fflush(run.debug_log);
        std::printf("%s Pass 2\n", product_name());
    }
}

// Below level 2 functions go in declaration order; from level 2 on callees
// come before their callers (the reverse of the call-graph list, which until
// the call graph exists is the order of the file).
void step_set_call_graph_order() {
    RunContext& run = run_context();
    if (optimization_level() >= 2) {
        run.functions.reverse();
        return;
    }
    run.functions.sort([](const FunctionEntry& a, const FunctionEntry& b) {
        return a.symbol->sequence < b.symbol->sequence;
    });
}

// Writes the current function and releases what it was built of.
void write_and_release_function() {
    RunContext& run = run_context();
    FunctionEntry* entry = run.current_entry;
    ir::FunctionInfo* info = run.currfuninfo;
    if (entry == nullptr || info == nullptr)
        return;
    if (flow::current_flow_graph() != nullptr) {
        flow::simpcfg(*flow::current_flow_graph());
        release_function_flow_graph();
    }
    if (run.writer && !info->not_emitted)
        icode::write_function(*run.writer, *info, entry->body);
    info->release_function_data();
    entry->body.clear();
}

void step_pass_2_trailer() {
    RunContext& run = run_context();
    write_and_release_function();
    if (run.currfuninfo)
        run.currfuninfo->has_flow_graph = false;
    clear_current_function();
    restore_options_traced();
    restore_debug_log();
}

} // namespace vx::driver
