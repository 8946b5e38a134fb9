// The three comparisons of types: exact (interning), compatible (the same C
// type) and equivalent machine types.
#include "ir/type_compare.h"
#include "ir/type_package.h"
#include "support/termination.h"

#include <gtest/gtest.h>

#include <memory>

namespace vx::ir {
namespace {

class TypeCompare : public ::testing::Test {
protected:
    void SetUp() override {
        reset_type_world();
        previous_handler_ = set_stop_handler(throwing_stop_handler);
    }
    void TearDown() override {
        package_.reset();
        reset_type_world();
        set_stop_handler(previous_handler_);
    }
    TYPE_PKG& pkg() {
        if (!package_)
            package_ = std::make_unique<TYPE_PKG>();
        return *package_;
    }
    TYPE* basic(TYPE::IKIND ikind) { return pkg().int_type(ikind); }
    TYPE* basic(TYPE::FKIND fkind) { return pkg().float_type(fkind); }
    TYPE* frozen_csu(TYPE::KIND kind, const char* name, bool complete, uint64_t size) {
        TYPE* type = pkg().mk_csu(kind, name, complete);
        type->set_size(size);
        type_frozen(type);
        return type;
    }
    TYPE* frozen_function(TYPE* result, std::initializer_list<TYPE*> params) {
        TYPE* function = pkg().mk_function(result);
        for (TYPE* param : params)
            function->add_param(Parameter(param));
        type_frozen(function);
        return function;
    }

    std::unique_ptr<TYPE_PKG> package_;
    StopHandler previous_handler_ = nullptr;
};

TEST_F(TypeCompare, UnfrozenTypesDifferFromEverythingEvenThemselves) {
    TYPE* s = pkg().mk_csu(TYPE::tpk_struct, "S");
    EXPECT_FALSE(exact_types(s, s));
    EXPECT_FALSE(compatible_types(s, s));
    EXPECT_FALSE(equiv_mtypes(s, s));
    type_frozen(s);
    EXPECT_TRUE(exact_types(s, s));
    EXPECT_TRUE(compatible_types(s, s));
    EXPECT_TRUE(equiv_mtypes(s, s));
}

TEST_F(TypeCompare, ExactTypesAskForIdenticalStructure) {
    TYPE* plain_int = pkg().mk_int(TYPE::ik_int, false);
    EXPECT_FALSE(exact_types(plain_int, basic(TYPE::ik_int))); // explicitly-signed differs
    EXPECT_FALSE(exact_types(pkg().mk_ptr(plain_int), pkg().mk_ptr(basic(TYPE::ik_int))));
    EXPECT_FALSE(exact_types(frozen_csu(TYPE::tpk_struct, "S", true, 16),
                             frozen_csu(TYPE::tpk_struct, "S", true, 16)));

    // Records built outside the package are compared structurally.
    TYPE outside_int(TYPE::ik_int, true, 16, 16);
    TYPE outside_pointer(TYPE::tpk_pointer, &outside_int, 32, 32);
    TYPE* outside = &outside_pointer;
    EXPECT_FALSE(exact_types(outside, pkg().mk_ptr(basic(TYPE::ik_int)))); // not frozen
}

TEST_F(TypeCompare, ExactEnumsNeedEqualEnumerators) {
    auto make_enum = [&](int64_t second_value) {
        TYPE* e = pkg().mk_enum("E", basic(TYPE::ik_int));
        e->add_enumerator({"A", 0});
        e->add_enumerator({"B", second_value});
        type_frozen(e);
        return e;
    };
    TYPE* e1 = make_enum(1);
    TYPE* e2 = make_enum(1);
    TYPE* e3 = make_enum(2);
    EXPECT_TRUE(exact_types(e1, e2)); // equal, yet not merged: named types stay apart
    EXPECT_NE(e1, e2);
    EXPECT_FALSE(exact_types(e1, e3));
}

TEST_F(TypeCompare, CompatibleTypesSeeThroughTypedefs) {
    TYPE* int_type = basic(TYPE::ik_int);
    TYPE* named = pkg().mk_typedef("I", int_type);
    EXPECT_TRUE(compatible_types(named, int_type));
    EXPECT_TRUE(compatible_types(pkg().mk_ptr(named), pkg().mk_ptr(int_type)));
    EXPECT_FALSE(compatible_types(int_type, basic(TYPE::ik_uint)));
    EXPECT_FALSE(compatible_types(int_type, basic(TYPE::ik_short))); // same size, other kind
    EXPECT_TRUE(compatible_types(pkg().mk_int(TYPE::ik_int, false), int_type));
    // Only char kinds care for the explicitly-signed flag.
    EXPECT_FALSE(compatible_types(pkg().mk_int(TYPE::ik_char, false), basic(TYPE::ik_char)));
    EXPECT_FALSE(compatible_types(pkg().mk_int(TYPE::ik_uchar, false), basic(TYPE::ik_uchar)));
}

TEST_F(TypeCompare, NeutralQualifiersAreIgnoredOnlyWhenAsked) {
    TYPE* long_type = basic(TYPE::ik_long);
    TYPE* const_long = pkg().mk_qual(long_type, CQ_CONST);
    EXPECT_FALSE(compatible_types(const_long, long_type));
    EXPECT_TRUE(compatible_types(const_long, long_type, true));
    EXPECT_TRUE(compatible_types(pkg().mk_ptr(const_long), pkg().mk_ptr(long_type), true));
    // Packing changes the alignment: never neutral.
    TYPE* packed_long = pkg().mk_qual(long_type, CQ_PACKED);
    EXPECT_FALSE(compatible_types(packed_long, long_type, true));
    EXPECT_TRUE(compatible_types(packed_long, pkg().mk_typedef("P", packed_long)));
}

TEST_F(TypeCompare, IncompleteAggregatesMatchWhateverTheirSize) {
    TYPE* int_type = basic(TYPE::ik_int);
    TYPE* open = frozen_csu(TYPE::tpk_struct, "S", false, 0);
    TYPE* full = frozen_csu(TYPE::tpk_struct, "S", true, 64);
    TYPE* other_full = frozen_csu(TYPE::tpk_struct, "S", true, 32);
    EXPECT_TRUE(compatible_types(open, full));
    EXPECT_FALSE(compatible_types(full, other_full));
    EXPECT_FALSE(compatible_types(full, frozen_csu(TYPE::tpk_struct, "T", true, 64)));
    EXPECT_FALSE(compatible_types(full, frozen_csu(TYPE::tpk_union, "S", true, 64)));

    TYPE* unsized = pkg().mk_array(int_type, 0, {.complete = false});
    EXPECT_TRUE(compatible_types(unsized, pkg().mk_array(int_type, 10)));
    EXPECT_FALSE(compatible_types(pkg().mk_array(int_type, 5), pkg().mk_array(int_type, 10)));
    EXPECT_FALSE(compatible_types(unsized, pkg().mk_array(basic(TYPE::ik_uint), 10)));
}

TEST_F(TypeCompare, CompatibleFunctionsMatchParameterByParameter) {
    TYPE* int_type = basic(TYPE::ik_int);
    TYPE* f = frozen_function(int_type, {int_type});
    EXPECT_TRUE(compatible_types(f, frozen_function(pkg().mk_typedef("I", int_type), {int_type})));
    EXPECT_FALSE(compatible_types(f, frozen_function(int_type, {int_type, int_type})));
    EXPECT_FALSE(compatible_types(f, frozen_function(int_type, {basic(TYPE::ik_long)})));
}

TEST_F(TypeCompare, EquivalentMachineTypesInTheDefaultMode) {
    TYPE* int_type = basic(TYPE::ik_int);
    EXPECT_TRUE(equiv_mtypes(basic(TYPE::fk_double), basic(TYPE::fk_float)));
    EXPECT_FALSE(equiv_mtypes(basic(TYPE::fk_ldouble), basic(TYPE::fk_double)));
    EXPECT_TRUE(equiv_mtypes(int_type, basic(TYPE::ik_short)));
    EXPECT_TRUE(equiv_mtypes(int_type, basic(TYPE::ik_char)));
    EXPECT_FALSE(equiv_mtypes(int_type, basic(TYPE::ik_uint)));
    EXPECT_TRUE(equiv_mtypes(basic(TYPE::ik_wchar), basic(TYPE::ik_uint)));
    EXPECT_TRUE(equiv_mtypes(basic(TYPE::ik_bool), int_type));
    EXPECT_FALSE(equiv_mtypes(int_type, basic(TYPE::ik_long)));
    TYPE* e = pkg().mk_enum("E", int_type);
    type_frozen(e);
    EXPECT_TRUE(equiv_mtypes(e, pkg().mk_qual(int_type, CQ_CONST)));
}

TEST_F(TypeCompare, EquivalentMachineTypesOfAddressesAndAggregates) {
    TYPE* int_type = basic(TYPE::ik_int);
    TYPE* function = frozen_function(int_type, {});
    EXPECT_TRUE(equiv_mtypes(pkg().mk_ptr(int_type), pkg().mk_ptr(basic(TYPE::fk_float))));
    EXPECT_FALSE(equiv_mtypes(pkg().mk_ptr(int_type), pkg().mk_ptr(function)));
    EXPECT_TRUE(
        equiv_mtypes(pkg().mk_array(int_type, 4), pkg().mk_array(basic(TYPE::ik_short), 4)));
    EXPECT_FALSE(
        equiv_mtypes(pkg().mk_array(int_type, 4), pkg().mk_array(basic(TYPE::ik_uint), 4)));
    TYPE* s1 = frozen_csu(TYPE::tpk_struct, "S", true, 32);
    TYPE* s2 = frozen_csu(TYPE::tpk_struct, "S", true, 32);
    EXPECT_FALSE(equiv_mtypes(s1, s2));
    EXPECT_TRUE(equiv_mtypes(s1, pkg().mk_typedef("TS", s1)));
}

TEST_F(TypeCompare, EabiModeSeparatesDoubleFromFloat) {
    set_eabi_mode(true);
    EXPECT_FALSE(equiv_mtypes(basic(TYPE::fk_double), basic(TYPE::fk_float)));
    EXPECT_TRUE(equiv_mtypes(basic(TYPE::fk_ldouble), basic(TYPE::fk_double)));
}

} // namespace
} // namespace vx::ir
