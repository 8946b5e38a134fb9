// Queries on types, conversions between integer types and the companion
// type the optimizer works with.
#include "ir/type_package.h"
#include "support/termination.h"

#include "type_world_fixture.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace vx::ir {
namespace {

class TypeQuerying : public TypeWorldTest {};

TEST_F(TypeQuerying, FlattenedKindsCoverEveryKind) {
    for (uint32_t i = 0; i < TYPE_PKG::basic_count; ++i)
        EXPECT_EQ(pkg().basic_type(i)->ekind(), i);
    TYPE* int_type = basic(TYPE::ik_int);
    TYPE* s = pkg().mk_csu(TYPE::tpk_struct, "S");
    EXPECT_EQ(pkg().mk_fixed(basic(TYPE::ik_short), 15)->ekind(), 15u);
    EXPECT_EQ(pkg().mk_complex(int_type)->ekind(), 16u);
    EXPECT_EQ(pkg().mk_ptr(int_type)->ekind(), 17u);
    EXPECT_EQ(pkg().mk_ref(int_type)->ekind(), 18u);
    EXPECT_EQ(pkg().mk_array(int_type, 2)->ekind(), 19u);
    EXPECT_EQ(pkg().mk_ptr_to_member(int_type, s)->ekind(), 20u);
    EXPECT_EQ(pkg().mk_function(int_type)->ekind(), 21u);
    EXPECT_EQ(pkg().mk_enum("E", int_type)->ekind(), 22u);
    EXPECT_EQ(pkg().mk_csu(TYPE::tpk_class, "C")->ekind(), 23u);
    EXPECT_EQ(s->ekind(), 24u);
    EXPECT_EQ(pkg().mk_csu(TYPE::tpk_union, "U")->ekind(), 25u);
    EXPECT_EQ(pkg().void_type()->ekind(), 26u);
    // Typedefs and qualifiers are transparent.
    EXPECT_EQ(pkg().mk_typedef("T", pkg().mk_qual(int_type, CQ_CONST))->ekind(), 6u);

    TYPE odd_int(TYPE::IKIND(12), false, 16, 16);
    EXPECT_EQ(stop_text([&] { odd_int.ekind(); }),
              "TP>> internal error: Bad kind: TYPE::ekind()\n");
    TYPE odd_float(TYPE::FKIND(3), 32, 32);
    EXPECT_EQ(stop_text([&] { odd_float.ekind(); }),
              "TP>> internal error: Bad fkind: TYPE::ekind()\n");
}

TEST_F(TypeQuerying, KindTestsSeeThroughTypedefsAndQualifiers) {
    TYPE* named = pkg().mk_typedef("U", pkg().mk_qual(basic(TYPE::ik_uint), CQ_CONST));
    EXPECT_TRUE(named->is_integer());
    EXPECT_TRUE(named->is_uint());
    EXPECT_TRUE(named->is_unsigned());
    EXPECT_FALSE(named->is_signed());
    EXPECT_TRUE(named->is_scalar());
    EXPECT_TRUE(named->is_typedef());
    EXPECT_FALSE(named->is_qualified());
    EXPECT_EQ(named->real(), basic(TYPE::ik_uint));

    EXPECT_TRUE(basic(TYPE::ik_char)->is_signed());
    EXPECT_FALSE(basic(TYPE::ik_wchar)->is_signed());
    EXPECT_FALSE(basic(TYPE::ik_bool)->is_signed());
    EXPECT_TRUE(pkg().mk_enum("E", basic(TYPE::ik_long))->is_signed());
    EXPECT_TRUE(pkg().mk_int(TYPE::ik_uchar, false, 16, 16, 1)->is_bool());
    EXPECT_FALSE(basic(TYPE::ik_uchar)->is_bool());
    EXPECT_TRUE(basic(TYPE::ik_uchar)->is_char_kind());
    EXPECT_FALSE(pkg().mk_csu(TYPE::tpk_struct, "S")->is_scalar());
    EXPECT_TRUE(pkg().mk_array(basic(TYPE::ik_int), 4, {.vector = true})->is_vector());
    EXPECT_TRUE(pkg().mk_complex(basic(TYPE::fk_double))->is_complex_double());
    EXPECT_FALSE(pkg().mk_complex(basic(TYPE::fk_float))->is_complex_double());
}

TEST_F(TypeQuerying, StorageSizeRoundsScalarsToAPowerOfTwo) {
    EXPECT_EQ(pkg().mk_int(TYPE::ik_long, false, 24, 32, 0)->storage_size(), 32u);
    EXPECT_EQ(pkg().mk_int(TYPE::ik_int, false, 1, 16, 0)->storage_size(), 1u);
    EXPECT_EQ(pkg().mk_int(TYPE::ik_int, false, 0, 16, 0)->storage_size(), 1u);
    EXPECT_EQ(basic(TYPE::ik_llong)->storage_size(), 64u);
    TYPE* s = pkg().mk_csu(TYPE::tpk_struct, "S", true);
    s->set_size(24);
    EXPECT_EQ(s->storage_size(), 24u);
    // An array's size counts its elements' storage size.
    TYPE* three_bytes = pkg().mk_int(TYPE::ik_long, false, 24, 32, 0);
    EXPECT_EQ(pkg().mk_array(three_bytes, 3)->size(), 96u);
}

TEST_F(TypeQuerying, ArrayElementsCarryTheArraysQualifiers) {
    TYPE* long_type = basic(TYPE::ik_long);
    TYPE* array = pkg().mk_array(long_type, 4);
    EXPECT_EQ(array->size(), 128u);
    EXPECT_EQ(array->alignment(), 32u);
    EXPECT_EQ(array->elem_type(), long_type);

    TYPE* const_array = pkg().mk_qual(array, CQ_CONST);
    EXPECT_EQ(const_array->elem_type(), pkg().mk_qual(long_type, CQ_CONST));

    TYPE* packed_array = pkg().mk_typedef("PA", pkg().mk_qual(array, CQ_PACKED | CQ_VOLATILE));
    TYPE* element = packed_array->elem_type();
    EXPECT_EQ(element->get(), uint32_t{CQ_PACKED | CQ_VOLATILE});
    EXPECT_EQ(element->alignment(), 16u);
    EXPECT_EQ(element->qualified_base(), long_type);

    // Qualifiers collected through arrays reach the element's own.
    TYPE* of_volatile =
        pkg().mk_qual(pkg().mk_array(pkg().mk_qual(long_type, CQ_VOLATILE), 2), CQ_CONST);
    EXPECT_EQ(of_volatile->qualifiers(false), uint32_t{CQ_CONST});
    EXPECT_EQ(of_volatile->qualifiers(true), uint32_t{CQ_CONST | CQ_VOLATILE});
}

TEST_F(TypeQuerying, CompletenessLivesInArraysEnumsAndClasses) {
    TYPE* int_type = basic(TYPE::ik_int);
    EXPECT_TRUE(int_type->is_complete());
    EXPECT_FALSE(pkg().mk_array(int_type, 0, {.complete = false})->is_complete());
    TYPE* s = pkg().mk_csu(TYPE::tpk_struct, "S");
    EXPECT_FALSE(s->is_complete());
    s->set_is_complete(true);
    EXPECT_TRUE(pkg().mk_typedef("TS", s)->is_complete());
    TYPE* e = pkg().mk_enum("E", int_type);
    e->set_is_complete(false);
    EXPECT_FALSE(e->is_complete());
}

TEST_F(TypeQuerying, QueriesOfTheWrongKindStop) {
    TYPE* int_type = basic(TYPE::ik_int);
    auto text_of = [&](auto query) { return stop_text([&] { query(int_type); }); };
    const std::string prefix = "TP>> internal error: ";
    EXPECT_EQ(text_of([](TYPE* t) { t->type_pointed_to(); }),
              prefix + "Bad kind:  TYPE::type_pointed_to\n");
    EXPECT_EQ(text_of([](TYPE* t) { t->underlying_type(); }),
              prefix + "Bad kind:  TYPE::underlying_type\n");
    EXPECT_EQ(text_of([](TYPE* t) { t->part_type(); }), prefix + "Bad kind:  TYPE::part_type()\n");
    EXPECT_EQ(text_of([](TYPE* t) { t->elem_type(); }), prefix + "Bad kind:  TYPE::elem_type()\n");
    EXPECT_EQ(text_of([](TYPE* t) { t->getr(TYPE::tpk_pointer); }),
              prefix + "Bad kind:  TYPE::getr()\n");
    EXPECT_EQ(text_of([](TYPE* t) { t->getr_csu(); }), prefix + "Bad kind:  TYPE::getr_csu()\n");
    EXPECT_EQ(text_of([](TYPE* t) { t->get(); }), prefix + "Bad kind:  TYPE::get()\n");
    EXPECT_EQ(text_of([](TYPE* t) { t->set_is_complete(true); }),
              prefix + "Modifying frozen type:  TYPE::check_nfrozen\n");
    TYPE* function = pkg().mk_function(int_type);
    EXPECT_EQ(stop_text([&] { function->set_is_complete(true); }),
              prefix + "Bad kind:  TYPE::set_is_complete\n");
    TYPE outside(TYPE::tpk_void);
    EXPECT_EQ(stop_text([&] { c_integral_promotions(&outside); }),
              prefix + "Unregistered type:  c_integral_promotions()\n");
}

TEST_F(TypeQuerying, PointedToTypesOfPointersAndMemberPointers) {
    TYPE* s = pkg().mk_csu(TYPE::tpk_struct, "S");
    TYPE* member = pkg().mk_ptr_to_member(basic(TYPE::ik_long), s);
    EXPECT_EQ(member->type_pointed_to(), basic(TYPE::ik_long));
    EXPECT_EQ(member->ptm_class(), s);
    EXPECT_EQ(member->size(), 32u);
    TYPE* fixed = pkg().mk_fixed(basic(TYPE::ik_short), 15);
    EXPECT_EQ(fixed->underlying_type(), basic(TYPE::ik_short));
    EXPECT_EQ(fixed->fraction_bits(), 15u);
    EXPECT_EQ(fixed->size(), 16u);
    // Pointers that older producers wrote as 22 bits wide are 32-bit pointers.
    TYPE* old_pointer = pkg().mk_ptr(basic(TYPE::ik_long), 22, 22);
    EXPECT_EQ(old_pointer, pkg().mk_ptr(basic(TYPE::ik_long)));
    TYPE* complex = pkg().mk_complex(basic(TYPE::ik_long));
    EXPECT_EQ(complex->size(), 64u);
    EXPECT_EQ(complex->alignment(), 32u);
}

TEST_F(TypeQuerying, UnsignedAndSignedCounterparts) {
    EXPECT_EQ(pkg().mk_unsigned(pkg().mk_int(TYPE::ik_char, false)), basic(TYPE::ik_uchar));
    EXPECT_EQ(pkg().mk_unsigned(basic(TYPE::ik_llong)), basic(TYPE::ik_ullong));
    EXPECT_EQ(pkg().mk_unsigned(pkg().mk_qual(basic(TYPE::ik_short), CQ_CONST)),
              pkg().mk_qual(basic(TYPE::ik_ushort), CQ_CONST));
    EXPECT_EQ(pkg().mk_unsigned(pkg().mk_enum("E", basic(TYPE::ik_int))), basic(TYPE::ik_uint));
    for (TYPE::IKIND same : {TYPE::ik_bool, TYPE::ik_wchar, TYPE::ik_ulong})
        EXPECT_EQ(pkg().mk_unsigned(basic(same)), basic(same));
    TYPE* pointer = pkg().mk_ptr(basic(TYPE::ik_int));
    EXPECT_EQ(pkg().mk_unsigned(pointer), pointer);

    EXPECT_EQ(pkg().mk_signed(basic(TYPE::ik_uchar)), basic(TYPE::ik_char));
    EXPECT_EQ(pkg().mk_signed(basic(TYPE::ik_ulong)), basic(TYPE::ik_long));
    EXPECT_EQ(pkg().mk_signed(basic(TYPE::ik_int)), basic(TYPE::ik_int));
    EXPECT_EQ(pkg().mk_signed(basic(TYPE::ik_bool)), basic(TYPE::ik_bool));

    TYPE odd_int(TYPE::IKIND(13), false, 16, 16);
    odd_int.set_size(16); // still unfrozen: allowed
    EXPECT_EQ(stop_text([&] { pkg().mk_unsigned(&odd_int); }),
              "TP>> internal error: Bad kind: TYPE_PKG::mk_unsigned()\n");
    EXPECT_EQ(stop_text([&] { pkg().mk_signed(&odd_int); }),
              "TP>> internal error: Bad kind: TYPE_PKG::mk_signed()\n");
}

TEST_F(TypeQuerying, VectorArraysAreRebuiltOverTheConvertedElement) {
    TYPE* vector = pkg().mk_array(basic(TYPE::ik_short), 4,
                                  {.qualifiers = CQ_CONST, .vector = true, .alignment = 64});
    TYPE* converted = pkg().mk_unsigned(vector);
    ASSERT_NE(converted, vector);
    EXPECT_TRUE(converted->is_vector());
    EXPECT_EQ(converted->qualifiers(false), uint32_t{CQ_CONST});
    EXPECT_EQ(converted->real()->array_element(), basic(TYPE::ik_ushort));
    EXPECT_EQ(converted->elem_count(), 4u);
    EXPECT_EQ(converted->size(), 64u);
    EXPECT_EQ(converted->real()->alignment(), 64u);
    // A plain array is not converted.
    TYPE* plain = pkg().mk_array(basic(TYPE::ik_short), 4);
    EXPECT_EQ(pkg().mk_unsigned(plain), plain);
}

TEST_F(TypeQuerying, IntegralPromotionsFollowTheTargetsSizes) {
    TYPE* int_type = basic(TYPE::ik_int);
    EXPECT_EQ(c_integral_promotions(basic(TYPE::ik_uchar)), basic(TYPE::ik_uint));
    EXPECT_EQ(c_integral_promotions(basic(TYPE::ik_ushort)), basic(TYPE::ik_uint));
    EXPECT_EQ(c_integral_promotions(basic(TYPE::ik_char)), int_type);
    EXPECT_EQ(c_integral_promotions(basic(TYPE::ik_short)), int_type);
    EXPECT_EQ(c_integral_promotions(basic(TYPE::ik_wchar)), int_type);
    EXPECT_EQ(c_integral_promotions(pkg().mk_qual(int_type, CQ_CONST)), int_type);
    EXPECT_EQ(c_integral_promotions(basic(TYPE::ik_long)), basic(TYPE::ik_long));
    EXPECT_EQ(c_integral_promotions(basic(TYPE::ik_bool)), basic(TYPE::ik_bool));
    EXPECT_EQ(c_integral_promotions(pkg().mk_enum("E", basic(TYPE::ik_short))), int_type);
    EXPECT_EQ(c_integral_promotions(basic(TYPE::fk_float)), basic(TYPE::fk_float));
    // A narrower unsigned promotes to int.
    EXPECT_EQ(c_integral_promotions(pkg().mk_int(TYPE::ik_uchar, false, 8, 16, 0)), int_type);
}

TEST_F(TypeQuerying, CompanionIsTheCanonicalFormAndIsCached) {
    TYPE* int_type = basic(TYPE::ik_int);
    TYPE* e = pkg().mk_enum("E", int_type);
    type_frozen(e);
    TYPE* named_enum = pkg().mk_typedef("TE", e);
    EXPECT_EQ(pkg().companion(named_enum), int_type);

    TYPE* named_int = pkg().mk_typedef("I", int_type);
    TYPE* pointer = pkg().mk_ptr(pkg().mk_qual(named_int, CQ_CONST));
    TYPE* companion = pkg().companion(pointer);
    EXPECT_EQ(companion, pkg().mk_ptr(pkg().mk_qual(int_type, CQ_CONST)));
    const uint32_t next_uid = pkg().next_uid();
    EXPECT_EQ(pkg().companion(pointer), companion);
    EXPECT_EQ(pkg().next_uid(), next_uid);

    TYPE* array = pkg().mk_array(named_int, 3, {.flag_byte = 5});
    TYPE* canonical_array = pkg().normalize(array);
    EXPECT_EQ(canonical_array->array_element(), int_type);
    EXPECT_EQ(canonical_array->flag_byte(), 5);

    TYPE* s = pkg().mk_csu(TYPE::tpk_struct, "S");
    EXPECT_EQ(pkg().companion(s), s);
    EXPECT_EQ(pkg().companion(int_type), int_type);
}

} // namespace
} // namespace vx::ir
