// The actions of the per-function steps between "pass 2 header" and the
// trailer.  Each decides inside itself whether it does anything, from the
// function's levels, the start-up flags and the debug switches; a step
// whose transformation is not built yet keeps its condition and its
// flow-graph work, so that the code it leaves is what its level promises.
#pragma once

namespace vx::driver {

void step_pass_2_inits();             // 4
void step_early_lir();                // 6
void step_intraprocedural_mvp();      // 9
void step_value_propagation_simd();   // 10
void step_profile_loop_annotations(); // 18
void step_late_lir();                 // 53

// The loop-transformation steps 20 to 47 run inside the dependence frame;
// `step` is the step's number.
void run_in_dependence_frame(int step);
template <int Step> void loop_step() {
    run_in_dependence_frame(Step);
}

} // namespace vx::driver
