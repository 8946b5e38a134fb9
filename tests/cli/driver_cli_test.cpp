// The optimizer as the compiler driver sees it: command line, files,
// messages on standard error and exit statuses.
#include "support/icode_samples.h"
#include "support/process_runner.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using vx::testing::empty_icode_file;
using vx::testing::run_process;
using vx::testing::ScratchDirectory;

const std::string kOptvx = OPTVX_PATH;

class DriverCli : public ::testing::Test {
protected:
    vx::testing::ProcessResult optvx(std::vector<std::string> args) {
        return run_process(kOptvx, args, dir.path());
    }
    void write_input(const std::string& name = "prog.if") { dir.write(name, empty_icode_file()); }

    ScratchDirectory dir;
};

TEST_F(DriverCli, NoArgumentPrintsUsage) {
    auto r = optvx({});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Usage: " + kOptvx + " [-options] filename\n");
    EXPECT_EQ(r.out, "");
}

TEST_F(DriverCli, HelpPrintsTwoLinesAndSucceeds) {
    auto r = optvx({"-?"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Usage: optvx [-options] filename\n\n"
                     "This tool is designed to be invoked by the compiler.\n");
    EXPECT_EQ(r.err, "");
}

TEST_F(DriverCli, MissingInputFile) {
    auto r = optvx({"missing.if"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "\n>> Cannot Open Input icode File, missing.if : No such file or "
                     "directory, Aborting\n");
    EXPECT_FALSE(dir.exists("missing.opt"));
}

TEST_F(DriverCli, ThreePositionalArgumentsAreGarbage) {
    write_input();
    auto r = optvx({"prog.if", "out.if", "third"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "\n>>>> OPTIMIZER ERROR: Garbage on command line\n\n");
    EXPECT_FALSE(dir.exists("out.if"));
}

TEST_F(DriverCli, FourthPositionalArgumentIsReportedFirst) {
    write_input();
    auto r = optvx({"prog.if", "out.if", "third", "fourth"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "\n>>>> OPTIMIZER ERROR: Unexpected options: prog.if out.if fourth\n"
                     "\n>>>> OPTIMIZER ERROR: Garbage on command line\n\n");
}

TEST_F(DriverCli, BadHeaderLeavesNoOutput) {
    dir.write("bad.if", "not an icode file at all");
    auto r = optvx({"bad.if"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "\n>> Error when opening input icode file : bad.if, Aborting\n");
    EXPECT_FALSE(dir.exists("bad.opt"));
}

TEST_F(DriverCli, EmptyAndTruncatedFilesAreBadHeaders) {
    dir.write("empty.if", "");
    std::string whole = empty_icode_file();
    dir.write("cut.if", whole.substr(0, 20));
    for (std::string name : {"empty.if", "cut.if"}) {
        auto r = optvx({name});
        EXPECT_EQ(r.status, 1) << name;
        EXPECT_EQ(r.err, "\n>> Error when opening input icode file : " + name + ", Aborting\n");
    }
}

TEST_F(DriverCli, DefaultOutputReplacesTheExtension) {
    write_input("dir.v1.prog.if");
    auto r = optvx({"dir.v1.prog.if"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(dir.read("dir.v1.prog.opt"), empty_icode_file());
}

TEST_F(DriverCli, SecondPositionalNamesTheOutput) {
    write_input();
    auto r = optvx({"prog.if", "result.if"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.read("result.if"), empty_icode_file());
    EXPECT_EQ(dir.read("prog.if"), empty_icode_file());
}

TEST_F(DriverCli, OutputThatCannotBeOpened) {
    write_input();
    auto r = optvx({"prog.if", "no/such/dir/out.if"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "\n>> Cannot Open Output icode File, no/such/dir/out.if : No such file or "
                     "directory, Aborting\n");
}

TEST_F(DriverCli, DebugLogThatCannotBeOpened) {
    write_input();
    std::filesystem::create_directory(dir / "prog.odb");
    auto r = optvx({"--debug_output=1", "prog.if"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "\n>> Cannot Open Debug File, prog.odb : Is a directory, Aborting\n");
    EXPECT_FALSE(dir.exists("prog.opt"));
}

TEST_F(DriverCli, InfoFileThatCannotBeOpened) {
    write_input();
    auto r = optvx({"-o3", "--info=1", "--info_file=no/dir/x.nfo", "prog.if"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "\n>> Cannot Open Info File, no/dir/x.nfo : No such file or directory, "
                     "Aborting\n");
    EXPECT_FALSE(dir.exists("prog.opt"));
}

// An output that is not a regular file (here a pipe; /dev/null in
// practice) is not the run's to remove when it ends abnormally.
TEST_F(DriverCli, AnOutputThatIsNoRegularFileIsNotRemoved) {
    write_input();
    const std::string pipe = (dir / "out.pipe").string();
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    // Holding both ends keeps the run's open from waiting for a reader.
    const int held = open(pipe.c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(held, 0);
    auto r = optvx({"--debug=fail_check", "prog.if", "out.pipe"});
    close(held);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(dir.exists("out.pipe"));
}

TEST_F(DriverCli, DebugLogFramesTheRun) {
    write_input();
    auto r = optvx({"--debug_output=1", "prog.if"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::string log = dir.read("prog.odb");
    EXPECT_NE(log.find("DVE Unit Test #1\nDVE Unit Test #2\nDVE Unit Test #3\n"),
              std::string::npos);
    EXPECT_NE(log.find("Option set 0 (file-level options):\n\t--debug_output=1\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("\n\fGlobal symbols\n\n"), std::string::npos);
    EXPECT_TRUE(log.ends_with("\n== END OF DEBUG OUTPUT==\n")) << log;
    // Tracing switches the info file on.
    std::string info = dir.read("prog.nfo");
    EXPECT_TRUE(info.starts_with("Vexar C/C++ Optimizer")) << info;
    EXPECT_NE(info.find("\nBuild Number "), std::string::npos);
    EXPECT_TRUE(info.ends_with("\n== END OF INFO OUTPUT==\n")) << info;
}

TEST_F(DriverCli, InfoFileOnlyFromLevelThree) {
    write_input();
    ASSERT_EQ(optvx({"-o2", "--info=1", "prog.if"}).status, 0);
    EXPECT_FALSE(dir.exists("prog.nfo"));
    ASSERT_EQ(optvx({"-o3", "--info=1", "prog.if"}).status, 0);
    EXPECT_TRUE(dir.exists("prog.nfo"));
    ASSERT_EQ(optvx({"-o3", "--info=1", "--info_file=named.nfo", "prog.if"}).status, 0);
    EXPECT_TRUE(dir.exists("named.nfo"));
}

TEST_F(DriverCli, SizeGoalIsAnnouncedWhenTracing) {
    write_input();
    auto r = optvx({"--debug_output=1", "--opt_for_speed=2", "prog.if"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "\n\t*** Optimizing code size, not speed ***\n\n");
}

TEST_F(DriverCli, VolatileWarning) {
    write_input();
    auto r = optvx({"--volatile_all", "prog.if"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "\n>>>> Warning: All non-auto lvalues are considered VOLATILE.\n\n");
}

TEST_F(DriverCli, OptionErrorsEndTheRunWithStatusOne) {
    write_input();
    struct Case {
        std::string option;
        std::string message;
    } cases[] = {
        {"--debug_output=-1", "error: argument to option --debug_output (-1) is out of range "
                              "(must be a\n   non-negative_number)\n"},
        {"-oi99999999999999999999",
         "error: argument to option -oi (99999999999999999999) is out of range\n"},
        {"--opt_level=7", "error: bad argument to option --opt_level: should be one of {0, 1, 2, "
                          "3, 4}\n"},
        {"--nonsense", "fatal error: invalid option:  --nonsense\n"},
    };
    for (const Case& c : cases) {
        auto r = optvx({c.option, "prog.if"});
        EXPECT_EQ(r.status, 1) << c.option;
        EXPECT_EQ(r.err, c.message);
        EXPECT_FALSE(dir.exists("prog.opt")) << c.option;
    }
}

TEST_F(DriverCli, UpperCaseOptionIsAcceptedWithAWarning) {
    write_input();
    auto r = optvx({"-O2", "prog.if"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "warning: Case insensitivity of options has been deprecated; -O must be "
                     "written\n   as -o in future releases\n");
}

TEST_F(DriverCli, MessageNumbersOnRequest) {
    write_input();
    auto r = optvx({"--diag_numbers", "--opt_for_speed=8", "prog.if"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.starts_with("error #24015-D: bad argument to option --opt_for_speed"))
        << r.err;
}

const char kSupportTail[] =
    "This is caused by a defect in the Korvane C/C++ Optimizer.\n"
    "Korvane Customer Support may be able to suggest a workaround to avoid this.\n\n"
    "Upgrading to the newest version of the compiler may fix this problem.\n\n";

TEST_F(DriverCli, FatalSignalGivesTheInternalErrorReport) {
    write_input();
    auto r = optvx({"--debug=raise_signal=11", "prog.if"});
    EXPECT_EQ(r.status, 2);
    std::string head = "\nINTERNAL ERROR: " + kOptvx +
                       " experienced a segmentation fault\n"
                       "                  while processing function <unknown> file prog.if\n\n";
    EXPECT_TRUE(r.err.starts_with(head + kSupportTail)) << r.err;
    EXPECT_TRUE(
        r.err.ends_with("Include the .pp file created by option --preproc_with_comment\n\n"))
        << r.err;
    EXPECT_FALSE(dir.exists("prog.opt"));
}

TEST_F(DriverCli, FatalSignalIsNotedInTheListings) {
    write_input();
    auto r = optvx({"--debug_output=1", "--debug=raise_signal=8", "prog.if"});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(dir.read("prog.odb").ends_with("\n>>>> Optimizer terminated by signal: SIGFPE.\n"));
    EXPECT_TRUE(dir.read("prog.nfo").ends_with("\n>>>> Optimizer terminated by signal: SIGFPE.\n"));
}

TEST_F(DriverCli, InterruptIsAForcedExit) {
    write_input();
    auto r = optvx({"--debug=raise_signal=2", "prog.if"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "[" + kOptvx + " forced exit]\n");
}

TEST_F(DriverCli, FailedConsistencyCheckEndsAbnormally) {
    write_input();
    auto r = optvx({"--debug=fail_check", "prog.if"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "\n>>>> Optimizer terminated abnormally\n");
    EXPECT_FALSE(dir.exists("prog.opt"));
}

TEST_F(DriverCli, DebugAbortTurnsTheAbnormalEndIntoStatusThree) {
    write_input();
    auto r = optvx({"--debug=fail_check,abort", "prog.if"});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.err, "\n>>>> Optimizer terminated abnormally\n");
    EXPECT_FALSE(dir.exists("prog.opt"));
}

} // namespace
