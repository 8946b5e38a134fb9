#include "driver/step_actions.h"

#include "driver/flow_steps.h"
#include "driver/listing.h"
#include "driver/option_access.h"
#include "driver/run_context.h"
#include "flow/liveness.h"
#include "flow/loop_hierarchy.h"
#include "lir/lir_pass.h"

namespace vx::driver {

namespace {

bool function_has_profile_data() {
    const FunctionEntry* entry = run_context().current_entry;
    return entry != nullptr && entry->body.profile_branch != nullptr;
}

bool has_loops(const flow::FlowGraph& graph) {
    return graph.loops != nullptr && !graph.loops->abandoned && graph.loops->loops_found > 0;
}

// Steps that set up only the lighter SSA form: no loop hierarchy.
bool uses_light_setup(int step) {
    return step == 22 || step == 24 || step == 25 || step == 47;
}

// The end of step 47: loop clean-up and unreachable blocks when the function
// has loops, then the flow-graph clean-up.
void reg_promote_cleanup(flow::FlowGraph& graph) {
    if (has_loops(graph)) {
        flow::renumber_flow_graph(graph);
        flow::simpcfg(graph);
    }
    flow::simpcfg(graph);
}

void run_lir_at(lir::Point point) {
    const lir::PipelineRequest request = lir::pipeline_request(point, lir_option_on());
    FunctionEntry* entry = run_context().current_entry;
    if (!request.run || !steps_transform() || entry == nullptr)
        return;
    debug_printf("%s", lir::run_pipeline(*entry->info, point, request).c_str());
}

} // namespace

void step_pass_2_inits() {
    if (!steps_transform())
        return;
    flow::simpcfg(function_flow_graph());
}

void step_early_lir() {
    run_lir_at(lir::Point::early);
}

void step_late_lir() {
    run_lir_at(lir::Point::late);
}

void step_intraprocedural_mvp() {
    if (optimization_level() < 2)
        return;
    // Integer value propagation is not enabled by any analysis yet.
    debug_printf("~~~#MAIN#1 do_int_MVP=%d %s()\n", 0, run_context().currfunc->name.c_str());
}

void step_value_propagation_simd() {
    if (!steps_transform() || optimization_level() < 2 || !run_context().simd)
        return;
    flow::FlowGraph& graph = function_flow_graph();
    flow::simpcfg(graph);
    flow::renumber_flow_graph(graph);
    flow::simpcfg(graph);
}

void step_profile_loop_annotations() {
    if (!steps_transform() || !function_has_profile_data())
        return;
    flow::FlowGraph& graph = function_flow_graph();
    flow::simpcfg(graph);
    flow::build_loop_hierarchy(graph, {});
}

// Below level 2 the frame returns at once.  At level 2 and above it cleans
// the graph up when the first block has no loop yet, builds the loop
// hierarchy (which gives every loop its preheader) and learns whether the
// function has loops; the step's transformation runs inside; afterwards
// the live-variable information is discarded.  No transformation of these
// steps is built yet, so only the frame's own work and step 47's clean-up
// change the code.
void run_in_dependence_frame(int step) {
    if (!steps_transform() || optimization_level() < 2 || step == 39)
        return;
    flow::FlowGraph& graph = function_flow_graph();
    if (!uses_light_setup(step)) {
        if (graph.first != nullptr && graph.first->loop == nullptr)
            flow::simpcfg(graph);
        flow::build_loop_hierarchy(graph, {});
    }
    if (step == 47)
        reg_promote_cleanup(graph);
    flow::free_live_sets(graph);
}

} // namespace vx::driver
