// The fixed table of the optimizer's command-line options: one descriptor
// per option identifier (0 to 68), with its kind, spellings, bounds,
// enumeration values and flags.  docs/options.md describes every option.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace vx::opt {

// How an option takes its argument.  The numbers are the codes printed by
// the option listing; kinds 3, 6 and 7 are supported but no option uses them.
enum OptionKind : int {
    KIND_NO_ARGS = 0,
    KIND_STRING = 1,
    KIND_NUMBER = 2,      // signed
    KIND_HEXNUM = 3,      // unsigned
    KIND_ENUMERATED = 4,  // one name out of a value table, stored as its code
    KIND_STRING_LIST = 5, // one text per occurrence
    KIND_NUMBER_LIST = 6, // comma-separated numbers
    KIND_ONEOF_LIST = 7,  // comma-separated names out of a value table
};

enum OptionId : int {
    OPT_HELP,                  // -?  --help
    OPT_OPTIMIZATION_LEVEL,    // -oN  --opt_level=N
    OPT_SPEED_SIZE_LEVEL,      // --opt_for_speed=N
    OPT_INLINE_LEVEL,          // -oiN  --inline_level=N
    OPT_INLINE_DEPTH,          // --inline_depth=N
    OPT_INLINE_SINGLE_CALL,    // --inline_single_call
    OPT_INLINE_UNFOLD,         // --inline_unfold
    OPT_NO_INLINING,           // --no_inlining
    OPT_PROGRAM_MODE,          // -opN  --program_level=N
    OPT_DEBUG_OUTPUT,          // --debug_output=N
    OPT_INFO_OUTPUT,           // --info=N
    OPT_INFO_FILE,             // --info_file=NAME
    OPT_CALL_GRAPH,            // --call_graph
    OPT_INTERLIST,             // -s  --optimizer_interlist
    OPT_QUIET,                 // -q  --quiet
    OPT_STEP_TIMES,            // --step_times
    OPT_CHECK_ICODE,           // --check_icode
    OPT_OPTIONS_VERBOSE,       // --options_verbose
    OPT_DISABLE_LIST,          // --disable=LIST
    OPT_ENABLE_LIST,           // --enable=LIST
    OPT_DEBUG_LIST,            // --debug=LIST
    OPT_TARGET_VARIANT,        // -vN  --target_variant=N
    OPT_FLOAT_SUPPORT,         // --float_support=NAME
    OPT_ABI,                   // --abi=NAME
    OPT_MEMORY_MODEL,          // --memory_model=NAME
    OPT_SIMD,                  // --simd=VALUE
    OPT_MAX_SIMD_FACTOR,       // --max_simd_factor=N
    OPT_DUAL_MAC,              // --dual_mac=VALUE
    OPT_HW_LOOPS,              // --hw_loops
    OPT_CIRCULAR_BUFFERS,      // --circular_buffers
    OPT_OVERFLOW_MODE,         // --overflow_mode=VALUE
    OPT_ROUNDING,              // --rounding=VALUE
    OPT_FP_MODE,               // --fp_mode=VALUE
    OPT_LANGUAGE,              // --language=VALUE
    OPT_STRICT_ANSI,           // --strict_ansi
    OPT_RELAXED_ANSI,          // --relaxed_ansi
    OPT_EXCEPTIONS,            // --exceptions
    OPT_PLAIN_CHAR,            // --plain_char=VALUE
    OPT_ENUM_TYPE,             // --enum_type=VALUE
    OPT_WCHAR_SIZE,            // --wchar_t=VALUE
    OPT_SYMDEBUG,              // --symdebug=VALUE
    OPT_OPTIMIZE_WITH_DEBUG,   // --optimize_with_debug
    OPT_LIR,                   // --lir
    OPT_VOLATILE_ALL,          // --volatile_all
    OPT_ALIASED_VARIABLES,     // -ma  --aliased_variables
    OPT_NO_ALIAS,              // --no_alias
    OPT_ALIAS_ANALYSIS,        // --alias_analysis=VALUE
    OPT_LOOP_UNROLL,           // --loop_unroll=VALUE
    OPT_MAX_UNROLL,            // --max_unroll=N
    OPT_NO_SW_PIPELINE,        // --no_sw_pipeline
    OPT_SPECULATE_LOADS,       // --speculate_loads=N
    OPT_NO_STACK_SHARING,      // --no_stack_sharing
    OPT_KEEP_BITFIELDS,        // --keep_bitfields
    OPT_NO_AUTOINC,            // --no_autoinc
    OPT_NO_TAIL_RECURSION,     // --no_tail_recursion
    OPT_ASM_BARRIER,           // --asm_barrier
    OPT_KEEP_UNUSED_FUNCTIONS, // --keep_unused_functions
    OPT_GEN_PROFILE_INFO,      // --gen_profile_info
    OPT_USE_PROFILE_INFO,      // --use_profile_info=FILES
    OPT_TEMP_DIRECTORY,        // --temp_directory=DIR
    OPT_ENTRY_POINT,           // --entry_point=NAME
    OPT_DIAG_NUMBERS,          // --diag_numbers
    OPT_DIAG_RAISE_PLACE,      // --diag_raise_place
    OPT_DIAG_SOURCE_LINE,      // --diag_source_line
    OPT_DIAG_REMARKS,          // --diag_remarks
    OPT_DIAG_ADVICE,           // --diag_advice
    OPT_NO_WARNINGS,           // --no_warnings
    OPT_NO_DIAG_WRAP,          // --no_diag_wrap
    OPT_ERROR_LIMIT,           // --error_limit=N
    OPTION_COUNT
};

static_assert(OPTION_COUNT == 69, "the option table holds 69 identifiers");

// One value of an enumeration table.  The first character of the stored
// name is a marker: '*' marks a deprecated value, ' ' an ordinary one.
struct EnumValue {
    const char* marked_name;
    long code;

    const char* name() const { return marked_name + 1; }
    bool deprecated() const { return marked_name[0] == '*'; }
};

struct OptionDescriptor {
    OptionId id;
    const char* id_name; // "OPT_LIR", for traces
    OptionKind kind;
    const char* long_spelling;  // without the leading "--"
    const char* short_spelling; // without the leading "-", or nullptr
    const char* parameter_name; // named by the missing-parameter message
    const EnumValue* values;    // kinds 4 and 7: ended by a null name
    long min;                   // numeric kinds; read as unsigned for kind 3
    long max;
    bool persistent; // fixed for the whole file: cannot be cleared, and a
                     // per-function option set cannot change it
};

inline bool is_option_id(long id) {
    return id >= 0 && id < OPTION_COUNT;
}

const OptionDescriptor& descriptor(OptionId id);

// "NO ARGS", "NUMBER ARG:" ... or "<UNKNOWN TYPE!?!?>".
const char* kind_text(int kind);
bool is_list_kind(int kind);
bool takes_argument(int kind);

// The option by its long spelling (text after "--", up to any "=").
const OptionDescriptor* find_long_option(std::string_view name);
// The option whose short spelling is the longest prefix of `text`,
// compared without regard to case; nullptr when none.
const OptionDescriptor* find_short_option(std::string_view text);

// "--opt_level"; the spelling used in dumps and listings.
std::string long_name(const OptionDescriptor& option);
// The spelling the user wrote: "-oi" when the short form was used.
std::string written_name(const OptionDescriptor& option, bool short_form);

// The value whose name (after its marker) equals `name`, or nullptr.
const EnumValue* find_enum_value(const OptionDescriptor& option, std::string_view name);
// The index in the value table of the first value with `code`, or -1.
int enum_position(const OptionDescriptor& option, long code);
// The name of the first value with `code`, or nullptr.
const char* enum_name(const OptionDescriptor& option, long code);
// "0, 1, 2, 3, 4": the non-deprecated names, for the bad-argument message.
std::string enum_value_list(const OptionDescriptor& option);

// Pairs of options that exclude each other.  When one is given while the
// other is present, the pair's kind decides: an error (`conflicts`), or the
// later one displaces the earlier with a warning (`overrides`) or a remark
// (`clears`).
enum class Rivalry { conflicts, overrides, clears };

struct OptionRivalry {
    OptionId first;
    OptionId second;
    Rivalry kind;
};

std::span<const OptionRivalry> option_rivalries();

// The value code of --simd that turns SIMD vectorization on.
inline constexpr long SIMD_ON_CODE = 50;

} // namespace vx::opt
