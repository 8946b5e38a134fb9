#include "ir/function_info.h"
#include "ir/symbol.h"
#include "ir/symbol_attributes.h"
#include "ir/symbol_listing.h"
#include "ir/symbol_names.h"
#include "ir/symbol_table.h"
#include "ir/symbol_type_queries.h"
#include "ir/type.h"
#include "ir/type_package.h"
#include "options/option_sets.h"
#include "support/check.h"
#include "support/switches.h"
#include "support/termination.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

namespace vx::ir {
namespace {

// Stand-ins for types until the type package answers the queries.
struct FakeType {
    bool function = false;
    uint32_t size = 16;
    uint32_t alignment = 16;
    unsigned qualifiers = 0;
    FakeType* companion = nullptr;
    const char* spelling = "int ";
};

TYPE* as_type(FakeType& type) {
    return reinterpret_cast<TYPE*>(&type);
}
const FakeType& fake(const TYPE* type) {
    return *reinterpret_cast<const FakeType*>(type);
}

TypeQueries fake_queries() {
    TypeQueries queries;
    queries.is_function = [](const TYPE* t) { return fake(t).function; };
    queries.size = [](const TYPE* t) { return fake(t).size; };
    queries.alignment = [](const TYPE* t) { return fake(t).alignment; };
    queries.qualifiers = [](const TYPE* t) { return fake(t).qualifiers; };
    queries.optimizer_type = [](TYPE* t) {
        FakeType* companion = fake(t).companion;
        return companion ? as_type(*companion) : t;
    };
    queries.spelling = [](const TYPE* t) { return std::string(fake(t).spelling); };
    return queries;
}

std::string failed_check;

class SymbolFixture : public ::testing::Test {
protected:
    void SetUp() override {
        reset_symbol_state();
        opt::reset_option_registry();
        sw::reset_switches();
        failed_check.clear();
        previous_queries_ = install_type_queries(fake_queries());
        previous_stop_ = set_stop_handler(throwing_stop_handler);
        previous_check_ = set_check_failure_handler(
            [](const char* expression, const char*, int) { failed_check = expression; });
        function_type_.function = true;
        function_type_.size = 0;
        function_type_.spelling = "int ()";
    }

    void TearDown() override {
        set_check_failure_handler(previous_check_);
        set_stop_handler(previous_stop_);
        install_type_queries(previous_queries_);
        reset_symbol_state();
        opt::reset_option_registry();
        sw::reset_switches();
    }

    static void use_options(const char* text) {
        ASSERT_TRUE(opt::parse_option_text(opt::option_registry().command_line, text));
        ASSERT_TRUE(opt::build_option_sets());
    }

    Symbol* declare(std::string_view name, FakeType& type, int8_t storage_class = SC_EXTERN_DEF,
                    uint16_t flags = 0, uint8_t level = 0) {
        SymbolDeclaration declaration;
        declaration.fields.name = name;
        declaration.fields.size = type.size;
        declaration.fields.alignment = type.alignment;
        declaration.fields.storage_class = storage_class;
        declaration.fields.flags = flags;
        declaration.fields.type = as_type(type);
        declaration.level = level;
        return declare_symbol(declaration);
    }

    Symbol* declare_function(std::string_view name) { return declare(name, function_type_); }

    FUNINFO& begin(std::string_view name) {
        return begin_function(*declare_function(name), SourcePosition{"f.c", 1, 1});
    }

    // Everything written to the file; closes it.
    static std::string read_back(FILE* file) {
        std::fflush(file);
        std::rewind(file);
        std::string text;
        for (int c; (c = std::fgetc(file)) != EOF;)
            text += static_cast<char>(c);
        std::fclose(file);
        return text;
    }

    static std::string output_of(const std::function<void(FILE*)>& print) {
        FILE* out = std::tmpfile();
        print(out);
        return read_back(out);
    }

    static int stop_status(const std::function<void()>& action) {
        try {
            action();
        } catch (const RunStopped& stop) {
            return stop.status;
        }
        return -1;
    }

    FakeType int_type_;
    FakeType function_type_;
    TypeQueries previous_queries_;
    StopHandler previous_stop_ = nullptr;
    CheckFailureHandler previous_check_ = nullptr;
};

// ---------------------------------------------------------------------------
// Reading a declaration

using SymbolReading = SymbolFixture;

TEST_F(SymbolReading, StreamFlagsAreMaskedAndGlobalsBelowO3AreVisible) {
    FakeType const_int;
    const_int.qualifiers = QUAL_CONST;

    EXPECT_EQ(declare("plain", int_type_, SC_EXTERN_DEF, 0x6601)->flags, 0xE001); // 0x19FF kept
    EXPECT_EQ(declare("creg", int_type_, SC_EXTERN_DEF, 0x10)->flags, 0xC010);
    EXPECT_EQ(declare("reg", int_type_, SC_EXTERN_DEF, 0x80)->flags, 0xC080);
    EXPECT_EQ(declare("ro", const_int, SC_EXTERN_DEF, 0x1801)->flags, 0x1801);
    begin("f");
    EXPECT_EQ(declare("local", int_type_, SC_AUTO, 0xFFFF, 2)->flags, 0x19FF);
}

TEST_F(SymbolReading, AtO3GlobalsKeepOnlyTheStreamBits) {
    use_options("-o3");
    EXPECT_EQ(declare("g", int_type_, SC_EXTERN_DEF, 0x8001)->flags, 0x0001);
}

TEST_F(SymbolReading, PinnedParameterIsStoredAsParameterAndPinsTheFunction) {
    FUNINFO& f = begin("f");
    Symbol* p = declare("p", int_type_, SC_PINNED_PARAM, 0, 1);
    EXPECT_EQ(p->storage_class, SC_PARAM);
    EXPECT_EQ(f.properties, FUN_cannot_beta | FUN_cannot_inline | FUN_cannot_suppress);
}

TEST_F(SymbolReading, RegisterClassesStartOutsideMemory) {
    EXPECT_EQ(declare("s", int_type_, SC_STATIC)->flag_byte, SYMB_DECLARED | SYMB_IN_MEMORY);
    begin("f");
    for (int8_t sc : {SC_REGISTER, SC_REGISTER_PARAM, SC_REGISTER_TEMP})
        EXPECT_EQ(declare("r", int_type_, sc, 0, 2)->flag_byte, SYMB_DECLARED) << int{sc};
}

TEST_F(SymbolReading, OldPointerSizeIsReadAs32Bits) {
    FakeType pointer;
    pointer.size = 32;
    SymbolDeclaration declaration;
    declaration.fields.name = "p";
    declaration.fields.size = 22;
    declaration.fields.alignment = 16;
    declaration.fields.type = as_type(pointer);
    Symbol* p = declare_symbol(declaration);
    EXPECT_EQ(p->size, 32u);
    EXPECT_EQ(p->alignment, 32u);
}

TEST_F(SymbolReading, SizeMustMatchTheTypeUnlessItIsAFunction) {
    SymbolDeclaration declaration;
    declaration.fields.name = "x";
    declaration.fields.size = 32;
    declaration.fields.type = as_type(int_type_);
    EXPECT_EQ(stop_status([&] { declare_symbol(declaration); }), 1);
    EXPECT_EQ(failed_check, "otype->is_func() || size == otype->size()");

    declaration.fields.type = as_type(function_type_);
    EXPECT_NE(declare_symbol(declaration), nullptr);
}

TEST_F(SymbolReading, FunctionSymbolTakesItsOptionSetAndBecomesTheRecordsSymbol) {
    use_options("-o2");
    ASSERT_EQ(opt::add_function_option_set("fir", "-o3"), 1);
    FUNINFO& early = function_record_for("fir"); // made by an earlier reference
    Symbol* fir = declare_function("_fir");
    EXPECT_EQ(fir->option_set, 1);
    EXPECT_EQ(early.symbol, fir);
    EXPECT_EQ(function_record_of(*fir), &early);
}

// ---------------------------------------------------------------------------
// Tables

using SymbolTables = SymbolFixture;

TEST_F(SymbolTables, GlobalsAreIndexedInDeclarationOrder) {
    Symbol* a = declare("a", int_type_);
    Symbol* b = declare("b", int_type_);
    EXPECT_EQ(symbol_at(nullptr, 0, 0), a);
    EXPECT_EQ(symbol_at(nullptr, 0, 1), b);
    EXPECT_EQ(symbol_at(nullptr, 0, 2), nullptr);
    EXPECT_EQ(b->table_index, 1u);
    EXPECT_LT(a->sequence, b->sequence);
    EXPECT_EQ(global_symbols().size(), 2u);
    EXPECT_EQ(global_symbols().front(), a);
}

TEST_F(SymbolTables, EachFunctionHasItsOwnLocalTable) {
    FUNINFO& f = begin("f");
    Symbol* p = declare("p", int_type_, SC_PARAM, 0, 1);
    Symbol* x = declare("x", int_type_, SC_AUTO, 0, 2);
    Symbol* inner = declare("inner", int_type_, SC_AUTO, 0, 3);
    end_function({});
    FUNINFO& g = begin("g");
    Symbol* y = declare("y", int_type_, SC_AUTO, 0, 2);

    EXPECT_EQ(symbol_at(&f, 2, 1), x);
    EXPECT_EQ(symbol_at(&g, 2, 0), y);
    EXPECT_EQ(symbol_at(&g, 2, 1), nullptr);
    EXPECT_EQ(y->declaration_number, 0u); // counted afresh per function
    EXPECT_EQ(inner->declaration_number, 2u);
    EXPECT_EQ(x->table_level, 2);
    EXPECT_EQ(f.list(SymbolListKind::declared).size(), 2u);
    EXPECT_EQ(f.list(SymbolListKind::block_scope).front(), inner);
    EXPECT_EQ(p->table_index, 0u);

    begin_function(*f.symbol, {}); // read again: the local table starts empty
    EXPECT_EQ(symbol_at(&f, 2, 0), nullptr);
}

TEST_F(SymbolTables, FunctionRecordsAreFoundByLinkNameWithoutOneLeadingMark) {
    Symbol* main_symbol = declare_function("_main");
    declare_function(".start");
    declare("_counter", int_type_);

    FUNINFO* main_record = function_record_of("main");
    ASSERT_NE(main_record, nullptr);
    EXPECT_EQ(main_record->symbol, main_symbol);
    EXPECT_EQ(function_record_of("_main"), main_record);
    EXPECT_NE(function_record_of("start"), nullptr);
    EXPECT_EQ(function_record_of("counter"), nullptr); // a variable: no record
    EXPECT_EQ(function_record_of("nowhere"), nullptr);
    EXPECT_EQ(output_of(print_interned_names_report).substr(0, 20), "\n3 interned symbols;");
    EXPECT_NE(output_of(print_interned_names_report).find(", 1 with NULL funinfo.\n"),
              std::string::npos);
}

TEST_F(SymbolTables, UnderTheEabiLinkNamesAreUsedUnchanged) {
    use_options("--abi=eabi");
    declare_function("_main");
    EXPECT_EQ(function_record_of("main"), nullptr);
    EXPECT_NE(function_record_of("_main"), nullptr);
}

// A symbol keeps the record its name led to; the answer is the lookup's.
TEST_F(SymbolTables, ASymbolKeepsTheRecordItsNameLedTo) {
    Symbol* fir = declare_function("fir");
    FUNINFO* record = function_record_of(*fir);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(fir->function_record, record);
    EXPECT_EQ(function_record_of(*fir), record);
    EXPECT_EQ(&function_record_for("fir"), record);
    EXPECT_EQ(function_record_of(*declare("x", int_type_)), nullptr);
}

// Whether "_main" names the record of "main" depends on the options in
// force at each lookup, so such a name is looked up every time.
TEST_F(SymbolTables, ANameWithALeadingMarkIsLookedUpEachTime) {
    Symbol* main_symbol = declare_function("_main");
    FUNINFO* by_link_name = function_record_of(*main_symbol);
    ASSERT_NE(by_link_name, nullptr);
    EXPECT_EQ(main_symbol->function_record, nullptr);
    use_options("--abi=eabi");
    EXPECT_EQ(function_record_of(*main_symbol), function_record_of("_main"));
}

TEST_F(SymbolTables, CopiesEnterTheLocalTableAndInheritPassData) {
    FUNINFO& f = begin("f");
    Symbol* x = declare("x", int_type_, SC_AUTO, 0, 2);
    x->pass.reference_count = 5;
    x->flag_byte |= SYMB_INITIALIZED;
    x->initializer.push_back(nullptr);
    Symbol* copy = copy_symbol(f, *x, 7);
    EXPECT_EQ(copy->name, "x"); // names are kept unless asked for
    EXPECT_EQ(copy->pass.reference_count, 5u);
    EXPECT_TRUE(copy->initializer.empty());
    EXPECT_FALSE(copy->flag_byte & SYMB_INITIALIZED);
    EXPECT_EQ(symbol_at(&f, 2, copy->table_index), copy);
    EXPECT_EQ(f.list(SymbolListKind::copies).front(), copy);
}

TEST_F(SymbolTables, CopiesAreNamedWhenNamingIsOnAndTracingDeep) {
    FUNINFO& f = begin("f");
    Symbol* counter = declare("counter", int_type_, SC_AUTO, 0, 2);
    sw::add_switches(sw::Category::debug, "name_symbols");
    EXPECT_EQ(copy_symbol(f, *counter, 7)->name, "counter"); // trace level 0
    symbol_state().trace_level = 2;
    Symbol* named = copy_symbol(f, *counter, 7);
    EXPECT_EQ(named->name, "$O$N007$counter");
    EXPECT_EQ(copy_symbol(f, *named, 3)->name, "$O$N007$counter$003");
}

TEST_F(SymbolTables, WriterTakesParametersByDeclarationNumberAndLocalsByList) {
    FUNINFO& f = begin("f");
    Symbol* p0 = declare("p0", int_type_, SC_PARAM, 0, 1);
    Symbol* p1 = declare("p1", int_type_, SC_PARAM, 0, 1);
    Symbol* x = declare("x", int_type_, SC_AUTO, 0, 2);
    Symbol* nested = declare("n", int_type_, SC_AUTO, 0, 3);
    Symbol* copy = copy_symbol(f, *x, 1);
    SymbolFields w;
    w.name = "w";
    w.type = as_type(int_type_);
    w.size = 16;
    Symbol* waiting = create_local_symbol(f, w, 2, SymbolListKind::block_scope);
    f.list(SymbolListKind::declared).remove(p0);
    f.list(SymbolListKind::declared).push_back(p0); // list order is not what counts
    p1->flag_byte &= static_cast<uint8_t>(~SYMB_DECLARED);

    EXPECT_EQ(parameters_for_output(f), (std::vector<Symbol*>{p0}));
    EXPECT_EQ(locals_for_output(f), (std::vector<Symbol*>{waiting, copy, x}));
    (void)nested; // level 3: not written as a local
}

TEST_F(SymbolTables, DemotedStaticIsMarkedDeadAndReplacedByAnAutomaticCopy) {
    Symbol* s = declare("cache", int_type_, SC_STATIC, 0x0001);
    ASSERT_EQ(s->flags, 0xE001);
    FUNINFO& f = begin("f");
    FILE* info = std::tmpfile();
    FILE* trace = std::tmpfile();
    Symbol* statics[] = {s};
    std::vector<Symbol*> copies = demote_local_statics(f, statics, info, trace);

    EXPECT_EQ(read_back(info),
              "    Changing these function-local static variables to 'auto':\n\tf:cache\n");
    EXPECT_EQ(read_back(trace), "Changing this function-local static variable to 'auto': cache\n");
    EXPECT_EQ(s->flags, 0x0001);
    EXPECT_TRUE(s->flag_byte & SYMB_DEMOTED_STATIC);
    EXPECT_NE(find_attribute(*s, PRG_SYMBOL_IS_DEAD), nullptr);
    ASSERT_EQ(copies.size(), 1u);
    const Symbol& copy = *copies[0];
    EXPECT_EQ(copy.storage_class, SC_AUTO);
    EXPECT_EQ(copy.declared_storage_class, SC_AUTO);
    EXPECT_EQ(copy.level, 2);
    EXPECT_EQ(copy.flags, 0x0001);
    EXPECT_EQ(copy.attributes, nullptr); // copied before the static was marked
    EXPECT_EQ(f.list(SymbolListKind::copies).front(), copies[0]);
}

TEST_F(SymbolTables, ExplodedFieldBecomesAnAutomaticOfTheFieldsType) {
    FUNINFO& f = begin("f");
    FakeType record_type;
    record_type.size = 64;
    Symbol* s = declare("_pt", record_type, SC_AUTO, 0, 2);
    s->position = {"p.c", 9, 3};
    FakeType wide;
    wide.size = wide.alignment = 32;
    FakeType enum_field;
    enum_field.companion = &wide;
    Symbol* field = make_field_variable(f, *s, "_y", as_type(enum_field));
    EXPECT_EQ(field->name, "$O$CSU$pt$y");
    EXPECT_EQ(field->type, as_type(wide));
    EXPECT_EQ(field->size, 32u);
    EXPECT_EQ(field->alignment, 32u);
    EXPECT_EQ(field->storage_class, SC_AUTO);
    EXPECT_EQ(field->level, 2);
    EXPECT_EQ(field->position.line, 9u);
    EXPECT_EQ(f.list(SymbolListKind::copies).front(), field);
}

// ---------------------------------------------------------------------------
// Attribute lists

using SymbolAttributes = SymbolFixture;

TEST_F(SymbolAttributes, OptionOverrideIdIsNeverASymbolsList) {
    Symbol* f = declare_function("f");
    EXPECT_EQ(stop_status([&] { attach_attribute_list(*f, PRG_OPT_OVERRIDE, {}); }), 1);
    EXPECT_EQ(failed_check, "pragID != PRG_OPT_OVERRIDE");
}

TEST_F(SymbolAttributes, DeclaredPropertiesAreIgnoredWhenDisabledOrForInterrupts) {
    Symbol* isr = declare("isr", function_type_, SC_EXTERN_DEF, SYM_INTERRUPT);
    attach_attribute_list(*isr, PRG_IS_PURE, {});
    EXPECT_EQ(function_record_of(*isr)->properties, 0u);

    sw::add_switches(sw::Category::disable, "function_pragmas");
    Symbol* f = declare_function("f");
    attach_attribute_list(*f, PRG_NEVER_RETURNS, {});
    EXPECT_EQ(function_record_of(*f)->properties, 0u);
}

TEST_F(SymbolAttributes, FixedIdsSetTheirProperties) {
    struct Case {
        uint8_t id;
        std::vector<std::string> arguments;
        uint32_t expected;
    };
    const uint32_t no_inline = FUN_cannot_inline | FUN_cannot_suppress;
    const uint32_t exported =
        FUN_is_cg_root | FUN_cannot_beta | FUN_is_pragma_EXT | FUN_cannot_suppress;
    const Case cases[] = {
        {3, {}, FUN_never_returns},
        {5, {}, FUN_no_global_asg},
        {6, {}, FUN_no_ind_asg},
        {7, {}, FUN_is_pure_fun},
        {8, {}, FUN_is_SYSTEM},
        {23, {}, FUN_is_pragma_EXT},
        {95, {}, FUN_is_pragma_EXT},
        {4, {}, no_inline},
        {83, {}, no_inline},
        {PRG_SOURCE_LANGUAGE, {"C++"}, FUN_is_cpp},
        {PRG_SOURCE_LANGUAGE, {"C"}, 0},
        {PRG_VISIBILITY, {"default"}, exported | FUN_cannot_inline},
        {PRG_VISIBILITY, {"protected"}, exported},
        {PRG_VISIBILITY, {"hidden"}, 0},
        {PRG_EXCEPTION_SPEC, {"int", "1"}, no_inline},
        {PRG_EXCEPTION_SPEC, {"int"}, no_inline},
        {PRG_EXCEPTION_SPEC, {"int", "0"}, 0},
        {PRG_ALWAYS_INLINE, {}, 0},
    };
    int n = 0;
    for (const Case& c : cases) {
        Symbol* f = declare_function("f" + std::to_string(n++));
        attach_attribute_list(*f, c.id, c.arguments);
        EXPECT_EQ(function_record_of(*f)->properties, c.expected) << int{c.id};
    }
}

TEST_F(SymbolAttributes, VisibilityOnAVariableSetsTheHighFlagBits) {
    use_options("-o3");
    Symbol* v = declare("v", int_type_);
    attach_attribute_list(*v, PRG_VISIBILITY, {"extern"});
    EXPECT_EQ(v->flags, SYM_VISIBLE);
    EXPECT_EQ(function_record_of(*v), nullptr);
}

TEST_F(SymbolAttributes, SynonymMarksBothFunctions) {
    Symbol* alias = declare_function("_alias");
    attach_attribute_list(*alias, PRG_FUNCTION_SYNONYM, {"_target", "1"});
    Symbol* target = declare_function("_target"); // declared after the synonym
    EXPECT_EQ(function_record_of(*alias)->properties, FUN_cannot_beta | FUN_is_processed);
    EXPECT_EQ(function_record_of(*target)->properties, FUN_cannot_beta | FUN_is_pragma_EXT);
    EXPECT_EQ(function_record_of(*target)->symbol, target);
    EXPECT_STREQ(synonym_target(*alias), "_target");
}

TEST_F(SymbolAttributes, ClearPropertiesEmptiesTheRecordAndRemembersTheFunction) {
    Symbol* f = declare_function("f");
    attach_attribute_list(*f, 4, {});
    attach_attribute_list(*f, PRG_CLEAR_PROPERTIES, {});
    EXPECT_EQ(function_record_of(*f)->properties, 0u);
    EXPECT_EQ(symbol_state().property_reset_symbols, (std::vector<Symbol*>{f}));
}

TEST_F(SymbolAttributes, NewestListIsFoundFirst) {
    Symbol* v = declare("v", int_type_);
    attach_attribute_list(*v, PRG_COMDAT_GROUP, {"old"});
    attach_attribute_list(*v, PRG_COMDAT_GROUP, {"new"});
    EXPECT_STREQ(find_attribute(*v, PRG_COMDAT_GROUP)->argument(0), "new");
    EXPECT_EQ(find_attribute(*v, PRG_CLASS_MEMBER), nullptr);
}

// ---------------------------------------------------------------------------
// Listing

using SymbolListing = SymbolFixture;

TEST_F(SymbolListing, StorageClassTextPrefersTheRegisterBits) {
    auto text = [](uint16_t flags, int8_t declared) {
        Symbol s;
        s.flags = flags;
        s.declared_storage_class = declared;
        return std::string(storage_class_text(s));
    };
    EXPECT_EQ(text(SYM_CREGISTER, SC_STATIC), "cregister");
    EXPECT_EQ(text(SYM_REGISTER, SC_EXTERN_DEF), "register");
    EXPECT_EQ(text(0, SC_EXTERN_REF), "extern");
    EXPECT_EQ(text(0, SC_STATIC), "static");
    EXPECT_EQ(text(0, SC_REGISTER), "register");
    EXPECT_EQ(text(0, SC_AUTO), "");
}

TEST_F(SymbolListing, GlobalListingShowsEachSymbolAndItsLists) {
    FakeType declared;
    declared.spelling = "long ";
    declared.size = declared.alignment = 32;
    Symbol* v = declare("total", declared, SC_STATIC, 0x10);
    attach_attribute_list(*v, PRG_LOCAL_STATIC_OF, {"sum"});
    attach_attribute_list(*v, 200, {"a", "b"});
    EXPECT_EQ(output_of(list_global_symbols),
              "\n\fGlobal symbols\n\n"
              "-- variable -- size -- offset/class/scqual/aln/stype;\n"
              "#   total       32\t   0    3  0xc010  32 long            \t; (0,0)\n"
              "\t  Symbol pragma #200 has 2 arguments: a b\n"
              "\t  Symbol pragma: SYMBOL IS LOCAL STATIC OF sum()\n");
}

TEST_F(SymbolListing, LocalListingSpellsTheOptimizersType) {
    FakeType underlying;
    underlying.spelling = "int ";
    FakeType enum_type;
    enum_type.spelling = "enum color ";
    enum_type.companion = &underlying;
    FUNINFO& f = begin("f");
    declare("c", enum_type, SC_AUTO, 0, 2);
    EXPECT_EQ(output_of([&](FILE* out) { list_local_symbols(out, f); }),
              "-- variable -- size -- offset/class/scqual/aln/otype;\n"
              "#   c           16\t   0    1       0  16 int             \t; (2,0)\n");
}

TEST_F(SymbolListing, AttributeLinesFollowTheirIds) {
    auto line = [](uint8_t id, std::vector<std::string> arguments) {
        AttributeList list;
        list.id = id;
        list.arguments = std::move(arguments);
        return output_of([&](FILE* out) { print_attribute_line(out, list); });
    };
    EXPECT_EQ(line(71, {"D"}), "\t  Symbol pragma: SYMBOL IS DESTRUCTOR\n");
    EXPECT_EQ(line(71, {"C"}), "\t  Symbol pragma: SYMBOL IS CONSTRUCTOR\n");
    EXPECT_EQ(line(71, {}), "\t  Symbol pragma: SYMBOL IS CONSTRUCTOR/DESTRUCTOR\n");
    EXPECT_EQ(line(49, {"C++"}), "\t  Symbol pragma: SOURCE LANGUAGE = 'C++'\n");
    EXPECT_EQ(line(75, {"int", "1"}), "\t  Symbol pragma: EXCEPTION SPEC: ( int 1 )\n");
    EXPECT_EQ(line(78, {"g"}), "\t  Symbol pragma: SYMBOL IS FUNCTION SYNONYM of g\n");
    EXPECT_EQ(line(3, {}), "\t  Symbol pragma #3 has 0 arguments:\n");
}

// ---------------------------------------------------------------------------
// With the type package's answers

class SymbolTypePackage : public ::testing::Test {
protected:
    void SetUp() override {
        reset_symbol_state();
        opt::reset_option_registry();
        previous_queries_ = install_type_queries({});
        install_type_package_queries();
        package_ = std::make_unique<TYPE_PKG>();
    }
    void TearDown() override {
        package_.reset();
        reset_type_world();
        install_type_queries(previous_queries_);
        reset_symbol_state();
    }

    Symbol* declare(std::string_view name, TYPE* type, uint32_t size) {
        SymbolDeclaration declaration;
        declaration.fields.name = name;
        declaration.fields.size = size;
        declaration.fields.alignment = 16;
        declaration.fields.storage_class = SC_EXTERN_DEF;
        declaration.fields.type = type;
        return declare_symbol(declaration);
    }

    TYPE* int_type() { return package_->int_type(TYPE::ik_int); }

    std::unique_ptr<TYPE_PKG> package_;
    TypeQueries previous_queries_;
};

TEST_F(SymbolTypePackage, SymbolsTakeTheCompanionTypeAndFunctionsNeedNoSize) {
    TYPE* color = package_->mk_enum("color", int_type());
    type_frozen(color);
    Symbol* c = declare("c", color, 16);
    EXPECT_EQ(c->declared_type, color);
    EXPECT_EQ(c->type, int_type());
    EXPECT_EQ(c->flags, SYM_VISIBLE);
    EXPECT_EQ(declare("k", package_->mk_qual(int_type(), QUAL_CONST), 16)->flags, 0);

    TYPE* function = package_->mk_function(int_type());
    type_frozen(function);
    Symbol* main_symbol = declare("_main", function, 0);
    ASSERT_NE(function_record_of("main"), nullptr);
    EXPECT_EQ(function_record_of("main")->symbol, main_symbol);
}

} // namespace
} // namespace vx::ir
