// The parsed state: queries, set and clear, history, listing and traces.
#include "unit/options/option_fixture.h"

#include <gmock/gmock.h>

#include <algorithm>

namespace vx::opt {
namespace {

using ::testing::HasSubstr;
using testing::OptionFixture;
using testing::read_all;

class OptionState : public OptionFixture {};

TEST_F(OptionState, QueriesBeyondTheTableOrTheArgumentsAnswerZero) {
    ASSERT_TRUE(parse_words({"-oi9", "--info_file=x.nfo"}));
    EXPECT_EQ(options_.present(OPTION_COUNT), 0);
    EXPECT_EQ(options_.present(-1), 0);
    EXPECT_EQ(options_.value(1000, 0), 0);
    EXPECT_EQ(options_.value(OPT_INLINE_LEVEL, 1), 0);
    EXPECT_EQ(options_.value(OPT_INLINE_LEVEL, -1), 0);
    EXPECT_STREQ(options_.string_value(OPT_INFO_FILE, 1), "");
    EXPECT_STREQ(options_.string_value(OPTION_COUNT, 0), "");
    EXPECT_EQ(options_.value(OPT_SPEED_SIZE_LEVEL), 0);
}

TEST_F(OptionState, PersistentOptionsCannotBeCleared) {
    ASSERT_TRUE(parse_words({"-v28", "--lir", "-oi4"}));
    options_.clear(OPT_TARGET_VARIANT);
    EXPECT_EQ(options_.value(OPT_TARGET_VARIANT), 28);
    EXPECT_EQ(messages(), "warning: Attempt to clear PERSISTENT option --target_variant ignored\n");

    // "#" clears the option spelled after it, long or short.
    ASSERT_TRUE(parse_words({"-#-lir", "-#oi"}));
    EXPECT_FALSE(options_.present(OPT_LIR));
    EXPECT_FALSE(options_.present(OPT_INLINE_LEVEL));
    EXPECT_EQ(options_.value(OPT_INLINE_LEVEL), 0);
    EXPECT_EQ(options_.entry(OPT_LIR)->state_counter, 2);
}

TEST_F(OptionState, ListsCollectEveryOccurrenceAndSingleValuesKeepTheLast) {
    ASSERT_TRUE(parse_words({"-o2", "--disable=ilp,vn", "--disable", "cps", "-o3"}));
    EXPECT_EQ(options_.argument_count(OPT_DISABLE_LIST), 2);
    EXPECT_STREQ(options_.string_value(OPT_DISABLE_LIST, 0), "ilp,vn");
    EXPECT_STREQ(options_.string_value(OPT_DISABLE_LIST, 1), "cps");
    EXPECT_EQ(options_.argument_count(OPT_OPTIMIZATION_LEVEL), 1);
    EXPECT_EQ(options_.present(OPT_OPTIMIZATION_LEVEL), 2);
    EXPECT_EQ(options_.history().size(), 4u);
    EXPECT_EQ(options_.option_lines(),
              (std::vector<std::string>{"--disable=ilp,vn", "--disable=cps", "--opt_level=3"}));
}

TEST_F(OptionState, PrintListsEveryIdentifierOrThePresentOnes) {
    ASSERT_TRUE(parse_words({"-o2", "--lir", "--debug=unroll", "--debug=SIMD"}));
    options_.set(OPT_INFO_FILE);
    FILE* out = std::tmpfile();
    options_.print(true, out);
    std::string all = read_all(out);
    EXPECT_EQ(std::count(all.begin(), all.end(), '\n'), OPTION_COUNT);
    EXPECT_THAT(all, HasSubstr("--opt_level               SEEN ENABLED ENUMERATED ARG: 2\n"));
    EXPECT_THAT(all, HasSubstr("--lir                     SEEN ENABLED NO ARGS\n"));
    EXPECT_THAT(all, HasSubstr("--info_file               not seen ENABLED STRING ARG: <arg not "
                               "provided>\n"));
    EXPECT_THAT(all, HasSubstr("--inline_level            not seen disabled NUMBER ARG: <arg not "
                               "provided>\n"));

    std::fclose(out);
    out = std::tmpfile();
    options_.print(false, out);
    EXPECT_EQ(read_all(out), "--opt_level               ENUMERATED ARG: 2\n"
                             "--info_file               STRING ARG: <arg not provided>\n"
                             "--debug                   STRING LIST ARG: unroll SIMD\n"
                             "--lir                     NO ARGS\n");
    std::fclose(out);
}

TEST_F(OptionState, VerboseObjectTracesEveryStateChange) {
    FILE* traces = std::tmpfile();
    options_.set_trace_stream(traces);
    ASSERT_TRUE(parse_words({"--options_verbose", "-oi0x1F", "--simd=on", "-#oi"}));
    EXPECT_EQ(read_all(traces),
              "optvx: about to parse '1F' as signed, radix 16\n"
              "optvx: check 0 <= 31 <= 9223372036854775807\n"
              "optvx: Set    option id OPT_INLINE_LEVEL to state 1\n"
              "optvx: Set    option id OPT_INLINE_LEVEL arg to value '31' (1 args)"
              "optvx: Add option id OPT_INLINE_LEVEL to history with arg 0x1F\n"
              "optvx: Parsed option id OPT_INLINE_LEVEL/3\n"
              "optvx: Set    option id OPT_SIMD to state 1\n"
              "optvx: Set    option id OPT_SIMD arg to value '50' (1 args)"
              "optvx: Add option id OPT_SIMD to history with arg on\n"
              "optvx: Parsed option id OPT_SIMD/25\n"
              "optvx: Clear  option id OPT_INLINE_LEVEL to state 0\n");
    std::fclose(traces);
}

} // namespace
} // namespace vx::opt
