// Option sets: the file-level set (index 0) built from the command line,
// and one set per function that the I-code file gives options of its own.
//
// A function's options arrive as a pragma-section entry with the id
// FUNCTION_OPTIONS_PRAGMA and two strings, the function's name and its
// option text ("-o3 --opt_for_speed=5").  The function's set starts as a
// copy of the file-level set and the text is parsed on top of it; options
// that are fixed for the whole file (persistent ones) are ignored there with
// a warning.  The driver selects the set of the current function by its
// index (kept in the function symbol) and the file-level set between
// functions; every option query of a step goes through current_options().
//
// All of it lives in one record, OptionRegistry, reached through
// option_registry() and renewed by reset_option_registry().
#pragma once

#include "options/option_object.h"

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace vx::opt {

// The id of the pragma-section entry that carries a function's options.
inline constexpr unsigned FUNCTION_OPTIONS_PRAGMA = 36;

// Inlining threshold when no option gives it and the level asks for the
// built-in default; nesting limit of integrated bodies when not given.
inline constexpr long DEFAULT_INLINE_THRESHOLD = 20;
inline constexpr long DEFAULT_INLINE_DEPTH = 10;

struct OptionSet {
    std::string function_name; // empty for the file-level set
    OptionObject options;
};

struct OptionRegistry {
    OptionObject command_line;
    std::vector<OptionSet> sets; // [0] is the file-level set once built
    std::size_t selected = 0;
};

OptionRegistry& option_registry();
// A fresh registry; `tool_name` is argv[0] (traces and help use its base name).
void reset_option_registry(std::string_view tool_name = "optvx");

// Parses a whitespace-separated option text, each option with its dash,
// into `options`; an option's argument may be the following word.
ParseResult parse_option_text(OptionObject& options, std::string_view text);

// Makes the file-level set from the command line and checks its levels
// ("--opt_level given invalid value: %ld").  False after such a message.
bool build_option_sets();
// Adds the set of a function; returns its index, or -1 when its text was
// rejected or its levels are invalid.  A second text for the same function
// replaces the first set's contents.
int add_function_option_set(const std::string& function_name, std::string_view option_text);
// The set index of a function: 0 when it has no set of its own.
std::size_t option_set_index(std::string_view function_name);

void select_option_set(std::size_t index);
std::size_t selected_option_set();
// The set in force: the selected one, or the command line before the sets
// are built.
const OptionObject& current_options();

// Optimisation level L: 0 to 4, 1 when not given.
int optimization_level(const OptionObject& options);
int optimization_level();
// Speed/size level S: 0 (smallest code) to 5 (fastest), 4 when not given.
int speed_size_level(const OptionObject& options);
int speed_size_level();
// Automatic-inlining threshold: the inlining option when given; else 1
// when disable:newinline is set; else 20 at L 2, 0 at L 0 and 1, and the
// built-in default otherwise.
long inlining_level(const OptionObject& options, bool newinline_disabled);
long inlining_level();
// Nesting limit of integrated bodies.
long inline_depth_limit(const OptionObject& options);
// The SIMD option asks for vectorization.
bool simd_option_on(const OptionObject& options);

// "Option set %d%s:" and one "\t%s" line per option, for every set.
void print_option_sets(FILE* out);
// Warns on standard output about an unknown target variant or
// floating-point support name; the run goes on.
void check_target_options(const OptionObject& options);
bool known_target_variant(long variant);
bool known_float_support(std::string_view name);

// Hands every argument of the three switch lists to the switch registry,
// in the order disable, enable, debug.
void apply_switch_lists(const OptionObject& options);

} // namespace vx::opt
