// Whole programs run before and after every statement is tidied by the
// simplifier: output, exit value and faults must be the same, and the
// simplified functions must still pass the IR verifier.
#include "unit/scalar/read_functions.h"

#include "interp/program.h"
#include "ir/ir_verifier.h"
#include "progen/generator.h"
#include "scalar/simplifier.h"

#include <filesystem>

namespace vx::scalar {
namespace {

class SimplifiedPrograms : public testing::ReadWorld {
protected:
    interp::RunResult run(const std::string& entry = "main") {
        interp::Program program;
        for (const icode::FunctionRead& function : functions_)
            program.define_function(function);
        interp::RunRequest request;
        request.entry = entry;
        request.max_steps = 20'000'000;
        return program.run(request);
    }

    // Tidies every function; returns the number of statements before and
    // after.
    std::pair<size_t, size_t> tidy_all() {
        size_t before = 0, after = 0;
        for (icode::FunctionRead& function : functions_) {
            before += function.body.statements.size();
            tidy_statements(function.body.statements);
            after += function.body.statements.size();
            std::optional<std::string> problem = ir::verify_function(*function.info, function.body);
            EXPECT_FALSE(problem) << function.symbol->name << ": " << *problem;
        }
        return {before, after};
    }

    void expect_same_run(const std::string& label) {
        const interp::RunResult before = run();
        ASSERT_EQ(before.status, interp::Status::completed) << label << ": " << before.fault;
        EXPECT_FALSE(before.output.empty()) << label;
        tidy_all();
        const interp::RunResult after = run();
        EXPECT_EQ(after.status, before.status) << label << ": " << after.fault;
        EXPECT_EQ(after.output, before.output) << label;
        EXPECT_EQ(after.exit_text, before.exit_text) << label;
        EXPECT_LE(after.counts.ops, before.counts.ops) << label;
        EXPECT_LE(after.counts.stores, before.counts.stores) << label;
    }
};

TEST_F(SimplifiedPrograms, GeneratedProgramsBehaveTheSame) {
    for (uint64_t seed = 1; seed <= 150; ++seed) {
        if (seed > 1) {
            drop_world();
            fresh_world();
        }
        progen::GeneratorOptions options;
        options.seed = seed;
        read(progen::generate_program_text(options));
        expect_same_run("seed " + std::to_string(seed));
    }
}

TEST_F(SimplifiedPrograms, MediumGeneratedProgramsBehaveTheSame) {
    for (uint64_t seed = 100; seed <= 104; ++seed) {
        if (seed > 100) {
            drop_world();
            fresh_world();
        }
        progen::GeneratorOptions options;
        options.seed = seed;
        options.size = progen::ProgramSize::medium;
        read(progen::generate_program_text(options));
        expect_same_run("medium seed " + std::to_string(seed));
    }
}

TEST_F(SimplifiedPrograms, IntegerArithmeticAtEveryWidthBehavesTheSame) {
    const std::string path = std::string(VXOPT_SOURCE_DIR) + "/tests/data/interp/integers.ict";
    if (!std::filesystem::exists(path))
        GTEST_SKIP() << "no " << path;
    read(file_text(path));
    expect_same_run("integers.ict");
}

// Constant subexpressions with wrap-around and unsigned compares: the
// folded program prints the same numbers and evaluates fewer nodes.
TEST_F(SimplifiedPrograms, FoldedConstantsPrintTheSameValues) {
    read(R"(icode -73 600 "c.c"
section main
func 1
  endparams
  sym "a" size=16 class=1 type=1 align=16
  sym "u" size=16 class=1 type=2 align=16
  endlocals
  stmt (ASG:1 (NAME:1 2 0) (PLUS:1 (PLUS:1 (ICON:1 32767) (ICON:1 1)) (MULT:1 (ICON:1 3) (ICON:1 0))))
  stmt (ASG:2 (NAME:2 2 1) (SRL:2 (MINUS:2 (ICON:2 0) (ICON:2 2)) (ICON:1 1)))
  stmt (CALL:1 0 0 (UAND:8 (NAME:7 0 0)) (COMMA (UAND:4 (NAME:5 0 2)) (COMMA (NAME:1 2 0) (COMMA (SCONV:1 (NAME:2 2 1)) (ULT:1 (NAME:2 2 1) (ICON:2 0))))))
  stmt (PLUS:1 (NAME:1 2 0) (ICON:1 1))
  stmt (RETURN:1 (PLUS:1 (PLUS:1 (NAME:1 2 0) (ICON:1 32767)) (ICON:1 32767)) (NOP))
endfunc
section types
type 1 int explicit=1 size=16 align=16
type 2 uint size=16 align=16
type 3 char explicit=1 size=16 align=16
type 4 ptr 3 size=32 align=32
type 5 array 3 10 size=160 align=16 complete=1
type 6 func 1
type 6 list 0
type 6 endlist 0
type 7 func 1
type 7 list 0
  type 7 param 4 name="format"
type 7 endlist 0
type 8 ptr 7 size=32 align=32
section symbols
sym "printf" class=5 type=7 align=16
sym "main" class=2 type=6 align=16
sym "fmt" size=160 class=3 type=5 align=16
section init
init 2
  (SCON:5 "%d %d %d\n\0")
  (ENDINIT)
)");
    expect_same_run("constants");
}

} // namespace
} // namespace vx::scalar
