// The type rules: conversions, constants, pointer scaling, operators.
#include "cfront_test_helpers.h"

namespace vx::cfront::testing {
namespace {

TEST(CfrontExpressions, UsualConversionsAreExplicit) {
    const std::string text = compile_text("long f(int a, long b) { return a + b; }");
    EXPECT_TRUE(contains(text, "(RETURN:2 (PLUS:2 (SCONV:2 (NAME:1 1 0)) (NAME:2 1 1)) (NOP))"))
        << text;
}

TEST(CfrontExpressions, UnsignedCharPromotesToUnsignedInt) {
    const std::string text = compile_text("int f(unsigned char c, int i) { return c < i; }");
    // int and unsigned int have the same width, so the compare is unsigned.
    EXPECT_TRUE(contains(text, "ULT:")) << text;
    EXPECT_TRUE(contains(text, "type 3 uint")) << text;
}

TEST(CfrontExpressions, ConstantsTakeTheTargetsTypes) {
    const std::string text =
        compile_text("long a = 40000; unsigned b = 0xFFFF; long long c = 5000000000; int d = -1;");
    EXPECT_TRUE(contains(text, "(ICON:1 40000)")) << text;
    EXPECT_TRUE(contains(text, "type 1 long")) << text;
    EXPECT_TRUE(contains(text, "(ICON:2 65535)")) << text;
    EXPECT_TRUE(contains(text, "(LCON:3 \"5000000000\")")) << text;
    EXPECT_TRUE(contains(text, "(ICON:4 -1)")) << text;
}

TEST(CfrontExpressions, ConstantExpressionsFoldAtTheTargetWidth) {
    const std::string text = compile_text("int a = 30000 + 30000; unsigned b = -1; int c[2 * 3];");
    EXPECT_TRUE(contains(text, "(ICON:1 -5536)")) << text;
    EXPECT_TRUE(contains(text, "(ICON:2 65535)")) << text;
    EXPECT_TRUE(contains(text, "array 1 6 size=96")) << text;
}

TEST(CfrontExpressions, PointerArithmeticIsScaledInWords) {
    const std::string text = compile_text("long *f(long *p, int i) { return p + i; }");
    EXPECT_TRUE(contains(text, "(PLUS:2 (NAME:2 1 0) (MULT:3 (NAME:3 1 1) (ICON:3 2)))")) << text;
}

TEST(CfrontExpressions, IncrementsAndCompoundAssignments) {
    const std::string text = compile_text("void f(long *p, int i) { p++; ++i; i += 2; i <<= 1; }");
    EXPECT_TRUE(contains(text, "(PLUSPLUS:2 (NAME:2 1 0) (ICON:3 2))")) << text;
    EXPECT_TRUE(contains(text, "(PLUSASG:3 (NAME:3 1 1) (ICON:3 1))")) << text;
    EXPECT_TRUE(contains(text, "(PLUSASG:3 (NAME:3 1 1) (ICON:3 2))")) << text;
    EXPECT_TRUE(contains(text, "(SLLASG:3 (NAME:3 1 1) (ICON:3 1))")) << text;
}

TEST(CfrontExpressions, MixedDivisionIsComputedAtTheCommonType) {
    // int /= unsigned divides unsigned in C: written as an assignment.
    const std::string text = compile_text("void f(int i, unsigned u) { i /= u; }");
    EXPECT_TRUE(contains(text, "(ASG:1 (NAME:1 1 0) (SCONV:1 (DIV:2 (SCONV:2 (NAME:1 1 0))"))
        << text;
}

TEST(CfrontExpressions, ConditionalsAndLogicalOperators) {
    const std::string text = compile_text("int f(int a, int b) { return a && b ? a : b || a; }");
    EXPECT_TRUE(contains(text, "(QUEST:1 (ANDAND:1 (NAME:1 1 0) (NAME:1 1 1)) (COLON:1")) << text;
    EXPECT_TRUE(contains(text, "(OROR:1")) << text;
}

TEST(CfrontExpressions, CallsListArgumentsInCommaChains) {
    const std::string text =
        compile_text("int g(int, long, int); int h(void); int f(void) { return g(1, 2, h()); }");
    EXPECT_TRUE(contains(text, "(CALL:1 3 2 (UAND:")) << text;
    EXPECT_TRUE(contains(text, "(COMMA (ICON:1 1) (COMMA (ICON:2 2) (UCALL:1 1 (UAND:")) << text;
}

TEST(CfrontExpressions, StringLiteralsAreStaticArrays) {
    const std::string text = compile_text("const char *s = \"hi\";");
    EXPECT_TRUE(contains(text, "(SCON:")) << text;
    EXPECT_TRUE(contains(text, "\"hi\\x00\"")) << text;
    EXPECT_TRUE(contains(text, "sym \"$S1\" size=48 class=3")) << text;
}

} // namespace
} // namespace vx::cfront::testing
