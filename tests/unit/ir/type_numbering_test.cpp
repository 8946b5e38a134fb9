// Types by file number: the reader's table with its errors, and the order in
// which the writer defines types before their use.
#include "ir/type_numbering.h"
#include "ir/type_package.h"
#include "support/termination.h"

#include "type_world_fixture.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace vx::ir {
namespace {

class TypeNumbering : public TypeWorldTest {
protected:
    static std::string report(const char* text) {
        return std::string("TP>> internal error: ") + text + "\n";
    }
    template <typename Body> static std::string report_of(Body body) { return stop_text(body); }

    TypeNumberTable table_;
};

// ---- Reading ------------------------------------------------------------------------

TEST_F(TypeNumbering, NumbersResolveOnlyAfterTheirDefinition) {
    EXPECT_EQ(table_.resolve(0), nullptr);
    table_.define(1, basic(TYPE::ik_int));
    table_.define(2, pkg().mk_ptr(table_.resolve(1)));
    EXPECT_EQ(table_.resolve(2)->type_pointed_to(), basic(TYPE::ik_int));
    EXPECT_EQ(report_of([&] { table_.resolve(3); }), report("invalid forward reference"));
    EXPECT_EQ(report_of([&] { table_.define(1, basic(TYPE::ik_long)); }),
              report("read type twice"));
    EXPECT_EQ(report_of([&] { table_.check_new(2); }), report("read type twice"));
    EXPECT_EQ(table_.resolve(1), basic(TYPE::ik_int));
}

TEST_F(TypeNumbering, ListsFillTheirTypeOnce) {
    table_.define(1, basic(TYPE::ik_int));
    table_.define(2, pkg().mk_function(table_.resolve(1)));
    table_.begin_list(2, TL_PARAMETERS);
    Parameter x(table_.resolve(1), "x");
    x.word = 7;
    table_.add_parameter(2, x);
    table_.end_list(2, TL_PARAMETERS);
    EXPECT_EQ(table_.resolve(2)->params().size(), 1u);
    EXPECT_EQ(table_.resolve(2)->params()[0].name, "x");
    EXPECT_EQ(report_of([&] { table_.begin_list(2, TL_PARAMETERS); }),
              report("Duplicate function parameters"));

    table_.define(3, pkg().mk_enum("E", table_.resolve(1)));
    table_.begin_list(3, TL_ENUMERATORS);
    table_.add_enumerator(3, {"A", 1});
    table_.end_list(3, TL_ENUMERATORS);
    EXPECT_EQ(report_of([&] { table_.begin_list(3, TL_ENUMERATORS); }),
              report("Duplicate enumerator attributes"));
}

TEST_F(TypeNumbering, ClassesTakeEachMemberListOnce) {
    table_.define(1, basic(TYPE::ik_int));
    table_.define(2, pkg().mk_csu(TYPE::tpk_struct, "S", true));
    table_.define(3, pkg().mk_csu(TYPE::tpk_class, "B", true));
    table_.begin_list(2, TL_FIELDS);
    table_.add_field(2, {table_.resolve(1), "a"});
    table_.end_list(2, TL_FIELDS);
    table_.begin_list(2, TL_BASES);
    table_.add_member(2, TL_BASES, {"", table_.resolve(3), 0});
    table_.end_list(2, TL_BASES);
    table_.begin_list(2, TL_PARAMETERS); // a class's list 0 holds parameter-shaped entries
    table_.add_parameter(2, Parameter(table_.resolve(1), "p"));
    table_.end_list(2, TL_PARAMETERS);

    const TYPE* s = table_.resolve(2);
    EXPECT_EQ(s->fields().size(), 1u);
    EXPECT_EQ(s->member_list(TL_BASES).at(0).type, table_.resolve(3));
    EXPECT_EQ(s->member_list(TL_PARAMETERS).at(0).name, "p");
    EXPECT_EQ(report_of([&] { table_.begin_list(2, TL_FIELDS); }),
              report("Duplicate CSU attributes"));
    EXPECT_EQ(report_of([&] { table_.begin_list(2, TL_BASES); }),
              report("Duplicate CSU attributes"));
}

TEST_F(TypeNumbering, ListsATypeCannotHaveAreUnexpected) {
    table_.define(1, basic(TYPE::ik_int));
    table_.define(2, pkg().mk_csu(TYPE::tpk_struct, "S"));
    table_.define(3, pkg().mk_enum("E", basic(TYPE::ik_int)));
    const std::string unexpected = report("Unexpected type attribute");
    EXPECT_EQ(report_of([&] { table_.begin_list(1, TL_PARAMETERS); }), unexpected);
    EXPECT_EQ(report_of([&] { table_.begin_list(2, TL_ENUMERATORS); }), unexpected);
    EXPECT_EQ(report_of([&] { table_.begin_list(2, 10); }), unexpected);
    EXPECT_EQ(report_of([&] { table_.begin_list(3, TL_PARAMETERS); }), unexpected);
    EXPECT_EQ(report_of([&] { table_.add_field(2, {basic(TYPE::ik_int), "a"}); }), unexpected);
    table_.begin_list(2, TL_FIELDS);
    EXPECT_EQ(report_of([&] { table_.end_list(2, TL_BASES); }), unexpected);
    EXPECT_EQ(report_of([&] { table_.begin_list(9, TL_FIELDS); }),
              report("invalid forward reference"));
}

TEST_F(TypeNumbering, FinishingFreezesAndMergesWhatWaitedForItsLists) {
    TYPE* int_type = basic(TYPE::ik_int);
    table_.define(1, int_type);
    for (uint32_t number : {2u, 3u}) {
        table_.define(number, pkg().mk_function(int_type));
        table_.begin_list(number, TL_PARAMETERS);
        table_.add_parameter(number, Parameter(int_type));
        table_.end_list(number, TL_PARAMETERS);
    }
    table_.define(4, pkg().mk_csu(TYPE::tpk_struct, "S", true));
    table_.begin_list(4, TL_FIELDS);
    table_.add_field(4, {table_.resolve(3), "handler"});
    table_.end_list(4, TL_FIELDS);
    EXPECT_FALSE(table_.resolve(4)->frozen());

    table_.finish();
    EXPECT_TRUE(table_.resolve(2)->frozen());
    EXPECT_EQ(table_.resolve(3), table_.resolve(2));
    EXPECT_EQ(table_.resolve(4)->field(0).type, table_.resolve(2));
    EXPECT_NE(table_.resolve(4)->uid(), 0u);
}

TEST_F(TypeNumbering, RecordCodesOfBasicTypes) {
    for (uint32_t ikind = 0; ikind <= 9; ++ikind)
        EXPECT_EQ(basic_type_record_code(basic(TYPE::IKIND(ikind))), ikind);
    EXPECT_EQ(basic_type_record_code(basic(TYPE::ik_llong)), 50);
    EXPECT_EQ(basic_type_record_code(basic(TYPE::ik_ullong)), 51);
    EXPECT_EQ(basic_type_record_code(pkg().float_type(TYPE::fk_float)), 10);
    EXPECT_EQ(basic_type_record_code(pkg().float_type(TYPE::fk_ldouble)), 12);
    EXPECT_EQ(basic_type_record_code(pkg().mk_complex(basic(TYPE::ik_int))), 36);
    EXPECT_EQ(basic_type_record_code(pkg().void_type()), 49);
    EXPECT_EQ(basic_type_record_code(pkg().void_ptr_type()), 48);

    EXPECT_EQ(ikind_of_record_code(9), TYPE::ik_ulong);
    EXPECT_EQ(ikind_of_record_code(50), TYPE::ik_llong);
    EXPECT_EQ(ikind_of_record_code(51), TYPE::ik_ullong);
    EXPECT_EQ(ikind_of_record_code(10), std::nullopt);
    EXPECT_EQ(fkind_of_record_code(11), TYPE::fk_double);
    EXPECT_EQ(fkind_of_record_code(13), std::nullopt);
}

// ---- Writing ------------------------------------------------------------------------

using Emitted = std::vector<std::pair<const TYPE*, int>>;

Emitted emitted(const TypeEmitOrder& order) {
    Emitted items;
    for (const TypeEmission& item : order.items())
        items.emplace_back(item.type, item.list_kind);
    return items;
}

constexpr int own = TypeEmission::own_record;

class TypeEmitSelfReferring : public TypeNumbering {
protected:
    void SetUp() override {
        TypeNumbering::SetUp();
        s_ = pkg().mk_csu(TYPE::tpk_struct, "Node", true);
        next_ = pkg().mk_ptr(s_);
        s_->add_field({next_, "next"});
        s_->add_field({basic(TYPE::ik_long), "value"});
        type_frozen(s_);
    }
    TYPE* s_ = nullptr;
    TYPE* next_ = nullptr;
};

TEST_F(TypeEmitSelfReferring, StructComesBeforeThePointerAndItsFieldsLast) {
    TypeEmitOrder order;
    order.add(s_);
    EXPECT_EQ(emitted(order),
              (Emitted{{s_, own}, {next_, own}, {basic(TYPE::ik_long), own}, {s_, TL_FIELDS}}));
}

TEST_F(TypeEmitSelfReferring, StartingFromThePointerStillDefinesBeforeUse) {
    TypeEmitOrder order;
    order.add(next_);
    order.add(s_); // already there
    EXPECT_EQ(emitted(order),
              (Emitted{{s_, own}, {basic(TYPE::ik_long), own}, {next_, own}, {s_, TL_FIELDS}}));
    EXPECT_TRUE(order.contains(s_));
}

TEST_F(TypeNumbering, FunctionsListTheirParametersAfterTheirRecord) {
    TYPE* int_type = basic(TYPE::ik_int);
    TYPE* named = pkg().mk_typedef("T", pkg().mk_qual(int_type, CQ_CONST));
    TYPE* function = pkg().mk_function(pkg().void_type());
    function->add_param(Parameter(named));
    type_frozen(function);
    TypeEmitOrder order;
    order.add(pkg().mk_ptr(function));
    order.add(named);
    const TYPE* const_int = named->typedef_record().target;
    EXPECT_EQ(emitted(order), (Emitted{{pkg().void_type(), own},
                                       {function, own},
                                       {int_type, own},
                                       {const_int, own},
                                       {named, own},
                                       {pkg().mk_ptr(function), own},
                                       {function, TL_PARAMETERS}}));
}

TEST_F(TypeNumbering, ForwardedTypesAreWrittenAsTheirReplacement) {
    TYPE* int_type = basic(TYPE::ik_int);
    TYPE* open = pkg().mk_array(int_type, 0, {.complete = false});
    TYPE* closed = pkg().mk_array(int_type, 6);
    open->set_forward(closed);
    TypeEmitOrder order;
    order.add(open);
    EXPECT_EQ(emitted(order), (Emitted{{int_type, own}, {closed, own}}));
    EXPECT_TRUE(order.contains(open));
}

} // namespace
} // namespace vx::ir
