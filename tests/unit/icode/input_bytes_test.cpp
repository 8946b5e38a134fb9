// The input's bytes, mapped or read: the same bytes either way, from the
// stream's position on, and still there after the file is cut short once
// they are kept in memory.
#include "icode/input_bytes.h"
#include "support/process_runner.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace vx::icode {
namespace {

using vx::testing::ScratchDirectory;

// Several pages and a piece, so that the end does not fall on a page.
std::string sample_bytes() {
    std::string bytes;
    for (int i = 0; bytes.size() < 3 * 4096 + 123; ++i)
        bytes += "record " + std::to_string(i) + ";";
    return bytes;
}

std::string view_of(const InputBytes& bytes) {
    return std::string(bytes.data(), bytes.size());
}

class InputBytesTest : public ::testing::Test {
protected:
    FILE* open_sample(const std::string& bytes) {
        dir.write("in.icode", bytes);
        FILE* in = std::fopen((dir / "in.icode").c_str(), "rb");
        EXPECT_NE(in, nullptr);
        return in;
    }

    ScratchDirectory dir;
};

TEST_F(InputBytesTest, MappedAndReadBytesAreTheSameFromTheStreamPosition) {
    const std::string sample = sample_bytes();
    for (long start : {0L, 1L, 4096L, static_cast<long>(sample.size()) - 1}) {
        for (InputAccess access : {InputAccess::read, InputAccess::map_if_possible}) {
            FILE* in = open_sample(sample);
            ASSERT_EQ(std::fseek(in, start, SEEK_SET), 0);
            InputBytes bytes;
            ASSERT_TRUE(bytes.take(in, access));
            EXPECT_EQ(bytes.mapped(), access == InputAccess::map_if_possible);
            EXPECT_EQ(view_of(bytes), sample.substr(static_cast<size_t>(start)));
            std::fclose(in);
        }
    }
}

TEST_F(InputBytesTest, EmptyFilesAndPipesAreRead) {
    FILE* empty = open_sample("");
    InputBytes none;
    ASSERT_TRUE(none.take(empty, InputAccess::map_if_possible));
    EXPECT_FALSE(none.mapped());
    EXPECT_EQ(none.size(), 0u);
    std::fclose(empty);

    const std::string sample = sample_bytes();
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    ASSERT_EQ(write(ends[1], sample.data(), sample.size()), static_cast<ssize_t>(sample.size()));
    close(ends[1]);
    FILE* piped = fdopen(ends[0], "rb");
    InputBytes bytes;
    ASSERT_TRUE(bytes.take(piped, InputAccess::map_if_possible));
    EXPECT_FALSE(bytes.mapped());
    EXPECT_EQ(view_of(bytes), sample);
    std::fclose(piped);
}

TEST_F(InputBytesTest, KeptBytesOutliveTheFileBeingCut) {
    const std::string sample = sample_bytes();
    FILE* in = open_sample(sample);
    InputBytes bytes;
    ASSERT_TRUE(bytes.take(in, InputAccess::map_if_possible));
    std::filesystem::create_hard_link(dir / "in.icode", dir / "link.icode");
    EXPECT_TRUE(bytes.mapped_from((dir / "link.icode").c_str()));
    EXPECT_TRUE(bytes.mapped_from((dir / "in.icode").c_str()));
    dir.write("other.icode", sample);
    EXPECT_FALSE(bytes.mapped_from((dir / "other.icode").c_str()));
    EXPECT_FALSE(bytes.mapped_from((dir / "missing.icode").c_str()));

    bytes.keep_in_memory();
    EXPECT_FALSE(bytes.mapped());
    EXPECT_FALSE(bytes.mapped_from((dir / "in.icode").c_str()));
    std::filesystem::resize_file(dir / "in.icode", 0); // a mapping would fault now
    EXPECT_EQ(view_of(bytes), sample);
    std::fclose(in);
}

} // namespace
} // namespace vx::icode
