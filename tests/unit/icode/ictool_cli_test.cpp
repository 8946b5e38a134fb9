// The ictool program as a user sees it: files, messages, statuses.
#include "unit/icode/icode_test_support.h"

#include "support/process_runner.h"

#include <gtest/gtest.h>

namespace vx::icode::testing {
namespace {

using vx::testing::run_process;
using vx::testing::ScratchDirectory;

const std::string kIctool = ICTOOL_PATH;
const std::string kExample = std::string(VXOPT_SOURCE_DIR) + "/examples/sum.ict";

class Ictool : public ::testing::Test {
protected:
    vx::testing::ProcessResult ictool(std::vector<std::string> args) {
        return run_process(kIctool, args, dir.path());
    }
    ScratchDirectory dir;
};

TEST_F(Ictool, AssemblesAndDisassemblesBackToTheSameBytes) {
    auto made = ictool({"asm", kExample, "-o", "sum.icode"});
    ASSERT_EQ(made.status, 0) << made.err;
    auto shown = ictool({"dis", "sum.icode"});
    ASSERT_EQ(shown.status, 0) << shown.err;
    EXPECT_EQ(shown.out.rfind("icode -73 600 \"sum.c\"\nsection main\nfunc 1 @1:3:5\n", 0), 0u);
    dir.write("again.ict", shown.out);
    ASSERT_EQ(ictool({"asm", "again.ict", "-o", "again.icode"}).status, 0);
    EXPECT_EQ(dir.read("again.icode"), dir.read("sum.icode"));
    ASSERT_EQ(ictool({"dis", "again.icode", "-o", "again.txt"}).status, 0);
    EXPECT_EQ(dir.read("again.txt"), shown.out);
}

TEST_F(Ictool, AMistakeNamesFileAndLineAndLeavesNoOutput) {
    dir.write("bad.ict", "icode\nlabel 1\nfrob 2\n");
    dir.write("bad.icode", "stale");
    auto result = ictool({"asm", "bad.ict", "-o", "bad.icode"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "bad.ict:3: unknown keyword 'frob'\n");
    EXPECT_FALSE(dir.exists("bad.icode"));
    EXPECT_FALSE(dir.exists("bad.icode.part"));
}

TEST_F(Ictool, RefusesFilesThatAreNotICode) {
    dir.write("junk.bin", "junk");
    auto result = ictool({"dis", "junk.bin"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "ictool: junk.bin: not an I-code file this program reads: the first "
                          "record is not a header (kind 8)\n");
    EXPECT_EQ(ictool({"dis", "missing.icode"}).err, "ictool: cannot read missing.icode\n");
}

TEST_F(Ictool, MalformedRecordsStopWithTheirMessageAndNoText) {
    StreamParts parts;
    parts.main = std::string("\x2e\x01\x00\x2a\x01\x05", 6);
    dir.write("broken.icode", build_stream(parts));
    auto result = ictool({"dis", "broken.icode"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "\n>> I-code error at 0x2f: a tree node is due, found a record of kind "
                          "42\n\nINTERNAL ERROR: Invalid I-code record, aborting\n");
}

TEST_F(Ictool, WrongCommandLinesPrintTheUsage) {
    for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
             {}, {"asm", "x.ict"}, {"frob", "x"}, {"dis"}, {"dis", "a", "b"}}) {
        auto result = ictool(args);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err.rfind("usage: ictool dis FILE", 0), 0u);
    }
}

} // namespace
} // namespace vx::icode::testing
