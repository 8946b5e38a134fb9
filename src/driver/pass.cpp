#include "driver/pass.h"

#include "driver/listing.h"
#include "driver/run_context.h"

#include <ctime>

namespace vx::driver {

namespace {

double process_seconds() {
    // Millisecond resolution is all the timing line shows.
    long millis = static_cast<long>(std::clock() * 1000.0 / CLOCKS_PER_SEC);
    return millis * 0.001;
}

void dump_flow_graph_if_any() {
    RunContext& run = run_context();
    if (run.trace_level == 0 || !run.currfuninfo || !run.currfuninfo->has_flow_graph)
        return;
    if (run.flow_graph_dumper)
        run.flow_graph_dumper();
}

} // namespace

pass::pass(std::string name, StepAction action, bool reads_trees)
    : serial_object(run_context().passes, this), name_(std::move(name)), action_(action),
      reads_trees_(reads_trees) {}

pass::~pass() = default;

void pass::run_step() {
    debug_printf("\n\n\t\t\t---------- ENTERING step %d '%s' ----------\n", serial(),
                 name_.c_str());
    dump_flow_graph_if_any();
    // The clock is read only for the log: a step of a large file runs
    // hundreds of thousands of times, and each reading is a system call.
    const bool timed = tracing();
    double start = timed ? process_seconds() : 0;
    if (action_)
        action_();
    if (timed)
        debug_printf("(%.1f sec for pass.)\n", process_seconds() - start);
    debug_printf("\n\n\n\t\t\t---------- EXITING step %d '%s' ----------\n", serial(),
                 name_.c_str());
    dump_flow_graph_if_any();
}

} // namespace vx::driver
