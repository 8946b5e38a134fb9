// Every error: one message with the position, no output.
#include "cfront_test_helpers.h"

namespace vx::cfront::testing {
namespace {

struct BadProgram {
    const char* source;
    const char* message;
};

TEST(CfrontErrors, MessagesNameThePosition) {
    const BadProgram cases[] = {
        {"int f(void) { return x; }", "t.c:1:22: error: 'x' undeclared"},
        {"int f(void) { return g(); }", "t.c:1:22: error: implicit declaration of function 'g'"},
        {"union u { int a; };", "t.c:1:1: error: unions are not supported"},
        {"struct s { int a : 3; };", "t.c:1:18: error: bit-fields are not supported"},
        {"int f(void) { int a; a = ; }", "t.c:1:26: error: expected expression before ';'"},
        {"void f(void) { break; }", "t.c:1:16: error: break statement not within loop or switch"},
        {"int a; int a[2];", "t.c:1:12: error: conflicting types for 'a'"},
        {"void f(void) { goto nowhere; }", "label 'nowhere' used but not defined"},
        {"int f(int a) { return a(); }", "called object is not a function"},
        {"const int c = 1; void f(void) { c = 2; }", "assignment of a read-only location"},
        {"int f(void) { return \"x\" * 2; }", "invalid operands to binary *"},
        {"int a = 1 +;", "expected expression"},
        {"char c = '", "missing terminating ' character"},
        {"int f(int a, int b)", "expected ';'"},
    };
    for (const BadProgram& bad : cases) {
        const std::string message = compile_error(bad.source);
        EXPECT_TRUE(contains(message, bad.message)) << bad.source << "\n  gives: " << message;
    }
}

TEST(CfrontErrors, LineMarkersSetTheFile) {
    const std::string message = compile_error("# 1 \"t.c\"\nint a;\n# 7 \"inc.h\" 1\nint b = ;\n");
    EXPECT_EQ(message, "inc.h:7:9: error: expected expression before ';'");
}

} // namespace
} // namespace vx::cfront::testing
