// The input file as optvx reads it (mapped when it can be): a run whose
// output or listing is the input file itself gives what a run with
// separate files gives, and a file cut short anywhere is reported, never a
// fault.
#include "icode/text/assembler.h"
#include "support/process_runner.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

using vx::testing::run_process;
using vx::testing::ScratchDirectory;

const std::string kOptvx = OPTVX_PATH;

// Enough functions that the file spans many pages.
std::string many_functions(int count) {
    std::string text = "icode -73 600 \"m.c\"\nsection main\n";
    for (int f = 0; f < count; ++f) {
        text += "func " + std::to_string(f) + " @1:" + std::to_string(f + 1) + ":1\n";
        text += "  sym \"x\" size=16 class=9 type=1 align=16 @1:1:9\n  endparams\n";
        text += "  sym \"y\" size=16 class=1 type=1 align=16 @1:1:9\n  endlocals\n";
        for (int s = 0; s < 20; ++s)
            text += "  stmt @1:" + std::to_string(s + 2) +
                    ":5 (ASG:1 (NAME:1 2 1) (PLUS:1 (NAME:1 1 0) (ICON:1 " + std::to_string(s) +
                    ")))\n";
        text += "  stmt (RETURN:1 (NAME:1 2 1) (NOP))\nendfunc\n";
    }
    text += "section types\ntype 1 int explicit=1 size=16 align=16\n"
            "type 2 func 1\ntype 2 list 0\n  type 2 param 1 name=\"x\"\ntype 2 endlist 0\n"
            "section files\nfile \"m.c\"\nsection symbols\n";
    for (int f = 0; f < count; ++f)
        text += "sym \"f" + std::to_string(f) + "\" class=2 type=2 align=16\n";
    return text;
}

class InputFile : public ::testing::Test {
protected:
    void SetUp() override {
        input = vx::icode::text::assemble(many_functions(200));
        ASSERT_GT(input.size(), 32u * 4096);
        dir.write("ref.if", input);
        auto r = optvx({"-o0", "ref.if", "ref.out"});
        ASSERT_EQ(r.status, 0) << r.err;
        reference = dir.read("ref.out");
    }
    vx::testing::ProcessResult optvx(std::vector<std::string> args) {
        return run_process(kOptvx, args, dir.path());
    }

    ScratchDirectory dir;
    std::string input;
    std::string reference;
};

TEST_F(InputFile, OutputThatIsTheInputGetsTheSameBytes) {
    dir.write("self.if", input);
    auto r = optvx({"-o0", "self.if", "self.if"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.read("self.if"), reference);

    // Through a hard link, a symbolic link, and as the default output name.
    dir.write("linked.if", input);
    std::filesystem::create_hard_link(dir / "linked.if", dir / "hard.if");
    r = optvx({"-o0", "linked.if", "hard.if"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.read("hard.if"), reference);

    dir.write("target.if", input);
    std::filesystem::create_symlink("target.if", dir / "symbolic.if");
    r = optvx({"-o0", "target.if", "symbolic.if"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.read("target.if"), reference);

    dir.write("named.opt", input);
    r = optvx({"-o0", "named.opt"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.read("named.opt"), reference);
}

TEST_F(InputFile, ListingsThatAreTheInputLeaveTheOutputAsItWas) {
    dir.write("plain.if", input);
    auto r = optvx({"-o0", "--debug_output=1", "plain.if", "plain.out"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string expected = dir.read("plain.out");

    dir.write("log.odb", input); // the debug log's name is the input's
    r = optvx({"-o0", "--debug_output=1", "log.odb", "log.out"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.read("log.out"), expected);

    dir.write("info.nfo", input); // and so is the information file's
    r = optvx({"-o3", "--info=1", "info.nfo", "info.out"});
    EXPECT_EQ(r.status, 0) << r.err;
    dir.write("info3.if", input);
    r = optvx({"-o3", "--info=1", "info3.if", "info3.out"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.read("info.out"), dir.read("info3.out"));
}

TEST_F(InputFile, FileCutShortIsReportedAndLeavesNoOutput) {
    for (size_t length : {input.size() / 3, input.size() / 2 + 7, input.size() - 1}) {
        dir.write("cut.if", input.substr(0, length));
        auto r = optvx({"-o0", "cut.if", "cut.out"});
        EXPECT_EQ(r.status, 1) << length << ": " << r.err;
        EXPECT_NE(r.err.find(">> I-code error at 0x"), std::string::npos) << r.err;
        EXPECT_FALSE(dir.exists("cut.out"));
    }
}

} // namespace
