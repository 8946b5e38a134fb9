// Enum types: one enum record per tag with its enumerators, used for every
// object, member, parameter and result declared with it, while the values
// take part in expressions as ints.
#include "cfront_test_helpers.h"
#include "icode/text/assembler.h"
#include "support/process_runner.h"

#include <filesystem>

namespace vx::cfront::testing {
namespace {

TEST(CfrontEnums, EachEnumIsARecordWithItsEnumerators) {
    const std::string text =
        compile_text("enum color { RED, GREEN = 5, BLUE };\nenum { LOW = -2, HIGH };\n");
    EXPECT_TRUE(contains(text, "type 1 int explicit=1 size=16 align=16\n"
                               "type 2 enum \"color\" size=16 align=16 under=1 @1:1:6\n"
                               "type 2 list 1\n"
                               "type 2 enumerator \"RED\" 0 @1:1:14\n"
                               "type 2 enumerator \"GREEN\" 5 @1:1:19\n"
                               "type 2 enumerator \"BLUE\" 6 @1:1:30\n"
                               "type 2 endlist 1\n"))
        << text;
    // An anonymous enum has an empty tag; the reader invents one.
    EXPECT_TRUE(contains(text, "type 3 enum \"\" size=16 align=16 under=1 @1:2:1\n"
                               "type 3 list 1\n"
                               "type 3 enumerator \"LOW\" -2 @1:2:8\n"
                               "type 3 enumerator \"HIGH\" -1 @1:2:18\n"))
        << text;
    EXPECT_FALSE(vx::icode::text::assemble(text).empty());
}

TEST(CfrontEnums, DeclarationsUseTheEnumType) {
    const std::string text =
        compile_text("enum color { RED, GREEN };\n"
                     "typedef enum { OFF, ON } state;\n"
                     "struct pixel { enum color c; state s; } px;\n"
                     "enum color g = GREEN;\n"
                     "enum color pick(enum color x, state s) { return s ? x : RED; }\n");
    EXPECT_TRUE(contains(text, "field 0 \"c\" 2 offset=0")) << text;
    EXPECT_TRUE(contains(text, "field 1 \"s\" 3 offset=16")) << text;
    EXPECT_TRUE(contains(text, "sym \"g\" size=16 class=2 type=2")) << text;
    EXPECT_TRUE(contains(text, "init 1\n  (ICON:2 1)\n")) << text;
    EXPECT_TRUE(contains(text, "sym \"x\" size=16 class=9 type=2")) << text;
    EXPECT_TRUE(contains(text, "sym \"s\" size=16 class=9 type=3")) << text;
    EXPECT_TRUE(contains(text, "func 2\n")) << text; // the result
    EXPECT_TRUE(contains(text, "param 2 name=\"x\"\n")) << text;
    EXPECT_TRUE(contains(text, "param 3 name=\"s\"\n")) << text;
}

TEST(CfrontEnums, ValuesAreIntsInExpressions) {
    const std::string text = compile_text("enum color { RED, GREEN = 5 };\n"
                                          "int f(enum color c, int i) {\n"
                                          "  enum color d = GREEN;\n"
                                          "  d = i;\n"
                                          "  switch (c) { case GREEN: return d + 1; }\n"
                                          "  return c == RED;\n"
                                          "}\n");
    // Constants are folded to the enum type, other values converted.
    EXPECT_TRUE(contains(text, "(ASG:2 (NAME:2 2 2) (ICON:2 5))")) << text;
    EXPECT_TRUE(contains(text, "(ASG:2 (NAME:2 2 2) (SCONV:2 (NAME:1 1 1)))")) << text;
    EXPECT_TRUE(contains(text, "(SWITCH 1 (SCONV:1 (NAME:2 1 0))")) << text;
    EXPECT_TRUE(contains(text, "(PLUS:1 (SCONV:1 (NAME:2 2 2)) (ICON:1 1))")) << text;
    EXPECT_TRUE(contains(text, "(EQ:1 (SCONV:1 (NAME:2 1 0)) (ICON:1 0))")) << text;
}

TEST(CfrontEnums, TagsAreCheckedLikeStructTags) {
    EXPECT_TRUE(contains(compile_error("enum e { A };\nenum e { B };"),
                         "t.c:2:6: error: redefinition of 'enum e'"));
    EXPECT_TRUE(contains(compile_error("enum e { A };\nstruct e *p;"),
                         "t.c:2:8: error: 'e' defined as wrong kind of tag"));
    EXPECT_TRUE(contains(compile_error("struct s { int a; };\nenum s x;"),
                         "t.c:2:6: error: 's' defined as wrong kind of tag"));
    EXPECT_TRUE(contains(compile_error("enum e { };"), "empty enum is invalid"));
    EXPECT_TRUE(contains(compile_error("enum e { A, A };"), "redeclaration of 'A'"));
    // A tag used before its enumerators are known is completed later.
    const std::string text = compile_text("enum e *p;\nenum e { A = 3 };\n");
    EXPECT_TRUE(contains(text, "enumerator \"A\" 3")) << text;
}

// Runs the program of tests/c/enums.c before and after optvx -o2: the
// interpreter must print the same lines.
TEST(CfrontEnums, ProgramRunsTheSameBeforeAndAfterOptimizing) {
    namespace fs = std::filesystem;
    CompileOptions options;
    options.source = (fs::path(VXOPT_SOURCE_DIR) / "tests/c/enums.c").string();
    options.system_include_dir = (fs::path(VXOPT_SOURCE_DIR) / "tools/vxcc/include").string();
    const CompileResult result = compile(options);
    ASSERT_TRUE(result.ok) << result.message;
    vx::testing::ScratchDirectory scratch;
    scratch.write("prog.if", vx::icode::text::assemble(result.text));
    const auto before = vx::testing::run_process(ICTOOL_PATH, {"run", "prog.if"}, scratch.path());
    ASSERT_EQ(before.status, 0) << before.err;
    const auto opt =
        vx::testing::run_process(OPTVX_PATH, {"-o2", "prog.if", "prog.o2"}, scratch.path());
    ASSERT_EQ(opt.status, 0) << opt.err;
    const auto after = vx::testing::run_process(ICTOOL_PATH, {"run", "prog.o2"}, scratch.path());
    ASSERT_EQ(after.status, 0) << after.err;
    const auto output = [](const std::string& out) { return out.substr(0, out.rfind("exit=")); };
    EXPECT_EQ(output(after.out), output(before.out));
    EXPECT_TRUE(contains(before.out, "blue blue\n")) << before.out;
    EXPECT_TRUE(contains(after.out, "\nexit=0 ")) << after.out;
}

} // namespace
} // namespace vx::cfront::testing
