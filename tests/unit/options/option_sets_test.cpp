// Option sets: level queries, per-function sets, dumps and target checks.
#include "unit/options/option_fixture.h"

#include <gmock/gmock.h>

namespace vx::opt {
namespace {

using ::testing::HasSubstr;
using testing::OptionFixture;
using testing::read_all;

class OptionSets : public OptionFixture {
protected:
    OptionObject& command_line() { return option_registry().command_line; }
    bool parse_command_line(std::vector<const char*> words) {
        return parse_words(std::move(words), command_line());
    }
};

int level_for(const char* option, int (*query)(const OptionObject&)) {
    OptionObject options;
    EXPECT_TRUE(options.parse(option));
    return query(options);
}

TEST_F(OptionSets, LevelsFollowTheTablePositions) {
    EXPECT_EQ(optimization_level(OptionObject{}), 1);
    EXPECT_EQ(speed_size_level(OptionObject{}), 4);
    const char* levels[] = {"o0", "o1", "o2", "o3", "o4"};
    for (int level = 0; level <= 4; ++level)
        EXPECT_EQ(level_for(levels[level], optimization_level), level);
    ::testing::internal::CaptureStderr(); // the deprecation warning
    EXPECT_EQ(level_for("-opt_level=off", optimization_level), 0);
    ::testing::internal::GetCapturedStderr();
    const char* speeds[] = {"-opt_for_speed=0", "-opt_for_speed=1", "-opt_for_speed=2",
                            "-opt_for_speed=3", "-opt_for_speed=4", "-opt_for_speed=5"};
    for (int speed = 0; speed <= 5; ++speed)
        EXPECT_EQ(level_for(speeds[speed], speed_size_level), speed);
}

TEST_F(OptionSets, InliningLevelFallsBackOnSwitchThenOptimizationLevel) {
    EXPECT_EQ(level_for("oi7", [](const OptionObject& o) { return int(inlining_level(o, true)); }),
              7);
    EXPECT_EQ(level_for("o3", [](const OptionObject& o) { return int(inlining_level(o, true)); }),
              1);
    auto without_switch = [](const OptionObject& o) { return int(inlining_level(o, false)); };
    EXPECT_EQ(inlining_level(OptionObject{}, false), 0);
    EXPECT_EQ(level_for("o0", without_switch), 0);
    EXPECT_EQ(level_for("o2", without_switch), 20);
    EXPECT_EQ(level_for("o4", without_switch), DEFAULT_INLINE_THRESHOLD);

    // The parameterless query reads the switch registry and the set in force.
    ASSERT_TRUE(parse_command_line({"-o2"}));
    ASSERT_TRUE(build_option_sets());
    EXPECT_EQ(inlining_level(), 20);
    sw::add_switches(sw::Category::disable, "newinline");
    EXPECT_EQ(inlining_level(), 1);
}

TEST_F(OptionSets, InvalidLevelCodesAreReportedWhenSetsAreBuilt) {
    command_line().set_number(OPT_OPTIMIZATION_LEVEL, 9);
    command_line().set_number(OPT_SPEED_SIZE_LEVEL, 7);
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(build_option_sets());
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "--opt_level given invalid value: 9\n"
              "--size_speed_goal given invalid value:  7\n");
}

TEST_F(OptionSets, FunctionSetOverlaysTheFileLevelSet) {
    ASSERT_TRUE(parse_command_line({"-o2", "--abi=eabi", "-v28"}));
    ASSERT_TRUE(build_option_sets());
    EXPECT_EQ(add_function_option_set("fir", "-o3 --opt_for_speed 5 --abi=coffabi"), 1);
    EXPECT_EQ(messages(), "warning: Option --abi is not valid for function fir (ignored)\n");
    EXPECT_EQ(add_function_option_set("iir", "--lir"), 2);
    EXPECT_EQ(option_set_index("fir"), 1u);
    EXPECT_EQ(option_set_index("main"), 0u);

    select_option_set(option_set_index("fir"));
    EXPECT_EQ(optimization_level(), 3);
    EXPECT_EQ(speed_size_level(), 5);
    EXPECT_EQ(current_options().value(OPT_ABI), 1);
    select_option_set(0);
    EXPECT_EQ(optimization_level(), 2);
    EXPECT_EQ(speed_size_level(), 4);

    EXPECT_EQ(add_function_option_set("fir", "-o4"), 1); // replaces the earlier set
    EXPECT_EQ(add_function_option_set("bad", "-o7"), -1);
    EXPECT_EQ(stop_status([] { select_option_set(9); }), 3);

    FILE* out = std::tmpfile();
    print_option_sets(out);
    EXPECT_EQ(read_all(out), "Option set 0 (file-level options):\n"
                             "\t--opt_level=2\n\t--abi=eabi\n\t--target_variant=28\n"
                             "Option set 1:\n"
                             "\t--abi=eabi\n\t--target_variant=28\n\t--opt_level=4\n"
                             "Option set 2:\n"
                             "\t--opt_level=2\n\t--abi=eabi\n\t--target_variant=28\n\t--lir\n");
    std::fclose(out);
}

TEST_F(OptionSets, FunctionTextWordsMustBeOptions) {
    OptionObject options;
    EXPECT_EQ(stop_status([&] { parse_option_text(options, "-o2 fir.c"); }), 1);
    EXPECT_THAT(messages(), HasSubstr("invalid option:  fir.c"));
}

TEST_F(OptionSets, UnknownTargetValuesAreWarnedOnStandardOutput) {
    OptionObject known, unknown;
    ASSERT_TRUE(parse_words({"-v28", "--float_support=fpu32"}, known));
    ASSERT_TRUE(parse_words({"-v99", "--float_support=quad"}, unknown));
    ::testing::internal::CaptureStdout();
    check_target_options(known);
    check_target_options(unknown);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "\n>>>> Warning: unrecognized option: '-v99'\n\n"
              "\n>>>> Warning: unrecognized option:'--float_support=quad'\n\n");
}

TEST_F(OptionSets, SwitchListsReachTheSwitchRegistry) {
    ASSERT_TRUE(parse_command_line({"--disable=ilp,vn", "--debug=max_unroll_size=0x20"}));
    apply_switch_lists(command_line());
    EXPECT_TRUE(sw::disabled("ilp"));
    EXPECT_TRUE(sw::disabled("vn"));
    EXPECT_EQ(sw::debug("max_unroll_size"), 32);
}

} // namespace
} // namespace vx::opt
