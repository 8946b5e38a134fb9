// Globals, storage classes, initializers, blocks, structs.
#include "cfront_test_helpers.h"

namespace vx::cfront::testing {
namespace {

TEST(CfrontDeclarations, StorageClassesAndAttributes) {
    const std::string text = compile_text(
        "extern int e; int d; static int s; int f(void); static inline int g(void) { return 1; }"
        "int f(void) { return g(); }");
    EXPECT_TRUE(contains(text, "sym \"e\" size=16 class=5")) << text;
    EXPECT_TRUE(contains(text, "sym \"d\" size=16 class=2")) << text;
    EXPECT_TRUE(contains(text, "sym \"s\" size=16 class=3")) << text;
    EXPECT_TRUE(contains(text, "sym \"f\" class=2")) << text;
    EXPECT_TRUE(contains(text, "sym \"g\" class=3")) << text;
    EXPECT_TRUE(contains(text, "quals=256")) << text; // the inline qualifier
    EXPECT_TRUE(contains(text, "attr 49 \"C\"")) << text;
}

TEST(CfrontDeclarations, AggregateInitializersAreFlat) {
    const std::string text = compile_text(
        "struct p { int x; long y; }; struct p a[2] = {{1, 2}, {3}}; int *q = &a[1].x;");
    EXPECT_TRUE(contains(text, "init 0\n  (ICON:1 1)\n  (ICON:2 2)\n  (ICON:1 3)\n  (ICON:2 0)\n"))
        << text;
    EXPECT_TRUE(contains(text, "(PLUS:")) << text;
    EXPECT_TRUE(contains(text, "(ICON:1 4))")) << text; // a[1] is 4 words in
}

TEST(CfrontDeclarations, StructLayoutFollowsAlignment) {
    const std::string text = compile_text("struct s { int a; long b; int c; } v;");
    EXPECT_TRUE(contains(text, "field 1 \"b\" 3 offset=32")) << text;
    EXPECT_TRUE(contains(text, "field 2 \"c\" 2 offset=64")) << text;
    EXPECT_TRUE(contains(text, "complete=1 size=96 align=32")) << text;
}

TEST(CfrontDeclarations, NestedBlocksHaveTheirRecordsAndLevels) {
    const std::string text = compile_text(
        "int f(int p) { int a = p; { int b = a; { { int c = b; return c; } } } return a; }");
    EXPECT_TRUE(contains(text, "  block @1:1:")) << text;
    EXPECT_TRUE(contains(text, "(ASG:1 (NAME:1 3 2) (NAME:1 2 1))")) << text;
    // The middle block declares nothing, so c is one level further in.
    EXPECT_TRUE(contains(text, "(ASG:1 (NAME:1 4 3) (NAME:1 3 2))")) << text;
}

TEST(CfrontDeclarations, LocalStaticsLiveWithTheGlobals) {
    const std::string text = compile_text("int f(void) { static int n = 5; return n++; }");
    EXPECT_TRUE(contains(text, "sym \"n\" size=16 class=3")) << text;
    EXPECT_TRUE(contains(text, "attr 51 \"f\"")) << text;
    EXPECT_TRUE(contains(text, "init 1\n  (ICON:1 5)")) << text;
}

TEST(CfrontDeclarations, StructCopiesAndArguments) {
    const std::string text = compile_text(
        "struct s { int a; }; int g(struct s v); int f(struct s x) { struct s y; y = x; "
        "return g(y); }");
    EXPECT_TRUE(contains(text, "(STASG:")) << text;
    EXPECT_TRUE(contains(text, "(STARG:")) << text;
}

} // namespace
} // namespace vx::cfront::testing
