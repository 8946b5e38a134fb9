// Inputs the fuzzer once found troublesome, replayed: each is read to the
// end or refused cleanly, and round-trips through the text form if shown.
#include "unit/icode/icode_test_support.h"

#include "fuzz/icode_input_check.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace vx::icode::testing {
namespace {

TEST(FuzzFindings, SavedInputsAreHandledCleanly) {
    std::filesystem::path folder =
        std::filesystem::path(VXOPT_SOURCE_DIR) / "tests/data/icode-crashes";
    int inputs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (!entry.is_regular_file() || entry.path().filename() == "README.md")
            continue;
        ++inputs;
        std::ifstream in(entry.path(), std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        SCOPED_TRACE(entry.path().filename().string());
        Outcome outcome = run_guarded([&] { fuzzing::check_icode_input(bytes.str()); });
        EXPECT_FALSE(outcome.stopped) << outcome.err;
    }
    EXPECT_GT(inputs, 0);
}

} // namespace
} // namespace vx::icode::testing
