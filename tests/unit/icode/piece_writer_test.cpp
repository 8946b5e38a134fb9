// The thread that writes the output's pieces: pieces reach the file whole
// and in order, the caller gets an empty buffer back each time, a refused
// write is reported by finish(), and dropping the writer with a piece in
// flight waits for it.
#include "icode/piece_writer.h"
#include "support/process_runner.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace vx::icode {
namespace {

std::string piece_number(int number, size_t size) {
    return std::string(size, static_cast<char>('a' + number % 26));
}

TEST(PieceWriter, PiecesReachTheFileInOrder) {
    vx::testing::ScratchDirectory dir;
    FILE* out = std::fopen((dir / "out").c_str(), "wb");
    ASSERT_NE(out, nullptr);
    std::setvbuf(out, nullptr, _IONBF, 0);
    std::string expected;
    {
        PieceWriter pieces(out, 4096);
        std::string piece;
        for (int i = 0; i < 200; ++i) {
            piece = piece_number(i, 1 + static_cast<size_t>(i) * 37 % 5000);
            expected += piece;
            pieces.hand_over(piece);
            EXPECT_TRUE(piece.empty()) << i;
        }
        EXPECT_TRUE(pieces.finish());
    }
    ASSERT_EQ(std::fclose(out), 0);
    EXPECT_EQ(dir.read("out"), expected);
}

TEST(PieceWriter, TheStreamMayBeUsedDirectlyAfterFinish) {
    vx::testing::ScratchDirectory dir;
    FILE* out = std::fopen((dir / "out").c_str(), "wb");
    ASSERT_NE(out, nullptr);
    std::setvbuf(out, nullptr, _IONBF, 0);
    {
        PieceWriter pieces(out, 16);
        std::string piece = "first ";
        pieces.hand_over(piece);
        ASSERT_TRUE(pieces.finish());
        ASSERT_GE(std::fputs("direct ", out), 0);
        piece = "last";
        pieces.hand_over(piece);
    }
    ASSERT_EQ(std::fclose(out), 0);
    EXPECT_EQ(dir.read("out"), "first direct last");
}

TEST(PieceWriter, ARefusedWriteMakesFinishFail) {
    vx::testing::ScratchDirectory dir;
    dir.write("out", "");
    FILE* read_only = std::fopen((dir / "out").c_str(), "rb");
    ASSERT_NE(read_only, nullptr);
    {
        PieceWriter pieces(read_only, 16);
        std::string piece = "refused";
        pieces.hand_over(piece);
        piece = "and this one too";
        pieces.hand_over(piece);
        EXPECT_FALSE(pieces.finish());
        EXPECT_FALSE(pieces.finish()); // the failure stays
    }
    std::fclose(read_only);
}

TEST(PieceWriter, DroppingTheWriterWaitsForThePieceInFlight) {
    vx::testing::ScratchDirectory dir;
    FILE* out = std::fopen((dir / "out").c_str(), "wb");
    ASSERT_NE(out, nullptr);
    std::setvbuf(out, nullptr, _IONBF, 0);
    const std::string large(8 << 20, 'x');
    {
        PieceWriter pieces(out, 0);
        std::string piece = large;
        pieces.hand_over(piece);
    }
    ASSERT_EQ(std::fclose(out), 0);
    EXPECT_EQ(dir.read("out").size(), large.size());
}

} // namespace
} // namespace vx::icode
