// Parsing of option texts: spellings, arguments, numbers, enumerations and
// the messages of rejected options.
#include "options/option_numbers.h"
#include "unit/options/option_fixture.h"

#include <gmock/gmock.h>

namespace vx::opt {
namespace {

using ::testing::HasSubstr;
using testing::OptionFixture;

long number_of(const char* text) {
    SignedNumber number = convert_signed(classify_number(text));
    return number.status == NumberStatus::ok ? number.value : -999;
}

TEST(OptionNumbers, RadixPrefixesAndSuffixes) {
    EXPECT_EQ(number_of("0x1F"), 31);
    EXPECT_EQ(number_of("0X1f"), 31);
    EXPECT_EQ(number_of("1FH"), 31);
    EXPECT_EQ(number_of("1fh"), 31);
    EXPECT_EQ(number_of("17q"), 15);
    EXPECT_EQ(number_of("17Q"), 15);
    EXPECT_EQ(number_of("017"), 15);
    EXPECT_EQ(number_of("08"), 8); // "0" then a non-octal digit: decimal
    EXPECT_EQ(number_of("-12"), -12);
    EXPECT_EQ(classify_number("1FH").radix, 16);
    EXPECT_EQ(classify_number("017").radix, 8);
}

TEST(OptionNumbers, MalformedAndOverflowingTexts) {
    // The q suffix needs octal digits, so "19q" keeps its q and is rejected.
    EXPECT_EQ(convert_signed(classify_number("19q")).status, NumberStatus::malformed);
    EXPECT_EQ(convert_signed(classify_number("0x1FH")).status, NumberStatus::malformed);
    EXPECT_EQ(convert_signed(classify_number("")).status, NumberStatus::malformed);
    EXPECT_EQ(convert_signed(classify_number("0x")).status, NumberStatus::malformed);
    EXPECT_EQ(convert_signed(classify_number(" 5")).status, NumberStatus::malformed);
    EXPECT_EQ(convert_signed(classify_number("--5")).status, NumberStatus::malformed);
    EXPECT_EQ(convert_signed(classify_number("99999999999999999999999")).status,
              NumberStatus::overflow);
    EXPECT_EQ(convert_unsigned(classify_number("-1")).status, NumberStatus::malformed);
    EXPECT_EQ(convert_unsigned(classify_number("0xFFFFFFFFFFFFFFFF")).value, ~0UL);
}

class OptionParsing : public OptionFixture {};

TEST_F(OptionParsing, ShortAndLongSpellingsReachTheSameIdentifier) {
    ASSERT_TRUE(parse_words({"-o3", "-oi0x1F", "-op2", "-v28", "--float_support=fpu32"}));
    EXPECT_EQ(optimization_level(options_), 3);
    EXPECT_EQ(options_.value(OPT_INLINE_LEVEL), 31);
    EXPECT_EQ(options_.value(OPT_PROGRAM_MODE), 2);
    EXPECT_EQ(options_.value(OPT_TARGET_VARIANT), 28);
    EXPECT_STREQ(options_.string_value(OPT_FLOAT_SUPPORT), "fpu32");

    ASSERT_TRUE(parse_words({"--opt_level=1", "--inline_level=17q"}));
    EXPECT_EQ(optimization_level(options_), 1);
    EXPECT_EQ(options_.value(OPT_INLINE_LEVEL), 15);
}

TEST_F(OptionParsing, ArgumentComesFromTheNextWordWhenTheTextHasNone) {
    ASSERT_TRUE(parse_words({"--info_file", "out.nfo", "-oi", "7", "--debug_output=", "2"}));
    EXPECT_STREQ(options_.string_value(OPT_INFO_FILE), "out.nfo");
    EXPECT_EQ(options_.value(OPT_INLINE_LEVEL), 7);
    EXPECT_EQ(options_.value(OPT_DEBUG_OUTPUT), 2);

    EXPECT_FALSE(parse_words({"--info_file"}));
    EXPECT_THAT(messages(), HasSubstr("option --info_file is missing its parameter 'NAME'"));
}

TEST_F(OptionParsing, ShortOptionsWithoutArgumentFollowEachOther) {
    ASSERT_TRUE(parse_words({"-qsma"}));
    EXPECT_TRUE(options_.present(OPT_QUIET));
    EXPECT_TRUE(options_.present(OPT_INTERLIST));
    EXPECT_TRUE(options_.present(OPT_ALIASED_VARIABLES));
}

TEST_F(OptionParsing, OutOfRangeMessageDependsOnTheBounds) {
    // Bounds 0..LONG_MAX: the minus sign decides between the two texts.
    EXPECT_FALSE(options_.parse("oi19q"));
    EXPECT_FALSE(options_.parse("-inline_level=-5"));
    EXPECT_FALSE(options_.parse("oi99999999999999999999999"));
    // Narrower bounds are spelled out.
    EXPECT_FALSE(options_.parse("op4"));
    EXPECT_FALSE(options_.parse("-inline_depth=0"));
    EXPECT_EQ(messages(),
              "error: argument to option -oi (19q) is out of range\n"
              "error: argument to option --inline_level (-5) is out of range (must be a "
              "non-negative_number)\n"
              "error: argument to option -oi (99999999999999999999999) is out of range\n"
              "error: argument to option -op (4) is out of range (must be a number from 0 to 3\n"
              "error: argument to option --inline_depth (0) is out of range (must be a number "
              "from 1 to 1000\n");
}

TEST_F(OptionParsing, EnumeratedValuesAndTheirMessages) {
    ASSERT_TRUE(parse_words({"--opt_for_speed=3", "--simd=on"}));
    EXPECT_EQ(speed_size_level(options_), 3);
    EXPECT_TRUE(simd_option_on(options_));

    EXPECT_FALSE(options_.parse("-opt_level=9"));
    EXPECT_THAT(messages(),
                HasSubstr("bad argument to option --opt_level: should be one of {0, 1, 2, 3, 4}"));
    EXPECT_EQ(speed_size_level(options_), 3);
}

TEST_F(OptionParsing, DeprecatedValueIsAcceptedWithAWarning) {
    ::testing::internal::CaptureStderr();
    ASSERT_TRUE(parse_words({"-o2", "-ooff"}));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "WARNING: argument 'off' to option '-o' is deprecated and will be removed in a "
              "future release\n");
    EXPECT_EQ(optimization_level(options_), 0);
}

TEST_F(OptionParsing, UpperCaseShortOptionWarnsAndIsAccepted) {
    ASSERT_TRUE(parse_words({"-OI12", "-Q"}));
    EXPECT_EQ(options_.value(OPT_INLINE_LEVEL), 12);
    EXPECT_TRUE(options_.present(OPT_QUIET));
    EXPECT_EQ(messages(),
              "warning: Case insensitivity of options has been deprecated; -OI must be written "
              "as -oi in future releases\n"
              "warning: Case insensitivity of options has been deprecated; -Q must be written as "
              "-q in future releases\n");
}

TEST_F(OptionParsing, RejectedArgumentLeavesTheEarlierStateUntouched) {
    ASSERT_TRUE(parse_words({"-oi5"}));
    ParseResult result = options_.parse("qo9");
    EXPECT_FALSE(result);
    EXPECT_EQ(result.error_offset, 1u);
    EXPECT_FALSE(options_.present(OPT_QUIET));
    EXPECT_EQ(options_.value(OPT_INLINE_LEVEL), 5);
    EXPECT_EQ(options_.history().size(), 1u);
}

TEST_F(OptionParsing, UnknownOptionEndsTheRun) {
    EXPECT_EQ(stop_status([&] { options_.parse("-no_such_option"); }), 1);
    EXPECT_THAT(messages(), HasSubstr("invalid option:  --no_such_option"));
}

TEST_F(OptionParsing, HelpPrintsUsageAndEndsWithStatusZero) {
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(stop_status([&] { options_.parse("?"); }), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "Usage: optvx [-options] filename\n\n"
              "This tool is designed to be invoked by the compiler.\n");

    EXPECT_EQ(stop_status([&] { options_.parse("?x"); }), 1);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(stop_status([&] { options_.parse("-help"); }), 0);
    EXPECT_THAT(::testing::internal::GetCapturedStdout(), HasSubstr("Usage: optvx"));
    EXPECT_EQ(stop_status([&] { options_.parse("-help=me"); }), 1);
}

TEST_F(OptionParsing, TextAfterOptionWithoutArgumentIsIgnoredWithAWarning) {
    ASSERT_TRUE(parse_words({"--lir=1"}));
    EXPECT_TRUE(options_.present(OPT_LIR));
    EXPECT_EQ(messages(), "warning: garbage following option --lir=1 ignored\n");
}

TEST_F(OptionParsing, RivalOptionsConflictOrDisplaceEachOther) {
    ASSERT_TRUE(parse_words({"--strict_ansi", "--relaxed_ansi"}));
    EXPECT_FALSE(options_.present(OPT_STRICT_ANSI));
    EXPECT_TRUE(options_.present(OPT_RELAXED_ANSI));

    ASSERT_TRUE(parse_words({"-ma"}));
    EXPECT_FALSE(parse_words({"--no_alias"}));
    EXPECT_FALSE(options_.present(OPT_NO_ALIAS));

    diag::settings().show_remarks = true;
    ASSERT_TRUE(parse_words({"--gen_profile_info", "--use_profile_info=a.prf"}));
    EXPECT_FALSE(options_.present(OPT_GEN_PROFILE_INFO));

    EXPECT_EQ(messages(),
              "warning: option --relaxed_ansi overrides preceding option --strict_ansi\n"
              "error: option --no_alias conflicts with previous option --aliased_variables\n"
              "remark: option --use_profile_info clears preceding option --gen_profile_info\n");
}

TEST_F(OptionParsing, DiagnosticOptionsTakeEffectAtOnce) {
    ASSERT_TRUE(parse_words({"--diag_numbers", "--diag_remarks", "--error_limit=5"}));
    EXPECT_TRUE(diag::settings().show_numbers);
    EXPECT_TRUE(diag::settings().show_remarks);
    EXPECT_EQ(diag::settings().error_limit, 5u);
    EXPECT_FALSE(parse_words({"--info_file"}));
    EXPECT_THAT(messages(), HasSubstr("error #24010-D: option --info_file is missing"));
}

} // namespace
} // namespace vx::opt
