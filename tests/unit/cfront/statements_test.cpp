// Statement shapes: loops, switch, goto, and what ends up as statements.
#include "cfront_test_helpers.h"

namespace vx::cfront::testing {
namespace {

TEST(CfrontStatements, WhileLoopShape) {
    const std::string text = compile_text("void f(int n) { while (n) n--; }");
    EXPECT_TRUE(contains(text, "(CBRANCH (EXCLAIM:1 (NAME:1 1 0)) (LABEL 3))\n"
                               "  stmt @1:1:17 (LOOP (ICON:1 0) (LABEL 1))\n"))
        << text;
    EXPECT_TRUE(contains(text, "label 2\n  stmt @1:1:24 (ENDLOOP (NAME:1 1 0) (LABEL 1))\n"
                               "  label 3\n"))
        << text;
}

TEST(CfrontStatements, SwitchListsItsCasesAndDefault) {
    const std::string text =
        compile_text("int f(int c) { switch (c) { case 1: return 5; case 7: break; } return 0; }");
    EXPECT_TRUE(contains(text, "(SWITCH 2 (NAME:1 1 0) (COMMA (CASE (ICON:1 1) (LABEL 2)) "
                               "(COMMA (CASE (ICON:1 7) (LABEL 3)) (DEFAULT (LABEL 1)))))"))
        << text;
}

TEST(CfrontStatements, GotoAndLabels) {
    const std::string text = compile_text("void f(void) { goto out; out: ; }");
    EXPECT_TRUE(contains(text, "(BRANCH (LABEL 1))\n  label 1\n")) << text;
}

TEST(CfrontStatements, EffectFreeValuesAreDropped) {
    const std::string text = compile_text("void f(int a) { a + 1; a; (void)a; a = 2, a++; }");
    EXPECT_FALSE(contains(text, "(PLUS:")) << text;
    EXPECT_TRUE(contains(text, "(ASG:1 (NAME:1 1 0) (ICON:1 2))")) << text;
    EXPECT_TRUE(contains(text, "(PLUSPLUS:1 (NAME:1 1 0) (ICON:1 1))")) << text;
}

TEST(CfrontStatements, ShortCircuitStatementsBecomeBranches) {
    const std::string text = compile_text("int g(void); void f(int a) { a && g(); }");
    EXPECT_TRUE(contains(text, "(CBRANCH (EXCLAIM:1 (NAME:1 1 0)) (LABEL 1))")) << text;
    EXPECT_FALSE(contains(text, "ANDAND")) << text;
}

} // namespace
} // namespace vx::cfront::testing
