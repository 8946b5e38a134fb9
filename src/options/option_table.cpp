#include "options/option_table.h"

#include <array>
#include <cctype>
#include <climits>
#include <cstring>

namespace vx::opt {

namespace {

// Enumeration value tables.  The level queries map table positions, not
// codes, so the order of the first two tables matters (see option_sets.cpp).
constexpr EnumValue optimization_levels[] = {{" 0", 0}, {" 1", 1},   {" 2", 2},   {" 3", 3},
                                             {" 4", 4}, {"*off", 5}, {nullptr, 0}};
constexpr EnumValue speed_size_levels[] = {{" 5", 5}, {" 0", 0}, {" 3", 3},   {" 2", 2},
                                           {" 4", 4}, {" 1", 1}, {nullptr, 0}};
constexpr EnumValue simd_values[] = {
    {" off", 0}, {" on", SIMD_ON_CODE}, {"*yes", SIMD_ON_CODE}, {nullptr, 0}};
constexpr EnumValue abi_values[] = {{" coffabi", 0}, {" eabi", 1}, {nullptr, 0}};
constexpr EnumValue memory_models[] = {{" small", 0}, {" large", 1}, {nullptr, 0}};
constexpr EnumValue dual_mac_values[] = {{" off", 0}, {" on", 1}, {" auto", 2}, {nullptr, 0}};
constexpr EnumValue overflow_modes[] = {{" wrap", 0}, {" saturate", 1}, {nullptr, 0}};
constexpr EnumValue rounding_modes[] = {
    {" truncate", 0}, {" nearest", 1}, {" convergent", 2}, {nullptr, 0}};
constexpr EnumValue fp_modes[] = {{" strict", 0}, {" relaxed", 1}, {nullptr, 0}};
constexpr EnumValue languages[] = {{" c", 0}, {" cpp", 1}, {nullptr, 0}};
constexpr EnumValue plain_char_values[] = {{" signed", 0}, {" unsigned", 1}, {nullptr, 0}};
constexpr EnumValue enum_types[] = {{" packed", 0}, {" int", 1}, {" unpacked", 2}, {nullptr, 0}};
constexpr EnumValue wchar_sizes[] = {{" 16", 16}, {" 32", 32}, {nullptr, 0}};
constexpr EnumValue symdebug_values[] = {{" none", 0}, {" dwarf", 1}, {"*coff", 2}, {nullptr, 0}};
constexpr EnumValue alias_analyses[] = {
    {" conservative", 0}, {" standard", 1}, {" aggressive", 2}, {nullptr, 0}};
constexpr EnumValue loop_unroll_values[] = {
    {" off", 0}, {" normal", 1}, {" aggressive", 2}, {nullptr, 0}};

constexpr long ANY = LONG_MAX;

// One descriptor per identifier, in identifier order (checked below).
#define NOARG(ID, LONG, SHORT, PERSISTENT)                                                         \
    { ID, #ID, KIND_NO_ARGS, LONG, SHORT, nullptr, nullptr, 0, 0, PERSISTENT }
#define NUMBER(ID, LONG, SHORT, MIN, MAX, PERSISTENT)                                              \
    { ID, #ID, KIND_NUMBER, LONG, SHORT, "N", nullptr, MIN, MAX, PERSISTENT }
#define ENUMERATED(ID, LONG, SHORT, VALUES, PERSISTENT)                                            \
    { ID, #ID, KIND_ENUMERATED, LONG, SHORT, "VALUE", VALUES, 0, 0, PERSISTENT }
#define STRING(ID, LONG, PARAM, PERSISTENT)                                                        \
    { ID, #ID, KIND_STRING, LONG, nullptr, PARAM, nullptr, 0, 0, PERSISTENT }
#define STRING_LIST(ID, LONG, PARAM, PERSISTENT)                                                   \
    { ID, #ID, KIND_STRING_LIST, LONG, nullptr, PARAM, nullptr, 0, 0, PERSISTENT }

// clang-format off
constexpr std::array<OptionDescriptor, OPTION_COUNT> table{{
    NOARG(OPT_HELP, "help", "?", true),
    ENUMERATED(OPT_OPTIMIZATION_LEVEL, "opt_level", "o", optimization_levels, false),
    ENUMERATED(OPT_SPEED_SIZE_LEVEL, "opt_for_speed", nullptr, speed_size_levels, false),
    NUMBER(OPT_INLINE_LEVEL, "inline_level", "oi", 0, ANY, false),
    NUMBER(OPT_INLINE_DEPTH, "inline_depth", nullptr, 1, 1000, false),
    NOARG(OPT_INLINE_SINGLE_CALL, "inline_single_call", nullptr, false),
    NOARG(OPT_INLINE_UNFOLD, "inline_unfold", nullptr, false),
    NOARG(OPT_NO_INLINING, "no_inlining", nullptr, false),
    NUMBER(OPT_PROGRAM_MODE, "program_level", "op", 0, 3, true),
    NUMBER(OPT_DEBUG_OUTPUT, "debug_output", nullptr, 0, ANY, true),
    NUMBER(OPT_INFO_OUTPUT, "info", nullptr, 0, ANY, false),
    STRING(OPT_INFO_FILE, "info_file", "NAME", true),
    NOARG(OPT_CALL_GRAPH, "call_graph", nullptr, true),
    NOARG(OPT_INTERLIST, "optimizer_interlist", "s", false),
    NOARG(OPT_QUIET, "quiet", "q", true),
    NOARG(OPT_STEP_TIMES, "step_times", nullptr, true),
    NOARG(OPT_CHECK_ICODE, "check_icode", nullptr, false),
    NOARG(OPT_OPTIONS_VERBOSE, "options_verbose", nullptr, true),
    STRING_LIST(OPT_DISABLE_LIST, "disable", "LIST", true),
    STRING_LIST(OPT_ENABLE_LIST, "enable", "LIST", true),
    STRING_LIST(OPT_DEBUG_LIST, "debug", "LIST", true),
    NUMBER(OPT_TARGET_VARIANT, "target_variant", "v", 0, ANY, true),
    STRING(OPT_FLOAT_SUPPORT, "float_support", "NAME", true),
    ENUMERATED(OPT_ABI, "abi", nullptr, abi_values, true),
    ENUMERATED(OPT_MEMORY_MODEL, "memory_model", nullptr, memory_models, true),
    ENUMERATED(OPT_SIMD, "simd", nullptr, simd_values, true),
    NUMBER(OPT_MAX_SIMD_FACTOR, "max_simd_factor", nullptr, 1, 16, false),
    ENUMERATED(OPT_DUAL_MAC, "dual_mac", nullptr, dual_mac_values, false),
    NOARG(OPT_HW_LOOPS, "hw_loops", nullptr, false),
    NOARG(OPT_CIRCULAR_BUFFERS, "circular_buffers", nullptr, false),
    ENUMERATED(OPT_OVERFLOW_MODE, "overflow_mode", nullptr, overflow_modes, false),
    ENUMERATED(OPT_ROUNDING, "rounding", nullptr, rounding_modes, false),
    ENUMERATED(OPT_FP_MODE, "fp_mode", nullptr, fp_modes, false),
    ENUMERATED(OPT_LANGUAGE, "language", nullptr, languages, true),
    NOARG(OPT_STRICT_ANSI, "strict_ansi", nullptr, true),
    NOARG(OPT_RELAXED_ANSI, "relaxed_ansi", nullptr, true),
    NOARG(OPT_EXCEPTIONS, "exceptions", nullptr, true),
    ENUMERATED(OPT_PLAIN_CHAR, "plain_char", nullptr, plain_char_values, true),
    ENUMERATED(OPT_ENUM_TYPE, "enum_type", nullptr, enum_types, true),
    ENUMERATED(OPT_WCHAR_SIZE, "wchar_t", nullptr, wchar_sizes, true),
    ENUMERATED(OPT_SYMDEBUG, "symdebug", nullptr, symdebug_values, true),
    NOARG(OPT_OPTIMIZE_WITH_DEBUG, "optimize_with_debug", nullptr, false),
    NOARG(OPT_LIR, "lir", nullptr, false),
    NOARG(OPT_VOLATILE_ALL, "volatile_all", nullptr, true),
    NOARG(OPT_ALIASED_VARIABLES, "aliased_variables", "ma", false),
    NOARG(OPT_NO_ALIAS, "no_alias", nullptr, false),
    ENUMERATED(OPT_ALIAS_ANALYSIS, "alias_analysis", nullptr, alias_analyses, false),
    ENUMERATED(OPT_LOOP_UNROLL, "loop_unroll", nullptr, loop_unroll_values, false),
    NUMBER(OPT_MAX_UNROLL, "max_unroll", nullptr, 1, 256, false),
    NOARG(OPT_NO_SW_PIPELINE, "no_sw_pipeline", nullptr, false),
    NUMBER(OPT_SPECULATE_LOADS, "speculate_loads", nullptr, 0, ANY, false),
    NOARG(OPT_NO_STACK_SHARING, "no_stack_sharing", nullptr, false),
    NOARG(OPT_KEEP_BITFIELDS, "keep_bitfields", nullptr, false),
    NOARG(OPT_NO_AUTOINC, "no_autoinc", nullptr, false),
    NOARG(OPT_NO_TAIL_RECURSION, "no_tail_recursion", nullptr, false),
    NOARG(OPT_ASM_BARRIER, "asm_barrier", nullptr, false),
    NOARG(OPT_KEEP_UNUSED_FUNCTIONS, "keep_unused_functions", nullptr, true),
    NOARG(OPT_GEN_PROFILE_INFO, "gen_profile_info", nullptr, true),
    STRING_LIST(OPT_USE_PROFILE_INFO, "use_profile_info", "FILES", true),
    STRING(OPT_TEMP_DIRECTORY, "temp_directory", "DIR", true),
    STRING(OPT_ENTRY_POINT, "entry_point", "NAME", true),
    NOARG(OPT_DIAG_NUMBERS, "diag_numbers", nullptr, true),
    NOARG(OPT_DIAG_RAISE_PLACE, "diag_raise_place", nullptr, true),
    NOARG(OPT_DIAG_SOURCE_LINE, "diag_source_line", nullptr, true),
    NOARG(OPT_DIAG_REMARKS, "diag_remarks", nullptr, true),
    NOARG(OPT_DIAG_ADVICE, "diag_advice", nullptr, true),
    NOARG(OPT_NO_WARNINGS, "no_warnings", nullptr, true),
    NOARG(OPT_NO_DIAG_WRAP, "no_diag_wrap", nullptr, true),
    NUMBER(OPT_ERROR_LIMIT, "error_limit", nullptr, 0, ANY, true),
}};
// clang-format on

#undef NOARG
#undef NUMBER
#undef ENUMERATED
#undef STRING
#undef STRING_LIST

constexpr bool table_is_in_identifier_order() {
    for (int i = 0; i < OPTION_COUNT; ++i)
        if (table[i].id != i)
            return false;
    return true;
}
static_assert(table_is_in_identifier_order());

constexpr int count_of_kind(OptionKind kind) {
    int count = 0;
    for (const OptionDescriptor& option : table)
        count += option.kind == kind;
    return count;
}
static_assert(count_of_kind(KIND_NO_ARGS) == 35);
static_assert(count_of_kind(KIND_ENUMERATED) == 16);
static_assert(count_of_kind(KIND_NUMBER) == 10);
static_assert(count_of_kind(KIND_STRING) == 4);
static_assert(count_of_kind(KIND_STRING_LIST) == 4);

constexpr OptionRivalry rivalries[] = {
    {OPT_ALIASED_VARIABLES, OPT_NO_ALIAS, Rivalry::conflicts},
    {OPT_STRICT_ANSI, OPT_RELAXED_ANSI, Rivalry::overrides},
    {OPT_GEN_PROFILE_INFO, OPT_USE_PROFILE_INFO, Rivalry::clears},
};

bool starts_with_ignoring_case(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i])
            return false;
    return true;
}

} // namespace

const OptionDescriptor& descriptor(OptionId id) {
    return table[id];
}

std::span<const OptionRivalry> option_rivalries() {
    return rivalries;
}

const char* kind_text(int kind) {
    static constexpr const char* texts[] = {
        "NO ARGS",         "STRING ARG:",      "NUMBER ARG:",      "HEXNUM ARG:",
        "ENUMERATED ARG:", "STRING LIST ARG:", "NUMBER LIST ARG:", "ONEOF LIST ARG:"};
    if (kind < KIND_NO_ARGS || kind > KIND_ONEOF_LIST)
        return "<UNKNOWN TYPE!?!?>";
    return texts[kind];
}

bool is_list_kind(int kind) {
    return kind == KIND_STRING_LIST || kind == KIND_NUMBER_LIST || kind == KIND_ONEOF_LIST;
}

bool takes_argument(int kind) {
    return kind != KIND_NO_ARGS;
}

const OptionDescriptor* find_long_option(std::string_view name) {
    for (const OptionDescriptor& option : table)
        if (name == option.long_spelling)
            return &option;
    return nullptr;
}

const OptionDescriptor* find_short_option(std::string_view text) {
    const OptionDescriptor* best = nullptr;
    std::size_t best_length = 0;
    for (const OptionDescriptor& option : table) {
        if (!option.short_spelling)
            continue;
        std::size_t length = std::strlen(option.short_spelling);
        if (length > best_length && starts_with_ignoring_case(text, option.short_spelling)) {
            best = &option;
            best_length = length;
        }
    }
    return best;
}

std::string long_name(const OptionDescriptor& option) {
    return std::string("--") + option.long_spelling;
}

std::string written_name(const OptionDescriptor& option, bool short_form) {
    if (short_form && option.short_spelling)
        return std::string("-") + option.short_spelling;
    return long_name(option);
}

const EnumValue* find_enum_value(const OptionDescriptor& option, std::string_view name) {
    for (const EnumValue* value = option.values; value && value->marked_name; ++value)
        if (name == value->name())
            return value;
    return nullptr;
}

int enum_position(const OptionDescriptor& option, long code) {
    int position = 0;
    for (const EnumValue* value = option.values; value && value->marked_name; ++value, ++position)
        if (value->code == code)
            return position;
    return -1;
}

const char* enum_name(const OptionDescriptor& option, long code) {
    int position = enum_position(option, code);
    return position < 0 ? nullptr : option.values[position].name();
}

std::string enum_value_list(const OptionDescriptor& option) {
    std::string list;
    for (const EnumValue* value = option.values; value && value->marked_name; ++value) {
        if (value->deprecated())
            continue;
        if (!list.empty())
            list += ", ";
        list += value->name();
    }
    return list;
}

} // namespace vx::opt
