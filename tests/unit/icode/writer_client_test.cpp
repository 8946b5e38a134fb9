// The optimizer's writer: what a function, its trees and the trailing
// sections are written as, checked by reading text in and writing it out.
#include "support/ir_world.h"
#include "unit/icode/icode_test_support.h"

#include "icode/file_header.h"
#include "icode/reader.h"
#include "icode/reader_client.h"
#include "icode/text/assembler.h"
#include "icode/writer.h"
#include "icode/writer_client.h"
#include "ir/symbol_table.h"
#include "ir/symbol_type_queries.h"
#include "ir/type_package.h"
#include "options/option_sets.h"
#include "support/process_runner.h"
#include "support/switches.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <memory>
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
type 3 ullong explicit=1 size=64 align=32
type 4 func 1
type 4 list 0
type 4 endlist 0
type 5 ptr 4 size=32 align=32
type 6 array 1 2 size=32 align=16 complete=1 vector=1
type 7 typedef "unused" 1 size=16 align=16
type 8 int explicit=1 size=16 align=16
section files
file "t.c"
section symbols
sym "f" class=2 type=4 align=16
sym "h" class=2 type=4 align=16
sym "v" size=16 class=2 type=8 align=16
)";

// Function f (global 0) with parameter x (1,0) and local y (2,1).
std::string function_text(const std::string& body) {
    return testing::function_text_with(body, kSections);
}

// The text form without type numbers, which the writer chooses: no
// " type=N" fields and no ":N" after an opcode.
std::string untyped(const std::string& text) {
    auto skip_digits = [&](size_t i) {
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])))
            ++i;
        return i;
    };
    std::string out;
    bool in_opcode = false;
    for (size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (text.compare(i, 6, " type=") == 0) {
            i = skip_digits(i + 6);
        } else if (c == ':' && in_opcode) {
            i = skip_digits(i + 1);
            in_opcode = false;
        } else {
            in_opcode = c == '(' || (in_opcode && std::isalnum(static_cast<unsigned char>(c)));
            out += c;
            ++i;
        }
    }
    return out;
}

FILE* listing_stream = nullptr;
FILE* info_stream = nullptr;

class WriterClient : public ::testing::Test {
protected:
    void SetUp() override {
        package_ = vx::testing::fresh_ir_world();
        listing_stream = info_stream = nullptr;
    }
    void TearDown() override {
        reader_.reset();
        writer_.reset();
        functions_.clear();
        vx::testing::drop_ir_world(package_);
        for (FILE* f : {listing_stream, info_stream})
            if (f)
                std::fclose(f);
        listing_stream = info_stream = nullptr;
    }

    void read(const std::string& text) {
        reader_ = IcodeReader::open(vx::testing::icode_stream(text), "t.icode");
        ASSERT_NE(reader_, nullptr);
        writer_ = IcodeWriter::create(std::fopen((dir_ / "out.icode").c_str(), "wb"), "t.c");
        writer_->set_listing([] { return listing_stream; });
        writer_->set_info([] { return info_stream; });
        for (const PragmaItem& entry : reader_->pragmas())
            writer_->add_pragma(entry);
        OptimizerReaderClient client(
            *package_, *writer_, [this](FunctionRead&& f) { functions_.push_back(std::move(f)); });
        reader_->read_all(client);
    }
    // Writes what was read as the driver does; returns the output's bytes.
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
    // The text form of the output of `text`, without type numbers.
    std::string pass_through(const std::string& text) {
        read(text);
        return untyped(testing::dis(write()));
    }
    ir::NODE* statement(size_t index) { return functions_.at(0).body.statements.at(index).tree; }
    static std::string text_of(FILE* file) {
        std::fflush(file);
        std::rewind(file);
        std::string text;
        for (int c; (c = std::fgetc(file)) != EOF;)
            text += static_cast<char>(c);
        return text;
    }

    vx::testing::ScratchDirectory dir_;
    std::unique_ptr<ir::TYPE_PKG> package_;
    std::unique_ptr<IcodeReader> reader_;
    std::unique_ptr<IcodeWriter> writer_;
    std::vector<FunctionRead> functions_;
};

// ---- The file --------------------------------------------------------------------------

TEST_F(WriterClient, WithoutInitializersCloseEndsTheMainPart) {
    const std::string bytes = [&] {
        read("icode -76 600 \"t.c\"\nsection main\ntext \"only\"\n" + kSections);
        return write();
    }();
    auto header = decode_file_header(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    ASSERT_TRUE(header.has_value());
    EXPECT_EQ(header->version, -73);
    EXPECT_EQ(header->name, "t.c");
    EXPECT_EQ(header->section_offsets[INIT_SECTION], 0u);
    EXPECT_EQ(header->section_offsets[PRAGMA_SECTION], 0u);
    const size_t types = header->section_offsets[TYPE_SECTION];
    ASSERT_GT(types, header->record_size);
    // The main part: the text record, then one end mark.
    EXPECT_EQ(static_cast<uint8_t>(bytes[types - 1]), 0xFF);
    EXPECT_NE(static_cast<uint8_t>(bytes[types - 2]), 0xFF);
    EXPECT_GT(header->section_offsets[SYMBOL_SECTION], header->section_offsets[FILENAME_SECTION]);
}

TEST_F(WriterClient, OnlyReferencedTypesAreWrittenEachBeforeItsUse) {
    const std::string text = pass_through(function_text("stmt (UCALL:1 0 (UAND:5 (NAME:4 0 1)))"));
    EXPECT_EQ(text.find("typedef"), std::string::npos);
    EXPECT_EQ(text.find("vector"), std::string::npos);
    // int (1) and the second int record (8) are one type.
    EXPECT_EQ(text.find(" int "), text.rfind(" int ")) << text;
    EXPECT_LT(text.find(" func "), text.find(" ptr ")) << text;
}

TEST_F(WriterClient, InitializersFollowTheMainPartInSymbolOrder) {
    read("icode -73 600 \"t.c\"\nsection init\ninit 2\n(ICON:8 4)\n(ENDINIT)\n" + kSections);
    const std::string bytes = write();
    auto header = decode_file_header(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    const size_t init = header->section_offsets[INIT_SECTION];
    ASSERT_GT(init, 0u);
    EXPECT_EQ(static_cast<uint8_t>(bytes[init - 1]), 0xFF);
    ir::Symbol* v = ir::global_symbols_named("v").at(0);
    EXPECT_EQ(v->file_offset, init);
    EXPECT_NE(testing::dis(bytes).find("section init\ninit 2\n  (ICON:"), std::string::npos);
}

// ---- Functions ----------------------------------------------------------------------------

TEST_F(WriterClient, ALeafFunctionGetsTheLeafMark) {
    std::string text = pass_through(function_text("stmt (RETURN:1 (NAME:1 2 1) (NOP))"));
    EXPECT_NE(text.find("  endlocals @1:3:1\n  mark 76\n  stmt"), std::string::npos) << text;
    TearDown();
    SetUp();
    text = pass_through(function_text("stmt (UCALL:1 0 (UAND:5 (NAME:4 0 1)))"));
    EXPECT_EQ(text.find("mark"), std::string::npos) << text;
}

TEST_F(WriterClient, LocalsOfNestedBlocksGoOutWithTheOtherLocals) {
    const std::string text = pass_through(
        function_text("block\nsym \"t\" size=16 class=1 type=1 align=16\nendlocals @1:4:1\n"
                      "stmt (ASG:1 (NAME:1 3 2) (NAME:1 2 1))\nendblock"));
    EXPECT_NE(text.find("endparams @1:2:1\n  sym \"t\" size=16 class=1 align=16\n  "
                        "sym \"y\" size=16 class=1 align=16\n  endlocals @1:3:1"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("(ASG (NAME 2 1) (NAME 2 2))"), std::string::npos) << text;
    EXPECT_EQ(text.find("block"), std::string::npos);
}

TEST_F(WriterClient, ProfileBranchAndExceptionTableGoBackOut) {
    const std::string text = pass_through(function_text(R"(stmt @1:4:1 (BRANCH (LABEL 7))
        label 7
        eht
          entry 1 1 0 3
          cleanup (NAME:1 2 1)
          entry 2 2 0 1
          names "int" 3 1)"));
    EXPECT_NE(text.find("  stmt @1:4:1 (BRANCH (LABEL 7))\n  label 7\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find("  eht\n    entry 1 1 0 3\n    cleanup (NAME 2 1)\n    entry 2 2 0 1\n"
                        "    names \"int\" 3 1\n"),
              std::string::npos)
        << text;
}

TEST_F(WriterClient, ASuppressedFunctionIsNotWrittenUntilAUseKeepsIt) {
    read(function_text("stmt (UCALL:1 0 (UAND:5 (NAME:4 0 1)))"));
    ir::FUNINFO* h = ir::function_record_of("h");
    ASSERT_NE(h, nullptr);
    h->set(ir::FUN_is_suppressed);
    info_stream = std::tmpfile();
    write();
    EXPECT_TRUE(h->has(ir::FUN_is_called));
    EXPECT_FALSE(h->is_suppressed());
    EXPECT_EQ(text_of(info_stream), "\nInlineable function h() was marked for suppression,"
                                    "\nbut it cannot be because of a problematic use in f().\n\n");

    TearDown();
    SetUp();
    read(function_text("stmt (NOP)"));
    functions_.at(0).info->set(ir::FUN_is_suppressed);
    EXPECT_EQ(testing::dis(write()).find("\nfunc "), std::string::npos);
}

TEST_F(WriterClient, AWrittenFunctionCanBeReadAgainFromItsOffset) {
    read(function_text("stmt (ASG:1 (NAME:1 2 1) (ICON:1 5))"));
    const std::string bytes = write();
    const uint32_t offset = functions_.at(0).symbol->file_offset;
    TearDown();
    SetUp();
    FILE* in = std::tmpfile();
    std::fwrite(bytes.data(), 1, bytes.size(), in);
    std::rewind(in);
    reader_ = IcodeReader::open(in, "out.icode");
    writer_ = IcodeWriter::create(std::tmpfile(), "t.c");
    std::vector<FunctionRead> read_again;
    auto keep = [&](FunctionRead&& f) { read_again.push_back(std::move(f)); };
    OptimizerReaderClient first(*package_, *writer_, keep);
    reader_->read_all(first);
    OptimizerReaderClient second(*package_, *writer_, keep);
    reader_->read_function_at(offset, second);
    ASSERT_EQ(read_again.size(), 2u);
    EXPECT_EQ(read_again[1].info, read_again[0].info);
    EXPECT_EQ(read_again[1].body.statements.size(), 1u);
    writer_->close(true);
}

// ---- Trees ----------------------------------------------------------------------------------

TEST_F(WriterClient, WideConstantsThatNeedMoreThan32BitsAreWrittenAsDecimalText) {
    const std::string text = pass_through(function_text(R"(stmt (ICON:2 -1)
        stmt (LCON:2 "4294967295")
        stmt (ICON:3 4294967295)
        stmt (LCON:3 "-1")
        stmt (LCON:1 "7"))"));
    EXPECT_NE(text.find("(ICON -1)\n  stmt (LCON \"4294967295\")\n  stmt (ICON 4294967295)\n"
                        "  stmt (LCON \"18446744073709551615\")\n  stmt (ICON 7)"),
              std::string::npos)
        << text;
}

TEST_F(WriterClient, NodeIdsAreWrittenOnlyWhenAsked) {
    const std::string body = "stmt (BRANCH (EPVAL 3 (LABEL 5)))";
    EXPECT_NE(pass_through(function_text(body)).find("stmt (BRANCH (LABEL 5))"), std::string::npos);
    TearDown();
    SetUp();
    sw::add_switches(sw::Category::debug, "keep_node_ids");
    EXPECT_NE(pass_through(function_text(body)).find("stmt (BRANCH (EPVAL 3 (LABEL 5)))"),
              std::string::npos);
}

TEST_F(WriterClient, AssertGetsItsOperandBackAndIfIsLowered) {
    read(function_text(R"(stmt (ASSERT (LT:1 (NAME:1 2 1) (ICON:1 3)))
                          stmt (NAME:1 2 1))"));
    // An IF as the block builder makes it: IF(cond, COLON(L1, L2)).
    ir::NODE* cond = statement(1);
    ir::NODE* targets = ir::make_node(ir::COLON, nullptr, ir::make_node(ir::LABEL, nullptr),
                                      ir::make_node(ir::LABEL, nullptr));
    targets->left->read_label(1);
    targets->right->read_label(2);
    functions_[0].body.statements[1].tree = ir::make_node(ir::IF, nullptr, cond, targets);
    const std::string text = untyped(testing::dis(write()));
    EXPECT_NE(text.find("stmt (ASSERT (LT (NAME 2 1) (ICON 3)))\n"
                        "  stmt (CBRANCH (NAME 2 1) (LABEL 1))\n  stmt (BRANCH (LABEL 2))"),
              std::string::npos)
        << text;
}

TEST_F(WriterClient, GlobalsNamedInTheOutputAreMarked) {
    read(function_text("stmt (NAME:8 0 2)"));
    write();
    EXPECT_NE(ir::global_symbols_named("v").at(0)->flags & ir::SYM_NAMED_IN_OUTPUT, 0);
}

TEST_F(WriterClient, UnwritableOpcodesStopWithTheWrtreeMessage) {
    for (int op : {int{ir::CSE_DUPE}, 163}) {
        read(function_text("stmt (NEQ:1 (NAME:1 2 1) (ICON:1 0))"));
        statement(0)->op = static_cast<ir::Opcode>(op);
        Outcome outcome = run_guarded([&] { write(); });
        EXPECT_EQ(outcome.status, 1);
        char message[96];
        std::snprintf(message, sizeof message, "\n\n   !!! Error in 'wrtree', opcode=%d %s !!!\n",
                      op, ir::opcode_print_name(op));
        EXPECT_TRUE(outcome.err.starts_with(message)) << outcome.err;
        writer_->close(true);
        TearDown();
        SetUp();
    }
    EXPECT_STREQ(ir::opcode_print_name(ir::CSE_DUPE), "CSE_DUPE");
}

TEST_F(WriterClient, UnusedExceptionEntriesGoAndTheRestAreRenumbered) {
    ExceptionTableItem table;
    table.entries.resize(5);
    for (uint32_t i = 1; i < 5; ++i)
        table.entries[i].id = 10 + i;
    table.entries[3].kind = 3; // ends a cleanup region
    renumber_exception_table(table, {false, true, true, true, true});
    EXPECT_EQ(table.entries[4].id, 14u); // nothing dropped: ids kept
    renumber_exception_table(table, {false, true, false, false, true});
    ASSERT_EQ(table.entries.size(), 4u);
    EXPECT_EQ(table.entries[1].id, 1u);
    EXPECT_EQ(table.entries[2].kind, 3u);
    EXPECT_EQ(table.entries[2].id, 2u);
    EXPECT_EQ(table.entries[3].id, 3u);
}

// ---- Listing --------------------------------------------------------------------------------

TEST_F(WriterClient, TheListingShowsEveryRecordWritten) {
    listing_stream = std::tmpfile();
    pass_through(function_text(R"(stmt @1:4:1 (ASG:1 (NAME:1 2 1) (ICON:1 5))
                                 label 7
                                 text "hello")"));
    const std::string log = text_of(listing_stream);
    const char* expected_lines[] = {
        "I_BF\t1\t1\t\t\t;I_BF\n",
        "#   x           16\t   0    9       0  16 int             \t; (1,0)\n",
        "I_EA\t5\t2\t\t\t;I_EA\n",
        "I_EL\t6\t3\t\t\t;I_EL\n",
        "\n@\t'L':\tf is a leaf function.\n",
        "58\tint                         ; ASG\n",
        "2\tint                         2\t1\t; NAME y\n",
        "4\tint                         5\t; ICON\n",
        "*7\n",
        "\n/hello\n\n",
        "I_EF\t2\t9\t\t\t;I_EF\n",
    };
    size_t at = 0;
    for (const char* line : expected_lines) {
        const size_t found = log.find(line, at);
        EXPECT_NE(found, std::string::npos) << "missing or out of order: " << line << "\n" << log;
        at = found == std::string::npos ? at : found;
    }
}

} // namespace
} // namespace vx::icode
