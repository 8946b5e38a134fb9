#include "unit/flow/run_support.h"
#include "unit/flow/flow_test_support.h"

#include "flow/dominators.h"
#include "flow/liveness.h"
#include "flow/loop_hierarchy.h"
#include "ir/ir_verifier.h"
#include "ir/node.h"

namespace vx::flow::testing {

namespace {

// The interpreter refuses inline text, so the comment that marks a removed
// tail call (it has no effect) is left out of the program it runs.
bool is_tail_call_comment(const NODE* tree) {
    return tree->op == ir::ASM && tree->text() != nullptr &&
           std::string_view(tree->text()).starts_with("***\t; tail recursive call");
}

std::vector<NODE*> runnable_statements(const icode::FunctionBody& body) {
    std::vector<NODE*> statements;
    for (const icode::StatementEntry& entry : body.statements)
        if (!is_tail_call_comment(entry.tree))
            statements.push_back(entry.tree);
    return statements;
}

// Faults of programs whose behaviour is undefined: removing the dead
// computation that faults lets the program go on.
bool undefined_behaviour(const interp::RunResult& run) {
    return run.status == interp::Status::division_by_zero ||
           run.status == interp::Status::unsupported || run.status == interp::Status::bad_access;
}

} // namespace

void TransformedPrograms::TearDown() {
    graphs_.clear();
    reset_flow_context();
    ReadWorld::TearDown();
}

void TransformedPrograms::next_program() {
    if (world_used_) {
        graphs_.clear();
        reset_flow_context();
        drop_world();
        fresh_world();
    }
    world_used_ = true;
}

interp::RunRequest TransformedPrograms::main_request() {
    interp::RunRequest request;
    request.max_steps = kMaxSteps;
    request.max_depth = kMaxDepth;
    return request;
}

std::vector<interp::RunResult>
TransformedPrograms::run_all(const std::vector<interp::RunRequest>& requests) {
    interp::Program program;
    for (const icode::FunctionRead& function : functions_)
        program.define_function(*function.symbol, *function.info,
                                runnable_statements(function.body));
    std::vector<interp::RunResult> results;
    for (const interp::RunRequest& request : requests)
        results.push_back(program.run(request));
    return results;
}

void TransformedPrograms::transform(icode::FunctionRead& function, const PipelineOptions& options,
                                    const std::string& label,
                                    const std::function<void(FlowGraph&)>& extra) {
    const std::string where = label + ", function " + function.symbol->name;
    const bool sound_input = !ir::verify_function(*function.info, function.body);
    ir::node_environment().arena = &function.info->arena;
    BuildOptions build;
    build.remove_tail_recursion = options.tail_recursion;
    FlowGraph& g = build_flow_graph(*function.info, function.body, build);
    auto sound = [&](const char* step) {
        std::string problem = verify_flow_graph(g);
        if (problem.empty())
            problem = label_numbering_problem(g);
        EXPECT_EQ(problem, "") << where << ", after " << step;
        return problem.empty();
    };
    if (!sound("build"))
        return;
    simpcfg(g);
    if (!sound("simpcfg"))
        return;
    find_live_variables(g, false, false);
    elim_dead_assigns(g, options.delay, options.extra_cleanup);
    if (!sound("elim_dead_assigns"))
        return;
    compute_dominators(g);
    LoopHierarchyFlags flags;
    flags.transform_loops = options.transform_loops;
    build_loop_hierarchy(g, flags);
    if (!sound("build_loop_hierarchy"))
        return;
    if (extra) {
        extra(g);
        if (!sound("the test's transformation"))
            return;
    }
    flatten_flow_graph(g);
    const std::optional<std::string> problem = ir::verify_function(*function.info, function.body);
    EXPECT_TRUE(!problem || !sound_input) << where << ", after flattening: " << *problem;
    // The flattened trees still point at the graph's label records.
    graphs_.push_back(std::move(flow_context().graph));
    reset_flow_context();
}

void TransformedPrograms::transform_all(const PipelineOptions& options, const std::string& label) {
    for (icode::FunctionRead& function : functions_)
        transform(function, options, label);
}

void TransformedPrograms::expect_same(const interp::RunResult& before,
                                      const interp::RunResult& after, const std::string& label,
                                      bool tail_recursion) {
    const bool overflow_became_loop = tail_recursion &&
                                      before.fault.find("stack overflow") != std::string::npos &&
                                      after.status == interp::Status::step_limit;
    if (overflow_became_loop)
        return;
    if (undefined_behaviour(before) && after.status == interp::Status::completed) {
        EXPECT_TRUE(after.output.starts_with(before.output)) << label;
        return;
    }
    EXPECT_EQ(after.status, before.status) << label << ": " << after.fault_line();
    if (before.status == interp::Status::step_limit)
        return; // fewer steps may print more before the limit
    EXPECT_EQ(after.output, before.output) << label;
    EXPECT_EQ(after.exit_text, before.exit_text) << label;
    EXPECT_EQ(after.function, before.function) << label;
}

void TransformedPrograms::check_program(const std::string& text,
                                        const std::vector<interp::RunRequest>& requests,
                                        const std::string& label) {
    next_program();
    read(text);
    ASSERT_FALSE(functions_.empty()) << label;
    const std::vector<interp::RunResult> before = run_all(requests);

    transform_all(PipelineOptions{}, label);
    std::vector<interp::RunResult> after = run_all(requests);
    for (size_t i = 0; i < requests.size(); ++i)
        expect_same(before[i], after[i], label + " (run " + std::to_string(i) + ")");

    PipelineOptions all;
    all.tail_recursion = all.delay = all.extra_cleanup = all.transform_loops = true;
    transform_all(all, label + " [second round]");
    after = run_all(requests);
    for (size_t i = 0; i < requests.size(); ++i)
        expect_same(before[i], after[i], label + " [second round] (run " + std::to_string(i) + ")",
                    true);
}

} // namespace vx::flow::testing
