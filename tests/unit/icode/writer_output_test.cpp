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

// Writes with `write(writer, records)` both through an IcodeWriter to a
// file and through a plain RecordWriter to a string, and checks that the
// file holds the string right after its header.
template <class Write> void expect_file_holds_the_records(Write&& write) {
    vx::testing::ScratchDirectory dir;
    std::unique_ptr<ir::TYPE_PKG> package = vx::testing::fresh_ir_world();
    FILE* out = std::fopen((dir / "out.icode").c_str(), "wb");
    ASSERT_NE(out, nullptr);
    std::unique_ptr<IcodeWriter> writer = IcodeWriter::create(out, "t.c");
    const size_t header = writer->offset();
    std::string expected;
    RecordWriter records(expected);
    write(*writer, records);
    EXPECT_EQ(writer->offset(), header + expected.size());
    ASSERT_TRUE(writer->close());
    const std::string written = dir.read("out.icode");
    ASSERT_GT(written.size(), header + expected.size());
    EXPECT_EQ(written.substr(header, expected.size()), expected);
    vx::testing::drop_ir_world(package);
}

TEST(WriterOutput, LargeOutputsReachTheFileWhole) {
    expect_file_holds_the_records([](IcodeWriter& writer, RecordWriter& records) {
        for (int i = 0; i < 30000; ++i) { // several drains' worth
            const std::string text(1 + i % 150, static_cast<char>('a' + i % 26));
            const Text record{text};
            writer.write(record);
            records.write(record);
        }
    });
}

// One statement with a tree of `nodes` nodes (a chain of unary operators
// over a leaf), written as the writer's fast path writes it.
template <class Writer> void write_chain_statement(Writer& writer, int nodes, uint32_t line) {
    writer.write_statement_head(Statement{SourcePos{1, line, 0}, {}});
    for (int i = 0; i < nodes; ++i) {
        TreeNode node;
        node.opcode = i + 1 < nodes ? 10 : 4; // UMINUS over an ICON
        node.type = 5;
        node.first = static_cast<uint32_t>(i);
        writer.write_tree_node(node);
    }
    writer.end_tree();
}

// Trees may wait to go out together; every other record, the end of a
// section and hand_over_trees() still find them in place, and the offset
// counts them all along.
TEST(WriterOutput, GatheredTreesGoOutInTheirPlace) {
    std::string gathered_out;
    std::string plain_out;
    RecordWriter gathered(gathered_out);
    RecordWriter plain(plain_out);
    gathered.gather_trees(true);
    bool some_waited = false;
    for (uint32_t i = 0; i < 3000; ++i) {
        const int nodes = 1 + static_cast<int>(i % 40);
        write_chain_statement(gathered, nodes, i);
        write_chain_statement(plain, nodes, i);
        ASSERT_EQ(gathered.offset(), plain.offset()) << i;
        some_waited = some_waited || gathered_out.size() < plain_out.size();
        EXPECT_LE(plain_out.size() - gathered_out.size(), RecordWriter::kGatheredTreeBytes + 400)
            << i;
        if (i % 700 == 0) {
            gathered.write(Text{"between"});
            plain.write(Text{"between"});
            EXPECT_EQ(gathered_out, plain_out) << i;
        }
        if (i == 1500) {
            gathered.end_section();
            plain.end_section();
            EXPECT_EQ(gathered_out, plain_out);
        }
    }
    EXPECT_TRUE(some_waited);
    gathered.hand_over_trees();
    EXPECT_EQ(gathered_out, plain_out);
    write_chain_statement(gathered, 3, 1);
    write_chain_statement(plain, 3, 1);
    gathered.gather_trees(false); // hands over what waits
    EXPECT_EQ(gathered_out, plain_out);
}

// The writer gathers trees: what reaches the file is what a writer that
// hands each tree over at once writes, across many pieces.
TEST(WriterOutput, TreesReachTheFileWholeAndInOrder) {
    expect_file_holds_the_records([](IcodeWriter& writer, RecordWriter& records) {
        for (uint32_t i = 0; i < 60000; ++i) { // several drains' worth
            const int nodes = 1 + static_cast<int>(i % 30);
            write_chain_statement(writer, nodes, i);
            write_chain_statement(records, nodes, i);
            if (i % 5000 == 0) {
                writer.write(Text{"between"});
                records.write(Text{"between"});
            }
        }
    });
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
