#include "driver/schedule.h"

#include "driver/run_context.h"
#include "driver/step_actions.h"
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
    {"pass 2 inits", false, step_pass_2_inits},
    {"CPS", false, no_work},
    {"early LIR", false, step_early_lir},
    {"early fast_CP(4,1)", false, no_work},
    {"MVP global assertions", false, no_work},
    {"intraprocedural MVP", false, step_intraprocedural_mvp},
    {"value propagation for SIMD", false, step_value_propagation_simd},
    {"explode auto structs", false, no_work},
    {"non-DD clone SSA NASSERTs", false, no_work},
    {"non-DD SSA CP", false, no_work},
    {"non-DD SSA EDA", false, no_work},
    {"SSA RP with benign loads", false, no_work},
    {"expand bitfields", false, no_work},
    {"fast_CP(0,1)", false, no_work},
    {"add profile loop annotations", false, step_profile_loop_annotations},
    {"CD vectorizations", false, no_work},
};

// The loop-transformation steps (20 to 47), appended by their own builder.
// Both "SSA_deadasg" steps share one action; step 35 never runs anything.
const StepSpec kLoopSteps[] = {
    {"forward_substitution", false, loop_step<20>},
    {"SSA_hoist", false, loop_step<21>},
    {"SSA_NASSERTs", false, loop_step<22>},
    {"SSA_propagate", false, loop_step<23>},
    {"SSA_deadasg", false, loop_step<24>},
    {"SSA_reg_promote", false, loop_step<25>},
    {"loop_assertions", false, loop_step<26>},
    {"undeltafy", false, loop_step<27>},
    {"add_downcounters", false, loop_step<28>},
    {"collapse_loops", false, loop_step<29>},
    {"circular_addressing", false, loop_step<30>},
    {"loop_if_interchange", false, loop_step<31>},
    {"cd_unroll_by_request", false, loop_step<32>},
    {"DMAC_conversion", false, loop_step<33>},
    {"cd_unroll_for_speed", false, loop_step<34>},
    {"unroll_completely_for_SP", false, no_work},
    {"unroll_and_jam", false, loop_step<36>},
    {"PT_info", false, loop_step<37>},
    {"old_SIMD", false, loop_step<38>},
    {"explode_arrays", false, loop_step<39>},
    {"unroll_for_SP", false, loop_step<40>},
    {"alias_advice", false, loop_step<41>},
    {"reduction_interleaving", false, loop_step<42>},
    {"value_propagation", false, loop_step<43>},
    {"DIVs_by_ICONs", false, loop_step<44>},
    {"SSA_propagate_vector", false, loop_step<45>},
    {"SSA_deadasg", false, loop_step<24>},
    {"SSA_reg_promote_with_simpcfg", false, loop_step<47>},
};

// The steps after the frame (48 to 53).
const StepSpec kTrailingSteps[] = {
    {"CD ILP", false, no_work},      {"late fast_CP(4,1)", false, no_work},
    {"global opts", false, no_work}, {"expand cluster refs", false, no_work},
    {"local opts", false, no_work},  {"late LIR", false, step_late_lir},
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
