// The interpreter on the optimizer's in-memory functions: read a file as the
// optimizer does, run a function, rewrite its body, run it again.
#include "icode/reader.h"
#include "icode/reader_client.h"
#include "icode/text/assembler.h"
#include "icode/writer.h"
#include "interp/program.h"
#include "ir/node_build.h"
#include "ir/symbol_table.h"
#include "ir/symbol_type_queries.h"
#include "ir/type_package.h"
#include "options/option_sets.h"
#include "support/ir_world.h"
#include "support/switches.h"
#include "support/termination.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

namespace vx::interp {
namespace {

// int f(int x) { if (x > 0) return 1; return 2; }   and   int g(void) { return f(3) + 40; }
const std::string kProgram = R"(icode -73 600 "t.c"
section main
func 0
  sym "x" size=16 class=9 type=1 align=16
  endparams
  endlocals
  stmt (CBRANCH (GT:1 (NAME:1 1 0) (ICON:1 0)) (LABEL 1))
  stmt (RETURN:1 (ICON:1 2) (NOP))
  label 1
  stmt (RETURN:1 (ICON:1 1) (NOP))
endfunc
func 1
  endparams
  endlocals
  stmt (RETURN:1 (PLUS:1 (CALL:1 0 0 (UAND:4 (NAME:2 0 0)) (ICON:1 3)) (ICON:1 40)) (NOP))
endfunc
section types
type 1 int explicit=1 size=16 align=16
type 2 func 1
type 2 list 0
  type 2 param 1 name="x"
type 2 endlist 0
type 3 func 1
type 3 list 0
type 3 endlist 0
type 4 ptr 2 size=32 align=32
section symbols
sym "f" class=2 type=2 align=16
sym "g" class=2 type=3 align=16
)";

class InMemory : public ::testing::Test {
protected:
    void SetUp() override { package_ = vx::testing::fresh_ir_world(); }
    void TearDown() override {
        functions_.clear();
        program_.reset();
        vx::testing::drop_ir_world(package_);
    }

    FILE* stream_of(const std::string& text) { return vx::testing::icode_stream(text); }

    // Reads `text` with the optimizer's reader client, as the driver does.
    void read_as_optimizer(const std::string& text) {
        auto reader = icode::IcodeReader::open(stream_of(text), "t.icode");
        ASSERT_NE(reader, nullptr);
        auto writer = icode::IcodeWriter::create(std::tmpfile(), "t.c");
        icode::OptimizerReaderClient client(*package_, *writer, [this](icode::FunctionRead&& f) {
            functions_.push_back(std::move(f));
        });
        reader->read_all(client);
        reader->close();
        program_ = std::make_unique<Program>();
        for (const icode::FunctionRead& function : functions_)
            program_->define_function(function);
    }

    RunResult run(const std::string& entry, std::vector<int64_t> args = {}) {
        RunRequest request;
        request.entry = entry;
        request.args = std::move(args);
        return program_->run(request);
    }

    icode::FunctionRead& function(const std::string& name) {
        for (icode::FunctionRead& f : functions_)
            if (f.symbol->name == name)
                return f;
        throw std::runtime_error("no function " + name);
    }

    std::unique_ptr<ir::TYPE_PKG> package_;
    std::vector<icode::FunctionRead> functions_;
    std::unique_ptr<Program> program_;
};

TEST_F(InMemory, RunsTheOptimizersFunctionsWithArguments) {
    read_as_optimizer(kProgram);
    EXPECT_EQ(run("f", {5}).exit_value, 1);
    EXPECT_EQ(run("f", {-5}).exit_value, 2);
    const RunResult g = run("g");
    EXPECT_EQ(g.status, Status::completed);
    EXPECT_EQ(g.exit_text, "41");
    EXPECT_EQ(g.summary_line(), "exit=41 ops=13 loads=1 stores=0 branches=1 calls=2");
}

// A pass's form of the same function: IF with both targets.
TEST_F(InMemory, RunsTheTwoTargetFormAfterABodyIsReplaced) {
    read_as_optimizer(kProgram);
    icode::FunctionRead& f = function("f");
    ir::TYPE* int_type = f.body.statements[0].tree->left->type;
    ir::NODE* x = f.body.statements[0].tree->left->left;
    ir::NODE* test = ir::make_binary(ir::GT, int_type, x, ir::make_icon(int_type, 0));
    ir::NODE* targets =
        ir::make_binary(ir::COLON, nullptr, ir::make_label_ref(7), ir::make_label_ref(8));
    auto ret = [&](int64_t v) {
        return ir::make_binary(ir::RETURN, int_type, ir::make_icon(int_type, v),
                               ir::make_node(ir::NOP, nullptr));
    };
    std::vector<ir::NODE*> body = {ir::make_binary(ir::IF, nullptr, test, targets),
                                   ir::make_label_def(8), ret(20), ir::make_label_def(7), ret(10)};
    program_->define_function(*f.symbol, *f.info, body);
    const RunResult taken = run("f", {1});
    EXPECT_EQ(taken.exit_value, 10);
    EXPECT_EQ(taken.counts.branches, 1u);
    // The false edge goes to the next statement: no branch is taken.
    const RunResult fallen = run("f", {0});
    EXPECT_EQ(fallen.exit_value, 20);
    EXPECT_EQ(fallen.counts.branches, 0u);
    EXPECT_EQ(run("g").exit_value, 50);
}

TEST_F(InMemory, ATreeRewrittenInPlaceIsSeenByTheNextRun) {
    read_as_optimizer(kProgram);
    EXPECT_EQ(run("g").exit_value, 41);
    ir::NODE* ret = function("g").body.statements[0].tree;
    ret->left->right->value = ir::Int96::from_signed(-1); // + 40 becomes + -1
    EXPECT_EQ(run("g").exit_value, 0);
}

TEST_F(InMemory, TheInterpretersOwnReaderKeepsTheFilesForms) {
    FILE* in = stream_of(kProgram);
    program_ = read_program(in, "t.icode", *package_);
    std::fclose(in);
    ASSERT_NE(program_, nullptr);
    EXPECT_TRUE(program_->defines("f"));
    EXPECT_FALSE(program_->defines("h"));
    EXPECT_EQ(run("g").summary_line(), "exit=41 ops=13 loads=1 stores=0 branches=1 calls=2");
}

TEST_F(InMemory, FaultsNameTheFunctionAndKeepTheOutputSoFar) {
    read_as_optimizer(kProgram);
    const RunResult missing = run("nothing");
    EXPECT_EQ(missing.status, Status::unknown_function);
    EXPECT_EQ(missing.fault_line(),
              "ictool run: fault: call of unknown function nothing in function nothing");
    RunRequest request;
    request.entry = "g";
    request.max_steps = 3;
    const RunResult limited = program_->run(request);
    EXPECT_EQ(limited.status, Status::step_limit);
    EXPECT_EQ(limited.function, "f");
}

TEST_F(InMemory, DepthLimitIsAStackOverflow) {
    read_as_optimizer(kProgram);
    RunRequest request;
    request.entry = "g";
    request.max_depth = 1;
    const RunResult result = program_->run(request);
    EXPECT_EQ(result.status, Status::bad_access);
    EXPECT_EQ(result.fault, "stack overflow");
}

TEST_F(InMemory, MalformedInputStopsTheReading) {
    const std::string bytes = icode::text::assemble(kProgram);
    FILE* in = std::tmpfile();
    std::fwrite(bytes.data(), 1, bytes.size() / 2, in);
    std::rewind(in);
    StopHandler previous = set_stop_handler(throwing_stop_handler);
    ::testing::internal::CaptureStderr();
    bool stopped = false;
    try {
        EXPECT_EQ(read_program(in, "t.icode", *package_), nullptr);
    } catch (const RunStopped& stop) {
        stopped = stop.status == 1;
    }
    ::testing::internal::GetCapturedStderr();
    set_stop_handler(previous);
    std::fclose(in);
    SUCCEED() << (stopped ? "stopped" : "refused");
}

} // namespace
} // namespace vx::interp
