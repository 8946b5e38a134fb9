#include "lir/lir_pass.h"

#include "ir/function_info.h"
#include "support/switches.h"

namespace vx {

LIR::pass::~pass() = default;

// With no low-level IR built, there is nothing to put into SSA form and no
// definition to remove: the trees stay as the tree passes left them.
void LIR_ssa_pass::ssa_dce(ir::FUNINFO&) {}
void LIR_ssa_pass::ssa_enter(ir::FUNINFO&) {}

namespace lir {

const char* point_name(Point point) {
    return point == Point::early ? "early" : "late";
}

PipelineRequest pipeline_request(Point point, bool lir_option_on) {
    PipelineRequest request;
    if (point == Point::early) {
        request.run = lir_option_on || sw::enabled("lir_early") || sw::enabled("lir");
        request.with_ssa_pass = request.run && (lir_option_on || sw::enabled("lirssa"));
    } else {
        request.run = sw::enabled("lir_late") || sw::enabled("lir");
    }
    return request;
}

std::string run_pipeline(ir::FUNINFO& function, Point point, const PipelineRequest& request) {
    if (!request.run)
        return "";
    const std::string name = point_name(point);
    std::string trace = "\tLIR pipeline (" + name + ")\n";
    if (request.with_ssa_pass) {
        LIR_ssa_pass ssa;
        ssa.ssa_enter(function);
        ssa.ssa_dce(function);
        trace += "\tLIR pipeline (" + name + "): ssa_enter, ssa_dce\n";
    }
    return trace;
}

} // namespace lir
} // namespace vx
