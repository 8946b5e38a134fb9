// A thousand generated programs run to completion under the interpreter,
// in-process: the generator's promise of well-defined programs, checked on
// more seeds than the command-line tests can afford.
#include "support/ir_world.h"

#include "interp/program.h"
#include "progen/generator.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace vx::progen {
namespace {

TEST(GeneratedRuns, AThousandSmallSeedsRunToCompletion) {
    for (uint64_t seed = 1; seed <= 1000; ++seed) {
        auto package = vx::testing::fresh_ir_world();
        FILE* in = vx::testing::icode_stream(generate_program_text({seed, ProgramSize::small}));
        auto program = interp::read_program(in, "generated.icode", *package);
        ASSERT_NE(program, nullptr) << "seed " << seed;
        const interp::RunResult result = program->run({});
        EXPECT_EQ(result.status, interp::Status::completed)
            << "seed " << seed << ": " << result.fault_line();
        program.reset();
        std::fclose(in);
        vx::testing::drop_ir_world(package);
    }
}

} // namespace
} // namespace vx::progen
