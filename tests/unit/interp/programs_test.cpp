// Whole programs through `ictool run`: the hand-written programs under
// tests/data/interp and the examples, each run as written and again after
// optvx, which must not change what they print or return.
//
// A program states what it expects in comment lines:
//   ; args: --entry f --arg 3     the command line after the file
//   ; expect: TEXT                one line of output, in order
//   ; exit: V                     the value in the summary line
//   ; status: N                   the exit status (default 0)
//   ; stderr: TEXT                the whole of standard error (one line)
#include "icode/text/assembler.h"
#include "support/process_runner.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace vx::interp {
namespace {

using vx::testing::ProcessResult;
using vx::testing::run_process;
using vx::testing::ScratchDirectory;

const std::string kIctool = ICTOOL_PATH;
const std::string kOptvx = OPTVX_PATH;
const std::filesystem::path kData = std::filesystem::path(VXOPT_SOURCE_DIR) / "tests/data/interp";

struct Expectation {
    std::vector<std::string> args;
    std::string output;
    std::string exit = "0";
    int status = 0;
    std::optional<std::string> err;
};

std::string read_text(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

Expectation expectation_of(const std::string& text) {
    Expectation expected;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        auto value = [&](const char* key) -> std::optional<std::string> {
            const std::string prefix = std::string("; ") + key + ":";
            if (!line.starts_with(prefix))
                return std::nullopt;
            std::string rest = line.substr(prefix.size());
            return rest.starts_with(" ") ? rest.substr(1) : rest;
        };
        if (auto v = value("expect"))
            expected.output += *v + "\n";
        else if (auto v = value("exit"))
            expected.exit = *v;
        else if (auto v = value("status"))
            expected.status = std::stoi(*v);
        else if (auto v = value("stderr"))
            expected.err = *v + "\n";
        else if (auto v = value("args")) {
            std::istringstream words(*v);
            for (std::string word; words >> word;)
                expected.args.push_back(word);
        }
    }
    return expected;
}

// The output without the summary line, which is checked apart.
void check_run(const ProcessResult& run, const Expectation& expected, const std::string& what) {
    EXPECT_EQ(run.status, expected.status) << what << "\n" << run.err;
    if (expected.err) {
        EXPECT_EQ(run.err, *expected.err) << what;
    }
    if (expected.status != 0) {
        EXPECT_EQ(run.out, expected.output) << what;
        return;
    }
    const size_t last = run.out.rfind("exit=");
    ASSERT_NE(last, std::string::npos) << what << "\n" << run.out;
    EXPECT_EQ(run.out.substr(0, last), expected.output) << what;
    EXPECT_EQ(run.out.substr(last, run.out.find(' ', last) - last), "exit=" + expected.exit)
        << what;
}

class Programs : public ::testing::TestWithParam<std::string> {};

TEST_P(Programs, RunAsWrittenAndAfterTheOptimizer) {
    const std::string text = read_text(kData / GetParam());
    const Expectation expected = expectation_of(text);
    ScratchDirectory dir;
    dir.write("p.icode", icode::text::assemble(text));
    std::vector<std::string> args = {"run", "p.icode"};
    args.insert(args.end(), expected.args.begin(), expected.args.end());
    const ProcessResult before = run_process(kIctool, args, dir.path());
    check_run(before, expected, GetParam());

    ProcessResult optimized = run_process(kOptvx, {"p.icode", "p.opt"}, dir.path());
    ASSERT_EQ(optimized.status, 0) << optimized.err;
    args[1] = "p.opt";
    const ProcessResult after = run_process(kIctool, args, dir.path());
    check_run(after, expected, GetParam() + " after optvx");
}

std::vector<std::string> program_names() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(kData))
        if (entry.path().extension() == ".ict")
            names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

INSTANTIATE_TEST_SUITE_P(Interp, Programs, ::testing::ValuesIn(program_names()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param.substr(0, info.param.find('.'));
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return name;
                         });

// ---- The examples ------------------------------------------------------------------------

struct ExampleRun {
    std::string example;
    std::vector<std::string> args;
    int status;
    std::string out_or_err;
};

class Examples : public ::testing::TestWithParam<ExampleRun> {};

TEST_P(Examples, RunTheSameAfterTheOptimizer) {
    const ExampleRun& run = GetParam();
    ScratchDirectory dir;
    const std::string text =
        read_text(std::filesystem::path(VXOPT_SOURCE_DIR) / "examples" / (run.example + ".ict"));
    dir.write("e.icode", icode::text::assemble(text));
    ASSERT_EQ(run_process(kOptvx, {"e.icode", "e.opt"}, dir.path()).status, 0);
    // The optimizer may change the counts, never the output or the value.
    auto without_counts = [](const std::string& text) {
        return text.substr(0, text.find(" ops="));
    };
    for (const char* file : {"e.icode", "e.opt"}) {
        std::vector<std::string> args = {"run", file};
        args.insert(args.end(), run.args.begin(), run.args.end());
        const ProcessResult result = run_process(kIctool, args, dir.path());
        EXPECT_EQ(result.status, run.status) << file << result.err;
        const std::string& got = run.status == 0 ? result.out : result.err;
        if (std::string(file) == "e.icode")
            EXPECT_EQ(got, run.out_or_err) << file;
        else
            EXPECT_EQ(without_counts(got), without_counts(run.out_or_err)) << file;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Interp, Examples,
    ::testing::Values(
        ExampleRun{"classify",
                   {"--entry", "classify", "--arg", "1"},
                   0,
                   "exit=20 ops=8 loads=2 stores=1 branches=2 calls=1\n"},
        ExampleRun{"classify",
                   {"--entry", "classify", "--arg", "7"},
                   5,
                   "ictool run: fault: call of unknown function report in function classify\n"},
        ExampleRun{"sum",
                   {"--entry", "sum", "--arg", "0", "--arg", "0"},
                   0,
                   "exit=0 ops=13 loads=3 stores=2 branches=1 calls=1\n"},
        ExampleRun{"point",
                   {"--entry", "norm", "--arg", "0"},
                   4,
                   "ictool run: fault: memory access outside every object in function norm\n"}));

} // namespace
} // namespace vx::interp
