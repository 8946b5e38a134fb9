// The schedule, the step runner and the sweeps over the functions of a file,
// observed through the debug log.
#include "driver/file_run.h"
#include "driver/flow_steps.h"
#include "driver/option_access.h"
#include "driver/run_context.h"
#include "driver/schedule.h"
#include "support/process_runner.h"
#include "support/switches.h"
#include "support/termination.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <deque>
#include <regex>

namespace {

using namespace vx::driver;

class StepRunner : public ::testing::Test {
protected:
    void SetUp() override {
        reset_run_context();
        vx::sw::reset_switches();
        previous_ = vx::set_stop_handler(vx::throwing_stop_handler);
        RunContext& run = run_context();
        run.input_name = (dir.path() / "prog.if").string();
        run.trace_level = 1;
        run.debug_log = std::tmpfile();
        build_options({});
        build_schedule();
    }
    void TearDown() override {
        RunContext& run = run_context();
        if (run.debug_log)
            std::fclose(run.debug_log);
        run.debug_log = nullptr;
        reset_run_context();
        vx::sw::reset_switches();
        vx::set_stop_handler(previous_);
    }

    static void build_options(std::vector<const char*> options) {
        create_option_registry();
        std::vector<char*> argv{const_cast<char*>("optvx")};
        for (const char* o : options)
            argv.push_back(const_cast<char*>(o));
        for (size_t i = 1; i < argv.size(); ++i)
            ASSERT_TRUE(
                parse_command_option(argv[i] + 1, static_cast<int>(argv.size()), argv.data()));
        build_option_sets();
    }

    void add_function(const std::string& name, unsigned sequence) {
        FunctionEntry entry;
        entry.symbol = &symbols_.emplace_back();
        entry.symbol->name = name;
        entry.symbol->sequence = sequence;
        entry.info = &records_.emplace_back();
        entry.info->symbol = entry.symbol;
        run_context().functions.push_back(std::move(entry));
    }

    void run_all() {
        RunContext& run = run_context();
        build_trailer();
        for (FunctionEntry& f : run.functions) {
            for (auto& step : run.schedule)
                f.passes.push_back(step.get());
            f.passes.push_back(run.trailer.get());
        }
        while (run_one_sweep()) {
        }
    }

    std::string log() {
        FILE* f = run_context().debug_log;
        std::fflush(f);
        std::rewind(f);
        std::string text;
        int c;
        while ((c = std::fgetc(f)) != EOF)
            text += static_cast<char>(c);
        return text;
    }

    // The step entries of the log as "function:number:name", where function
    // is the name from the latest banner ("" for barriers).
    std::vector<std::string> entered_steps() {
        std::vector<std::string> steps;
        std::string text = log();
        std::regex entering("ENTERING step (\\d+) '([^']*)'|==== Function (\\w+)\\(\\) ====");
        std::string current;
        for (auto it = std::sregex_iterator(text.begin(), text.end(), entering);
             it != std::sregex_iterator(); ++it) {
            if ((*it)[3].matched) {
                current = (*it)[3];
                continue;
            }
            steps.push_back((*it)[1].str() + ":" + (*it)[2].str());
        }
        return steps;
    }

    vx::testing::ScratchDirectory dir;
    vx::StopHandler previous_ = nullptr;
    // The functions' symbols and records; a deque keeps them in place.
    std::deque<vx::ir::Symbol> symbols_;
    std::deque<vx::ir::FunctionInfo> records_;
};

TEST_F(StepRunner, ScheduleHasFiftyFourNumberedSteps) {
    RunContext& run = run_context();
    ASSERT_EQ(run.schedule.size(), 54u);
    for (size_t i = 0; i < run.schedule.size(); ++i)
        EXPECT_EQ(run.schedule[i]->serial(), static_cast<int>(i));
    EXPECT_EQ(run.schedule[0]->name(), "pass 1");
    EXPECT_EQ(run.schedule[24]->name(), "SSA_deadasg");
    EXPECT_EQ(run.schedule[46]->name(), "SSA_deadasg");
    EXPECT_EQ(run.schedule[53]->name(), "late LIR");
    int barriers = 0;
    for (auto& step : run.schedule)
        barriers += step->is_barrier();
    EXPECT_EQ(barriers, 3);
    build_trailer();
    EXPECT_EQ(run.trailer->serial(), 54);
    // Rebuilding numbers from 0 again.
    build_schedule();
    EXPECT_EQ(run.schedule.front()->serial(), 0);
}

TEST_F(StepRunner, EveryFunctionRunsEveryStepAndBarriersRunOnce) {
    add_function("f", 2);
    add_function("g", 1);
    run_all();
    std::vector<std::string> steps = entered_steps();
    // Two functions through 51 per-function steps and the trailer, three
    // barriers once.
    EXPECT_EQ(steps.size(), 2u * 52u + 3u);
    EXPECT_EQ(steps[0], "0:pass 1");
    EXPECT_EQ(steps[1], "0:pass 1");
    EXPECT_EQ(steps[2], "1:intermission");
    EXPECT_EQ(steps[3], "2:pass 2 header");
    EXPECT_EQ(steps[4], "3:set call-graph order");
    EXPECT_EQ(steps[5], "4:pass 2 inits");
    EXPECT_EQ(steps.back(), "54:pass 2 trailer");
    EXPECT_EQ(std::count(steps.begin(), steps.end(), "54:pass 2 trailer"), 2);
    EXPECT_EQ(std::count(steps.begin(), steps.end(), "1:intermission"), 1);
}

TEST_F(StepRunner, StepsBetweenBarriersRunFunctionByFunction) {
    add_function("f", 2);
    add_function("g", 1);
    run_all();
    std::string text = log();
    // Below level 2 the functions are ordered by declaration for pass 2: g's
    // whole pass 2 comes before f's.
    size_t g_banner = text.find("==== Function g() ====", text.find("set call-graph order"));
    size_t f_banner = text.find("==== Function f() ====", text.find("set call-graph order"));
    ASSERT_NE(g_banner, std::string::npos);
    ASSERT_NE(f_banner, std::string::npos);
    EXPECT_LT(g_banner, f_banner);
    size_t g_trailer = text.find("ENTERING step 54", g_banner);
    EXPECT_LT(g_trailer, f_banner);
}

TEST_F(StepRunner, FromLevelTwoCalleesComeFirst) {
    reset_run_context();
    RunContext& run = run_context();
    run.trace_level = 1;
    run.debug_log = std::tmpfile();
    build_options({"-o2"});
    build_schedule();
    add_function("caller", 1);
    add_function("callee", 2);
    run_all();
    std::string text = log();
    size_t order = text.find("set call-graph order");
    EXPECT_LT(text.find("==== Function callee() ====", order),
              text.find("==== Function caller() ====", order));
}

TEST_F(StepRunner, StepBannersAndTiming) {
    add_function("f", 1);
    run_all();
    std::string text = log();
    EXPECT_NE(text.find("\n\n\t\t\t---------- ENTERING step 0 'pass 1' ----------\n"
                        "(0.0 sec for pass.)\n"
                        "\n\n\n\t\t\t---------- EXITING step 0 'pass 1' ----------\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\nUsing option set 0:\n"), std::string::npos);
    EXPECT_NE(text.find("[Restoring options --> -o1 -i0 --opt_for_speed=4]\n"), std::string::npos)
        << text;
}

TEST_F(StepRunner, NothingIsTracedWithoutTracing) {
    run_context().trace_level = 0;
    add_function("f", 1);
    run_all();
    EXPECT_EQ(log(), "");
}

TEST_F(StepRunner, SplitLogsGiveOneLogPerFunction) {
    vx::sw::add_switches(vx::sw::Category::debug, "split_odb");
    add_function("alpha", 1);
    add_function("beta", 2);
    run_all();
    std::string main_log = log();
    EXPECT_NE(main_log.find(">>>> SWITCHING LOG TO " + (dir.path() / "prog.alpha.odb").string()),
              std::string::npos);
    EXPECT_NE(main_log.find("ENTERING step 1 'intermission'"), std::string::npos);
    EXPECT_EQ(main_log.find("ENTERING step 4 "), std::string::npos);
    std::string alpha = dir.read("prog.alpha.odb");
    // The log holds the function's pass 1 and its whole pass 2.
    EXPECT_NE(alpha.find("ENTERING step 0 'pass 1'"), std::string::npos);
    EXPECT_NE(alpha.find("ENTERING step 54 'pass 2 trailer'"), std::string::npos);
    EXPECT_TRUE(dir.exists("prog.beta.odb"));
}

// The step runner notes its switches once per run, so a new run must not keep
// the last run's: a pass-through followed by a normal run would transform
// nothing.
TEST_F(StepRunner, StepSwitchesAreThoseOfTheCurrentRun) {
    const auto fresh_run = [](std::vector<const char*> options) {
        RunContext& run = run_context();
        if (run.debug_log)
            std::fclose(run.debug_log);
        reset_run_context();
        vx::sw::reset_switches();
        build_options(std::move(options));
    };
    fresh_run({"--debug=passthrough,verify"});
    EXPECT_FALSE(steps_transform());
    EXPECT_TRUE(run_context().step_switches.verify);

    fresh_run({});
    EXPECT_TRUE(steps_transform());
    EXPECT_FALSE(run_context().step_switches.verify);

    fresh_run({"--debug=passthrough=0,verify=0"});
    EXPECT_TRUE(steps_transform());
    EXPECT_FALSE(run_context().step_switches.verify);

    fresh_run({"--debug=verify=2"});
    EXPECT_TRUE(steps_transform());
    EXPECT_TRUE(run_context().step_switches.verify);
}

TEST_F(StepRunner, FunctionsOutOfStepWithTheBarrierAreAnInternalError) {
    add_function("f", 1);
    add_function("g", 2);
    RunContext& run = run_context();
    run.functions.front().passes = {run.schedule[1].get()};
    run.functions.back().passes = {run.schedule[2].get()};
    EXPECT_THROW(run_one_sweep(), vx::RunStopped);
}

} // namespace
