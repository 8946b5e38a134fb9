// The printable form of types used by the listings and debug dumps.
#include "ir/type_package.h"
#include "support/termination.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace vx::ir {
namespace {

class TypePrint : public ::testing::Test {
protected:
    void SetUp() override {
        reset_type_world();
        package_ = std::make_unique<TYPE_PKG>();
    }
    void TearDown() override {
        package_.reset();
        reset_type_world();
    }
    TYPE_PKG& pkg() { return *package_; }
    TYPE* basic(TYPE::IKIND ikind) { return pkg().int_type(ikind); }

    std::unique_ptr<TYPE_PKG> package_;
};

TEST_F(TypePrint, BasicTypesPrintTheirWords) {
    const char* words[] = {"bool ",  "char ",           "unsigned char ", "wchar_t ",
                           "short ", "unsigned short ", "int ",           "unsigned ",
                           "long ",  "unsigned long ",  "long long ",     "unsigned long long ",
                           "float ", "double ",         "long double "};
    for (unsigned i = 0; i < TYPE_PKG::basic_count; ++i)
        EXPECT_EQ(pkg().basic_type(i)->spelling(), words[i]);
    EXPECT_EQ(pkg().void_type()->spelling(), "void ");
    EXPECT_EQ(pkg().void_ptr_type()->spelling(), "void *");
    EXPECT_EQ(basic(TYPE::ik_int)->spelling(true), "[ExplSign] int ");
    EXPECT_EQ(pkg().mk_int(TYPE::ik_int, false)->spelling(true), "int ");
}

TEST_F(TypePrint, QualifiersPrintInTheirOrder) {
    TYPE* all = pkg().mk_qual(basic(TYPE::ik_int), 0xFF);
    EXPECT_EQ(all->spelling(), "const volatile packed near far restrict ioport onchip int ");
    TYPE* const_pointer = pkg().mk_qual(pkg().mk_ptr(basic(TYPE::ik_int)), CQ_CONST);
    EXPECT_EQ(const_pointer->spelling(), "int *const ");
    TYPE* pointer_to_const = pkg().mk_ptr(pkg().mk_qual(basic(TYPE::ik_int), CQ_CONST));
    EXPECT_EQ(pointer_to_const->spelling(), "const int *");
}

TEST_F(TypePrint, DeclaratorsNestLikeC) {
    TYPE* int_type = basic(TYPE::ik_int);
    TYPE* array = pkg().mk_array(int_type, 4);
    EXPECT_EQ(array->spelling(), "int [4]");
    EXPECT_EQ(pkg().mk_array(pkg().mk_ptr(int_type), 4)->spelling(), "int *[4]");
    EXPECT_EQ(pkg().mk_ptr(array)->spelling(), "int (*)[4]");
    EXPECT_EQ(pkg().mk_array(int_type, 8, {.vector = true})->spelling(), "int <[8]>");
    EXPECT_EQ(pkg().mk_array(int_type, 0, {.complete = false})->spelling(), "int []");

    TYPE* function = pkg().mk_function(int_type);
    function->add_param(Parameter(int_type));
    function->add_param(Parameter(basic(TYPE::ik_char)));
    type_frozen(function);
    EXPECT_EQ(function->spelling(), "int (int , char )");
    EXPECT_EQ(pkg().mk_ptr(function)->spelling(), "int (*)(int , char )");
    EXPECT_EQ(pkg().mk_ref(int_type)->spelling(), "int &");

    TYPE* s = pkg().mk_csu(TYPE::tpk_struct, "S");
    EXPECT_EQ(pkg().mk_ptr_to_member(int_type, s)->spelling(), "int S::*");
}

TEST_F(TypePrint, ComplexFixedAndTypedefs) {
    EXPECT_EQ(pkg().mk_complex(basic(TYPE::ik_int))->spelling(), "cint ");
    EXPECT_EQ(pkg().mk_complex(basic(TYPE::ik_llong))->spelling(), "cllong ");
    EXPECT_EQ(pkg().mk_complex(pkg().float_type(TYPE::fk_double))->spelling(), "cdouble ");
    EXPECT_EQ(pkg().mk_fixed(basic(TYPE::ik_short), 15)->spelling(), "[FxtPt:15] short ");
    TYPE* named = pkg().mk_typedef("size_t", basic(TYPE::ik_ulong));
    EXPECT_EQ(named->spelling(), "size_t ");
    EXPECT_EQ(named->spelling(false, true), "size_t (= unsigned long ) ");
    EXPECT_EQ(pkg().mk_ptr(named)->spelling(), "size_t *");
}

TEST_F(TypePrint, ExpandedEnumsListTheirEnumerators) {
    TYPE* e = pkg().mk_enum("Color", basic(TYPE::ik_int));
    e->add_enumerator({"RED", 0});
    e->add_enumerator({"BLUE", -5});
    EXPECT_EQ(e->spelling(), "enum Color ");
    EXPECT_EQ(e->spelling(true), "enum Color \n    RED = 0\n    BLUE = -5");
}

TEST_F(TypePrint, ExpandedClassesListTheirFields) {
    TYPE* s = pkg().mk_csu(TYPE::tpk_union, "U");
    s->add_field({basic(TYPE::ik_int), "count"});
    FieldRecord bits{basic(TYPE::ik_uint), "flags"};
    bits.bit_offset = 16;
    bits.bit_width = 3;
    bits.flags[1] = 1;
    s->add_field(bits);
    EXPECT_EQ(s->spelling(), "union U ");
    EXPECT_EQ(s->spelling(true), "union U \n"
                                 "   count           off:  0  (int )\n"
                                 "   flags           off: 16 bitfld( 3)  (unsigned )");
    EXPECT_EQ(pkg().mk_csu(TYPE::tpk_class, "K")->spelling(), "class K ");
}

} // namespace
} // namespace vx::ir
