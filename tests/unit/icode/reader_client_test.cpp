// The optimizer's reader: what each record becomes (symbols, statement
// trees in the optimizer's forms, labels, texts, initializers, exception
// tables) and how bad input ends the run.
#include "unit/icode/icode_test_support.h"

#include "support/ir_world.h"

#include "icode/reader.h"
#include "icode/reader_client.h"
#include "icode/text/assembler.h"
#include "icode/writer.h"
#include "ir/symbol_table.h"
#include "ir/symbol_type_queries.h"
#include "ir/type.h"
#include "ir/type_package.h"
#include "options/option_sets.h"
#include "support/switches.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace vx::icode {
namespace {

using testing::Outcome;
using testing::run_guarded;

// The types and symbols most tests use: int (1), char (2), an enum over
// int (3), a function type int() (4), a pointer to it (5), long long (6).
const std::string kTypes = R"(
section types
type 1 int explicit=1 size=16 align=16
type 2 char explicit=1 size=16 align=16
type 3 enum "color" size=16 align=16 under=1
type 3 list 1
  type 3 enumerator "RED" 0
type 3 endlist 1
type 4 func 1
type 4 list 0
type 4 endlist 0
type 5 ptr 4 size=32 align=32
type 6 llong explicit=1 size=64 align=32
section files
file "t.c"
section symbols
sym "f" class=2 type=4 align=16
sym "g" class=5 type=4 align=16
sym "g" class=2 type=4 align=16
sym "v" size=16 class=2 type=1 align=16
)";

// kTypes with more types and global symbols.
std::string sections(const std::string& types, const std::string& symbols) {
    std::string text = kTypes;
    text.insert(text.find("section files"), types + "\n");
    return text + symbols + "\n";
}

// A function f with parameter x (1,0) and local y (2,1) around `body`.
std::string function_text(const std::string& body, const std::string& types = "",
                          const std::string& symbols = "") {
    return "icode -73 600 \"t.c\"\nsection main\nfunc 0 @1:1:1\n"
           "sym \"x\" size=16 class=9 type=1 align=16\nendparams @1:2:1\n"
           "sym \"y\" size=16 class=1 type=1 align=16\nendlocals @1:3:1\n" +
           body + "\nendfunc @1:9:1\n" + sections(types, symbols);
}

// The shape of a tree: opcodes, payloads that matter here, and ids.
std::string shape(const ir::NODE* node) {
    if (node == nullptr)
        return "-";
    std::string text = "(";
    text += ir::opcode_name(node->op) ? ir::opcode_name(node->op) : "?";
    if (node->op == ir::NAME)
        text += " " + node->sym()->name;
    if (node->op == ir::ICON || node->op == ir::LABEL || node->op == ir::LABELDEF)
        text += " " + node->lcon_text();
    if (node->id != -1)
        text += " #" + std::to_string(node->id);
    if (node->left)
        text += " " + shape(node->left);
    if (node->right)
        text += " " + shape(node->right);
    return text + ")";
}

class ReaderClient : public ::testing::Test {
protected:
    void SetUp() override { package_ = vx::testing::fresh_ir_world(); }
    void TearDown() override {
        reader_.reset();
        writer_.reset();
        functions_.clear();
        vx::testing::drop_ir_world(package_);
    }

    // Reads `text` as the optimizer does; the functions read are kept.
    void read(const std::string& text) {
        reader_ = IcodeReader::open(vx::testing::icode_stream(text), "t.icode");
        ASSERT_NE(reader_, nullptr);
        writer_ = IcodeWriter::create(std::tmpfile(), "t.c");
        OptimizerReaderClient client(
            *package_, *writer_, [this](FunctionRead&& f) { functions_.push_back(std::move(f)); });
        client.defer_function_bodies(defer_);
        reader_->read_all(client);
        if (defer_)
            read_deferred_bodies();
    }
    // Reads the bodies that read_all stepped over, as the driver does when
    // a step first needs one.
    void read_deferred_bodies() {
        for (FunctionRead& function : functions_) {
            ASSERT_TRUE(function.unread_body.has_value());
            ASSERT_TRUE(function.body.statements.empty());
            OptimizerReaderClient client(*package_, *writer_, [&](FunctionRead&& f) {
                EXPECT_EQ(f.info, function.info);
                function.body = std::move(f.body);
            });
            reader_->read_function_at(*function.unread_body, client);
        }
    }
    Outcome read_refused(const std::string& text) {
        return run_guarded([&] { read(text); });
    }
    // The statements of the only function, one shape each.
    std::vector<std::string> statements() {
        std::vector<std::string> shapes;
        for (const StatementEntry& s : functions_.at(0).body.statements)
            shapes.push_back(shape(s.tree));
        return shapes;
    }
    std::string only_statement() {
        std::vector<std::string> all = statements();
        return all.size() == 1 ? all.front() : "(" + std::to_string(all.size()) + " statements)";
    }
    ir::Symbol* global(const char* name, int storage_class) {
        for (ir::Symbol* s : ir::global_symbols_named(name))
            if (s->storage_class == storage_class)
                return s;
        return nullptr;
    }

    std::unique_ptr<ir::TYPE_PKG> package_;
    std::unique_ptr<IcodeReader> reader_;
    std::unique_ptr<IcodeWriter> writer_;
    std::vector<FunctionRead> functions_;
    bool defer_ = false; // read bodies one at a time after read_all
};

// ---- Functions and their statement lists ------------------------------------------

TEST_F(ReaderClient, StatementsLabelsAndTextsKeepSourceOrder) {
    read(function_text(R"(stmt @1:4:1 (ASG:1 (NAME:1 2 1) (ICON:1 5))
                          label 7
                          asm "nop" @1:5:1
                          text "* dropped"
                          text "kept"
                          stmt (RETURN:1 (NAME:1 1 0) (NOP)))"));
    ASSERT_EQ(functions_.size(), 1u);
    EXPECT_EQ(statements(),
              (std::vector<std::string>{"(ASG (NAME y) (ICON 5))", "(LABELDEF 7)", "(ASM)", "(ASM)",
                                        "(RETURN (NAME x) (NOP))"}));
    const FunctionBody& body = functions_[0].body;
    EXPECT_STREQ(body.statements[2].tree->text(), "nop");
    EXPECT_EQ(body.statements[2].tree->value.low32(), KIND_ASM_TEXT);
    EXPECT_EQ(body.statements[2].pos.line, 5u);
    EXPECT_EQ(*body.statements[0].pos.file, "t.c");
    EXPECT_EQ(functions_[0].info->symbol, functions_[0].symbol);
    EXPECT_TRUE(functions_[0].info->leaf);
}

TEST_F(ReaderClient, EpvalGivesItsIdToItsOperand) {
    read(function_text("stmt (ASG:1 (NAME:1 2 1) (EPVAL 12 (NAME:1 1 0)))"));
    EXPECT_EQ(only_statement(), "(ASG (NAME y) (NAME x #12))");
}

TEST_F(ReaderClient, BranchToTheLabelThatFollowsMarksProfileData) {
    read(function_text("stmt @1:4:1 (BRANCH (LABEL 7))\nlabel 7\nstmt (NOP)"));
    const FunctionBody& body = functions_.at(0).body;
    EXPECT_EQ(shape(body.profile_branch), "(BRANCH (LABEL 7))");
    EXPECT_EQ(statements(), (std::vector<std::string>{"(NOP)"}));

    TearDown();
    SetUp();
    read(function_text("stmt (BRANCH (LABEL 7))\nlabel 6"));
    EXPECT_EQ(functions_.at(0).body.profile_branch, nullptr);
    EXPECT_EQ(statements().size(), 2u);
}

// ---- Statement conversions ------------------------------------------------------------

TEST_F(ReaderClient, NodesOfEnumTypeTakeTheIntegerType) {
    read(function_text("stmt (ASG:3 (NAME:1 2 1) (SCONV:3 (ICON:3 0)))"));
    const ir::NODE* tree = functions_.at(0).body.statements.at(0).tree;
    ir::TYPE* int_type = package_->int_type(ir::TYPE::ik_int);
    EXPECT_EQ(tree->type, int_type);
    EXPECT_EQ(tree->right->type, int_type);
    EXPECT_EQ(tree->right->left->type, int_type);
}

TEST_F(ReaderClient, CallsAndTakingTheAddressOfALocalAreNoted) {
    read(function_text("stmt (UAND:5 (NAME:1 2 1))\nstmt (UCALL:1 0 (UAND:5 (NAME:4 0 1)))"));
    EXPECT_TRUE(functions_.at(0).info->takes_local_address);
    EXPECT_FALSE(functions_.at(0).info->leaf);
    EXPECT_EQ(functions_[0].body.statements[1].tree->left->left->sym(),
              global("g", ir::SC_EXTERN_DEF));
}

TEST_F(ReaderClient, PmconvBecomesMultOverAConvertedOperand) {
    read(function_text("stmt (PMCONV:6 (NAME:1 2 1) (ICON:6 4))"));
    EXPECT_EQ(only_statement(), "(MULT (SCONV (NAME y)) (ICON 4))");
}

TEST_F(ReaderClient, AssertTakesItsOperandsOperandsAndKeepsTheOperand) {
    read(function_text("stmt (ASSERT (LT:1 (NAME:1 2 1) (ICON:1 3)))"));
    const ir::NODE* tree = functions_.at(0).body.statements.at(0).tree;
    EXPECT_EQ(shape(tree), "(ASSERT (NAME y) (ICON 3))");
    EXPECT_EQ(static_cast<const ir::NODE*>(tree->aux)->op, ir::LT);
}

TEST_F(ReaderClient, NassertMarksTheFunctionUnlessAssertionsAreDisabled) {
    read(function_text("stmt (NASSERT (NAME:1 2 1))"));
    EXPECT_TRUE(functions_.at(0).body.has_nasserts);
    EXPECT_EQ(only_statement(), "(NASSERT (NAME y))");
    TearDown();
    SetUp();
    sw::add_switches(sw::Category::disable, "nasserts");
    read(function_text("stmt (NASSERT (NAME:1 2 1))"));
    EXPECT_FALSE(functions_.at(0).body.has_nasserts);
    EXPECT_EQ(only_statement(), "(ICON 0)");
}

TEST_F(ReaderClient, VectorConversionsAndParts) {
    const std::string vector_types = R"(
type 20 array 1 2 size=32 align=16 complete=1 vector=1
type 21 array 2 2 size=32 align=16 complete=1 vector=1)";
    std::string text = function_text(R"(stmt (SCONV:20 (NAME:21 2 2))
                         stmt (ASG:1 (NAME:1 2 1) (IMAG:1 (NAME:20 2 3))))",
                                     vector_types);
    text.replace(text.find("endlocals"), 0,
                 "sym \"w\" size=32 class=1 type=21 align=16\n"
                 "sym \"z\" size=32 class=1 type=20 align=16\n");
    read(text);
    EXPECT_EQ(statements(), (std::vector<std::string>{
                                "(VSCONV (NAME w))", "(ASG (NAME y) (VFIELD (NAME z) (ICON 1)))"}));
}

TEST_F(ReaderClient, PointerConversionToCharBecomesIsp2charOnlyWhenAsked) {
    const std::string body = "stmt (PCONV:7 (NAME:1 2 1))";
    const std::string char_pointer = "type 7 ptr 2 size=32 align=32";
    read(function_text(body, char_pointer));
    EXPECT_EQ(only_statement(), "(PCONV (NAME y))");
    TearDown();
    SetUp();
    sw::add_switches(sw::Category::enable, "isp2char");
    read(function_text(body, char_pointer));
    EXPECT_EQ(only_statement(), "(ISP2CHAR (NAME y))");
}

TEST_F(ReaderClient, RestrictPointersAreRecordedInTheirScope) {
    read(function_text("block\nstmt (NAME:8 0 4)\nendblock",
                       "type 7 ptr 1 size=32 align=32\ntype 8 qual 7 quals=64 size=32 align=32",
                       "sym \"rp\" size=32 class=2 type=8 align=32"));
    const std::vector<LexicalScope>& scopes = functions_.at(0).body.scopes;
    ASSERT_EQ(scopes.size(), 3u); // parameters, body, block
    EXPECT_EQ(scopes[2].level, 3);
    EXPECT_EQ(scopes[2].parent, 1);
    ASSERT_EQ(scopes[2].restrict_globals.size(), 1u);
    EXPECT_EQ(scopes[2].restrict_globals[0]->name, "rp");
    EXPECT_TRUE(scopes[1].restrict_globals.empty());
}

// ---- Declarations, initializers, exception tables --------------------------------------

TEST_F(ReaderClient, NestedLocalsAndTheBodysEndOfLocals) {
    read(function_text("block @1:4:1\nsym \"t\" size=16 class=1 type=1 align=16\n"
                       "endlocals @1:4:9\nstmt (NAME:1 3 2)\nendblock @1:5:1"));
    const ir::FUNINFO& info = *functions_.at(0).info;
    EXPECT_EQ(info.locals_end.line, 3u);
    EXPECT_EQ(info.parameters_end.line, 2u);
    EXPECT_EQ(info.list(ir::SymbolListKind::block_scope).front()->name, "t");
    EXPECT_EQ(only_statement(), "(NAME t)");
}

TEST_F(ReaderClient, InitializersGoToTheirSymbols) {
    read("icode -73 600 \"t.c\"\nsection init\ninit 3\n(ICON:1 4)\n(LCON:6 \"-5\")\n(ENDINIT)\n" +
         kTypes);
    const ir::Symbol* v = global("v", ir::SC_EXTERN_DEF);
    ASSERT_EQ(v->initializer.size(), 3u);
    EXPECT_EQ(shape(v->initializer[0]), "(ICON 4)");
    EXPECT_EQ(shape(v->initializer[1]), "(ICON -5)");
    EXPECT_EQ(v->initializer[2]->op, ir::ENDINIT);
    EXPECT_NE(v->flag_byte & ir::SYMB_INITIALIZED, 0);
    EXPECT_TRUE(functions_.empty());
}

TEST_F(ReaderClient, ExceptionTablesAreKeptWithTheNoHandlerEntry) {
    read(function_text(R"(eht
                            entry 1 1 0 0
                            cleanup (NAME:1 2 1)
                            entry 2 2 5 1
                            names "int" 3 1)"));
    const std::optional<ExceptionTableItem>& table = functions_.at(0).body.exception_table;
    ASSERT_TRUE(table.has_value());
    ASSERT_EQ(table->entries.size(), 3u);
    EXPECT_EQ(shape(table->entries[1].cleanup), "(NAME y)");
    EXPECT_EQ(table->entries[2].number, 5u);
    EXPECT_EQ(table->entries[2].names.at(0).negated_number, 0u - 3u);
}

TEST_F(ReaderClient, OldVersionsDeriveTheEnumFlagFromItsTag) {
    std::string text = "icode -82 600 \"t.c\"\nsection types\ntype 1 int size=16 align=16\n"
                       "type 2 enum \"\" size=16 align=16 under=1\ntype 3 enum \"e\" size=16 "
                       "align=16 under=1\nsection symbols\n"
                       "sym \"a\" size=16 class=2 type=2 align=16\n"
                       "sym \"b\" size=16 class=2 type=3 align=16";
    read(text);
    EXPECT_EQ(global("a", ir::SC_EXTERN_DEF)->declared_type->flag_byte(), 1);
    EXPECT_EQ(global("b", ir::SC_EXTERN_DEF)->declared_type->flag_byte(), 0);
}

// ---- Bad input -----------------------------------------------------------------------------

std::string type_report(const char* text) {
    return std::string("TP>> internal error: ") + text + "\n";
}

TEST_F(ReaderClient, TypeErrorsEndTheRunWithTheTypePackagesReport) {
    const std::string head = "icode -73 600 \"t.c\"\nsection types\ntype 1 int size=16 align=16\n";
    struct Case {
        std::string types;
        const char* report;
    } cases[] = {
        {"type 2 ptr 3 size=32 align=32\ntype 3 char size=16 align=16",
         "invalid forward reference"},
        {"type 1 char size=16 align=16", "read type twice"},
        {"type 2 func 1\ntype 2 list 0\ntype 2 param 1\ntype 2 endlist 0\ntype 2 list 0",
         "Duplicate function parameters"},
        {"type 2 enum \"e\" under=1\ntype 2 list 1\ntype 2 enumerator \"A\" 1\n"
         "type 2 endlist 1\ntype 2 list 1",
         "Duplicate enumerator attributes"},
        {"type 2 csu 0 \"s\"\ntype 2 list 7\ntype 2 field 0 \"a\" 1\ntype 2 endlist 7\n"
         "type 2 list 7",
         "Duplicate CSU attributes"},
        {"type 1 list 0", "Unexpected type attribute"},
        // An enumerator's value is read by its owner's signedness: an
        // owner that does not exist must be refused before it is asked.
        {"type 2 enumerator \"A\" 1", "invalid forward reference"},
        {"type 0 enumerator \"A\" 1", "invalid forward reference"},
        {"type 1 enumerator \"A\" 1", "Unexpected type attribute"},
    };
    for (const Case& c : cases) {
        Outcome outcome = read_refused(head + c.types);
        EXPECT_TRUE(outcome.stopped) << c.report;
        EXPECT_EQ(outcome.status, 1);
        EXPECT_EQ(outcome.err, type_report(c.report));
        TearDown();
        SetUp();
    }
}

TEST_F(ReaderClient, RecordsThatMakeNoSenseWhereTheyStandAreInvalid) {
    const std::string fault = "\nINTERNAL ERROR: Invalid I-code record, aborting\n";
    struct Case {
        std::string text;
        const char* detail;
    } cases[] = {
        {"icode -73 600 \"t.c\"\nsection main\nstmt (NOP)\n" + kTypes,
         "a record that belongs to a function stands outside one"},
        {function_text("stmt (NAME:1 2 9)"),
         "a tree names symbol 9 of level 2, which is not declared"},
        {function_text("stmt (FIELD:1 1 0 1)"),
         "a FIELD node names a member its container type does not have"},
        {function_text("block"), "a function ends inside a block"},
        {"icode -73 600 \"t.c\"\nsection main\nfunc 9\n" + kTypes,
         "a record of kind 1 names global symbol 9, which is not declared"},
        {"icode -73 600 \"t.c\"\nsection main\nfunc 0\nendparams\nendfunc\nfunc 0\n" + kTypes,
         "function f is defined a second time"},
        {"icode -73 600 \"t.c\"\n" + sections("", "sym \"w\" size=32 class=2 type=1 align=16"),
         "symbol w has 32 bits, its type 16"},
    };
    // Bodies read one at a time after the rest of the file give the same
    // reports as bodies read in file order.
    for (bool deferred : {false, true}) {
        for (const Case& c : cases) {
            defer_ = deferred;
            Outcome outcome = read_refused(c.text);
            EXPECT_EQ(outcome.status, 1) << c.detail;
            EXPECT_NE(outcome.err.find(std::string(": ") + c.detail + "\n" + fault),
                      std::string::npos)
                << outcome.err;
            TearDown();
            SetUp();
        }
    }
}

TEST_F(ReaderClient, AFieldWithAnFtiByteGetsAGeneratedName) {
    read("icode -73 600 \"t.c\"\n" +
         sections("type 7 csu 0 \"s\" size=32 align=16\ntype 7 list 7\n"
                  "type 7 field 0 \"a\" 1 fti=0x2a\ntype 7 field 1 \"b\" 1 offset=16\n"
                  "type 7 endlist 7",
                  "sym \"w\" size=32 class=2 type=7 align=16"));
    const ir::TYPE* type = ir::optimizer_type_of(global("w", 2)->declared_type);
    ASSERT_NE(type, nullptr);
    EXPECT_EQ(type->field_record(0)->generated_name, "fti:2a");
    EXPECT_EQ(type->field_record(1)->generated_name, "");
}

TEST_F(ReaderClient, BodiesReadLaterMatchBodiesReadInOrder) {
    // Two functions; the second declares a type inside its body, which
    // belongs to the file and is read when the body is stepped over.
    const std::string text =
        "icode -73 600 \"t.c\"\nsection main\n"
        "func 0 @1:1:1\nsym \"x\" size=16 class=9 type=1 align=16\nendparams\n"
        "sym \"y\" size=16 class=1 type=1 align=16\nendlocals\n"
        "stmt @1:2:1 (ASG:1 (NAME:1 2 1) (PLUS:1 (NAME:1 1 0) (ICON:1 1)))\nlabel 3\n"
        "stmt (RETURN:1 (NAME:1 2 1) (NOP))\nendfunc @1:3:1\n"
        "func 1 @1:4:1\nendparams\ntype 7 ptr 1 size=32 align=32\n"
        "sym \"p\" size=32 class=1 type=7 align=32\nendlocals\n"
        "stmt (ASG:7 (NAME:7 2 0) (UAND:7 (NAME:1 0 3)))\nendfunc @1:5:1\n" +
        kTypes;
    std::vector<std::vector<std::string>> in_order;
    read(text);
    for (const FunctionRead& f : functions_) {
        std::vector<std::string> shapes;
        for (const StatementEntry& s : f.body.statements)
            shapes.push_back(shape(s.tree));
        in_order.push_back(shapes);
    }
    TearDown();
    SetUp();
    defer_ = true;
    read(text);
    ASSERT_EQ(functions_.size(), 2u);
    for (size_t i = 0; i < functions_.size(); ++i) {
        std::vector<std::string> shapes;
        for (const StatementEntry& s : functions_[i].body.statements)
            shapes.push_back(shape(s.tree));
        EXPECT_EQ(shapes, in_order[i]);
    }
    EXPECT_EQ(functions_[1].info->end_position.line, 5u);
    EXPECT_EQ(functions_[1].body.statements.at(0).tree->left->sym()->name, "p");
}

TEST_F(ReaderClient, AMalformedExceptionTableIsAnEhtError) {
    // An exception table of one entry (kind 93, one byte: 1) and no entry.
    Outcome outcome = read_refused(function_text("raw 5d 01 01\nstmt (NOP)"));
    EXPECT_EQ(outcome.status, 1);
    EXPECT_TRUE(outcome.err.ends_with("\nINTERNAL ERROR: Invalid EHT record in I-code, aborting\n"))
        << outcome.err;
}

// Streams that are well formed record by record but mean nothing: each
// is read to its end or refused with status 1, never more.
TEST_F(ReaderClient, RandomStreamsAreReadOrRefused) {
    for (uint32_t seed = 1; seed <= 60; ++seed) {
        const std::string bytes = testing::generate_stream(seed, -86 + static_cast<int>(seed % 14));
        Outcome outcome = run_guarded([&] {
            FILE* in = std::tmpfile();
            std::fwrite(bytes.data(), 1, bytes.size(), in);
            std::rewind(in);
            reader_ = IcodeReader::open(in, "random.icode");
            writer_ = IcodeWriter::create(std::tmpfile(), "random");
            OptimizerReaderClient client(*package_, *writer_, [](FunctionRead&&) {});
            reader_->read_all(client);
        });
        EXPECT_TRUE(!outcome.stopped || outcome.status == 1) << "seed " << seed;
        if (writer_)
            writer_->close(true);
        TearDown();
        SetUp();
    }
}

} // namespace
} // namespace vx::icode
