#include "driver/flow_steps.h"

#include "driver/abnormal_end.h"
#include "driver/function_switch.h"
#include "driver/option_access.h"
#include "driver/run_context.h"
#include "ir/ir_verifier.h"
#include "support/check.h"
#include "support/switches.h"

#include <optional>
#include <string>

namespace vx::driver {

bool steps_transform() {
    return run_context().step_switches.transform;
}

void note_step_switches() {
    RunContext::StepSwitches& switches = run_context().step_switches;
    switches.transform = sw::debug("passthrough") == 0;
    switches.verify = sw::debug("verify") != 0;
}

flow::FlowGraph& function_flow_graph() {
    if (flow::FlowGraph* graph = flow::current_flow_graph())
        return *graph;
    RunContext& run = run_context();
    VX_CHECK(run.current_entry != nullptr && run.currfuninfo != nullptr);
    read_function_body(*run.current_entry);
    // Self-calls in tail position become jumps from level 2 on, in pass 2
    // only: pass 1's analyses must still see the calls.
    flow::BuildOptions options;
    options.remove_tail_recursion = optimization_level() >= 2 && run.phase == 2;
    flow::FlowGraph& graph =
        flow::build_flow_graph(*run.currfuninfo, run.current_entry->body, options);
    run.currfuninfo->has_flow_graph = true;
    return graph;
}

void release_function_flow_graph() {
    flow::FlowGraph* graph = flow::current_flow_graph();
    if (graph == nullptr)
        return;
    flow::flatten_flow_graph(*graph);
    flow::reset_flow_context();
    if (ir::FunctionInfo* info = run_context().currfuninfo)
        info->has_flow_graph = false;
}

namespace {

// The label numbers the blocks define.
std::unordered_set<uint32_t> labels_of_blocks(const flow::FlowGraph& graph) {
    std::unordered_set<uint32_t> numbers;
    for (const flow::BBLK* block : graph.layout())
        for (const ir::LABEL_REC* label : block->labels)
            numbers.insert(label->index);
    return numbers;
}

std::optional<std::string> verify_blocks(const ir::FUNINFO& info, const flow::FlowGraph& graph) {
    if (std::string problem = flow::verify_flow_graph(graph); !problem.empty())
        return problem;
    if (auto problem = ir::verify_function_symbols(info))
        return problem;
    const ir::SymbolScope symbols(info);
    const std::unordered_set<uint32_t> labels = labels_of_blocks(graph);
    const ir::TreeCheckContext context{&symbols, &labels};
    for (const flow::BBLK* block : graph.layout())
        for (const icode::StatementEntry& statement : block->statements)
            if (auto problem = ir::verify_tree(statement.tree, context))
                return problem;
    return std::nullopt;
}

} // namespace

void verify_after_step(int step_number, const char* step_name) {
    RunContext& run = run_context();
    if (!run.step_switches.verify)
        return;
    if (run.current_entry == nullptr || run.currfuninfo == nullptr ||
        run.current_entry->unread_body)
        return;
    const flow::FlowGraph* graph = flow::current_flow_graph();
    std::optional<std::string> problem =
        graph ? verify_blocks(*run.currfuninfo, *graph)
              : ir::verify_function(*run.currfuninfo, run.current_entry->body);
    if (!problem)
        return;
    std::string reason = "IR verifier: after step " + std::to_string(step_number) + " '" +
                         step_name + "': " + *problem;
    terminate_abnormally(reason.c_str());
}

} // namespace vx::driver
