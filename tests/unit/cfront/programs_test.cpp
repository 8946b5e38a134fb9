// The C programs of tests/c: each is compiled with the target's headers,
// run by the interpreter, and its output compared with the saved output of
// the natively compiled program.
#include "cfront_test_helpers.h"
#include "icode/text/assembler.h"
#include "support/process_runner.h"

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

class CfrontPrograms : public ::testing::TestWithParam<std::string> {};

TEST_P(CfrontPrograms, PrintWhatTheNativeProgramPrints) {
    const fs::path dir = fs::path(VXOPT_SOURCE_DIR) / "tests" / "c";
    CompileOptions options;
    options.source = (dir / (GetParam() + ".c")).string();
    options.system_include_dir = (fs::path(VXOPT_SOURCE_DIR) / "tools/vxcc/include").string();
    const CompileResult result = compile(options);
    ASSERT_TRUE(result.ok) << result.message;
    vx::testing::ScratchDirectory scratch;
    scratch.write("prog.if", vx::icode::text::assemble(result.text));
    const vx::testing::ProcessResult run =
        vx::testing::run_process(ICTOOL_PATH, {"run", "prog.if"}, scratch.path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(without_summary(run.out), read_file(dir / (GetParam() + ".expected")));
    // The optimizer accepts the file and the optimized program agrees.
    const vx::testing::ProcessResult opt =
        vx::testing::run_process(OPTVX_PATH, {"-o3", "prog.if", "prog.o3"}, scratch.path());
    ASSERT_EQ(opt.status, 0) << opt.err;
    const vx::testing::ProcessResult again =
        vx::testing::run_process(ICTOOL_PATH, {"run", "prog.o3"}, scratch.path());
    EXPECT_EQ(again.out, run.out);
}

INSTANTIATE_TEST_SUITE_P(TestsC, CfrontPrograms,
                         ::testing::Values("arith", "pointers", "structs", "recursion", "control",
                                           "strings"));

} // namespace
} // namespace vx::cfront::testing
