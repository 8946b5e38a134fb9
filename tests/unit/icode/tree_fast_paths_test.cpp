// Trees read straight into nodes and written straight from them: the bytes
// and the trees must be those of the general paths (a tree decoded whole
// into records first, a tree encoded into records first and then written),
// and whatever is wrong must be reported as the general path reports it.
#include "support/ir_world.h"
#include "unit/icode/icode_test_support.h"

#include "icode/byte_cursor.h"
#include "icode/field_codec.h"
#include "icode/reader.h"
#include "icode/reader_client.h"
#include "icode/record_reader.h"
#include "icode/record_writer.h"
#include "icode/statement_conversion.h"
#include "icode/text/assembler.h"
#include "icode/writer.h"
#include "icode/writer_client.h"
#include "ir/type_package.h"
#include "support/process_runner.h"
#include "support/switches.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace vx::icode {
namespace {

using testing::Outcome;
using testing::run_guarded;

const std::string kSections = R"(
section types
type 1 int explicit=1 size=16 align=16
type 2 llong explicit=1 size=64 align=32
type 3 uint size=16 align=16
type 4 func 1
type 4 list 0
type 4 endlist 0
type 5 ptr 4 size=32 align=32
type 6 double size=64 align=32
type 7 csu 0 "s" size=32 align=16
type 7 list 7
type 7 field 0 "a" 1
type 7 field 1 "b" 1 offset=16
type 7 endlist 7
type 8 ptr 1 size=32 align=32
section files
file "t.c"
section symbols
sym "f" class=2 type=4 align=16
sym "g" class=2 type=4 align=16
sym "v" size=16 class=2 type=1 align=16
sym "s" size=32 class=2 type=7 align=16
)";

// Function f (global 0) with parameter x (1,0) and local y (2,1).
std::string function_text(const std::string& body) {
    return testing::function_text_with(body, kSections);
}

// A stream whose main part is a statement record followed by `trees`, read
// with trees on demand.  The stream views `bytes`, so the record stays where
// it was made.
struct StatementStream {
    explicit StatementStream(const std::string& trees) {
        testing::StreamParts parts;
        parts.main = std::string("\x2e\x01\x00", 3) + trees;
        bytes = testing::build_stream(parts);
        stream = IcodeStream::open(bytes);
    }
    StatementStream(const StatementStream&) = delete;
    StatementStream& operator=(const StatementStream&) = delete;

    RecordReader reader() {
        RecordReader records(*stream, MAIN_PART);
        records.set_trees_on_demand(true);
        return records;
    }

    std::string bytes;
    std::optional<IcodeStream> stream;
};

// Statements with every payload a function's tree may carry.
const std::string kEveryPayload = R"(
stmt @1:4:1 (ASG:1 (NAME:1 2 1) (PLUS:1 (NAME:1 1 0) (ICON:1 -5)))
stmt @1:4:2 (ASG:1 (NAME:1 0 2) (SCONV:1 (ICON:3 65535)))
stmt @1:4:3 (ASG:2 (NAME:1 2 1) (LCON:2 "-1234567890123"))
stmt @1:4:4 (ASG:6 (NAME:1 2 1) (FCON:6 "0x1.8p+1"))
stmt @1:4:5 (ASG:1 (FIELD:1 1 1 7) (ICON:1 7))
stmt @1:4:6 (CALL:1 3 4 (UAND:5 (NAME:4 0 1)) (COMMA:1 (NAME:1 2 1) (ICON:1 200)))
stmt @1:4:7 (UCALL:1 9 (UAND:5 (NAME:4 0 1)))
stmt @1:4:8 (MCALL:1 "intrinsic_add" (COMMA:1 (NAME:1 2 1) (NAME:1 1 0)))
stmt @1:4:9 (ASG:8 (NAME:1 2 1) (SCON:8 "short bytes\x00with a NUL"))
stmt @1:5:1 (CBRANCH (LT:1 (NAME:1 2 1) (ICON:1 3)) (LABEL 7))
stmt @1:5:2 (DDNODE 12 0 0 (NAME:1 2 1))
stmt @1:5:3 (SWITCH 4 (NAME:1 2 1) (COMMA (CASE (ICON:1 1) (LABEL 7)) (DEFAULT (LABEL 7))))
stmt (BRANCH (EPVAL 3 (LABEL 7)))
label 7
stmt @1:6:1 (RETURN:1 (NAME:1 2 1) (SKIP 2 (ICON:1 0)))
)";

// A statement whose SCON record is longer than a one-byte length allows.
std::string long_scon_statement() {
    return "stmt @1:7:1 (ASG:8 (NAME:1 2 1) (SCON:8 \"" + std::string(300, 'q') + "\"))";
}

FILE* listing_stream = nullptr;

class TreeFastPaths : public ::testing::Test {
protected:
    void SetUp() override {
        package_ = vx::testing::fresh_ir_world();
        listing_stream = nullptr;
    }
    void TearDown() override {
        reader_.reset();
        writer_.reset();
        functions_.clear();
        vx::testing::drop_ir_world(package_);
        if (listing_stream)
            std::fclose(listing_stream);
        listing_stream = nullptr;
    }

    void read(const std::string& text, bool defer = false) {
        reader_ = IcodeReader::open(vx::testing::icode_stream(text), "t.icode");
        ASSERT_NE(reader_, nullptr);
        writer_ = IcodeWriter::create(std::fopen((dir_ / "out.icode").c_str(), "wb"), "t.c");
        writer_->set_listing([] { return listing_stream; });
        auto keep = [this](FunctionRead&& f) { functions_.push_back(std::move(f)); };
        OptimizerReaderClient client(*package_, *writer_, keep);
        client.defer_function_bodies(defer);
        reader_->read_all(client);
        for (FunctionRead& function : functions_) {
            if (!function.unread_body)
                continue;
            OptimizerReaderClient body_client(
                *package_, *writer_, [&](FunctionRead&& f) { function.body = std::move(f.body); });
            reader_->read_function_at(*function.unread_body, body_client);
        }
    }
    // Reads raw (possibly damaged) bytes through pass 1, catching the stop.
    Outcome read_bytes_guarded(const std::string& bytes) {
        FILE* stream = std::tmpfile();
        std::fwrite(bytes.data(), 1, bytes.size(), stream);
        std::rewind(stream);
        reader_ = IcodeReader::open(stream, "t.icode");
        EXPECT_NE(reader_, nullptr);
        if (reader_ == nullptr)
            return Outcome{};
        writer_ = IcodeWriter::create(std::tmpfile(), "t.c");
        OptimizerReaderClient client(*package_, *writer_, [](FunctionRead&&) {});
        return run_guarded([&] { reader_->read_all(client); });
    }
    std::string write() {
        write_global_symbols(*writer_);
        for (FunctionRead& f : functions_) {
            write_function(*writer_, *f.info, f.body);
            f.info->release_function_data();
        }
        write_initializers(*writer_);
        EXPECT_TRUE(writer_->close());
        return dir_.read("out.icode");
    }
    // The output of `text` read and written again, in a fresh world; with
    // a listing the writer takes the general path.
    std::string pass_through(const std::string& text, bool with_listing, bool defer = false) {
        TearDown();
        SetUp();
        if (with_listing)
            listing_stream = std::tmpfile();
        read(text, defer);
        return write();
    }

    vx::testing::ScratchDirectory dir_;
    std::unique_ptr<ir::TYPE_PKG> package_;
    std::unique_ptr<IcodeReader> reader_;
    std::unique_ptr<IcodeWriter> writer_;
    std::vector<FunctionRead> functions_;
};

// ---- Writing ------------------------------------------------------------------------

TEST_F(TreeFastPaths, TreesWrittenFromNodesAreTheBytesOfTreesWrittenFromRecords) {
    const std::string text = function_text(kEveryPayload + long_scon_statement());
    const std::string direct = pass_through(text, false);
    const std::string general = pass_through(text, true);
    EXPECT_EQ(direct, general);
    // And both say what the input says.
    EXPECT_EQ(testing::dis(direct), testing::dis(general));
    EXPECT_NE(testing::dis(direct).find("(SCON:"), std::string::npos);
}

TEST_F(TreeFastPaths, KeptNodeIdsGoOutTheSameWayOnBothPaths) {
    const std::string text = function_text("stmt (BRANCH (EPVAL 3 (LABEL 5)))\nlabel 5");
    auto with_ids = [&](bool with_listing) {
        TearDown();
        SetUp();
        sw::add_switches(sw::Category::debug, "keep_node_ids");
        if (with_listing)
            listing_stream = std::tmpfile();
        read(text);
        return write();
    };
    const std::string direct = with_ids(false);
    EXPECT_EQ(direct, with_ids(true));
    EXPECT_NE(testing::dis(direct).find("(BRANCH (EPVAL 3 (LABEL 5)))"), std::string::npos);
}

TEST(TreeRecords, ShortAndLongNodesEncodeAsTheyDecode) {
    std::string out;
    RecordWriter writer(out);
    TreeNode root;
    root.opcode = 58; // ASG
    root.type = 300;  // two bytes
    TreeNode short_text;
    short_text.opcode = 3; // SCON
    short_text.text = "abc";
    TreeNode long_text = short_text;
    const std::string bytes_of_long(200, 'z');
    long_text.text = bytes_of_long;
    writer.write_tree_node(root);
    writer.write_tree_node(short_text);
    // A long record goes out after the records before it.
    writer.write_tree_node(long_text);
    writer.end_tree();
    EXPECT_EQ(out.substr(0, 5), std::string("\x65\x03\x3a\xac\x02", 5));
    EXPECT_EQ(out.substr(5, 8), std::string("\x65\x06\x03\x00\x03"
                                            "abc",
                                            8));
    // The long record's body is 1 + 1 + 2 + 200 = 204 bytes, a two-byte
    // length.
    EXPECT_EQ(out.substr(13, 6), std::string("\x65\xcc\x01\x03\x00\xc8", 6));
    EXPECT_EQ(out.size(), 13u + 3u + 204u);
    EXPECT_EQ(writer.offset(), out.size());
    // What was written reads back as it was.
    StatementStream input(out);
    ASSERT_TRUE(input.stream.has_value());
    RecordReader records = input.reader();
    const Record* statement = records.next();
    // The long record makes the scan decline; the tree is decoded whole.
    EXPECT_FALSE(records.scan_pending_tree([](const TreeNode&) { return true; }));
    records.read_pending_tree();
    Tree tree = std::get<Statement>(statement->body).tree;
    ASSERT_EQ(tree.size(), 3u);
    EXPECT_EQ(tree[0].type, 300u);
    EXPECT_EQ(tree[1].text, "abc");
    EXPECT_EQ(tree[2].text, bytes_of_long);
}

TEST(TreeRecords, OffsetCountsATreeNotYetHandedOver) {
    std::string out;
    RecordWriter writer(out);
    TreeNode leaf;
    leaf.opcode = 4; // ICON
    writer.write_tree_node(leaf);
    EXPECT_EQ(writer.offset(), 5u);
    writer.end_section(); // hands the tree over first
    EXPECT_EQ(out, std::string("\x65\x03\x04\x00\x00\xff", 6));
}

// ---- Reading -------------------------------------------------------------------------

TEST_F(TreeFastPaths, TreesReadStraightIntoNodesPassThroughUnchanged) {
    // Deferred bodies and bodies read at once go through the same reading.
    const std::string text = function_text(kEveryPayload + long_scon_statement());
    for (bool defer : {false, true}) {
        const std::string out = testing::dis(pass_through(text, false, defer));
        for (const char* piece : {"(ICON:", "(LCON:", "(FCON:", "(FIELD:", "(MCALL:", "(DDNODE 12",
                                  "(SWITCH 4", "(SKIP 2", "qqqq"})
            EXPECT_NE(out.find(piece), std::string::npos) << piece << "\n" << out;
    }
    EXPECT_EQ(pass_through(text, false, true), pass_through(text, false, false));
}

TEST_F(TreeFastPaths, ATreeTheScanDeclinesIsBuiltByTheGeneralPath) {
    // The SCON's record is long: the nodes made before it are dropped and
    // the tree is built again from its records.
    read(function_text(long_scon_statement() + "\nstmt (ASG:1 (NAME:1 2 1) (ICON:1 1))"));
    ASSERT_EQ(functions_.size(), 1u);
    const auto& statements = functions_[0].body.statements;
    ASSERT_EQ(statements.size(), 2u);
    const ir::NODE* scon = statements[0].tree->right;
    ASSERT_EQ(scon->op, ir::SCON);
    EXPECT_EQ(scon->scon_length(), 300u);
    EXPECT_EQ(statements[0].tree->left->sym()->name, "y");
    EXPECT_EQ(statements[1].tree->right->value.low32(), 1u);
}

TEST_F(TreeFastPaths, ProblemsInATreeAreReportedAsTheGeneralPathReportsThem) {
    struct Case {
        std::string body;
        std::string detail;
    };
    const Case cases[] = {
        {"stmt (ASG:1 (NAME:1 2 1) (NAME:1 2 9))",
         "a tree names symbol 9 of level 2, which is not declared"},
        {"stmt (ASG:6 (NAME:1 2 1) (FCON:6 \"junk\"))",
         "an FCON holds text that is not a floating constant"},
        {"stmt (ASG:2 (NAME:1 2 1) (LCON:2 \"12x\"))",
         "an LCON holds text that is not a decimal number"},
        {"stmt (ASG:1 (FIELD:1 2 0 7) (ICON:1 1))", "a FIELD node of a kind other than 1"},
        {"stmt (ASG:1 (FIELD:1 1 5 7) (ICON:1 1))",
         "a FIELD node names a member its container type does not have"},
    };
    for (const Case& c : cases) {
        TearDown();
        SetUp();
        Outcome outcome = run_guarded([&] { read(function_text(c.body)); });
        EXPECT_TRUE(outcome.stopped) << c.body;
        EXPECT_EQ(outcome.status, 1);
        EXPECT_NE(outcome.err.find(c.detail), std::string::npos) << c.body << "\n" << outcome.err;
    }
}

TEST_F(TreeFastPaths, AnUnknownTypeInATreeIsReportedByTheTypePackage) {
    Outcome outcome =
        run_guarded([&] { read(function_text("stmt (ASG:1 (NAME:44 2 1) (ICON:1 1))")); });
    EXPECT_TRUE(outcome.stopped);
    EXPECT_NE(outcome.err.find("invalid forward reference"), std::string::npos) << outcome.err;
}

// A tree that is malformed after a node the scan could not resolve: the
// malformed record is what is reported, as when the tree is decoded whole
// before it is built.
TEST_F(TreeFastPaths, AMalformedRecordIsReportedBeforeAnUnresolvedSymbol) {
    std::string bytes = text::assemble(function_text("stmt (ASG:1 (NAME:1 2 9) (ICON:1 1))"));
    // The ICON is the tree's last record; with a body one byte shorter its
    // value no longer fits (the byte left over is read as the next record).
    const std::string icon("\x65\x03\x04\x01\x01", 5);
    const size_t at = bytes.find(icon);
    ASSERT_NE(at, std::string::npos);
    bytes[at + 1] = 0x02;
    Outcome outcome = read_bytes_guarded(bytes);
    EXPECT_TRUE(outcome.stopped);
    EXPECT_NE(outcome.err.find("the body of a record of kind 101 (2 bytes) ends inside its fields"),
              std::string::npos)
        << outcome.err;
}

// Every tree-node record of every payload, one byte short or one byte too
// long: the scan must refuse it, so that the general path reports it.
TEST_F(TreeFastPaths, EveryRecordOfAWrongLengthIsReportedNotRead) {
    const std::string whole = text::assemble(function_text(kEveryPayload));
    std::vector<size_t> node_records;
    {
        std::optional<IcodeStream> stream = IcodeStream::open(whole);
        ASSERT_TRUE(stream.has_value());
        for (size_t at = stream->start(MAIN_PART); static_cast<uint8_t>(whole[at]) != 0xFF;) {
            ASSERT_LT(static_cast<uint8_t>(whole[at + 1]), 0x80u);
            if (whole[at] == KIND_TREE_NODE)
                node_records.push_back(at);
            at += 2 + static_cast<uint8_t>(whole[at + 1]);
        }
    }
    ASSERT_GT(node_records.size(), 40u);
    for (size_t at : node_records) {
        for (int change : {-1, +1}) {
            std::string bytes = whole;
            bytes[at + 1] = static_cast<char>(bytes[at + 1] + change);
            TearDown();
            SetUp();
            Outcome outcome = read_bytes_guarded(bytes);
            EXPECT_TRUE(outcome.stopped) << "record at " << at << ", length " << change;
            EXPECT_EQ(outcome.status, 1);
            EXPECT_NE(outcome.err.find("record of kind 101"), std::string::npos) << outcome.err;
        }
    }
}

// ---- LEB128 values of more than one byte ----------------------------------------------

// The byte-by-byte reading the decoders follow: a value cut off by the end
// fails, and a failed cursor takes one byte per read and yields 0.
struct Careful {
    const uint8_t* data;
    size_t size;
    size_t offset = 0;
    bool failed = false;

    uint8_t u8() {
        if (offset < size)
            return data[offset++];
        failed = true;
        return 0;
    }
    uint32_t uleb() {
        uint32_t value = 0;
        for (unsigned shift = 0;; shift += 7) {
            const uint8_t byte = u8();
            if (failed)
                return 0;
            if (shift < 32)
                value |= static_cast<uint32_t>(byte & 0x7F) << shift;
            if (!(byte & 0x80))
                return value;
        }
    }
    int32_t sleb() {
        uint32_t value = 0;
        unsigned shift = 0;
        uint8_t byte;
        do {
            byte = u8();
            if (failed)
                return 0;
            if (shift < 32)
                value |= static_cast<uint32_t>(byte & 0x7F) << shift;
            shift += 7;
        } while (byte & 0x80);
        if (shift < 32 && (byte & 0x40))
            value |= ~0u << shift;
        return static_cast<int32_t>(value);
    }
};

TEST(Leb128Reading, EveryValueCutOffAndFailureReadsAsByteByByte) {
    std::mt19937 random(11);
    for (int round = 0; round < 20000; ++round) {
        std::vector<uint8_t> bytes(1 + random() % 9);
        for (uint8_t& byte : bytes)
            byte = static_cast<uint8_t>(random() % 4 == 0 ? random() % 128 : 128 + random() % 128);
        // A sequence of reads, signed or not, runs off the end sooner or later.
        ByteCursor cursor(bytes.data(), bytes.size());
        Careful careful{bytes.data(), bytes.size()};
        for (int read = 0; read < 4; ++read) {
            if ((round + read) % 2 == 0)
                ASSERT_EQ(cursor.uleb(), careful.uleb());
            else
                ASSERT_EQ(cursor.sleb(), careful.sleb());
            ASSERT_EQ(cursor.offset(), careful.offset) << round;
            ASSERT_EQ(cursor.failed(), careful.failed) << round;
        }
    }
}

// ---- Node memory ----------------------------------------------------------------------

// The nodes of a tree take their memory from the arena in force when the
// tree begins, looked up once per tree: a tree begun after the environment
// moved to another arena (the next function's) must not land in the one
// before, which is released once its function is written.
TEST(NodeMemory, EachTreeTakesItsNodesFromTheArenaInForceWhenItBegins) {
    std::unique_ptr<ir::TYPE_PKG> package = vx::testing::fresh_ir_world();
    Arena* const saved = ir::node_environment().arena;
    {
        StatementConverter converter(*package);
        Arena first;
        Arena second;
        ir::node_environment().arena = &first;
        converter.begin_tree();
        ir::NODE* node = converter.make_tree_node(ir::ICON, nullptr);
        EXPECT_EQ(node->op, ir::ICON);
        const size_t first_used = first.bytes_used();
        EXPECT_GT(first_used, 0u);

        ir::node_environment().arena = &second;
        converter.begin_tree();
        for (size_t i = 0; i < 3 * ir::NodeSlots::kNodesPerRun; ++i)
            converter.make_tree_node(ir::ICON, nullptr);
        EXPECT_EQ(first.bytes_used(), first_used);
        EXPECT_GE(second.bytes_used(), 3 * ir::NodeSlots::kNodesPerRun * sizeof(ir::NODE));

        // A node made outside a tree follows a change of arena by itself.
        ir::node_environment().arena = &first;
        converter.make_node(ir::ICON, nullptr);
        EXPECT_GT(first.bytes_used(), first_used);
        ir::node_environment().arena = saved;
    }
    vx::testing::drop_ir_world(package);
}

// ---- Stepping over bodies -------------------------------------------------------------

TEST(RecordSkipping, RecordsOfEveryLengthAreSteppedOver) {
    testing::StreamParts parts;
    const std::string long_body(200, 'x');
    // kind 34 with a two-byte length, a statement, a tree node, then 0xFF.
    parts.main = std::string("\x22\xc9\x01\x00", 4) + long_body + std::string("\x2e\x01\x00", 3) +
                 std::string("\x65\x02\x00\x00", 4);
    const std::string bytes = testing::build_stream(parts);
    auto stream = IcodeStream::open(bytes);
    ASSERT_TRUE(stream.has_value());
    RecordReader records(*stream, MAIN_PART);
    EXPECT_EQ(records.skip(), KIND_OPAQUE);
    const size_t after_opaque = records.offset();
    records.skip_statements();
    EXPECT_EQ(records.offset(), after_opaque + 7);
    EXPECT_EQ(records.skip(), KIND_END_OF_SECTION);
    EXPECT_TRUE(records.at_end());
    records.skip_statements(); // nothing past the end mark
    EXPECT_EQ(records.offset(), after_opaque + 8);
}

// Long runs of statements and tree nodes of every short length, ended by
// another record or by the end of the section at any distance: the step
// stops right before the other record, and never takes a record that
// does not fit.
TEST(RecordSkipping, LongRunsStopBeforeTheFirstOtherRecord) {
    std::mt19937 random(5);
    for (int round = 0; round < 300; ++round) {
        std::string run;
        while (run.size() < 50 + random() % 800) {
            const size_t length = random() % 0x80;
            run += random() % 2 ? '\x65' : '\x2e';
            run += static_cast<char>(length);
            run += std::string(length, '\x01');
        }
        const bool cut = round % 3 == 0; // the last record overruns the section
        testing::StreamParts parts;
        parts.main = run + (cut ? std::string("\x65\x7f", 2) : std::string("\x22\x01\x00", 3));
        const std::string bytes = testing::build_stream(parts);
        auto stream = IcodeStream::open(bytes);
        ASSERT_TRUE(stream.has_value());
        RecordReader records(*stream, MAIN_PART);
        const size_t start = records.offset();
        records.skip_statements();
        EXPECT_EQ(records.offset(), start + run.size()) << round;
    }
}

// The step over records of chosen kinds stops before the first record of
// another kind, the first whose length takes two bytes, and the first that
// does not fit, wherever it stands.
TEST(RecordSkipping, RecordsOfTheChosenKindsAreSteppedOver) {
    RecordReader::RecordKinds steppable{};
    steppable[KIND_STATEMENT] = steppable[KIND_TREE_NODE] = steppable[KIND_LABEL] = true;
    const char kinds[] = {'\x65', '\x2e', '\x2a'};
    std::mt19937 random(9);
    for (int round = 0; round < 300; ++round) {
        std::string run;
        while (run.size() < 50 + random() % 800) {
            const size_t length = random() % 0x80;
            run += kinds[random() % 3];
            run += static_cast<char>(length);
            run += std::string(length, '\x01');
        }
        std::string stop;
        switch (round % 4) {
        case 0:
            stop = std::string("\x65\x7f", 2); // overruns the section
            break;
        case 1:
            stop = std::string("\x22\x01\x00", 3); // a kind not chosen
            break;
        case 2:
            stop = std::string("\x2e\x80\x01", 3) + std::string(128, '\x01'); // long length
            break;
        default:
            break; // the end mark
        }
        testing::StreamParts parts;
        parts.main = run + stop;
        const std::string bytes = testing::build_stream(parts);
        auto stream = IcodeStream::open(bytes);
        ASSERT_TRUE(stream.has_value());
        RecordReader records(*stream, MAIN_PART);
        const size_t start = records.offset();
        records.skip_records_of(steppable);
        EXPECT_EQ(records.offset(), start + run.size()) << round;
    }
}

TEST(RecordSkipping, AFrameThatDoesNotFitIsReportedByTheGeneralStep) {
    testing::StreamParts parts;
    parts.main = std::string("\x65\x09\x00", 3); // announces 9 bytes, has 1
    const std::string bytes = testing::build_stream(parts);
    Outcome outcome = run_guarded([&] {
        auto stream = IcodeStream::open(bytes);
        RecordReader records(*stream, MAIN_PART);
        records.skip_statements();
        records.skip();
    });
    EXPECT_TRUE(outcome.stopped);
    EXPECT_NE(outcome.err.find("announces a body of 9 bytes"), std::string::npos) << outcome.err;
}

TEST(RecordScanning, TheScanLeavesTheStreamWhereTheTreeBeginsWhenItDeclines) {
    // A statement, then ASG(NAME, ICON) with the ICON refused by the sink.
    StatementStream input(std::string("\x65\x02\x3a\x00", 4) +
                          std::string("\x65\x04\x02\x00\x00\x00", 6) +
                          std::string("\x65\x03\x04\x00\x05", 5));
    ASSERT_TRUE(input.stream.has_value());
    RecordReader records = input.reader();
    const Record* statement = records.next();
    ASSERT_NE(statement, nullptr);
    ASSERT_TRUE(records.tree_pending());
    const size_t tree_start = records.offset();
    std::vector<int> seen;
    EXPECT_FALSE(records.scan_pending_tree([&](const TreeNode& node) {
        seen.push_back(node.opcode);
        return node.opcode != 4;
    }));
    EXPECT_EQ(seen, (std::vector<int>{58, 2, 4}));
    EXPECT_EQ(records.offset(), tree_start);
    EXPECT_TRUE(records.tree_pending());
    records.read_pending_tree();
    EXPECT_EQ(std::get<Statement>(statement->body).tree.size(), 3u);
    EXPECT_EQ(records.next(), nullptr);
    // Scanned whole, the same tree leaves the stream after it.
    RecordReader again = input.reader();
    again.next();
    seen.clear();
    EXPECT_TRUE(again.scan_pending_tree([&](const TreeNode& node) {
        seen.push_back(node.opcode);
        return true;
    }));
    EXPECT_EQ(seen, (std::vector<int>{58, 2, 4}));
    EXPECT_FALSE(again.tree_pending());
    EXPECT_EQ(again.next(), nullptr);
}

} // namespace
} // namespace vx::icode
