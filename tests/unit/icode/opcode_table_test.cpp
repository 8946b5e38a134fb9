// The shared opcode table and the file's own opcode set.
#include "unit/icode/icode_test_support.h"

#include "icode/opcode_table.h"
#include "icode/record_reader.h"

#include <gtest/gtest.h>

namespace vx::icode::testing {
namespace {

class SharedOpcodeTable : public ::testing::Test {
protected:
    void SetUp() override { reset_opcode_table(); }
    void TearDown() override { reset_opcode_table(); }
};

TEST_F(SharedOpcodeTable, OpeningAStreamFillsTheFileNumbers) {
    define_file_opcodes();
    const auto& entries = opcode_table().entries;
    auto expect = [&](int number, const char* name, int count) {
        EXPECT_EQ(entries[number].number, number);
        EXPECT_EQ(entries[number].name, name);
        EXPECT_EQ(entries[number].operand_count, count);
    };
    expect(2, "NAME", 0);
    expect(10, "UMINUS", 1);
    expect(70, "CALL", 2);
    expect(112, "ENDINIT", 0);
    expect(163, "VREG", 0);
    for (int unused : {28, 30, 143, 162, 164, 200}) {
        EXPECT_FALSE(entries[unused].defined()) << unused;
        EXPECT_EQ(entries[unused].number, 0);
    }
}

TEST_F(SharedOpcodeTable, NumbersAbove200AreRefused) {
    define_opcode(200, "LAST", 2);
    EXPECT_EQ(opcode_table().entries[200].name, "LAST");
    for (int bad : {201, 255, -1}) {
        Outcome outcome = run_guarded([&] { define_opcode(bad, "X", 0); });
        EXPECT_TRUE(outcome.stopped);
        EXPECT_EQ(outcome.status, 1);
        EXPECT_EQ(outcome.err, "\nINTERNAL ERROR: Invalid opcode, aborting\n");
    }
}

// The optimizer redefines 163 with an operand; records are still read with
// the file's own set, where 163 is a leaf with a signed payload.
TEST_F(SharedOpcodeTable, RedefiningDoesNotChangeHowTreesAreRead) {
    define_file_opcodes();
    define_opcode(163, "OUIALIGN", 1);
    StreamParts parts;
    parts.main = std::string("\x2e\x01\x00\x65\x03\xa3\x00\x7e", 8); // stmt (VREG -2)
    std::string bytes = build_stream(parts);
    auto stream = IcodeStream::open(bytes);
    RecordReader reader(*stream, MAIN_PART);
    const auto& statement = std::get<Statement>(reader.next()->body);
    ASSERT_EQ(statement.tree.size(), 1u);
    EXPECT_EQ(static_cast<int32_t>(statement.tree[0].first), -2);
    EXPECT_EQ(reader.next(), nullptr);
}

TEST(FileOpcodes, PayloadKinds) {
    const std::pair<int, Payload> cases[] = {
        {1, Payload::label},       {2, Payload::symbol},      {3, Payload::counted},
        {4, Payload::integer},     {5, Payload::hex_float},   {25, Payload::decimal},
        {26, Payload::field},      {40, Payload::number},     {70, Payload::call},
        {72, Payload::number},     {110, Payload::number},    {115, Payload::number},
        {119, Payload::ddnode},    {129, Payload::intrinsic}, {130, Payload::intrinsic},
        {132, Payload::intrinsic}, {133, Payload::intrinsic}, {163, Payload::vreg},
        {6, Payload::none},        {150, Payload::none},
    };
    for (const auto& [opcode, payload] : cases)
        EXPECT_EQ(payload_kind(opcode), payload) << opcode;
    EXPECT_EQ(file_opcode_number("SQR"), 122);
    EXPECT_EQ(file_opcode_number("OUIALIGN"), -1);
    EXPECT_EQ(file_opcode(164).name, "");
}

} // namespace
} // namespace vx::icode::testing
