// The IR verifier: quiet on everything the reader builds from the examples
// and on generated programs, and each check fires on an IR broken on
// purpose.
#include "unit/scalar/read_functions.h"

#include "ir/ir_verifier.h"
#include "ir/node_build.h"
#include "progen/generator.h"

#include <filesystem>

namespace vx::ir {
namespace {

const char* const kFunctionText = R"(icode -73 600 "t.c"
section main
func 0
  sym "x" size=16 class=9 type=1 align=16
  endparams
  sym "y" size=16 class=1 type=1 align=16
  endlocals
  block
  sym "z" size=16 class=1 type=1 align=16
  stmt (ASG:1 (NAME:1 3 2) (NAME:1 1 0))
  endblock
  stmt (CBRANCH (LT:1 (NAME:1 1 0) (ICON:1 3)) (LABEL 7))
  stmt (SWITCH 1 (NAME:1 1 0) (COMMA (CASE (ICON:1 0) (LABEL 7)) (DEFAULT (LABEL 8))))
  label 7
  stmt (ASG:1 (NAME:1 2 1) (PLUS:1 (NAME:1 0 1) (ICON:1 1)))
  label 8
  stmt (RETURN:1 (NAME:1 2 1) (NOP))
endfunc
section types
type 1 int explicit=1 size=16 align=16
type 2 func 1
type 2 list 0
type 2 endlist 0
section symbols
sym "f" class=2 type=2 align=16
sym "g" size=16 class=2 type=1 align=16
)";

class IrVerifier : public vx::testing::ReadWorld {
protected:
    void read_function() {
        read(kFunctionText);
        ASSERT_EQ(functions_.size(), 1u);
    }
    icode::FunctionRead& function() { return functions_.at(0); }
    std::vector<icode::StatementEntry>& statements() { return function().body.statements; }
    NODE* statement(size_t index) { return statements().at(index).tree; }
    std::string problem() {
        std::optional<std::string> found = verify_function(*function().info, function().body);
        return found ? *found : "";
    }
    Symbol* local(const std::string& name) {
        for (Symbol* symbol : function().info->local_table)
            if (symbol->name == name)
                return symbol;
        return nullptr;
    }
    TYPE* int_type() { return package_->int_type(TYPE::ik_int); }
};

// ---- Quiet on sound IR ---------------------------------------------------------------------

TEST_F(IrVerifier, QuietOnAFunctionAsRead) {
    read_function();
    EXPECT_EQ(problem(), "");
}

TEST_F(IrVerifier, QuietOnEveryExample) {
    int checked = 0;
    for (const auto& entry : std::filesystem::directory_iterator(VXOPT_SOURCE_DIR "/examples")) {
        if (entry.path().extension() != ".ict")
            continue;
        drop_world();
        fresh_world();
        read(file_text(entry.path().string()));
        for (const icode::FunctionRead& f : functions_) {
            std::optional<std::string> found = verify_function(*f.info, f.body);
            EXPECT_FALSE(found) << entry.path() << " " << f.symbol->name << ": " << *found;
            ++checked;
        }
    }
    EXPECT_GE(checked, 3);
}

TEST_F(IrVerifier, QuietOnGeneratedPrograms) {
    for (uint64_t seed = 1; seed <= 20; ++seed) {
        drop_world();
        fresh_world();
        progen::GeneratorOptions options;
        options.seed = seed;
        options.size = seed % 5 == 0 ? progen::ProgramSize::medium : progen::ProgramSize::small;
        read(progen::generate_program_text(options));
        for (const icode::FunctionRead& f : functions_) {
            std::optional<std::string> found = verify_function(*f.info, f.body);
            EXPECT_FALSE(found) << "seed " << seed << " " << f.symbol->name << ": " << *found;
        }
    }
}

// ---- Trees -----------------------------------------------------------------------------

TEST_F(IrVerifier, MissingAndExtraOperandsAreReported) {
    read_function();
    statement(4)->right->right = nullptr; // the PLUS of y = g + 1
    EXPECT_EQ(problem(), "statement 5: PLUS node without its right operand");
    statement(4)->right->right = make_icon(int_type(), 1);
    statement(6)->right->left = make_icon(int_type(), 0); // NOP with an operand
    EXPECT_EQ(problem(), "statement 7: NOP node with a left operand it does not take");
}

TEST_F(IrVerifier, UnknownOpcodesAndMissingTypesAreReported) {
    read_function();
    statement(4)->right->op = static_cast<Opcode>(30);
    EXPECT_EQ(problem(), "statement 5: unknown opcode 30");
    statement(4)->right->op = PLUS;
    statement(4)->right->type = nullptr;
    EXPECT_EQ(problem(), "statement 5: PLUS node without a type");
}

TEST_F(IrVerifier, LeafPayloadsAreChecked) {
    read_function();
    NODE* constant = statement(4)->right->right;
    constant->value = Int96::from_signed(70000);
    EXPECT_EQ(problem(), "statement 5: ICON 70000 does not fit its type");
    constant->value = Int96::from_signed(1);
    statement(4)->left->set_sym(nullptr);
    EXPECT_EQ(problem(), "statement 5: NAME node without a symbol");
}

TEST_F(IrVerifier, NamesMustBeGlobalOrOfThisFunction) {
    read_function();
    Symbol stranger;
    stranger.name = "stranger";
    statement(4)->left->set_sym(&stranger);
    EXPECT_EQ(problem(),
              "statement 5: NAME of 'stranger', which is neither global nor of this function");
}

TEST_F(IrVerifier, LabelReferencesMustBeDefined) {
    read_function();
    statement(1)->right->value = Int96::from_unsigned(99);
    EXPECT_EQ(problem(), "statement 2: reference to label 99, which the function does not define");
}

TEST_F(IrVerifier, LabelsAreDefinedOnceAndOnlyAsStatements) {
    read_function();
    statement(5)->value = Int96::from_unsigned(7); // "label 8" becomes a second "label 7"
    EXPECT_EQ(problem(), "label 7 is defined more than once");
    statement(5)->value = Int96::from_unsigned(8);
    statement(4)->right->right = make_label_def(3);
    EXPECT_EQ(problem(), "statement 5: label definition inside a tree");
}

TEST_F(IrVerifier, ControlOperandsHaveTheirForms) {
    read_function();
    NODE* target = statement(1)->right;
    statement(1)->right = make_icon(int_type(), 7);
    EXPECT_EQ(problem(), "statement 2: CBRANCH node whose operand is not a label reference");
    statement(1)->right = target;
    NODE* cases = statement(2)->right;
    cases->right = make_list(COMMA, nullptr,
                             {make_unary(DEFAULT, nullptr, make_label_ref(8)),
                              make_unary(DEFAULT, nullptr, make_label_ref(7))});
    EXPECT_EQ(problem(), "statement 3: SWITCH with more than one DEFAULT");
    cases->right = make_icon(int_type(), 1);
    EXPECT_EQ(problem(), "statement 3: SWITCH case list with something other than CASE or DEFAULT");
}

TEST_F(IrVerifier, EmptyStatementsAreReported) {
    read_function();
    statements()[4].tree = nullptr;
    EXPECT_EQ(problem(), "statement 5: empty statement");
}

TEST_F(IrVerifier, TreesCanBeCheckedOnTheirOwn) {
    read_function();
    const SymbolScope globals_only;
    TreeCheckContext context{&globals_only, nullptr};
    EXPECT_FALSE(verify_tree(statement(4)->right, context)); // g + 1
    EXPECT_TRUE(verify_tree(statement(4), context));         // y is a local
    EXPECT_EQ(verify_tree(nullptr, context), "missing tree");
    // Without a label set, references are not checked.
    EXPECT_FALSE(verify_tree(make_unary(BRANCH, nullptr, make_label_ref(1234)), context));
}

// ---- Symbols -------------------------------------------------------------------------------

TEST_F(IrVerifier, ParametersNeedAParameterClass) {
    read_function();
    local("x")->storage_class = SC_AUTO;
    EXPECT_EQ(problem(), "parameter 'x' has storage class 1");
}

TEST_F(IrVerifier, LocalsNeedALevelATypeAndAMatchingSize) {
    read_function();
    local("y")->level = 0;
    EXPECT_EQ(problem(), "local 'y' of level 0 on the declared list");
    local("y")->level = 2;
    local("y")->size = 32;
    EXPECT_EQ(problem(), "local 'y' has size 32 but its type has size 16");
    local("y")->size = 16;
    local("y")->type = nullptr;
    EXPECT_EQ(problem(), "local 'y' has no type");
}

TEST_F(IrVerifier, BlockScopeLocalsBelongToABlock) {
    read_function();
    Symbol* z = local("z");
    ASSERT_NE(z, nullptr);
    EXPECT_EQ(z->level, 3);
    z->level = 2;
    EXPECT_EQ(problem(), "local 'z' of level 2 on the block-scope list");
    z->level = 5;
    EXPECT_EQ(problem(), "local 'z' of level 5 belongs to no block of the function");
}

TEST_F(IrVerifier, ListedLocalsAreInTheLocalTableOnce) {
    read_function();
    FUNINFO& info = *function().info;
    Symbol* y = local("y");
    info.local_table.erase(std::find(info.local_table.begin(), info.local_table.end(), y));
    EXPECT_EQ(problem(), "local 'y' is not in the local table");
}

TEST_F(IrVerifier, ListCountsMustMatchTheChain) {
    read_function();
    FUNINFO& info = *function().info;
    Symbol* last = nullptr;
    for (Symbol* symbol : info.list(SymbolListKind::declared))
        last = symbol;
    ASSERT_NE(last, nullptr);
    last->next = info.list(SymbolListKind::declared).front(); // a cycle
    EXPECT_EQ(problem(), "the declared list is longer than its count");
    last->next = nullptr;
}

} // namespace
} // namespace vx::ir
