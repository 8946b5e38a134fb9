// Trees as wholes: the debug log's picture, and walks, rewrites and copies
// of right-leaning chains far deeper than the stack could recurse.
#include "ir/node_build.h"
#include "ir/tree_printer.h"
#include "ir/tree_walk.h"

#include "support/arena.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vx::ir {
namespace {

struct FakeType {
    const char* spelling;
    IntegerShape shape;
};
struct FakeSymbol {
    const char* name;
};
FakeType int_type{"int", {16, true}}, unsigned_type{"unsigned", {16, false}},
    long_long_type{"long long", {64, true}};
FakeSymbol x{"x"}, y{"y"};

TYPE* type_of(FakeType& fake) {
    return reinterpret_cast<TYPE*>(&fake);
}
Symbol* symbol_of(FakeSymbol& fake) {
    return reinterpret_cast<Symbol*>(&fake);
}

class Tree : public ::testing::Test {
protected:
    void SetUp() override {
        reset_node_environment();
        NodeEnvironment& env = node_environment();
        env.arena = &arena_;
        env.integer_shape = [](const TYPE* t) {
            return reinterpret_cast<const FakeType*>(t)->shape;
        };
        env.type_spelling = [](const TYPE* t) {
            return std::string(reinterpret_cast<const FakeType*>(t)->spelling);
        };
        env.symbol_name = [](const Symbol* s) {
            return std::string(reinterpret_cast<const FakeSymbol*>(s)->name);
        };
    }
    void TearDown() override { reset_node_environment(); }

    TYPE* int_t = type_of(int_type);

    // A COMMA list of `length` long long ICONs 0, 1, 2, ...; ICON i is at
    // depth i + 1 (the last at the depth of the COMMA above it).
    NODE* long_chain(int length) {
        TYPE* type = type_of(long_long_type);
        std::vector<NODE*> items;
        for (int i = 0; i < length; ++i)
            items.push_back(make_icon(type, i));
        return make_list(COMMA, type, items);
    }

private:
    Arena arena_;
};

TEST_F(Tree, PrintsOneIndentedLinePerNode) {
    NODE* sum = make_binary(PLUS, int_t, make_name(symbol_of(y), int_t), make_icon(int_t, -1));
    NODE* statement = make_binary(ASG, int_t, make_name(symbol_of(x), int_t), sum);
    statement->id = 7;
    EXPECT_EQ(tree_text(statement), "=        : int #7\n"
                                    "  NAME     x : int\n"
                                    "  +        : int\n"
                                    "    NAME     y : int\n"
                                    "    ICON     -1 : int\n");
}

TEST_F(Tree, PrintsPayloadsAndUnusualOpcodes) {
    node_environment().type_spelling = nullptr;
    NODE* nop = make_node(NOP, nullptr);
    EXPECT_EQ(node_line(nop), "NOP");
    nop->op = static_cast<Opcode>(255);
    EXPECT_EQ(node_line(nop), " ?ILLOP?");
    nop->op = static_cast<Opcode>(30);
    EXPECT_EQ(node_line(nop), "?NODE?");

    EXPECT_EQ(node_line(make_icon(type_of(unsigned_type), -1)), "ICON     65535");
    EXPECT_EQ(node_line(make_label_ref(12)), "LABELREF L12");
    EXPECT_EQ(node_line(make_label_def(12)), "LABELDEF L12");
    EXPECT_EQ(node_line(make_fcon(int_t, 0.5)), "FCON     0x1p-1");
    EXPECT_EQ(node_line(make_scon(int_t, std::string("a\"\n\0", 4))), "SCON     \"a\\\"\\n\\000\"");
    EXPECT_EQ(node_line(make_node(ULE, int_t)), "ULE");
    EXPECT_EQ(node_line(make_name(nullptr, int_t)), "NAME     <no symbol>");

    NODE* call = make_node(CALL, int_t);
    call->read_call(2, 5);
    EXPECT_EQ(node_line(call), "CALL     2 call#5");
    NODE* intrinsic = make_node(UMCALL, int_t);
    intrinsic->set_intrinsic_name("__sat");
    EXPECT_EQ(node_line(intrinsic), "UMCALL   __sat");
}

TEST_F(Tree, IndentationStopsGrowingAtTheDeepestLevel) {
    std::string text = tree_text(long_chain(40));
    std::string deepest_indent(2 * deepest_indented_level, ' ');
    EXPECT_NE(text.find("\n" + deepest_indent + "ICON     29 : long long\n"), std::string::npos);
    EXPECT_NE(text.find("\n" + deepest_indent + "(31) ICON     30 : long long\n"),
              std::string::npos);
}

TEST_F(Tree, WalksVisitOperatorsBeforeOperands) {
    NODE* tree = make_binary(MINUS, int_t, make_unary(UMINUS, int_t, make_icon(int_t, 1)),
                             make_list(COMMA, int_t, {make_icon(int_t, 2), make_icon(int_t, 3)}));
    std::vector<std::string> seen;
    walk_tree(tree, [&seen](NODE* node) { seen.push_back(opcode_name(node->op)); });
    EXPECT_EQ(seen, (std::vector<std::string>{"MINUS", "UMINUS", "ICON", "COMMA", "ICON", "ICON"}));
}

// The reader's EPVAL rule: the operand takes the EPVAL's place and its id.
TEST_F(Tree, RewriteReplacesNodesChildrenFirst) {
    NODE* inner = make_unary(EPVAL, int_t, make_name(symbol_of(x), int_t));
    inner->id = 12;
    NODE* outer = make_unary(EPVAL, int_t, make_binary(PLUS, int_t, inner, make_icon(int_t, 1)));
    outer->id = 13;
    std::vector<std::string> order;
    NODE* result = rewrite_tree(outer, [&order](NODE* node) {
        order.push_back(opcode_name(node->op));
        if (node->op != EPVAL)
            return node;
        node->left->id = node->id;
        return node->left;
    });
    EXPECT_EQ(order, (std::vector<std::string>{"NAME", "EPVAL", "ICON", "PLUS", "EPVAL"}));
    EXPECT_EQ(tree_text(result), "+        : int #13\n"
                                 "  NAME     x : int #12\n"
                                 "  ICON     1 : int\n");
}

// 200000 nested calls would overflow any stack these tests run on.
TEST_F(Tree, DeepRightChainsCostNoStackDepth) {
    constexpr int length = 200000;
    NODE* chain = long_chain(length);
    EXPECT_EQ(count_nodes(chain), 2u * length - 1);

    NODE* copy = copy_tree(chain);
    EXPECT_EQ(count_nodes(copy), 2u * length - 1);
    EXPECT_NE(copy, chain);

    int icons = 0;
    NODE* rewritten = rewrite_tree(copy, [&icons](NODE* node) {
        icons += node->op == ICON;
        return node->op == COMMA ? node
                                 : make_icon(node->type, node->value + Int96::from_signed(1));
    });
    EXPECT_EQ(icons, length);
    NODE* last = rewritten;
    while (last->op == COMMA)
        last = last->right;
    EXPECT_EQ(last->value, Int96::from_signed(length));

    std::string text = tree_text(chain);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2 * length - 1);
}

} // namespace
} // namespace vx::ir
