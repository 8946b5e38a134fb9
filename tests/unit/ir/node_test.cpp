// Tree nodes: construction, the payload each opcode keeps, and the rules
// the reader's setters apply (extension and normalisation by the node's
// type, LCON to ICON, FCON text, private copies, marks on the function).
#include "ir/node.h"
#include "ir/node_build.h"

#include "support/arena.h"
#include "support/termination.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace vx::ir {
namespace {

using Words = std::array<uint32_t, 3>;
constexpr uint32_t ones = 0xffffffffu;

// Stand-ins for the type package's records: the node only passes type
// pointers to the environment's queries, which read them back here.
struct FakeType {
    IntegerShape shape;
};
FakeType int16{{16, true}}, uint16{{16, false}}, uint32{{32, false}}, int64{{64, true}},
    uint64{{64, false}}, companion{{16, false}};

TYPE* type_of(FakeType& fake) {
    return reinterpret_cast<TYPE*>(&fake);
}

int calls_read = 0;
Symbol* last_name_read = nullptr;

class Node : public ::testing::Test {
protected:
    void SetUp() override {
        reset_node_environment();
        NodeEnvironment& env = node_environment();
        env.arena = &arena_;
        env.integer_shape = [](const TYPE* t) {
            return reinterpret_cast<const FakeType*>(t)->shape;
        };
        env.field_companion_type = [](TYPE*) { return type_of(companion); };
        env.call_read = [] { ++calls_read; };
        env.name_read = [](Symbol* s) { last_name_read = s; };
        calls_read = 0;
        last_name_read = nullptr;
        previous_stop_ = set_stop_handler(throwing_stop_handler);
    }
    void TearDown() override {
        set_stop_handler(previous_stop_);
        reset_node_environment();
    }

    // A node as the reader makes it before it reads the payload.
    static BASE_NODE* read_node(Opcode op, FakeType& type) { return make_node(op, type_of(type)); }

    // Expects a consistency check to stop the run.
    template <typename F> static void expect_stop(F&& action) {
        ::testing::internal::CaptureStderr();
        EXPECT_THROW(action(), RunStopped);
        ::testing::internal::GetCapturedStderr();
    }

private:
    Arena arena_;
    StopHandler previous_stop_ = nullptr;
};

TEST_F(Node, IconExtendsBySignednessOfItsType) {
    BASE_NODE* signed_icon = read_node(ICON, int16);
    signed_icon->read_icon(ones); // -1 as the file's sleb gives it
    EXPECT_EQ(static_cast<NODE*>(signed_icon)->value.words(), (Words{ones, ones, ones}));
    EXPECT_EQ(signed_icon->icon_signed(), -1);

    BASE_NODE* unsigned_icon = read_node(ICON, uint32);
    unsigned_icon->read_icon(ones);
    EXPECT_EQ(static_cast<NODE*>(unsigned_icon)->value.words(), (Words{ones, 0, 0}));
    EXPECT_EQ(unsigned_icon->icon_unsigned(), 4294967295u);
    EXPECT_EQ(unsigned_icon->lcon_text(), "4294967295");
}

TEST_F(Node, LconBecomesIconNormalisedToItsType) {
    BASE_NODE* minus_five = read_node(LCON, int16);
    minus_five->read_lcon("-5");
    NODE* node = static_cast<NODE*>(minus_five);
    EXPECT_EQ(node->op, ICON);
    EXPECT_EQ(node->value, Int96::from_signed(-5));
    EXPECT_EQ(minus_five->lcon_text(), "-5");

    NODE* wrapped = static_cast<NODE*>(read_node(LCON, uint16));
    wrapped->read_lcon("-5");
    EXPECT_EQ(wrapped->value, Int96::from_unsigned(65531));

    NODE* too_wide = static_cast<NODE*>(read_node(LCON, int16));
    too_wide->read_lcon("70000");
    EXPECT_EQ(too_wide->value, Int96::from_signed(70000 - 65536));

    expect_stop([&] { read_node(LCON, int16)->read_lcon("12a"); });
}

TEST_F(Node, LconTextPrintsTheValueForTheType) {
    EXPECT_EQ(make_icon(type_of(uint64), Int96::from_unsigned(1ull << 63))->lcon_text(),
              "9223372036854775808");
    EXPECT_EQ(make_icon(type_of(int64), Int96::from_unsigned(1ull << 63))->lcon_text(),
              "-9223372036854775808");
    // A value wider than its type (left by a pass) prints as the type holds it.
    NODE* icon = make_node(ICON, type_of(uint16));
    icon->value = Int96::from_signed(-1);
    EXPECT_EQ(icon->lcon_text(), "65535");
    // Without a type the value is read as a 96-bit signed number.
    EXPECT_EQ(make_icon(nullptr, -7)->lcon_text(), "-7");
}

TEST_F(Node, FconRoundTripsThroughHexText) {
    for (const char* text :
         {"0x1.8p+1", "0x1.999999999999ap-4", "-0x0p+0", "0x0.0000000000001p-1022", "inf"}) {
        BASE_NODE* fcon = read_node(FCON, int16);
        fcon->read_fcon(text);
        EXPECT_STREQ(fcon->fcon_text(), text);
    }
    EXPECT_EQ(FconValue::rounded_to_width(0.1, 32), static_cast<double>(0.1f));
    EXPECT_EQ(FconValue::rounded_to_width(0.1, 64), 0.1);
    expect_stop([&] { read_node(FCON, int16)->read_fcon("0x1p+"); });
    expect_stop([&] { read_node(FCON, int16)->read_fcon(""); });
}

TEST_F(Node, SconAndIntrinsicNamesArePrivateCopies) {
    const uint8_t bytes[] = {'a', 0, 'b'};
    BASE_NODE* scon = read_node(SCON, int16);
    scon->read_scon(bytes, 3);
    EXPECT_EQ(scon->scon_length(), 3u);
    EXPECT_NE(scon->scon_bytes(), bytes);
    EXPECT_EQ(std::memcmp(scon->scon_bytes(), bytes, 3), 0);

    std::string name = "__builtin_sat";
    BASE_NODE* call = read_node(MCALL, int16);
    call->read_intrinsic(name.c_str());
    name[0] = 'X';
    EXPECT_STREQ(call->intrinsic_name(), "__builtin_sat");
}

TEST_F(Node, NumbersKeptByTheirOpcodes) {
    BASE_NODE* label = read_node(LABEL, int16);
    label->read_label(ones); // zero-extended
    EXPECT_EQ(static_cast<NODE*>(label)->value.words(), (Words{ones, 0, 0}));
    EXPECT_EQ(label->label_number(), ones);

    BASE_NODE* skip = read_node(SKIP, int16);
    skip->read_skip(ones); // sign-extended from 32 bits
    EXPECT_EQ(static_cast<NODE*>(skip)->value, Int96::from_signed(-1));
    EXPECT_EQ(skip->skip_number(), ones);
    BASE_NODE* switch_node = read_node(SWITCH, int16);
    switch_node->read_switch(0x80000000u);
    EXPECT_EQ(static_cast<NODE*>(switch_node)->value, Int96::from_signed(INT32_MIN));

    BASE_NODE* call = read_node(CALL, int16);
    call->read_call(3, 9);
    EXPECT_EQ(call->call_first_number(), 3u);
    EXPECT_EQ(call->call_number(), 9u);
    BASE_NODE* ucall = read_node(UCALL, int16);
    ucall->read_ucall(4);
    EXPECT_EQ(ucall->call_number(), 4u);
    EXPECT_EQ(calls_read, 2); // each made the function a non-leaf

    BASE_NODE* vreg = read_node(OUIALIGN, int16);
    vreg->read_vreg(-3); // read and dropped
    EXPECT_EQ(vreg->vreg_number(), 0);
}

TEST_F(Node, DdnodeWritesItsNumberFromTheDependenceRecord) {
    NODE* dd = make_node(DDNODE, type_of(int16));
    dd->read_ddnode(77, 5, 1); // the file's numbers are not kept
    EXPECT_EQ(dd->dval(), nullptr);
    DDINFO info{42};
    dd->set_dval(&info);
    EXPECT_EQ(dd->ddnode_number(), 42u);
    EXPECT_EQ(dd->ddnode_second(), 0u);
    EXPECT_EQ(dd->ddnode_byte(), 0u);
}

TEST_F(Node, FieldKeepsMemberAndContainerAndTakesTheCompanionType) {
    FakeType container, member_tag;
    auto* member = reinterpret_cast<FieldRecord*>(&member_tag);
    BASE_NODE* field = read_node(FIELD, int16);
    field->read_field(1, member, type_of(container));
    EXPECT_EQ(field->member(), member);
    EXPECT_EQ(field->container(), type_of(container));
    EXPECT_EQ(field->field_kind(), 1);
    EXPECT_EQ(static_cast<NODE*>(field)->type, type_of(companion));
    EXPECT_EQ(static_cast<NODE*>(field)->declared_type, type_of(int16));

    expect_stop([&] { read_node(FIELD, int16)->read_field(2, member, type_of(container)); });
}

TEST_F(Node, NameNotesItsSymbolAndPayloadSlotsCheckTheOpcode) {
    auto* symbol = reinterpret_cast<Symbol*>(&int16);
    BASE_NODE* name = read_node(NAME, int16);
    name->read_name(symbol);
    EXPECT_EQ(name->sym(), symbol);
    EXPECT_EQ(last_name_read, symbol);

    NODE* icon = make_icon(type_of(int16), 1);
    expect_stop([&] { icon->sym(); });
    expect_stop([&] { icon->set_label(nullptr); });
}

// Every field of `made`, a node from NodeSlots with a stamp, against
// `expected`, made by make_node() and stamped afterwards.
void expect_same_fields(const NODE& made, const NODE& expected) {
    EXPECT_EQ(made.op, expected.op);
    EXPECT_EQ(made.flags, expected.flags);
    EXPECT_EQ(made.id, expected.id);
    EXPECT_EQ(made.type, expected.type);
    EXPECT_EQ(made.left, expected.left);
    EXPECT_EQ(made.right, expected.right);
    EXPECT_EQ(made.declared_type, expected.declared_type);
    EXPECT_EQ(made.value.words(), expected.value.words());
    EXPECT_EQ(made.expr, expected.expr);
    EXPECT_EQ(made.weight, expected.weight);
    EXPECT_EQ(made.aux, expected.aux);
    EXPECT_EQ(made.stamp, expected.stamp);
    EXPECT_EQ(made.aux16[0], expected.aux16[0]);
    EXPECT_EQ(made.aux16[1], expected.aux16[1]);
}

TEST_F(Node, SlotNodesWithAStampEqualFactoryNodesStampedAfterwards) {
    auto* symbol = reinterpret_cast<Symbol*>(&int16);
    // One opcode of each payload kind the reader fills, and one without.
    struct Case {
        Opcode op;
        void (*fill)(BASE_NODE*, Symbol*);
    };
    const Case cases[] = {
        {PLUS, [](BASE_NODE*, Symbol*) {}},
        {NAME, [](BASE_NODE* n, Symbol* s) { n->read_name(s); }},
        {ICON, [](BASE_NODE* n, Symbol*) { n->read_icon(0xfffffffeu); }},
        {LABEL, [](BASE_NODE* n, Symbol*) { n->read_label(7); }},
        {CALL, [](BASE_NODE* n, Symbol*) { n->read_call(3, 4); }},
        {UCALL, [](BASE_NODE* n, Symbol*) { n->read_ucall(5); }},
    };
    NodeSlots slots;
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.op));
        NODE* made = slots.make(c.op, type_of(int16), 0x1234);
        NODE* expected = make_node(c.op, type_of(int16));
        expected->stamp = 0x1234;
        expect_same_fields(*made, *expected);
        c.fill(made, symbol);
        c.fill(expected, symbol);
        expect_same_fields(*made, *expected);
        if (c.op == NAME) {
            EXPECT_EQ(made->sym(), expected->sym());
        }
        if (c.op == CALL || c.op == UCALL) {
            EXPECT_EQ(made->call_first_number(), expected->call_first_number());
            EXPECT_EQ(made->call_number(), expected->call_number());
        }
    }
    // Without a stamp, the slots make what the factory makes.
    expect_same_fields(*slots.make(MINUS, type_of(uint32)), *make_node(MINUS, type_of(uint32)));
    slots.drop();
}

} // namespace
} // namespace vx::ir
