// The short form of the csmith differential test: scripts/csmith-diff.sh on
// fixed seeds, each program compiled by vxcc, run, optimized at -o0 ... -o3
// and run again with the same checksum.  The long form is
// `scripts/csmith-diff.sh 500`.  Skipped when csmith is not installed.
#include "support/process_runner.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

// Seeds whose programs all run to the end within the step limit; 8 and 16
// include backward gotos.
constexpr const char* kSeeds = "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20";
constexpr int kCsmithMissing = 77;

TEST(CsmithDiff, FixedSeedsPrintTheSameChecksumAtEveryLevel) {
    vx::testing::ScratchDirectory scratch;
    const std::string script = (fs::path(VXOPT_SOURCE_DIR) / "scripts/csmith-diff.sh").string();
    const vx::testing::ProcessResult run = vx::testing::run_process(
        "/usr/bin/env",
        {std::string("SEEDS=") + kSeeds, std::string("BUILD=") + VXOPT_BINARY_DIR,
         "WORK=" + (scratch / "work").string(), "/bin/sh", script},
        scratch.path());
    if (run.status == kCsmithMissing)
        GTEST_SKIP() << "csmith is not installed (apt-get install csmith): " << run.err;
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("csmith-diff: 20 passed, 0 failed, 0 skipped"), std::string::npos)
        << run.out;
}

} // namespace
