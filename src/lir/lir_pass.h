// The low-level IR's entry points as the schedule sees them.  The SSA-form
// low-level representation itself is not built yet: a pipeline run leaves
// the function's trees exactly as they are and says so in the debug log,
// so that the "early LIR" and "late LIR" steps keep their conditions and
// their place while the representation is written.
#pragma once

#include <string>

namespace vx::ir {
struct FUNINFO;
} // namespace vx::ir

namespace vx {

namespace LIR {

// A pass over the low-level IR.  Pass objects are not steps of the
// schedule; a pipeline run applies them in turn.
class pass {
public:
    virtual ~pass();
    // Removes SSA definitions that nothing uses.
    virtual void ssa_dce(ir::FUNINFO& function) = 0;
    // Puts the function's low-level IR into SSA form.
    virtual void ssa_enter(ir::FUNINFO& function) = 0;
};

} // namespace LIR

// The SSA pass applied at the early point when asked for.
class LIR_ssa_pass : public LIR::pass {
public:
    void ssa_dce(ir::FUNINFO& function) override;
    void ssa_enter(ir::FUNINFO& function) override;
};

namespace lir {

enum class Point { early, late };

// "early" or "late": the name a run carries in its traces.
const char* point_name(Point point);

// What the options ask of the pipeline at one point.
struct PipelineRequest {
    bool run = false;
    bool with_ssa_pass = false; // only ever at the early point
};

// The pipeline runs at the early point when the LIR option is on or
// "enable:lir_early" or "enable:lir" is set, and at the late point when
// "enable:lir_late" or "enable:lir" is set; at the early point the SSA pass
// comes along when the LIR option is on or "enable:lirssa" is set.
PipelineRequest pipeline_request(Point point, bool lir_option_on);

// Runs the pipeline on the function at `point`.  Returns the lines it
// traced (for the debug log).
std::string run_pipeline(ir::FUNINFO& function, Point point, const PipelineRequest& request);

} // namespace lir
} // namespace vx
