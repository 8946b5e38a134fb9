// The simplifier's rules, one group per kind, and the cases that must stay
// as they are.
#include "unit/scalar/simplifier_fixture.h"

#include "icode/reader_client.h"
#include "scalar/simplifier.h"
#include "scalar/simplify_predicates.h"

namespace vx::scalar {
namespace {

using ir::NODE;

class Simplifier : public testing::SimplifierWorld {
protected:
    std::string simplified(NODE* tree) { return text(simplify_expression(tree)); }
    std::string statement(NODE* tree) { return text(simplify_statement(tree)); }
    std::vector<std::string> tidied(NODE* tree) {
        std::vector<std::string> out;
        for (NODE* piece : tidy_statement(tree))
            out.push_back(text(piece));
        return out;
    }
};

// ---- Constant folding -------------------------------------------------------------------

TEST_F(Simplifier, FoldsConstantsAtTheNodesWidthWithWrapAround) {
    EXPECT_EQ(simplified(bin(ir::PLUS, i16, icon(i16, 32767), icon(i16, 1))), "#-32768:i16");
    EXPECT_EQ(simplified(bin(ir::PLUS, u16, icon(u16, 65535), icon(u16, 2))), "#1:u16");
    EXPECT_EQ(simplified(bin(ir::MULT, i32, icon(i32, 65536), icon(i32, 65536))), "#0:i32");
    EXPECT_EQ(simplified(bin(ir::SRL, i16, icon(i16, -8), icon(i16, 1))), "#-4:i16");
    EXPECT_EQ(simplified(bin(ir::SRL, u16, icon(u16, -8), icon(u16, 1))), "#32764:u16");
    EXPECT_EQ(simplified(bin(ir::SLL, i64, icon(i64, 1), icon(i16, 63))),
              "#-9223372036854775808:i64");
    EXPECT_EQ(simplified(un(ir::UMINUS, i16, icon(i16, -32768))), "#-32768:i16");
    EXPECT_EQ(simplified(un(ir::NOTB, u32, icon(u32, 0))), "#4294967295:u32");
    EXPECT_EQ(simplified(bin(ir::DIV, i16, icon(i16, -7), icon(i16, 2))), "#-3:i16");
    EXPECT_EQ(simplified(bin(ir::MOD, i16, icon(i16, -7), icon(i16, 2))), "#-1:i16");
}

TEST_F(Simplifier, FoldsNestedExpressionsBottomUp) {
    NODE* tree = bin(ir::MULT, i16, bin(ir::PLUS, i16, icon(i16, 2), icon(i16, 3)),
                     bin(ir::MINUS, i16, icon(i16, 10), icon(i16, 4)));
    EXPECT_EQ(simplified(tree), "#30:i16");
}

TEST_F(Simplifier, ComparesConstantsBySignednessAndWidth) {
    EXPECT_EQ(simplified(bin(ir::LT, i16, icon(i16, -1), icon(i16, 0))), "#1:i16");
    EXPECT_EQ(simplified(bin(ir::ULT, i16, icon(u16, -1), icon(u16, 0))), "#0:i16");
    EXPECT_EQ(simplified(bin(ir::UGT, i16, icon(u32, -1), icon(u32, 5))), "#1:i16");
    EXPECT_EQ(simplified(bin(ir::GE, i16, icon(i64, -1), icon(i64, 0))), "#0:i16");
    EXPECT_EQ(simplified(bin(ir::EQ, i16, icon(u64, -1), icon(u64, -1))), "#1:i16");
}

TEST_F(Simplifier, DoesNotFoldUndefinedOperations) {
    EXPECT_EQ(simplified(bin(ir::DIV, i16, icon(i16, 1), icon(i16, 0))), "(DIV:i16 #1:i16 #0:i16)");
    EXPECT_EQ(simplified(bin(ir::MOD, u32, icon(u32, 1), icon(u32, 0))), "(MOD:u32 #1:u32 #0:u32)");
    EXPECT_EQ(simplified(bin(ir::DIV, i16, icon(i16, -32768), icon(i16, -1))),
              "(DIV:i16 #-32768:i16 #-1:i16)");
    EXPECT_EQ(simplified(bin(ir::SLL, i16, icon(i16, 1), icon(i16, 16))),
              "(SLL:i16 #1:i16 #16:i16)");
    EXPECT_EQ(simplified(bin(ir::SRL, u32, icon(u32, 1), icon(i16, 32))),
              "(SRL:u32 #1:u32 #32:i16)");
    EXPECT_EQ(simplified(bin(ir::SLL, i64, icon(i64, 1), icon(i16, -1))),
              "(SLL:i64 #1:i64 #-1:i16)");
    // Zero shifted by an unknown count keeps its count: it may be out of range.
    NODE* n = var("n", i16);
    EXPECT_EQ(simplified(bin(ir::SLL, i16, icon(i16, 0), n)), "(SLL:i16 #0:i16 n)");
}

TEST_F(Simplifier, SignedComparisonOfUnsignedConstantsOnlyWhenUnambiguous) {
    EXPECT_EQ(simplified(bin(ir::LT, i16, icon(u16, 0x8000), icon(u16, 1))),
              "(LT:i16 #32768:u16 #1:u16)");
    EXPECT_EQ(simplified(bin(ir::LT, i16, icon(u16, 2), icon(u16, 1))), "#0:i16");
}

TEST_F(Simplifier, FoldsFloatsOnlyWhenExact) {
    EXPECT_EQ(simplified(bin(ir::PLUS, f32, fcon(f32, 1.5), fcon(f32, 2.0))), "#3.500000:f32");
    EXPECT_EQ(simplified(bin(ir::DIV, f32, fcon(f32, 1.0), fcon(f32, 0.0))),
              "(DIV:f32 #1.000000:f32 #0.000000:f32)");
    EXPECT_EQ(simplified(bin(ir::LT, i16, fcon(f64, 1.0), fcon(f64, 2.0))), "#1:i16");
    EXPECT_EQ(simplified(un(ir::UMINUS, f32, fcon(f32, 2.0))), "#-2.000000:f32");
    EXPECT_EQ(simplified(un(ir::SCONV, i16, fcon(f32, -2.5))), "#-2:i16");
    EXPECT_EQ(simplified(un(ir::SCONV, f32, icon(i32, 16777217))), "(SCONV:f32 #16777217:i32)");
    // x + 0.0 is not x for x = -0.0; floats get no identities.
    NODE* x = var("x", f32);
    EXPECT_EQ(simplified(bin(ir::PLUS, f32, x, fcon(f32, 0.0))), "(PLUS:f32 x #0.000000:f32)");
}

// ---- Conversions -------------------------------------------------------------------------

TEST_F(Simplifier, ConversionsOfConstantsTruncateOrExtend) {
    EXPECT_EQ(simplified(un(ir::SCONV, i16, icon(i32, 0x12345))), "#9029:i16");
    EXPECT_EQ(simplified(un(ir::SCONV, u32, icon(i16, -1))), "#4294967295:u32");
    EXPECT_EQ(simplified(un(ir::SCONV, i32, icon(u16, 65535))), "#65535:i32");
    EXPECT_EQ(simplified(un(ir::PCONV, pi16, icon(i16, 0))), "#0:pi16");
    // A negative value's pointer bits depend on the extension: left alone.
    EXPECT_EQ(simplified(un(ir::PCONV, pi16, icon(i16, -1))), "(PCONV:pi16 #-1:i16)");
}

TEST_F(Simplifier, DropsConversionsToTheSameType) {
    NODE* x = var("x", i16);
    EXPECT_EQ(simplified(un(ir::SCONV, i16, x)), "x");
    EXPECT_EQ(simplified(un(ir::SCONV, s16, var("y", i16))), "y"); // short and int: same shape
    NODE* p = var("p", pi16);
    EXPECT_EQ(simplified(un(ir::PCONV, pi16, p)), "p");
    EXPECT_EQ(simplified(un(ir::SCONV, u16, var("z", i16))), "(SCONV:u16 z)");
}

TEST_F(Simplifier, MergesNestedIntegerConversionsOnlyWhenTheValueIsTheSame) {
    // (i16)(i32)x for x:i16 is x.
    EXPECT_EQ(simplified(un(ir::SCONV, i16, un(ir::SCONV, i32, var("a", i16)))), "a");
    // (i32)(i64)x for x:i16: the inner widening keeps the value.
    EXPECT_EQ(simplified(un(ir::SCONV, i32, un(ir::SCONV, i64, var("b", i16)))), "(SCONV:i32 b)");
    // (i32)(u16)x for x:i16 zero-extends the low bits: the inner one stays.
    EXPECT_EQ(simplified(un(ir::SCONV, i32, un(ir::SCONV, u16, var("c", i16)))),
              "(SCONV:i32 (SCONV:u16 c))");
    // (i32)(u32)x for x:i16: sign-extension then reinterpretation is
    // the outer conversion alone (it keeps no more bits than the inner).
    EXPECT_EQ(simplified(un(ir::SCONV, i32, un(ir::SCONV, u32, var("d", i16)))), "(SCONV:i32 d)");
    // (i64)(i16)x for x:i32 truncates first: both stay.
    EXPECT_EQ(simplified(un(ir::SCONV, i64, un(ir::SCONV, i16, var("e", i32)))),
              "(SCONV:i64 (SCONV:i16 e))");
}

// ---- Algebraic identities --------------------------------------------------------------

TEST_F(Simplifier, NeutralOperandsGo) {
    NODE* x = var("x", i16);
    EXPECT_EQ(simplified(bin(ir::PLUS, i16, x, icon(i16, 0))), "x");
    EXPECT_EQ(simplified(bin(ir::PLUS, i16, icon(i16, 0), x)), "x");
    EXPECT_EQ(simplified(bin(ir::MINUS, i16, x, icon(i16, 0))), "x");
    EXPECT_EQ(simplified(bin(ir::MULT, i16, x, icon(i16, 1))), "x");
    EXPECT_EQ(simplified(bin(ir::DIV, i16, x, icon(i16, 1))), "x");
    EXPECT_EQ(simplified(bin(ir::ORB, i16, x, icon(i16, 0))), "x");
    EXPECT_EQ(simplified(bin(ir::XORB, i16, x, icon(i16, 0))), "x");
    EXPECT_EQ(simplified(bin(ir::ANDB, u16, var("u", u16), icon(u16, 0xFFFF))), "u");
    EXPECT_EQ(simplified(bin(ir::SLL, i16, x, icon(i16, 0))), "x");
    EXPECT_EQ(simplified(bin(ir::MULT, i16, x, icon(i16, -1))), "(UMINUS:i16 x)");
    NODE* p = var("p", pi16);
    EXPECT_EQ(simplified(bin(ir::PLUS, pi16, p, icon(i16, 0))), "p");
}

TEST_F(Simplifier, AbsorbingOperandsRemoveOnlyOperandsWithoutEffects) {
    EXPECT_EQ(simplified(bin(ir::MULT, i16, var("x", i16), icon(i16, 0))), "#0:i16");
    EXPECT_EQ(simplified(bin(ir::ANDB, i16, var("x", i16), icon(i16, 0))), "#0:i16");
    EXPECT_EQ(simplified(bin(ir::ORB, i16, var("x", i16), icon(i16, -1))), "#-1:i16");
    EXPECT_EQ(simplified(bin(ir::MOD, i16, var("x", i16), icon(i16, 1))), "#0:i16");
    EXPECT_EQ(simplified(bin(ir::MULT, i16, call(i16, "f"), icon(i16, 0))),
              "(MULT:i16 (UCALL:i16 (UAND:pi16 f)) #0:i16)");
    NODE* v = var("v", vi16);
    EXPECT_EQ(simplified(bin(ir::ANDB, vi16, v, icon(vi16, 0))), "(ANDB:vi16 v #0:vi16)");
    NODE* y = var("y", i16);
    NODE* increment = bin(ir::PLUSPLUS, i16, y, icon(i16, 1));
    EXPECT_EQ(simplified(bin(ir::MULT, i16, increment, icon(i16, 0))),
              "(MULT:i16 (PLUSPLUS:i16 y #1:i16) #0:i16)");
}

TEST_F(Simplifier, SelfCancellationNeedsTheSameTreeWithoutEffects) {
    NODE* x = var("x", i16);
    EXPECT_EQ(simplified(bin(ir::MINUS, i16, x, ir::copy_tree(x))), "#0:i16");
    EXPECT_EQ(simplified(bin(ir::XORB, i16, x, ir::copy_tree(x))), "#0:i16");
    EXPECT_EQ(simplified(bin(ir::ANDB, i16, x, ir::copy_tree(x))), "x");
    EXPECT_EQ(simplified(bin(ir::LE, i16, x, ir::copy_tree(x))), "#1:i16");
    EXPECT_EQ(simplified(bin(ir::ULT, i16, x, ir::copy_tree(x))), "#0:i16");
    NODE* y = var("y", i16);
    EXPECT_EQ(simplified(bin(ir::MINUS, i16, x, y)), "(MINUS:i16 x y)");
    NODE* f = call(i16, "f");
    EXPECT_EQ(simplified(bin(ir::MINUS, i16, f, ir::copy_tree(f))),
              "(MINUS:i16 (UCALL:i16 (UAND:pi16 f)) (UCALL:i16 (UAND:pi16 f)))");
    NODE* v = var("v", vi16);
    EXPECT_EQ(simplified(bin(ir::MINUS, vi16, v, ir::copy_tree(v))), "(MINUS:vi16 v v)");
    // Floats: x - x is NaN for infinite x.
    NODE* g = var("g", f32);
    EXPECT_EQ(simplified(bin(ir::MINUS, f32, g, ir::copy_tree(g))), "(MINUS:f32 g g)");
}

TEST_F(Simplifier, DoubleNegationsCancel) {
    EXPECT_EQ(simplified(un(ir::UMINUS, i16, un(ir::UMINUS, i16, var("x", i16)))), "x");
    EXPECT_EQ(simplified(un(ir::NOTB, u32, un(ir::NOTB, u32, var("y", u32)))), "y");
    NODE* compare = bin(ir::LT, i16, var("a", i16), var("b", i16));
    EXPECT_EQ(simplified(un(ir::EXCLAIM, i16, un(ir::EXCLAIM, i16, compare))), "(LT:i16 a b)");
    // !!x is not x for an x that is not 0 or 1.
    EXPECT_EQ(simplified(un(ir::EXCLAIM, i16, un(ir::EXCLAIM, i16, var("z", i16)))),
              "(EXCLAIM:i16 (EXCLAIM:i16 z))");
}

TEST_F(Simplifier, NegatedIntegerComparisonsAreInverted) {
    EXPECT_EQ(simplified(un(ir::EXCLAIM, i16, bin(ir::ULT, i16, var("a", u16), var("b", u16)))),
              "(UGE:i16 a b)");
    // With floats, !(a < b) is true for NaN while a >= b is not.
    NODE* compare = bin(ir::LT, i16, var("f", f32), var("g", f32));
    EXPECT_EQ(simplified(un(ir::EXCLAIM, i16, compare)), "(EXCLAIM:i16 (LT:i16 f g))");
}

TEST_F(Simplifier, ConstantsGoRightAndComparisonsAreMirrored) {
    EXPECT_EQ(simplified(bin(ir::PLUS, i16, icon(i16, 3), var("x", i16))), "(PLUS:i16 x #3:i16)");
    EXPECT_EQ(simplified(bin(ir::LT, i16, icon(i16, 3), var("y", i16))), "(GT:i16 y #3:i16)");
    EXPECT_EQ(simplified(bin(ir::UGE, i16, icon(u16, 3), var("z", u16))), "(ULE:i16 z #3:u16)");
    // MINUS is not commutative.
    EXPECT_EQ(simplified(bin(ir::MINUS, i16, icon(i16, 3), var("w", i16))), "(MINUS:i16 #3:i16 w)");
}

TEST_F(Simplifier, ConstantAdditionsAreGathered) {
    NODE* x = var("x", i16);
    EXPECT_EQ(simplified(bin(ir::PLUS, i16, bin(ir::PLUS, i16, x, icon(i16, 3)), icon(i16, 4))),
              "(PLUS:i16 x #7:i16)");
    NODE* y = var("y", i16);
    EXPECT_EQ(simplified(bin(ir::MINUS, i16, bin(ir::PLUS, i16, y, icon(i16, 1)), icon(i16, 3))),
              "(MINUS:i16 y #2:i16)");
    NODE* z = var("z", i16);
    EXPECT_EQ(simplified(bin(ir::PLUS, i16, bin(ir::MINUS, i16, z, icon(i16, 5)), icon(i16, 5))),
              "z");
    // Wrap-around makes the gathering exact even past the limits.
    NODE* w = var("w", i16);
    EXPECT_EQ(
        simplified(bin(ir::PLUS, i16, bin(ir::PLUS, i16, w, icon(i16, 32767)), icon(i16, 32767))),
        "(MINUS:i16 w #2:i16)");
    NODE* m = var("m", u32);
    EXPECT_EQ(simplified(bin(ir::MULT, u32, bin(ir::MULT, u32, m, icon(u32, 6)), icon(u32, 7))),
              "(MULT:u32 m #42:u32)");
    // Not across widths.
    NODE* n = var("n", i16);
    NODE* widened = un(ir::SCONV, i32, bin(ir::PLUS, i16, n, icon(i16, 1)));
    EXPECT_EQ(simplified(bin(ir::PLUS, i32, widened, icon(i32, 1))),
              "(PLUS:i32 (SCONV:i32 (PLUS:i16 n #1:i16)) #1:i32)");
}

// ---- Conditional operators -------------------------------------------------------------

TEST_F(Simplifier, ConstantConditionsChooseTheirBranch) {
    NODE* quest =
        bin(ir::QUEST, i16, icon(i16, 2), bin(ir::COLON, i16, var("a", i16), call(i16, "f")));
    EXPECT_EQ(simplified(quest), "a");
    NODE* other =
        bin(ir::QUEST, i16, icon(i16, 0), bin(ir::COLON, i16, call(i16, "f"), var("b", i16)));
    EXPECT_EQ(simplified(other), "b");
    EXPECT_EQ(simplified(bin(ir::ANDAND, i16, icon(i16, 0), call(i16, "f"))), "#0:i16");
    EXPECT_EQ(simplified(bin(ir::OROR, i16, icon(i16, 5), call(i16, "f"))), "#1:i16");
    EXPECT_EQ(simplified(bin(ir::ANDAND, i16, icon(i16, 1), var("c", i16))), "(NEQ:i16 c #0:i16)");
    NODE* compare = bin(ir::LT, i16, var("d", i16), var("e", i16));
    EXPECT_EQ(simplified(bin(ir::OROR, i16, icon(i16, 0), compare)), "(LT:i16 d e)");
    EXPECT_EQ(simplified(un(ir::EXCLAIM, i16, icon(i32, 0x10000))), "#0:i16");
}

TEST_F(Simplifier, AConstantRightOperandKeepsTheLeftOnesEffects) {
    EXPECT_EQ(simplified(bin(ir::ANDAND, i16, var("x", i16), icon(i16, 0))), "#0:i16");
    EXPECT_EQ(simplified(bin(ir::ANDAND, i16, call(i16, "f"), icon(i16, 0))),
              "(COMMAOP:i16 (UCALL:i16 (UAND:pi16 f)) #0:i16)");
    EXPECT_EQ(simplified(bin(ir::OROR, i16, call(i16, "g"), icon(i16, 1))),
              "(COMMAOP:i16 (UCALL:i16 (UAND:pi16 g)) #1:i16)");
    EXPECT_EQ(simplified(bin(ir::OROR, i16, call(i16, "h"), icon(i16, 0))),
              "(NEQ:i16 (UCALL:i16 (UAND:pi16 h)) #0:i16)");
}

TEST_F(Simplifier, AddressAndIndirectionCancel) {
    NODE* x = var("x", i16);
    EXPECT_EQ(simplified(un(ir::UMULT, i16, un(ir::UAND, pi16, x))), "x");
    NODE* p = var("p", pi16);
    EXPECT_EQ(simplified(un(ir::UAND, pi16, un(ir::UMULT, i16, p))), "p");
}

TEST_F(Simplifier, CommaOperandsWithoutEffectsGo) {
    NODE* tree =
        bin(ir::COMMAOP, i16, var("a", i16), bin(ir::COMMAOP, i16, call(i16, "f"), var("b", i16)));
    EXPECT_EQ(simplified(tree), "(COMMAOP:i16 (UCALL:i16 (UAND:pi16 f)) b)");
}

// ---- Effects and volatile ----------------------------------------------------------------

TEST_F(Simplifier, EffectsAreRecognised) {
    EXPECT_FALSE(has_side_effects(bin(ir::PLUS, i16, var("a", i16), icon(i16, 1))));
    EXPECT_TRUE(has_side_effects(call(i16, "f")));
    EXPECT_TRUE(has_side_effects(bin(ir::ASG, i16, var("a", i16), icon(i16, 1))));
    EXPECT_TRUE(has_side_effects(bin(ir::PLUSASG, i16, var("a", i16), icon(i16, 1))));
    EXPECT_TRUE(has_side_effects(bin(ir::MINMIN, i16, var("a", i16), icon(i16, 1))));
    EXPECT_TRUE(has_side_effects(var("v", vi16)));
    EXPECT_TRUE(has_side_effects(un(ir::UMULT, vi16, var("q", pvi16))));
    EXPECT_TRUE(has_side_effects(un(ir::UMULT, i16, var("r", pvi16))))
        << "the pointer says the memory is volatile";
    EXPECT_FALSE(has_side_effects(un(ir::UMULT, i16, var("s", pi16))));
    EXPECT_TRUE(has_side_effects(ir::make_node(ir::ASM, nullptr)));
}

TEST_F(Simplifier, VolatileReadsAreNeverRemoved) {
    NODE* v = var("v", vi16);
    EXPECT_EQ(statement(v), "v");
    EXPECT_EQ(statement(bin(ir::PLUS, i16, un(ir::SCONV, i16, var("w", vi16)), icon(i16, 1))), "w");
    NODE* u = var("u", vi16);
    EXPECT_EQ(simplified(bin(ir::MINUS, vi16, u, ir::copy_tree(u))), "(MINUS:vi16 u u)");
}

// ---- Statements -----------------------------------------------------------------------

TEST_F(Simplifier, StatementsWithoutEffectsVanish) {
    EXPECT_EQ(simplify_statement(bin(ir::PLUS, i16, var("a", i16), var("b", i16))), nullptr);
    EXPECT_EQ(simplify_statement(un(ir::UMULT, i16, var("p", pi16))), nullptr);
    EXPECT_EQ(simplify_statement(ir::make_node(ir::NOP, nullptr)), nullptr);
    NODE* x = var("x", i16);
    EXPECT_EQ(simplify_statement(bin(ir::ASG, i16, x, ir::copy_tree(x))), nullptr);
    NODE* v = var("v", vi16);
    EXPECT_EQ(statement(bin(ir::ASG, vi16, v, ir::copy_tree(v))), "(ASG:vi16 v v)");
}

TEST_F(Simplifier, ExpressionStatementsKeepTheirEffectsInOrder) {
    NODE* tree =
        bin(ir::PLUS, i16, call(i16, "f"),
            bin(ir::MULT, i16, var("a", i16), bin(ir::ASG, i16, var("b", i16), icon(i16, 1))));
    EXPECT_EQ(statement(tree), "(COMMAOP:i16 (UCALL:i16 (UAND:pi16 f)) (ASG:i16 b #1:i16))");
    EXPECT_EQ(tidied(tree),
              (std::vector<std::string>{"(UCALL:i16 (UAND:pi16 f))", "(ASG:i16 b #1:i16)"}));
    // A conditional part with effects keeps the whole conditional.
    NODE* cond = bin(ir::ANDAND, i16, var("c", i16), call(i16, "g"));
    EXPECT_EQ(statement(cond), "(ANDAND:i16 c (UCALL:i16 (UAND:pi16 g)))");
}

TEST_F(Simplifier, AssignmentsAreSimplifiedButKept) {
    NODE* tree = bin(ir::ASG, i16, var("x", i16), bin(ir::PLUS, i16, icon(i16, 2), icon(i16, 3)));
    EXPECT_EQ(statement(tree), "(ASG:i16 x #5:i16)");
    NODE* target = un(ir::UMULT, i16, bin(ir::PLUS, pi16, var("p", pi16), icon(u32, 0)));
    EXPECT_EQ(statement(bin(ir::ASG, i16, target, icon(i16, 1))), "(ASG:i16 (UMULT:i16 p) #1:i16)");
    EXPECT_EQ(statement(bin(ir::PLUSPLUS, i16, var("i", i16), icon(i16, 1))),
              "(PLUSPLUS:i16 i #1:i16)");
}

TEST_F(Simplifier, ControlStatementsKeepTheirFormAndLoseLeadingCommaOperands) {
    NODE* branch = bin(ir::CBRANCH, nullptr, bin(ir::LT, i16, icon(i16, 1), icon(i16, 2)),
                       ir::make_label_ref(3));
    EXPECT_EQ(statement(branch), "(CBRANCH #1:i16 (LABEL))");
    NODE* condition = bin(ir::COMMAOP, i16, call(i16, "f"), var("c", i16));
    NODE* second = bin(ir::CBRANCH, nullptr, condition, ir::make_label_ref(4));
    EXPECT_EQ(tidied(second),
              (std::vector<std::string>{"(UCALL:i16 (UAND:pi16 f))", "(CBRANCH c (LABEL))"}));
    NODE* value =
        bin(ir::COMMAOP, i16, bin(ir::ASG, i16, var("t", i16), icon(i16, 1)), var("t2", i16));
    NODE* ret = bin(ir::RETURN, i16, value, ir::make_node(ir::NOP, nullptr));
    EXPECT_EQ(tidied(ret),
              (std::vector<std::string>{"(ASG:i16 t #1:i16)", "(RETURN:i16 t2 (NOP))"}));
    // A return of a constant stays a return.
    NODE* constant = bin(ir::RETURN, i16, icon(i16, 0), ir::make_node(ir::NOP, nullptr));
    EXPECT_EQ(statement(constant), "(RETURN:i16 #0:i16 (NOP))");
}

TEST_F(Simplifier, AssignmentsToVariablesLoseLeadingCommaOperands) {
    NODE* value = bin(ir::COMMAOP, i16, call(i16, "f"), var("b", i16));
    EXPECT_EQ(tidied(bin(ir::ASG, i16, var("a", i16), value)),
              (std::vector<std::string>{"(UCALL:i16 (UAND:pi16 f))", "(ASG:i16 a b)"}));
    // Through a pointer the address may depend on the call: no hoisting.
    NODE* target = un(ir::UMULT, i16, var("p", pi16));
    NODE* second = bin(ir::COMMAOP, i16, call(i16, "g"), var("c", i16));
    EXPECT_EQ(tidied(bin(ir::ASG, i16, target, second)),
              (std::vector<std::string>{
                  "(ASG:i16 (UMULT:i16 p) (COMMAOP:i16 (UCALL:i16 (UAND:pi16 g)) c))"}));
}

TEST_F(Simplifier, KeptStatementsAreLeftAlone) {
    for (ir::Opcode op : {ir::LABELDEF, ir::ASM, ir::BRANCH, ir::ASSERT, ir::URETURN})
        EXPECT_TRUE(is_kept_statement(op)) << ir::opcode_name(op);
    EXPECT_FALSE(is_kept_statement(ir::ASG));
    NODE* label = ir::make_label_def(5);
    EXPECT_EQ(tidy_statement(label), StatementPieces{label});
}

TEST_F(Simplifier, CommaStatementsSplitIntoOneStatementPerOperand) {
    NODE* tree = bin(
        ir::COMMAOP, i16, bin(ir::ASG, i16, var("a", i16), icon(i16, 1)),
        bin(ir::COMMAOP, i16, var("b", i16), bin(ir::PLUSASG, i16, var("c", i16), icon(i16, 2))));
    EXPECT_EQ(tidied(tree),
              (std::vector<std::string>{"(ASG:i16 a #1:i16)", "(PLUSASG:i16 c #2:i16)"}));
    std::vector<icode::StatementEntry> list{{tree, {}},
                                            {bin(ir::PLUS, i16, var("d", i16), icon(i16, 1)), {}},
                                            {ir::make_label_def(1), {}}};
    tidy_statements(list);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[2].tree->op, ir::LABELDEF);
}

TEST_F(Simplifier, LongArgumentListsCostNoStackDepth) {
    std::vector<NODE*> arguments;
    for (int i = 0; i < 200000; ++i)
        arguments.push_back(bin(ir::PLUS, i16, icon(i16, i), icon(i16, 1)));
    NODE* list = ir::make_list(ir::COMMA, nullptr, arguments);
    NODE* tree = bin(ir::CALL, i16, un(ir::UAND, pi16, var("f", i16)), list);
    ASSERT_EQ(simplify_statement(tree), tree);
    EXPECT_EQ(tree->right->left->op, ir::ICON);
    EXPECT_EQ(tree->right->left->value.low32(), 1u);
}

} // namespace
} // namespace vx::scalar
