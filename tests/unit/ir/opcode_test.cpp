// The opcode table: printed forms with their padding exceptions, and the
// start-up comparison with the file library's table.
#include "ir/opcode.h"
#include "ir/opcode_check.h"

#include "support/termination.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace vx::ir {
namespace {

TEST(Opcode, PrintedFormsAndTheirExceptions) {
    EXPECT_STREQ(opcode_print_name(NOP), "NOP");
    EXPECT_STREQ(opcode_print_name(255), " ?ILLOP?");
    EXPECT_STREQ(opcode_print_name(30), "?NODE?");
    EXPECT_STREQ(opcode_print_name(190), "?NODE?");
    EXPECT_STREQ(opcode_print_name(LABELREF), "LABELREF");
    EXPECT_STREQ(opcode_print_name(SQR), "SQUARE  ");
    EXPECT_STREQ(opcode_print_name(PLUS), "+       ");
    EXPECT_STREQ(opcode_print_name(SLLASG), "<<=     ");
    EXPECT_STREQ(opcode_print_name(COMMAOP), ",OP     ");
    EXPECT_STREQ(opcode_print_name(NAME), "NAME    ");
    EXPECT_STREQ(opcode_print_name(ULT), "ULT     ");
    EXPECT_STREQ(opcode_print_name(OUIALIGN), "OUIALIGN");
    for (int op : {ULE, MIX_SET, COMPLEX, REAL, IMAG, VSCONV})
        EXPECT_STREQ(opcode_print_name(op), opcode_name(op));

    int listed = 0, padded = 0;
    for (const OpcodeInfo& entry : if_node_info) {
        listed += entry.listed();
        padded += entry.listed() && std::strlen(entry.printed.data()) == printed_form_width;
    }
    EXPECT_EQ(listed, 128);
    EXPECT_EQ(padded, 128 - 7); // all but the seven unpadded ones
}

// The file library's table as it stands after opening a stream: our
// entries up to 162, its own "VREG" leaf at 163, nothing above.
class OpcodeTables : public ::testing::Test {
protected:
    void SetUp() override {
        for (int op = 0; op < first_internal_opcode; ++op)
            if (if_node_info[op].listed())
                slots_[op] = {op, if_node_info[op].name, if_node_info[op].operand_count};
        slots_[163] = {163, "VREG", 0};
        table_.entry = [this](int op) { return slots_.at(op); };
        table_.define = [this](int op, const char* name, int count) {
            slots_.at(op) = {op, name, count};
        };
        log_ = std::tmpfile();
        previous_ = set_stop_handler(throwing_stop_handler);
    }
    void TearDown() override {
        set_stop_handler(previous_);
        std::fclose(log_);
    }

    std::string log_text() {
        std::string text;
        std::rewind(log_);
        for (int c; (c = std::fgetc(log_)) != EOF;)
            text += static_cast<char>(c);
        return text;
    }

    // Runs the check; returns what it wrote to the error stream, or
    // nothing when it passed.
    std::optional<std::string> check(FILE* trace) {
        ::testing::internal::CaptureStderr();
        try {
            check_opcode_tables(table_, trace);
        } catch (const RunStopped& stop) {
            EXPECT_EQ(stop.status, 1);
            return ::testing::internal::GetCapturedStderr();
        }
        ::testing::internal::GetCapturedStderr();
        return std::nullopt;
    }

    std::array<SharedOpcodeEntry, 201> slots_{};
    SharedOpcodeTable table_;
    FILE* log_ = nullptr;

private:
    StopHandler previous_ = nullptr;
};

TEST_F(OpcodeTables, AgreeingTablesAreFramedInTheTrace) {
    EXPECT_EQ(check(log_), std::nullopt);
    EXPECT_EQ(log_text(), " *** VALIDATING OPCODE TABLES\n *** OPCODE TABLES ARE OK\n\n");
    EXPECT_STREQ(slots_[163].name, "OUIALIGN");
    EXPECT_EQ(slots_[163].operand_count, 1);
    EXPECT_STREQ(slots_[189].name, "SSA_CHI");
    EXPECT_EQ(slots_[190].name, nullptr);
}

TEST_F(OpcodeTables, EachMismatchIsTracedAndStopsTheRun) {
    slots_[CASE].operand_count = 1;
    slots_[SQRT] = {SQRT, nullptr, 0};
    slots_[ABS].number = 99;
    EXPECT_EQ(check(log_), "INTERNAL ERROR: if_node_info[] mismatch\n");
    EXPECT_EQ(log_text(), " *** VALIDATING OPCODE TABLES\n"
                          "OP#27: 99 || 0 || (1 != 1) <<ABS>> <<ABS>>\n"
                          "\tNo match for ABS\n"
                          "OP#47: 47 || 0 || (2 != 1) <<CASE>> <<CASE>>\n"
                          "\tNo match for CASE\n"
                          "OP#121: 121 || 1 || (1 != 0) <<SQRT>> <<>>\n"
                          "\tNo match for SQRT\n");
}

TEST_F(OpcodeTables, WithoutTracingOnlyTheErrorIsReported) {
    slots_[CASE].name = "KASE";
    EXPECT_EQ(check(nullptr), "INTERNAL ERROR: if_node_info[] mismatch\n");
    EXPECT_EQ(log_text(), "");
}

TEST_F(OpcodeTables, AForeignLayoutStopsBeforeAnythingIsDefined) {
    for (int anchor : {NAME, UMINUS, CALL}) {
        SharedOpcodeEntry kept = slots_[anchor];
        slots_[anchor].operand_count ^= 1;
        EXPECT_EQ(check(log_), "INTERNAL ERROR: if_node_info[] mismatch\n") << anchor;
        EXPECT_STREQ(slots_[163].name, "VREG");
        slots_[anchor] = kept;
    }
    EXPECT_EQ(log_text(), "");
}

} // namespace
} // namespace vx::ir
