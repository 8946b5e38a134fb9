// The schedule as a run shows it: every step of every function in the
// debug log, the work each level allows, and the IR verifier's report.
#include "icode/text/assembler.h"
#include "support/process_runner.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

namespace {

using vx::testing::run_process;
using vx::testing::ScratchDirectory;

const std::string kOptvx = OPTVX_PATH;

// Two functions: a loop and a dead store (t is never read).
const char kLoops[] = R"(icode -73 600 "s.c"
section main
func 0 @1:1:1
  sym "n" size=16 class=9 type=1 align=16
  endparams
  sym "s" size=16 class=1 type=1 align=16
  sym "t" size=16 class=1 type=1 align=16
  endlocals
  stmt @1:2:1 (ASG:1 (NAME:1 2 1) (ICON:1 0))
  stmt @1:3:1 (ASG:1 (NAME:1 2 2) (ICON:1 7))
  stmt @1:4:1 (BRANCH (LABEL 2))
  label 1
  stmt @1:5:1 (PLUSASG:1 (NAME:1 2 1) (NAME:1 1 0))
  stmt @1:6:1 (MINUSASG:1 (NAME:1 1 0) (ICON:1 1))
  label 2
  stmt @1:7:1 (CBRANCH (GT:1 (NAME:1 1 0) (ICON:1 0)) (LABEL 1))
  stmt @1:8:1 (RETURN:1 (NAME:1 2 1) (NOP))
endfunc
func 1 @1:10:1
  endparams
  endlocals
  stmt @1:11:1 (RETURN:1 (ICON:1 1) (NOP))
endfunc
section types
type 1 int explicit=1 size=16 align=16
type 2 func 1
type 2 list 0
  type 2 param 1 name="n"
type 2 endlist 0
type 3 func 1
type 3 list 0
type 3 endlist 0
section symbols
sym "sum" class=2 type=2 align=16
sym "one" class=2 type=3 align=16
)";

class ScheduleCli : public ::testing::Test {
protected:
    vx::testing::ProcessResult optvx(std::vector<std::string> args, const char* text = kLoops) {
        dir.write("in.icode", vx::icode::text::assemble(text));
        args.push_back("in.icode");
        args.push_back("out.icode");
        return run_process(kOptvx, args, dir.path());
    }
    // The steps entered in the log, as "number:name", with a "function"
    // line before each function's stretch.
    std::vector<std::string> steps_entered() {
        const std::string log = dir.read("in.odb");
        std::regex entering("ENTERING step (\\d+) '([^']*)'|==== Function (\\w+)\\(\\) ====");
        std::vector<std::string> steps;
        for (std::sregex_iterator it(log.begin(), log.end(), entering), end; it != end; ++it)
            steps.push_back((*it)[3].matched ? "function " + (*it)[3].str()
                                             : (*it)[1].str() + ":" + (*it)[2].str());
        return steps;
    }

    ScratchDirectory dir;
};

TEST_F(ScheduleCli, EveryFunctionEntersAllStepsInOrderAndBarriersOnce) {
    for (const char* level : {"-o0", "-o2"}) {
        auto r = optvx({level, "--debug_output=1", "--debug=verify"});
        ASSERT_EQ(r.status, 0) << r.err;
        std::vector<std::string> steps = steps_entered();
        for (const char* barrier : {"1:intermission", "2:pass 2 header", "3:set call-graph order"})
            EXPECT_EQ(std::count(steps.begin(), steps.end(), barrier), 1) << barrier;
        // Pass 2: each function runs steps 4 to 54 in one stretch.
        for (const char* function : {"function sum", "function one"}) {
            auto start = std::find(steps.begin() + 3, steps.end(), function);
            ASSERT_NE(start, steps.end()) << function;
            for (int number = 4; number <= 54; ++number) {
                ++start;
                ASSERT_NE(start, steps.end());
                EXPECT_EQ(start->substr(0, start->find(':')), std::to_string(number)) << level;
            }
            EXPECT_EQ(*start, "54:pass 2 trailer");
        }
    }
}

TEST_F(ScheduleCli, LevelOneChangesNothingThatLevelZeroKeeps) {
    ASSERT_EQ(optvx({"-o0"}).status, 0);
    const std::string level0 = dir.read("out.icode");
    ASSERT_EQ(optvx({"-o1"}).status, 0);
    EXPECT_EQ(dir.read("out.icode"), level0);
}

TEST_F(ScheduleCli, ValuePropagationIsAnnouncedFromLevelTwo) {
    ASSERT_EQ(optvx({"-o1", "--debug_output=1"}).status, 0);
    EXPECT_EQ(dir.read("in.odb").find("~~~#MAIN#1"), std::string::npos);
    ASSERT_EQ(optvx({"-o2", "--debug_output=1"}).status, 0);
    EXPECT_NE(dir.read("in.odb").find("~~~#MAIN#1 do_int_MVP=0 sum()\n"), std::string::npos);
}

TEST_F(ScheduleCli, LevelTwoRemovesTheDeadStoreAndLevelZeroKeepsIt) {
    ASSERT_EQ(optvx({"-o0", "--debug_output=1"}).status, 0);
    const size_t kept = dir.read("out.icode").size();
    ASSERT_EQ(optvx({"-o2", "--debug_output=1"}).status, 0);
    EXPECT_LT(dir.read("out.icode").size(), kept);
}

// The LIR steps run the pipeline only when asked, at the points asked for,
// and leave the code as it was.
TEST_F(ScheduleCli, LirStepsRunOnlyAtThePointsTheOptionsName) {
    auto lir_lines = [&](std::vector<std::string> args) {
        args.push_back("--debug_output=1");
        EXPECT_EQ(optvx(args).status, 0);
        const std::string log = dir.read("in.odb");
        std::vector<std::string> lines;
        std::regex trace("LIR pipeline \\((\\w+)\\)(: [a-z_, ]+)?");
        for (std::sregex_iterator it(log.begin(), log.end(), trace), end; it != end; ++it)
            lines.push_back(it->str());
        return lines;
    };
    EXPECT_TRUE(lir_lines({"-o2"}).empty());
    const std::vector<std::string> both(2, "LIR pipeline (early)");
    std::vector<std::string> everywhere;
    for (int function = 0; function < 2; ++function) {
        everywhere.push_back("LIR pipeline (early)");
        everywhere.push_back("LIR pipeline (late)");
    }
    EXPECT_EQ(lir_lines({"-o2", "--enable=lir"}), everywhere);
    EXPECT_EQ(lir_lines({"-o2", "--enable=lir_early"}), both);
    EXPECT_EQ(lir_lines({"-o2", "--enable=lir_late"}),
              std::vector<std::string>(2, "LIR pipeline (late)"));
    std::vector<std::string> with_ssa;
    for (int function = 0; function < 2; ++function) {
        with_ssa.push_back("LIR pipeline (early)");
        with_ssa.push_back("LIR pipeline (early): ssa_enter, ssa_dce");
    }
    EXPECT_EQ(lir_lines({"-o2", "--lir"}), with_ssa);
    EXPECT_EQ(lir_lines({"-o2", "--enable=lir_early,lirssa"}), with_ssa);

    ASSERT_EQ(optvx({"-o2"}).status, 0);
    const std::string plain = dir.read("out.icode");
    ASSERT_EQ(optvx({"-o2", "--enable=lir", "--lir"}).status, 0);
    EXPECT_EQ(dir.read("out.icode"), plain);
}

TEST_F(ScheduleCli, TheVerifierNamesTheStepThatFindsBrokenTrees) {
    // A branch to a label the function does not define.  Left as read, the
    // function reaches the verifier after the first step that reads it.
    std::string text = kLoops;
    text.replace(text.find("(BRANCH (LABEL 2))"), 18, "(BRANCH (LABEL 9))");
    auto r = optvx({"--debug=passthrough", "--debug=verify"}, text.c_str());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("\n>>>> Optimizer terminated abnormally\n>>>>    in function sum()\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find(">>>> IR verifier: after step 4 'pass 2 inits': "), std::string::npos)
        << r.err;
    EXPECT_FALSE(dir.exists("out.icode"));
}

// A jump to a label the function never defines stops the run with the
// label's number, however the flow graph is built (at -o2 and up tail calls
// are looked for, which builds the edges another way).
TEST_F(ScheduleCli, JumpToAnUndefinedLabelEndsTheRun) {
    std::string text = kLoops;
    const std::string jump = "(LABEL 1))\n  stmt @1:8:1";
    text.replace(text.find(jump), jump.size(), "(LABEL 9))\n  stmt @1:8:1");
    for (const char* level : {"-o0", "-o2"}) {
        auto r = optvx({level}, text.c_str());
        EXPECT_EQ(r.status, 1) << level;
        EXPECT_EQ(r.err, "\n!!! COMPILER (OPTIMIZER) ERROR IN 'find_label', INDEX=9 !!!\n"
                         "\n>>>> Optimizer terminated abnormally\n"
                         ">>>>    in function sum()\n>>>>    in file \"NO_FILE\"\n")
            << level;
        EXPECT_FALSE(dir.exists("out.icode")) << level;
    }
}

} // namespace
