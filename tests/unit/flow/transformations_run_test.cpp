// Whole programs run before and after every function has gone through the
// flow graph and its transformations: block formation (with and without
// tail-recursion removal), the clean-up, dead-assignment removal,
// dominators, the loop hierarchy with its preheaders and flattening.  The
// output, the exit value and any fault must stay the same, and the
// graph must pass the flow verifier after every step.
#include "unit/flow/run_support.h"

#include "ir/tree_walk.h"
#include "progen/generator.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>

namespace vx::flow::testing {
namespace {

namespace fs = std::filesystem;

const fs::path kSource = VXOPT_SOURCE_DIR;

std::vector<fs::path> files_in(const fs::path& dir, const std::string& extension) {
    std::vector<fs::path> files;
    if (!fs::exists(dir))
        return files;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.path().extension() == extension)
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

// The entry and arguments a data program asks for in its "; args:" line.
interp::RunRequest request_of(const std::string& text) {
    interp::RunRequest request;
    request.max_steps = kMaxSteps;
    request.max_depth = kMaxDepth;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (!line.starts_with("; args:"))
            continue;
        std::istringstream words(line.substr(7));
        for (std::string word; words >> word;) {
            std::string value;
            words >> value;
            if (word == "--entry")
                request.entry = value;
            else if (word == "--arg")
                request.args.push_back(std::stoll(value));
            else if (word == "--max-steps")
                request.max_steps = std::stoull(value);
        }
    }
    return request;
}

TEST_F(TransformedPrograms, InterpreterDataProgramsBehaveTheSame) {
    const auto files = files_in(kSource / "tests/data/interp", ".ict");
    ASSERT_FALSE(files.empty());
    for (const fs::path& file : files) {
        const std::string text = file_text(file.string());
        check_program(text, {request_of(text)}, file.filename().string());
    }
}

TEST_F(TransformedPrograms, ExamplesBehaveTheSame) {
    auto call = [](const char* entry, std::vector<int64_t> args) {
        interp::RunRequest request;
        request.entry = entry;
        request.args = std::move(args);
        request.max_steps = kMaxSteps;
        request.max_depth = kMaxDepth;
        return request;
    };
    const std::map<std::string, std::vector<interp::RunRequest>> runs = {
        {"classify", {call("classify", {0}), call("classify", {1}), call("classify", {7})}},
        {"sum", {call("sum", {0, 0})}},
        {"point", {call("norm", {0})}},
    };
    for (const auto& [name, requests] : runs)
        check_program(file_text((kSource / "examples" / (name + ".ict")).string()), requests, name);
}

TEST_F(TransformedPrograms, SmallGeneratedProgramsBehaveTheSame) {
    for (uint64_t seed = 1; seed <= 150; ++seed) {
        progen::GeneratorOptions options;
        options.seed = seed;
        check_program(progen::generate_program_text(options), {main_request()},
                      "seed " + std::to_string(seed));
    }
}

TEST_F(TransformedPrograms, MediumGeneratedProgramsBehaveTheSame) {
    for (uint64_t seed = 200; seed <= 204; ++seed) {
        progen::GeneratorOptions options;
        options.seed = seed;
        options.size = progen::ProgramSize::medium;
        check_program(progen::generate_program_text(options), {main_request()},
                      "medium seed " + std::to_string(seed));
    }
}

// Inputs that once came out of the flow graph changed (tests/data/flow).
TEST_F(TransformedPrograms, SavedRegressionsBehaveTheSame) {
    for (const fs::path& file : files_in(kSource / "tests/data/flow", ".ict")) {
        const std::string text = file_text(file.string());
        check_program(text, {request_of(text)}, file.filename().string());
    }
}

} // namespace
} // namespace vx::flow::testing

namespace vx::flow::testing {
namespace {

bool calls_itself(const icode::FunctionRead& function) {
    bool found = false;
    for (const icode::StatementEntry& s : function.body.statements)
        ir::walk_tree(s.tree, [&](const NODE* node) {
            found = found || (node->op == ir::NAME && node->sym() == function.symbol);
        });
    return found;
}

// The saved program's tail calls: two become jumps, the one whose second
// argument reads the first parameter stays a call; the results do not change.
TEST_F(TransformedPrograms, TailCallsBecomeJumpsWhereTheArgumentsAllow) {
    next_program();
    read(file_text(std::string(VXOPT_SOURCE_DIR) + "/tests/data/flow/tail_calls_and_loops.ict"));
    const interp::RunResult before = run_all({main_request()}).at(0);
    ASSERT_EQ(before.output, "6 5050 3 2 1 \n4 103 1 1\n");
    PipelineOptions options;
    options.tail_recursion = true;
    transform_all(options, "tail calls");
    std::map<std::string, bool> recursive;
    for (const icode::FunctionRead& f : functions_)
        recursive[f.symbol->name] = calls_itself(f);
    EXPECT_TRUE(recursive["gcd"]);
    EXPECT_FALSE(recursive["sumto"]);
    EXPECT_FALSE(recursive["countdown"]);
    const interp::RunResult after = run_all({main_request()}).at(0);
    expect_same(before, after, "tail calls");
    EXPECT_LT(after.counts.calls, before.counts.calls);
}

} // namespace
} // namespace vx::flow::testing

namespace vx::flow::testing {
namespace {

// A longer hunt on demand: VXOPT_FLOW_SEEDS=FROM:TO[:SIZE] runs the
// generated programs of those seeds (size small, medium or large).
TEST_F(TransformedPrograms, SeedRangeFromTheEnvironment) {
    const char* range = std::getenv("VXOPT_FLOW_SEEDS");
    if (range == nullptr)
        GTEST_SKIP() << "set VXOPT_FLOW_SEEDS=FROM:TO[:SIZE] to run";
    std::istringstream fields(range);
    std::string from, to, size = "small";
    std::getline(fields, from, ':');
    std::getline(fields, to, ':');
    std::getline(fields, size, ':');
    progen::GeneratorOptions options;
    const auto parsed = progen::parse_program_size(size);
    ASSERT_TRUE(parsed) << size;
    options.size = *parsed;
    for (uint64_t seed = std::stoull(from); seed <= std::stoull(to); ++seed) {
        options.seed = seed;
        check_program(progen::generate_program_text(options), {main_request()},
                      size + " seed " + std::to_string(seed));
    }
}

} // namespace
} // namespace vx::flow::testing
