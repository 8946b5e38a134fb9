#include "driver/schedule.h"

#include "driver/run_context.h"
#include "driver/steps.h"

namespace vx::driver {

namespace {

struct StepSpec {
    const char* name;
    bool barrier;
    StepAction action;
};

// Steps whose work is not written yet keep their place, name and number so
// that traces, options and step numbers stay stable as the work lands.
void no_work() {}

// The steps before the loop-transformation frame (0 to 19).
const StepSpec kLeadingSteps[] = {
    {"pass 1", false, step_pass_1},
    {"intermission", true, step_intermission},
    {"pass 2 header", true, step_pass_2_header},
    {"set call-graph order", true, step_set_call_graph_order},
    {"pass 2 inits", false, no_work},
    {"CPS", false, no_work},
    {"early LIR", false, no_work},
    {"early fast_CP(4,1)", false, no_work},
    {"MVP global assertions", false, no_work},
    {"intraprocedural MVP", false, no_work},
    {"value propagation for SIMD", false, no_work},
    {"explode auto structs", false, no_work},
    {"non-DD clone SSA NASSERTs", false, no_work},
    {"non-DD SSA CP", false, no_work},
    {"non-DD SSA EDA", false, no_work},
    {"SSA RP with benign loads", false, no_work},
    {"expand bitfields", false, no_work},
    {"fast_CP(0,1)", false, no_work},
    {"add profile loop annotations", false, no_work},
    {"CD vectorizations", false, no_work},
};

// The loop-transformation steps (20 to 47), appended by their own builder.
const StepSpec kLoopSteps[] = {
    {"forward_substitution", false, no_work},
    {"SSA_hoist", false, no_work},
    {"SSA_NASSERTs", false, no_work},
    {"SSA_propagate", false, no_work},
    {"SSA_deadasg", false, no_work},
    {"SSA_reg_promote", false, no_work},
    {"loop_assertions", false, no_work},
    {"undeltafy", false, no_work},
    {"add_downcounters", false, no_work},
    {"collapse_loops", false, no_work},
    {"circular_addressing", false, no_work},
    {"loop_if_interchange", false, no_work},
    {"cd_unroll_by_request", false, no_work},
    {"DMAC_conversion", false, no_work},
    {"cd_unroll_for_speed", false, no_work},
    {"unroll_completely_for_SP", false, no_work},
    {"unroll_and_jam", false, no_work},
    {"PT_info", false, no_work},
    {"old_SIMD", false, no_work},
    {"explode_arrays", false, no_work},
    {"unroll_for_SP", false, no_work},
    {"alias_advice", false, no_work},
    {"reduction_interleaving", false, no_work},
    {"value_propagation", false, no_work},
    {"DIVs_by_ICONs", false, no_work},
    {"SSA_propagate_vector", false, no_work},
    {"SSA_deadasg", false, no_work},
    {"SSA_reg_promote_with_simpcfg", false, no_work},
};

// The steps after the frame (48 to 53).
const StepSpec kTrailingSteps[] = {
    {"CD ILP", false, no_work},      {"late fast_CP(4,1)", false, no_work},
    {"global opts", false, no_work}, {"expand cluster refs", false, no_work},
    {"local opts", false, no_work},  {"late LIR", false, no_work},
};

// Whether a step works on the function's statements.  "pass 1" only restores
// the file-level options as yet; a step that gains work on trees must be
// added here, or its function's body is not read before it runs.
bool reads_trees(const StepSpec& step) {
    return !step.barrier && step.action != no_work && step.action != step_pass_1;
}

template <size_t N>
void append_steps(std::vector<std::unique_ptr<pass>>& schedule, const StepSpec (&steps)[N]) {
    for (const StepSpec& step : steps) {
        if (step.barrier)
            schedule.push_back(std::make_unique<barrier_pass>(step.name, step.action, false));
        else
            schedule.push_back(std::make_unique<pass>(step.name, step.action, reads_trees(step)));
    }
}

} // namespace

void build_schedule() {
    RunContext& run = run_context();
    run.trailer.reset();
    run.schedule.clear();
    run.passes.clear();
    append_steps(run.schedule, kLeadingSteps);
    append_steps(run.schedule, kLoopSteps);
    append_steps(run.schedule, kTrailingSteps);
}

void build_trailer() {
    RunContext& run = run_context();
    run.trailer = std::make_unique<pass>("pass 2 trailer", step_pass_2_trailer);
}

} // namespace vx::driver
