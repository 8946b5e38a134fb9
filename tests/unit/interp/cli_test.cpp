// `ictool run` as a user meets it: the command line, files that cannot be
// run, the summary line.
#include "icode/text/assembler.h"
#include "support/process_runner.h"

#include <gtest/gtest.h>

namespace vx::interp {
namespace {

using vx::testing::ProcessResult;
using vx::testing::run_process;
using vx::testing::ScratchDirectory;

const std::string kIctool = ICTOOL_PATH;
const std::string kUsageStart = "usage: ictool dis FILE";

// int main(int n) { return n * 2; }
const std::string kDouble = R"(icode -73 600 "d.c"
section main
func 0
  sym "n" size=16 class=9 type=1 align=16
  endparams
  endlocals
  stmt (RETURN:1 (MULT:1 (NAME:1 1 0) (ICON:1 2)) (NOP))
endfunc
section types
type 1 int explicit=1 size=16 align=16
type 2 func 1
type 2 list 0
  type 2 param 1 name="n"
type 2 endlist 0
section symbols
sym "main" class=2 type=2 align=16
)";

class RunCommand : public ::testing::Test {
protected:
    void SetUp() override { dir.write("d.icode", icode::text::assemble(kDouble)); }
    ProcessResult run(std::vector<std::string> args) {
        args.insert(args.begin(), "run");
        return run_process(kIctool, args, dir.path());
    }
    ScratchDirectory dir;
};

TEST_F(RunCommand, PassesArgumentsAndPrintsTheSummary) {
    ProcessResult result = run({"d.icode", "--arg", "21"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "exit=42 ops=4 loads=1 stores=0 branches=0 calls=1\n");
    EXPECT_EQ(run({"d.icode", "--arg", "-0x10"}).out.substr(0, 8), "exit=-32");
    // The argument is converted to the parameter's 16 bits.
    EXPECT_EQ(run({"d.icode", "--arg", "65537"}).out.substr(0, 7), "exit=2 ");
    EXPECT_EQ(run({"d.icode", "--entry", "main"}).out.substr(0, 7), "exit=0 ");
}

TEST_F(RunCommand, CommandLineMistakesPrintTheUsage) {
    for (const auto& args : std::vector<std::vector<std::string>>{{},
                                                                  {"d.icode", "--arg"},
                                                                  {"d.icode", "--arg", "x"},
                                                                  {"d.icode", "--max-steps", "-1"},
                                                                  {"d.icode", "--frobnicate"},
                                                                  {"d.icode", "e.icode"}}) {
        ProcessResult result = run(args);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err.rfind(kUsageStart, 0), 0u) << result.err;
        EXPECT_EQ(result.out, "");
    }
}

TEST_F(RunCommand, FilesThatCannotBeRunEndWithStatusOne) {
    ProcessResult missing = run({"missing.icode"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "ictool run: cannot read missing.icode\n");

    dir.write("junk.icode", "junk");
    ProcessResult junk = run({"junk.icode"});
    EXPECT_EQ(junk.status, 1);
    EXPECT_EQ(junk.err, "ictool run: junk.icode is not an I-code file this program reads\n");

    ProcessResult no_entry = run({"d.icode", "--entry", "other"});
    EXPECT_EQ(no_entry.status, 1);
    EXPECT_EQ(no_entry.err, "ictool run: d.icode defines no function other\n");
}

TEST_F(RunCommand, MalformedRecordsEndWithTheReadersMessages) {
    std::string text = kDouble;
    text.replace(text.find("  endlocals\n"), 12, "  endlocals\n  raw 2e 01 00 2a 01 05\n");
    dir.write("bad.icode", icode::text::assemble(text));
    ProcessResult result = run({"bad.icode"});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find(">> I-code error at 0x"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("ictool run: bad.icode is malformed\n"), std::string::npos);
    EXPECT_EQ(result.out, "");
}

} // namespace
} // namespace vx::interp
