// Primitive encodings: LEB128 edges both ways, long forms on input, short
// fields, and the constants whose form depends on their type.
#include "unit/icode/icode_test_support.h"

#include "icode/byte_cursor.h"
#include "icode/record_writer.h"

#include <gtest/gtest.h>

#include <climits>

namespace vx::icode::testing {
namespace {

std::string uleb(uint32_t value) {
    std::string out;
    put_uleb(out, value);
    return out;
}

std::string sleb(int32_t value) {
    std::string out;
    put_sleb(out, value);
    return out;
}

ByteCursor cursor(const std::string& bytes) {
    return ByteCursor(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

TEST(Leb128, UnsignedEdgesRoundTrip) {
    const std::pair<uint32_t, std::string> cases[] = {
        {0, std::string(1, '\0')}, {127, "\x7f"},
        {128, "\x80\x01"},         {16383, "\xff\x7f"},
        {16384, "\x80\x80\x01"},   {UINT32_MAX, "\xff\xff\xff\xff\x0f"},
        {2097151, "\xff\xff\x7f"}, {2097152, "\x80\x80\x80\x01"},
    };
    for (const auto& [value, bytes] : cases) {
        EXPECT_EQ(uleb(value), bytes) << value;
        ByteCursor in = cursor(bytes);
        EXPECT_EQ(in.uleb(), value);
        EXPECT_TRUE(in.at_end() && !in.failed());
    }
}

TEST(Leb128, SignedEdgesRoundTrip) {
    const std::pair<int32_t, std::string> cases[] = {
        {0, std::string(1, '\0')},
        {-1, "\x7f"},
        {63, "\x3f"},
        {64, std::string("\xc0\x00", 2)},
        {-64, "\x40"},
        {-65, "\xbf\x7f"},
        {INT32_MAX, "\xff\xff\xff\xff\x07"},
        {INT32_MIN, "\x80\x80\x80\x80\x78"},
    };
    for (const auto& [value, bytes] : cases) {
        EXPECT_EQ(sleb(value), std::string(bytes.data(), bytes.size())) << value;
        ByteCursor in = cursor(bytes);
        EXPECT_EQ(in.sleb(), value);
        EXPECT_TRUE(in.at_end() && !in.failed());
    }
}

TEST(Leb128, ReaderAcceptsLongFormsAndKeepsThirtyTwoBits) {
    const std::string padded_bytes("\x85\x80\x00", 3), wide_bytes("\xff\xff\xff\xff\x7f\x01"),
        minus_one_bytes("\xff\x7f"), six_bytes_bytes("\x80\x80\x80\x80\x78\x00", 6);
    ByteCursor padded = cursor(padded_bytes);
    EXPECT_EQ(padded.uleb(), 5u);
    ByteCursor wide = cursor(wide_bytes);
    EXPECT_EQ(wide.uleb(), UINT32_MAX);
    EXPECT_EQ(wide.remaining(), 1u);
    ByteCursor minus_one = cursor(minus_one_bytes); // sign taken from bit 6 of the last byte
    EXPECT_EQ(minus_one.sleb(), -1);
    ByteCursor six_bytes = cursor(six_bytes_bytes);
    EXPECT_EQ(six_bytes.sleb(), INT32_MIN);
}

// Values of one, two and three bytes in a row, as a statement's position
// holds them, each taken whole.
TEST(Leb128, ShortValuesInARowAreEachTakenWhole) {
    const std::string bytes = uleb(3) + uleb(300) + uleb(100000) + uleb(5);
    ByteCursor in = cursor(bytes);
    EXPECT_EQ(in.uleb(), 3u);
    EXPECT_EQ(in.uleb(), 300u);
    EXPECT_EQ(in.uleb(), 100000u);
    EXPECT_EQ(in.uleb(), 5u);
    EXPECT_TRUE(in.at_end() && !in.failed());
}

TEST(Leb128, ANumberCutShortFailsInsteadOfReadingOn) {
    std::string bytes = "\x80\x80";
    ByteCursor in(reinterpret_cast<const uint8_t*>(bytes.data()), 1); // the second byte is not ours
    EXPECT_EQ(in.uleb(), 0u);
    EXPECT_TRUE(in.failed());
    const std::string three = "\x80\x80\x01";
    for (size_t ours = 1; ours < three.size(); ++ours) {
        ByteCursor cut(reinterpret_cast<const uint8_t*>(three.data()), ours);
        EXPECT_EQ(cut.uleb(), 0u) << ours;
        EXPECT_TRUE(cut.failed()) << ours;
    }
    const std::string abc = "abc";
    ByteCursor text = cursor(abc); // no NUL
    EXPECT_EQ(text.text(), "");
    EXPECT_TRUE(text.failed());
}

TEST(Encodings, IconTakesItsFormFromItsType) {
    std::string out;
    RecordWriter writer(out);
    writer.set_learning_types(true);
    writer.write(TypeRecord{7, TC_ULONG, IntType{1, 32, 32, 0, 0}});
    writer.write(TypeRecord{8, TC_LONG, IntType{1, 32, 32, 0, 0}});
    out.clear();
    TreeNode unsigned_max{4, 0, 7, 4294967295u, 0, {}};
    writer.write_tree(Tree(&unsigned_max, 1));
    EXPECT_EQ(out, "\x65\x07\x04\x07\xff\xff\xff\xff\x0f");
    out.clear();
    TreeNode signed_max{4, 0, 8, 4294967295u, 0, {}}; // the same bits: -1
    writer.write_tree(Tree(&signed_max, 1));
    EXPECT_EQ(out, "\x65\x03\x04\x08\x7f");
}

TEST(Encodings, ShortFieldsTakeMinus32768To65535) {
    std::string out;
    RecordWriter writer(out);
    writer.write(LoopInfo{0, 0, 0, 0, 0, 65535});
    writer.write(LoopInfo{0, 0, 0, 0, 0, -32768});
    EXPECT_EQ(out, std::string("\x26\x07\0\0\0\0\0\xff\xff\x26\x07\0\0\0\0\0\x00\x80", 18));
    for (int32_t bad : {65536, -32769}) {
        Outcome outcome = run_guarded([&] { writer.write(LoopInfo{0, 0, 0, 0, 0, bad}); });
        EXPECT_TRUE(outcome.stopped);
        EXPECT_EQ(outcome.status, 1);
        EXPECT_EQ(outcome.err, ">> Value exceeds size of short\n");
    }
}

TEST(Encodings, PositionsStringsAndCountedBytes) {
    std::string out;
    RecordWriter writer(out);
    writer.write(FunctionEnd{});            // no position: one byte 0
    writer.write(FunctionEnd{{2, 300, 4}}); // file, line, column
    writer.write(AsmText{"nop", {}});       // NUL-terminated
    TreeNode scon{3, 0, 0, 0, 0, std::string_view("a\0b", 3)};
    writer.write_tree(Tree(&scon, 1)); // counted: NULs allowed
    EXPECT_EQ(out, std::string("\x02\x01\x00"
                               "\x02\x04\x02\xac\x02\x04"
                               "\x24\x05nop\0\0"
                               "\x65\x06\x03\x00\x03"
                               "a\0b",
                               24));
}

} // namespace
} // namespace vx::icode::testing
