// Generated programs run to completion under the interpreter, the
// optimizer reads them, and (a short differential check) the optimized
// program prints the same.  The long campaign is scripts/diff-check.sh.
#include "progen/generator.h"
#include "support/process_runner.h"

#include <gtest/gtest.h>

#include <regex>

namespace vx::progen {
namespace {

using vx::testing::ProcessResult;
using vx::testing::run_process;
using vx::testing::ScratchDirectory;

std::string generate(ScratchDirectory& dir, uint64_t seed, ProgramSize size) {
    const std::string name = "p" + std::to_string(seed) + program_size_name(size) + ".icode";
    auto result = run_process(
        ICTOOL_PATH,
        {"gen", "--seed", std::to_string(seed), "--size", program_size_name(size), "-o", name},
        dir.path());
    EXPECT_EQ(result.status, 0) << result.err;
    return name;
}

// The output without the cost counts of the summary line.
std::string comparable(const std::string& out) {
    return std::regex_replace(out, std::regex(" ops=[0-9]+ .*\n$"), "\n");
}

void expect_runs(ScratchDirectory& dir, uint64_t seed, ProgramSize size) {
    const std::string file = generate(dir, seed, size);
    ProcessResult run = run_process(ICTOOL_PATH, {"run", file}, dir.path());
    EXPECT_EQ(run.status, 0) << "seed " << seed << " " << program_size_name(size) << ": "
                             << run.err;
    EXPECT_NE(run.out.find("checksum: "), std::string::npos) << seed;
    EXPECT_TRUE(std::regex_search(run.out, std::regex("\nexit=-?[0-9]+ ops=[0-9]+ [^\n]*\n$")))
        << run.out;
}

TEST(GeneratedRuns, SmallSeedsRunWithoutFault) {
    ScratchDirectory dir;
    for (uint64_t seed = 1; seed <= 80; ++seed)
        expect_runs(dir, seed, ProgramSize::small);
}

TEST(GeneratedRuns, MediumAndLargeSeedsRunWithoutFault) {
    ScratchDirectory dir;
    for (uint64_t seed = 1; seed <= 6; ++seed)
        expect_runs(dir, seed, ProgramSize::medium);
    for (uint64_t seed = 1; seed <= 2; ++seed)
        expect_runs(dir, seed, ProgramSize::large);
}

TEST(GeneratedRuns, OptimizerReadsThemAndTheResultPrintsTheSame) {
    ScratchDirectory dir;
    for (ProgramSize size : {ProgramSize::small, ProgramSize::medium}) {
        for (uint64_t seed = 1; seed <= 3; ++seed) {
            const std::string file = generate(dir, seed, size);
            ProcessResult before = run_process(ICTOOL_PATH, {"run", file}, dir.path());
            for (const char* level : {"-o0", "-o2"}) {
                ProcessResult optimized =
                    run_process(OPTVX_PATH, {level, file, "out.icode"}, dir.path());
                ASSERT_EQ(optimized.status, 0) << seed << " " << level << ": " << optimized.err;
                ProcessResult after = run_process(ICTOOL_PATH, {"run", "out.icode"}, dir.path());
                EXPECT_EQ(after.status, before.status) << seed << " " << level;
                EXPECT_EQ(comparable(after.out), comparable(before.out)) << seed << " " << level;
            }
        }
    }
}

} // namespace
} // namespace vx::progen
