// Running whole programs before and after the flow steps: a fixture that
// reads I-code text as the optimizer does, runs it in the interpreter, puts
// every function through build, clean-up, dead assignments, dominators, the
// loop hierarchy and flattening, and runs it again.
#pragma once

#include "flow/flow_graph.h"
#include "interp/program.h"
#include "unit/scalar/read_functions.h"

#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace vx::flow::testing {

inline constexpr uint64_t kMaxSteps = 20'000'000;
// Shallower than the interpreter's default: a program that recurses without
// end must fault before the test's own stack runs out (frames are large
// under the sanitizers).
inline constexpr unsigned kMaxDepth = 1000;

// Which variants of the steps a round uses.
struct PipelineOptions {
    bool tail_recursion = false;
    bool delay = false;         // elim_dead_assigns' delayed assignments
    bool extra_cleanup = false; // elim_dead_assigns' extra clean-up
    bool transform_loops = false;
};

class TransformedPrograms : public vx::testing::ReadWorld {
protected:
    void TearDown() override;

    // Discards the graphs of the last program and starts a fresh world.
    void next_program();

    static interp::RunRequest main_request();
    std::vector<interp::RunResult> run_all(const std::vector<interp::RunRequest>& requests);

    // Every function through the flow steps; verifier findings become test
    // failures naming `label`.
    void transform_all(const PipelineOptions& options, const std::string& label);
    // One function through the steps; `extra` runs on the graph after the
    // loop hierarchy (a test's own transformation).
    void transform(icode::FunctionRead& function, const PipelineOptions& options,
                   const std::string& label,
                   const std::function<void(FlowGraph&)>& extra = nullptr);

    // Reads `text` into a fresh world, runs the requests, transforms in two
    // rounds (plain, then tail recursion with every clean-up on the result)
    // and runs again after each: results must match.
    void check_program(const std::string& text, const std::vector<interp::RunRequest>& requests,
                       const std::string& label);
    // Requires the runs to agree; `tail_recursion` allows a stack overflow to
    // become an endless loop.
    static void expect_same(const interp::RunResult& before, const interp::RunResult& after,
                            const std::string& label, bool tail_recursion = false);

    std::vector<std::unique_ptr<FlowGraph>> graphs_;
    bool world_used_ = false;
};

} // namespace vx::flow::testing
