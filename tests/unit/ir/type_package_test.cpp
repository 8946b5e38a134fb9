// The type package: the target's basic types, interning, the error record,
// statistics and process-wide state.
#include "ir/type_compare.h"
#include "ir/type_package.h"
#include "support/termination.h"

#include "type_world_fixture.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace vx::ir {
namespace {

class TypePackage : public ::testing::Test {
protected:
    void SetUp() override {
        reset_type_world();
        previous_handler_ = set_stop_handler(throwing_stop_handler);
    }
    void TearDown() override {
        packages_.clear();
        reset_type_world();
        set_stop_handler(previous_handler_);
    }
    TYPE_PKG& make_package() {
        packages_.push_back(std::make_unique<TYPE_PKG>());
        return *packages_.back();
    }
    template <typename Body> static std::string stop_text(Body body) { return stop_text_of(body); }

    std::vector<std::unique_ptr<TYPE_PKG>> packages_;
    StopHandler previous_handler_ = nullptr;
};

struct Layout {
    uint32_t size;
    uint32_t alignment;
};

std::vector<Layout> layouts_of_basic_types(const TYPE_PKG& package) {
    std::vector<Layout> layouts;
    for (unsigned i = 0; i < TYPE_PKG::basic_count; ++i)
        layouts.push_back({package.basic_type(i)->size(), package.basic_type(i)->alignment()});
    return layouts;
}

bool operator==(const Layout& a, const Layout& b) {
    return a.size == b.size && a.alignment == b.alignment;
}

// ---- The target's basic types ------------------------------------------------------

TEST_F(TypePackage, BasicTypesHaveTheTargetsSizesAndAlignments) {
    TYPE_PKG& package = make_package();
    const std::vector<Layout> expected = {
        {16, 16}, {16, 16}, {16, 16}, {16, 16},
        {16, 16}, {16, 16}, {16, 16}, {16, 16}, // bool..unsigned
        {32, 32}, {32, 32}, {64, 32}, {64, 32}, // long, long long
        {32, 32}, {32, 32}, {64, 32},           // floats
    };
    EXPECT_EQ(layouts_of_basic_types(package), expected);
    EXPECT_EQ(package.void_type()->size(), 0u);
    EXPECT_EQ(package.void_type()->alignment(), 16u);
    EXPECT_EQ(package.void_ptr_type()->size(), 32u);
    EXPECT_EQ(package.void_ptr_type()->alignment(), 32u);
    EXPECT_EQ(package.void_ptr_type()->type_pointed_to(), package.void_type());
}

TEST_F(TypePackage, EabiModeWidensWcharAndDouble) {
    set_eabi_mode(true);
    TYPE_PKG& package = make_package();
    EXPECT_EQ(package.int_type(TYPE::ik_wchar)->size(), 32u);
    EXPECT_EQ(package.int_type(TYPE::ik_wchar)->alignment(), 32u);
    EXPECT_EQ(package.float_type(TYPE::fk_double)->size(), 64u);
    EXPECT_EQ(package.float_type(TYPE::fk_double)->alignment(), 32u);
    EXPECT_EQ(package.int_type(TYPE::ik_short)->size(), 16u);
    EXPECT_EQ(package.float_type(TYPE::fk_float)->size(), 32u);
}

TEST_F(TypePackage, BasicTypesAreMadeInOrderAfterTheRootVoid) {
    TYPE_PKG& package = make_package();
    EXPECT_EQ(TYPE_PKG::root_void()->uid(), 1u);
    EXPECT_NE(TYPE_PKG::root_void(), package.void_type());
    EXPECT_EQ(package.void_type()->uid(), 2u);
    EXPECT_EQ(package.void_ptr_type()->uid(), 3u);
    for (unsigned i = 0; i < TYPE_PKG::basic_count; ++i)
        EXPECT_EQ(package.basic_type(i)->uid(), 4u + i);
    EXPECT_EQ(package.next_uid(), 19u);
    EXPECT_EQ(package.int_type(TYPE::ik_int)->interned_under(), TYPE_PKG::root_void());
}

TEST_F(TypePackage, BasicIntegersAreExplicitlySignedAndBoolIsBoolean) {
    TYPE_PKG& package = make_package();
    for (uint32_t ikind = 0; ikind < TYPE::ikind_count; ++ikind)
        EXPECT_TRUE(package.int_type(TYPE::IKIND(ikind))->explicitly_signed()) << ikind;
    EXPECT_EQ(package.int_type(TYPE::ik_bool)->boolean_byte(), 1);
    EXPECT_EQ(package.int_type(TYPE::ik_char)->boolean_byte(), 0);
}

TEST_F(TypePackage, EqualSizedBasicTypesShareAMachineType) {
    TYPE_PKG& package = make_package();
    auto mtype = [&](TYPE::IKIND ikind) { return package.int_type(ikind)->mtype(); };
    TYPE* int_type = package.int_type(TYPE::ik_int);
    TYPE* uint_type = package.int_type(TYPE::ik_uint);
    EXPECT_EQ(mtype(TYPE::ik_char), int_type);
    EXPECT_EQ(mtype(TYPE::ik_short), int_type);
    EXPECT_EQ(mtype(TYPE::ik_uchar), uint_type);
    EXPECT_EQ(mtype(TYPE::ik_ushort), uint_type);
    EXPECT_EQ(mtype(TYPE::ik_wchar), package.int_type(TYPE::ik_short)); // short, not its mtype
    EXPECT_EQ(mtype(TYPE::ik_long), package.int_type(TYPE::ik_long));
    EXPECT_EQ(mtype(TYPE::ik_llong), package.int_type(TYPE::ik_llong));
    EXPECT_EQ(package.float_type(TYPE::fk_double)->mtype(), package.float_type(TYPE::fk_float));
    EXPECT_EQ(package.float_type(TYPE::fk_ldouble)->mtype(), package.float_type(TYPE::fk_ldouble));
    // An int made later shares the machine type of its basic type.
    EXPECT_EQ(package.mk_int(TYPE::ik_char, false)->mtype(), int_type);
}

TEST_F(TypePackage, EabiModeGivesLongDoubleTheMachineTypeOfDouble) {
    set_eabi_mode(true);
    TYPE_PKG& package = make_package();
    TYPE* d = package.float_type(TYPE::fk_double);
    EXPECT_EQ(d->mtype(), d);
    EXPECT_EQ(package.float_type(TYPE::fk_ldouble)->mtype(), d);
    EXPECT_EQ(package.int_type(TYPE::ik_wchar)->mtype(), package.int_type(TYPE::ik_wchar));
}

TEST_F(TypePackage, LaterPackagesShareTheBasicTypesInternedUnderTheRoot) {
    TYPE_PKG& first = make_package();
    TYPE_PKG& second = make_package();
    EXPECT_EQ(type_world().packages_made, 2u);
    EXPECT_EQ(second.int_type(TYPE::ik_int), first.int_type(TYPE::ik_int));
    EXPECT_EQ(second.void_ptr_type(), first.void_ptr_type());
    EXPECT_EQ(second.next_uid(), 1u); // nothing new was installed
}

// ---- Interning -------------------------------------------------------------------------

TEST_F(TypePackage, EqualRequestsYieldTheSameRecord) {
    TYPE_PKG& package = make_package();
    TYPE* int_type = package.int_type(TYPE::ik_int);
    EXPECT_EQ(package.mk_ptr(int_type), package.mk_ptr(int_type));
    EXPECT_EQ(package.mk_qual(int_type, CQ_CONST), package.mk_qual(int_type, CQ_CONST));
    EXPECT_EQ(package.mk_array(int_type, 4), package.mk_array(int_type, 4));
    EXPECT_NE(package.mk_array(int_type, 4), package.mk_array(int_type, 5));
    EXPECT_NE(package.mk_array(int_type, 4), package.mk_array(int_type, 4, {.vector = true}));
    EXPECT_EQ(package.mk_typedef("T", int_type), package.mk_typedef("T", int_type));
    EXPECT_NE(package.mk_typedef("T", int_type), package.mk_typedef("U", int_type));
    EXPECT_EQ(package.mk_int(TYPE::ik_int, true), int_type);
    EXPECT_NE(package.mk_int(TYPE::ik_int, false), int_type);
    EXPECT_EQ(package.mk_void(), package.void_type());
}

TEST_F(TypePackage, ADuplicateRequestGivesItsBytesBack) {
    TYPE_PKG& package = make_package();
    TYPE* int_type = package.int_type(TYPE::ik_int);
    package.mk_ptr(int_type);
    const uint64_t before = type_world().allocated_bytes;
    const uint32_t next_uid = package.next_uid();
    package.mk_ptr(int_type);
    EXPECT_EQ(type_world().allocated_bytes, before);
    EXPECT_EQ(package.next_uid(), next_uid);
}

TEST_F(TypePackage, QualifyingCollapsesLayersAndKeepsCarriedBits) {
    TYPE_PKG& package = make_package();
    TYPE* int_type = package.int_type(TYPE::ik_int);
    TYPE* const_int = package.mk_qual(int_type, CQ_CONST);
    EXPECT_EQ(package.mk_qual(const_int, CQ_CONST), const_int);

    TYPE* both = package.mk_qual(const_int, CQ_VOLATILE);
    EXPECT_EQ(both->qualified_base(), int_type);
    EXPECT_EQ(both->get(), uint32_t{CQ_CONST | CQ_VOLATILE});
    EXPECT_EQ(both, package.mk_qual(int_type, CQ_CONST | CQ_VOLATILE));
    EXPECT_EQ(both, package.mk_qual(package.mk_qual(int_type, CQ_VOLATILE), CQ_CONST));

    // A typedef that names a const type already carries const.
    TYPE* named_const = package.mk_typedef("CI", const_int);
    EXPECT_EQ(package.mk_qual(named_const, CQ_CONST), named_const);
}

TEST_F(TypePackage, PackingAlignsOnSixteenBits) {
    TYPE_PKG& package = make_package();
    TYPE* packed_long = package.mk_qual(package.int_type(TYPE::ik_long), CQ_PACKED);
    EXPECT_EQ(packed_long->size(), 32u);
    EXPECT_EQ(packed_long->alignment(), 16u);
    TYPE* const_long = package.mk_qual(package.int_type(TYPE::ik_long), CQ_CONST);
    EXPECT_EQ(const_long->alignment(), 32u);
}

TEST_F(TypePackage, NamedTypesAreNeverMerged) {
    TYPE_PKG& package = make_package();
    TYPE* first = package.mk_csu(TYPE::tpk_struct, "S", true);
    TYPE* second = package.mk_csu(TYPE::tpk_struct, "S", true);
    type_frozen(first);
    type_frozen(second);
    EXPECT_NE(first, second);
    EXPECT_NE(first->uid(), 0u);
    EXPECT_NE(second->uid(), 0u);
    // Nor are qualified forms of them: their real kind is a named kind.
    EXPECT_NE(package.mk_qual(first, CQ_CONST), package.mk_qual(first, CQ_CONST));

    TYPE* int_type = package.int_type(TYPE::ik_int);
    TYPE* e1 = package.mk_enum("E", int_type);
    TYPE* e2 = package.mk_enum("E", int_type);
    type_frozen(e1);
    type_frozen(e2);
    EXPECT_NE(e1, e2);
}

TEST_F(TypePackage, EqualFunctionTypesMergeWhenFrozen) {
    TYPE_PKG& package = make_package();
    TYPE* int_type = package.int_type(TYPE::ik_int);
    auto make = [&](TYPE* param, uint8_t variadic) {
        TYPE* function = package.mk_function(int_type, {variadic, 0, 0, 0});
        function->add_param(Parameter(param, "x"));
        type_frozen(function);
        return function;
    };
    TYPE* f = make(int_type, 0);
    EXPECT_EQ(make(int_type, 0), f);
    EXPECT_NE(make(package.int_type(TYPE::ik_long), 0), f);
    EXPECT_NE(make(int_type, 1), f);
    EXPECT_EQ(f->interned_under(), int_type);
}

TEST_F(TypePackage, InterningKeysNameTheTagOrTheBuiltinKind) {
    TYPE_PKG& package = make_package();
    TYPE* int_type = package.int_type(TYPE::ik_int);
    TYPE* s = package.mk_csu(TYPE::tpk_struct, "S");
    EXPECT_EQ(int_type->interning_key(), "__builtin_type");
    EXPECT_EQ(package.mk_ptr(s)->interning_key(), "__builtin_type");
    EXPECT_EQ(s->interning_key(), "S");
    EXPECT_EQ(package.mk_qual(s, CQ_CONST)->interning_key(), "S");
    EXPECT_EQ(package.mk_typedef("T", int_type)->interning_key(), "T");
    EXPECT_EQ(package.mk_csu(TYPE::tpk_class, nullptr)->interning_key(), "$$fakestruct");
    EXPECT_EQ(package.mk_csu(TYPE::tpk_struct, "")->interning_key(), "$$fakestruct");
    EXPECT_EQ(package.mk_csu(TYPE::tpk_union, nullptr)->interning_key(), "$$fakeunion");
    EXPECT_EQ(package.mk_enum(nullptr, int_type)->interning_key(), "$$fakeenum");
}

TEST_F(TypePackage, AnonymousTagsAreNumberedAcrossPackages) {
    TYPE_PKG& first = make_package();
    EXPECT_EQ(first.mk_csu(TYPE::tpk_struct, nullptr)->name(), "$$fake0");
    EXPECT_EQ(first.mk_enum("", first.int_type(TYPE::ik_int))->name(), "$$fake1");
    EXPECT_EQ(first.mk_csu(TYPE::tpk_union, "$$fake7")->name(), "$$fake2");
    TYPE_PKG& second = make_package();
    EXPECT_EQ(second.mk_csu(TYPE::tpk_class, nullptr)->name(), "$$fake3");
    EXPECT_EQ(second.mk_csu(TYPE::tpk_class, "K")->name(), "K");
}

TEST_F(TypePackage, DeletingATypeTreeRemovesWhatIsBuiltOnIt) {
    TYPE_PKG& package = make_package();
    TYPE* int_type = package.int_type(TYPE::ik_int);
    TYPE* pointer = package.mk_ptr(int_type);
    package.mk_ptr(pointer);
    package.mk_qual(pointer, CQ_CONST);
    EXPECT_EQ(int_type->based_types().at("__builtin_type").size(), 1u);

    const std::string text = stop_text([&] { package.delete_type_tree(pointer, false); });
    EXPECT_EQ(text, "TP>> internal error: Nonrecusive type tree delete with nonempty based list:  "
                    "TYPE_PKG::delete_type_tree\n");

    const uint64_t before = type_world().allocated_bytes;
    package.delete_type_tree(pointer);
    EXPECT_TRUE(int_type->based_types().empty());
    EXPECT_EQ(type_world().allocated_bytes, before - 3 * sizeof(TYPE));
    TYPE* made_anew = package.mk_ptr(int_type);
    EXPECT_EQ(made_anew->uid(), package.next_uid() - 1);
}

TEST_F(TypePackage, ReplacingAnArrayTakesItsPlaceInTheElementsList) {
    TYPE_PKG& package = make_package();
    TYPE* int_type = package.int_type(TYPE::ik_int);
    TYPE* open = package.mk_array(int_type, 0, {.complete = false});
    TYPE* replacement = package.mk_array(package.int_type(TYPE::ik_long), 8);
    replace_array_elem(open, replacement);
    const auto& list = int_type->based_types().at("__builtin_type");
    EXPECT_EQ(std::count(list.begin(), list.end(), replacement), 1);
    EXPECT_EQ(std::count(list.begin(), list.end(), open), 0);
    EXPECT_EQ(open->final_type(), replacement);

    EXPECT_EQ(stop_text([&] { replace_array_elem(open, int_type); }),
              "TP>> internal error: replace_array_elem:  can't find element\n");
}

// ---- Errors and statistics -------------------------------------------------------------

TEST_F(TypePackage, OversizedObjectIsReportedOnceAndTruncated) {
    TYPE_PKG& package = make_package();
    std::vector<std::string> seen;
    package.set_error_callback([&](TYPE_PKG& from, int severity, const char* text) {
        EXPECT_EQ(&from, &package);
        EXPECT_EQ(severity, 1);
        seen.push_back(text);
    });
    const char* expected =
        "Object size 4294967296 is greater than maximum supported size 4294967295";
    TYPE* huge = package.mk_array(package.int_type(TYPE::ik_int), uint64_t{1} << 28);
    EXPECT_EQ(huge->size(), 0u); // the low 32 bits
    ASSERT_NE(package.pending_error(), nullptr);
    EXPECT_EQ(package.pending_error()->severity, 1);
    EXPECT_EQ(package.pending_error()->message, expected);
    EXPECT_EQ(seen, std::vector<std::string>{expected});

    // While an error is stored, a later one repeats the stored one.
    package.mk_array(package.int_type(TYPE::ik_long), uint64_t{3} << 30);
    EXPECT_EQ(seen, (std::vector<std::string>{expected, expected}));
    EXPECT_EQ(package.pending_error()->message, expected);
}

TEST_F(TypePackage, ErrorTextIsCutTo4095Characters) {
    TYPE_PKG& package = make_package();
    const std::string long_text(5000, 'x');
    package.report_error(2, "%s", long_text.c_str());
    EXPECT_EQ(package.pending_error()->message.size(), 4095u);
    EXPECT_EQ(package.pending_error()->severity, 2);
}

TEST_F(TypePackage, StatisticsCountInstallationsByKind) {
    TYPE_PKG& package = make_package();
    const TypeStats& stats = type_world().stats;
    EXPECT_EQ(stats.all, 18u); // the root, void, void *, 12 integers, 3 floats
    EXPECT_EQ(stats.scalar, 17u);
    EXPECT_EQ(stats.pointer, 1u);

    TYPE* int_type = package.int_type(TYPE::ik_int);
    package.mk_array(int_type, 4);
    package.mk_array(int_type, 4); // merged: not counted again
    package.mk_array(int_type, 4, {.vector = true});
    package.mk_complex(int_type);
    package.mk_qual(int_type, CQ_CONST);
    package.mk_typedef("T", int_type);
    TYPE* s = package.mk_csu(TYPE::tpk_union, "U");
    EXPECT_EQ(stats.csu, 0u); // counted when installed
    type_frozen(s);
    EXPECT_EQ(stats.array, 1u);
    EXPECT_EQ(stats.vector_array, 1u);
    EXPECT_EQ(stats.complex, 1u);
    EXPECT_EQ(stats.qualified, 1u);
    EXPECT_EQ(stats.typedefs, 1u);
    EXPECT_EQ(stats.csu, 1u);
    EXPECT_EQ(stats.all, 24u);
    const std::string report = type_stats_report();
    EXPECT_NE(report.find("  vector array                  1\n"), std::string::npos) << report;
    EXPECT_NE(report.find("  all types                    24\n"), std::string::npos) << report;
}

TEST_F(TypePackage, MisusedFactoriesStopWithTheirMessages) {
    TYPE_PKG& package = make_package();
    EXPECT_EQ(stop_text([&] { package.mk_int(TYPE::IKIND(12), false); }),
              "TP>> internal error: Bad kind: TYPE_PKG::mk_int\n");
    EXPECT_EQ(stop_text([&] { package.mk_fltpt(TYPE::FKIND(3)); }),
              "TP>> internal error: Bad fltpt_kind: TYPE_PKG::mk_fltpt\n");
    EXPECT_EQ(stop_text([&] { package.mk_complex(package.int_type(TYPE::ik_uint)); }),
              "TP>> internal error: Bad complex part_type: TYPE::TYPE(TYPE *i_part_type)\n");
    EXPECT_EQ(stop_text([&] { package.mk_csu(TYPE::tpk_enum, "E"); }),
              "TP>> internal error: Bad type kind:  TYPE::TYPE(KIND, const char *, int, int)\n");
    EXPECT_EQ(stop_text([] { TYPE bare(TYPE::tpk_int); }),
              "TP>> internal error: Bad type kind:  TYPE::TYPE(KIND)\n");
    TYPE outside(TYPE::tpk_pointer, package.int_type(TYPE::ik_int), 32, 32);
    TYPE* unfrozen_pointer = &outside;
    EXPECT_EQ(stop_text([&] { type_frozen(unfrozen_pointer); }),
              "TP>> internal error: bad kind: type_frozen()\n");
    TYPE* fresh_qualified = package.mk_qual(package.int_type(TYPE::ik_int), CQ_NEAR);
    EXPECT_EQ(stop_text([&] { fresh_qualified->set_size(8); }),
              "TP>> internal error: Modifying frozen type:  TYPE::check_nfrozen\n");
}

TEST_F(TypePackage, FrozenRecordsRefuseChanges) {
    TYPE_PKG& package = make_package();
    TYPE* s = package.mk_csu(TYPE::tpk_struct, "S");
    s->add_field({package.int_type(TYPE::ik_int), "a"});
    s->set_is_complete(true);
    type_frozen(s);
    const char* frozen = "TP>> internal error: Modifying frozen type:  TYPE::check_nfrozen\n";
    EXPECT_EQ(stop_text([&] { s->add_field({package.int_type(TYPE::ik_int), "b"}); }), frozen);
    EXPECT_EQ(stop_text([&] { s->set_is_complete(false); }), frozen);
    EXPECT_EQ(s->fields().size(), 1u);
}

TEST_F(TypePackage, BitFieldsAreNotedProcessWide) {
    TYPE_PKG& package = make_package();
    TYPE* s = package.mk_csu(TYPE::tpk_struct, "S");
    s->add_field({package.int_type(TYPE::ik_int), "a"});
    EXPECT_FALSE(type_world().some_bit_field_exists);
    FieldRecord bits{package.int_type(TYPE::ik_uint), "b"};
    bits.bit_width = 3;
    bits.flags[1] = 1;
    s->add_field(bits);
    EXPECT_TRUE(type_world().some_bit_field_exists);
}

} // namespace
} // namespace vx::ir
