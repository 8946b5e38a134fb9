// The writer hands its bytes to the file in large pieces, unbuffered: a
// file that refuses them must still make close() fail, whether the refusal
// comes while records are written or only when the writer closes.
#include "icode/writer.h"
#include "support/ir_world.h"
#include "support/process_runner.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace vx::icode {
namespace {

TEST(WriterOutput, AFileThatRefusesTheBytesMakesCloseFail) {
    vx::testing::ScratchDirectory dir;
    std::unique_ptr<ir::TYPE_PKG> package = vx::testing::fresh_ir_world();
    const std::string text(200, 't');
    for (size_t records : {size_t{1}, size_t{20000}}) { // at close; while writing
        dir.write("out.icode", "");
        FILE* read_only = std::fopen((dir / "out.icode").c_str(), "rb");
        ASSERT_NE(read_only, nullptr);
        std::unique_ptr<IcodeWriter> writer = IcodeWriter::create(read_only, "t.c");
        for (size_t i = 0; i < records; ++i)
            writer->write(Text{text});
        EXPECT_FALSE(writer->close()) << records;
    }
    vx::testing::drop_ir_world(package);
}

TEST(WriterOutput, LargeOutputsReachTheFileWhole) {
    vx::testing::ScratchDirectory dir;
    std::unique_ptr<ir::TYPE_PKG> package = vx::testing::fresh_ir_world();
    FILE* out = std::fopen((dir / "out.icode").c_str(), "wb");
    ASSERT_NE(out, nullptr);
    std::unique_ptr<IcodeWriter> writer = IcodeWriter::create(out, "t.c");
    const size_t header = writer->offset();
    std::string expected;
    RecordWriter records(expected);
    for (int i = 0; i < 30000; ++i) { // several drains' worth
        const std::string text(1 + i % 150, static_cast<char>('a' + i % 26));
        const Text record{text};
        writer->write(record);
        records.write(record);
    }
    EXPECT_EQ(writer->offset(), header + expected.size());
    ASSERT_TRUE(writer->close());
    const std::string written = dir.read("out.icode");
    ASSERT_GT(written.size(), header + expected.size());
    EXPECT_EQ(written.substr(header, expected.size()), expected);
    vx::testing::drop_ir_world(package);
}

// An output file opened over an earlier, longer output holds exactly what
// a fresh file would once the writer is closed, whether the earlier bytes
// are cut off by the main thread (a small output) or by the thread that
// writes the pieces (a large one).
TEST(WriterOutput, AnEarlierOutputIsCutOffBeforeTheFirstWrite) {
    vx::testing::ScratchDirectory dir;
    std::unique_ptr<ir::TYPE_PKG> package = vx::testing::fresh_ir_world();
    const std::string text(100, 'n');
    for (int records : {10, 40000}) {
        std::string fresh;
        for (const char* name : {"fresh.icode", "reused.icode"}) {
            const bool reused = std::string(name) == "reused.icode";
            if (reused)
                dir.write(name, std::string(6 << 20, 'o'));
            FILE* out = reused ? IcodeWriter::open_output_file((dir / name).string())
                               : std::fopen((dir / name).c_str(), "wb");
            ASSERT_NE(out, nullptr);
            std::unique_ptr<IcodeWriter> writer = IcodeWriter::create(out, "t.c", reused);
            if (reused) {
                EXPECT_EQ(dir.read(name).size(), size_t{6} << 20) << "cut before any write";
            }
            for (int i = 0; i < records; ++i)
                writer->write(Text{text});
            ASSERT_TRUE(writer->close()) << records;
            if (!reused)
                fresh = dir.read(name);
        }
        EXPECT_EQ(dir.read("reused.icode"), fresh) << records;
    }
    vx::testing::drop_ir_world(package);
}

// A large output goes out through a second thread: flush() must leave
// every byte written so far in the file, and a writer dropped without
// close() (an abnormal end) must stop that thread before the stream closes.
class WriterThread : public ::testing::Test {
protected:
    void SetUp() override {
        package_ = vx::testing::fresh_ir_world();
        out_ = std::fopen((dir_ / "out.icode").c_str(), "wb");
        ASSERT_NE(out_, nullptr);
        writer_ = IcodeWriter::create(out_, "t.c");
        const std::string text(100, 'f');
        for (int i = 0; i < 40000; ++i) // several pieces' worth
            writer_->write(Text{text});
    }
    void TearDown() override { vx::testing::drop_ir_world(package_); }

    vx::testing::ScratchDirectory dir_;
    std::unique_ptr<ir::TYPE_PKG> package_;
    FILE* out_ = nullptr;
    std::unique_ptr<IcodeWriter> writer_;
};

TEST_F(WriterThread, FlushWritesEveryPieceHandedOver) {
    writer_->flush();
    EXPECT_EQ(dir_.read("out.icode").size(), writer_->offset());
    ASSERT_TRUE(writer_->close());
}

TEST_F(WriterThread, AWriterDroppedUnclosedLeavesTheStreamToItsOwner) {
    writer_.reset();
    EXPECT_EQ(std::fclose(out_), 0);
}

} // namespace
} // namespace vx::icode
