// The C programs of tests/c and examples: each is compiled with the
// target's headers, run by the interpreter, and its output compared with the
// output of the natively compiled program (tests/c/NAME.expected, or the
// "Expected output:" comment at the end of an example); then optimized with
// optvx -o3 and run again.
#include "cfront_test_helpers.h"
#include "icode/text/assembler.h"
#include "support/process_runner.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace vx::cfront::testing {
namespace {

namespace fs = std::filesystem;

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

// The program's output without the interpreter's summary line.
std::string without_summary(const std::string& out) {
    const size_t last = out.rfind("exit=");
    return last == std::string::npos ? out : out.substr(0, last);
}

// The names of the files with `extension` in `dir`, sorted.
std::vector<std::string> stems_in(const fs::path& dir, const std::string& extension) {
    std::vector<std::string> stems;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.path().extension() == extension)
            stems.push_back(entry.path().stem().string());
    std::sort(stems.begin(), stems.end());
    return stems;
}

// The lines of the "Expected output:" comment of an example, without their
// " * " margin.
std::string expected_output_comment(const std::string& source) {
    const size_t start = source.find("/* Expected output:\n");
    if (start == std::string::npos)
        return "";
    std::istringstream lines(source.substr(source.find('\n', start) + 1));
    std::string expected;
    for (std::string line; std::getline(lines, line) && line != " */";)
        expected += (line.starts_with(" * ") ? line.substr(3) : std::string()) + "\n";
    return expected;
}

// Compiles `source`, runs it, optimizes it at -o3 and runs that; both runs
// must print `expected`.
void check_program(const fs::path& source, const std::string& expected) {
    CompileOptions options;
    options.source = source.string();
    options.system_include_dir = (fs::path(VXOPT_SOURCE_DIR) / "tools/vxcc/include").string();
    const CompileResult result = compile(options);
    ASSERT_TRUE(result.ok) << result.message;
    vx::testing::ScratchDirectory scratch;
    scratch.write("prog.if", vx::icode::text::assemble(result.text));
    const vx::testing::ProcessResult run =
        vx::testing::run_process(ICTOOL_PATH, {"run", "prog.if"}, scratch.path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(without_summary(run.out), expected);
    const vx::testing::ProcessResult opt =
        vx::testing::run_process(OPTVX_PATH, {"-o3", "prog.if", "prog.o3"}, scratch.path());
    ASSERT_EQ(opt.status, 0) << opt.err;
    const vx::testing::ProcessResult again =
        vx::testing::run_process(ICTOOL_PATH, {"run", "prog.o3"}, scratch.path());
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(without_summary(again.out), expected);
    EXPECT_EQ(again.out.substr(without_summary(again.out).size(), 7), "exit=0 ");
}

const fs::path kTestsC = fs::path(VXOPT_SOURCE_DIR) / "tests" / "c";
const fs::path kExamples = fs::path(VXOPT_SOURCE_DIR) / "examples";

class CfrontPrograms : public ::testing::TestWithParam<std::string> {};

TEST_P(CfrontPrograms, PrintWhatTheNativeProgramPrints) {
    const std::string expected = read_file(kTestsC / (GetParam() + ".expected"));
    ASSERT_FALSE(expected.empty()) << "no " << GetParam() << ".expected";
    check_program(kTestsC / (GetParam() + ".c"), expected);
}

std::string stem_name(const ::testing::TestParamInfo<std::string>& info) {
    return info.param;
}

INSTANTIATE_TEST_SUITE_P(TestsC, CfrontPrograms, ::testing::ValuesIn(stems_in(kTestsC, ".c")),
                         stem_name);

class CfrontExamples : public ::testing::TestWithParam<std::string> {};

TEST_P(CfrontExamples, PrintTheirExpectedOutput) {
    const fs::path source = kExamples / (GetParam() + ".c");
    const std::string expected = expected_output_comment(read_file(source));
    ASSERT_FALSE(expected.empty()) << "no expected output in " << source;
    check_program(source, expected);
}

TEST(CfrontExamples, ExpectedOutputIsTheCommentWithoutItsMargin) {
    EXPECT_EQ(expected_output_comment("int x;\n/* Expected output:\n * a b\n *    7\n */\n"),
              "a b\n   7\n");
    EXPECT_EQ(expected_output_comment("int x;\n"), "");
}

INSTANTIATE_TEST_SUITE_P(Examples, CfrontExamples, ::testing::ValuesIn(stems_in(kExamples, ".c")),
                         stem_name);

} // namespace
} // namespace vx::cfront::testing
