// The parsed state of the options: one object per option set.
//
// parse() takes one command-line argument without its leading dash.  The
// first character selects the handler: "-" a long option ("--opt_level=2"),
// "?" help, "#" clears the option spelled after it ("-#-lir", "-#oi"), a
// letter a short option ("-o2", "-oi30", "-qs").  Upper-case short options
// are accepted with a deprecation warning.  An option's argument is the rest
// of the text (an "=" before it is skipped) or, when that is empty, the next
// command-line argument, obtained through the caller's callback.
//
// Every error is reported as a diagnostic; parse() then restores the state
// it started from and returns failure, and the caller ends the run with
// status 1.  Unknown options are fatal and end the run at once.
#pragma once

#include "options/option_table.h"

#include <array>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vx::opt {

struct OptionArgument {
    std::string text; // as written
    long number = 0;  // numeric kinds: the value; enumerated kinds: the code
};

// The state of one option identifier.
struct OptionEntry {
    int presence = 0;      // times set since the last clear
    int state_counter = 0; // bumped by every set and every clear
    int parse_count = 0;   // times parsed from option text
    int state = 0;         // the state given to the last set, 0 after clear
    std::vector<OptionArgument> arguments;
};

// One set of an option, in the order the sets happened.
struct HistoryEntry {
    OptionId id;
    std::string argument; // empty for options without argument
};

// Yields the next command-line argument and advances past it; nullptr
// when there is none.
using NextArgument = std::function<const char*()>;

struct ParseResult {
    bool ok = true;
    std::size_t error_offset = 0; // where the rejected option starts in the text
    explicit operator bool() const { return ok; }
};

class OptionObject {
public:
    // `tool_name` names the program in traces and in the help text; only
    // the part after its last "/" is kept.
    explicit OptionObject(std::string_view tool_name = "optvx");

    ParseResult parse(std::string_view text, const NextArgument& next_argument = {});

    // Queries; every one answers 0 (or "") for an identifier beyond 68 or
    // an argument index at or beyond the argument count.
    int present(long id) const;
    long value(long id, long k = 0) const;
    const char* string_value(long id, long k = 0) const;
    int argument_count(long id) const;
    const OptionEntry* entry(long id) const;

    // Programmatic changes (the driver forces the info option on or off).
    void set(OptionId id, int state = 1);
    void set_number(OptionId id, long value);
    void set_text(OptionId id, std::string text);
    // Refused with a warning for persistent options.
    void clear(OptionId id);

    // One line per identifier (all) or per present one: the name in 25
    // columns, with all "SEEN"/"not seen" and "ENABLED"/"disabled", then
    // the kind text and the arguments.
    void print(bool all, FILE* out = stdout) const;
    // The options in force as command-line text ("--opt_level=2"), in the
    // order they were given; an option given twice appears once, unless it
    // is a list.
    std::vector<std::string> option_lines() const;
    const std::vector<HistoryEntry>& history() const { return history_; }

    bool verbose() const { return verbose_; }
    void set_verbose(bool verbose) { verbose_ = verbose; }
    // Where verbose traces go (standard output by default).
    void set_trace_stream(FILE* stream) { trace_stream_ = stream; }
    const std::string& tool_name() const { return tool_name_; }

    // Marks the object as the option set of a function: persistent options
    // in its text are then ignored with a warning naming the function.
    void limit_to_function(std::string function_name) { function_name_ = std::move(function_name); }
    const std::string& function_name() const { return function_name_; }

private:
    friend class OptionParser;

    void mark_set(OptionId id, int state);
    void store_argument(OptionId id, OptionArgument argument);
    void add_to_history(OptionId id, std::string argument);
    // Clears without the persistence check: a later option displaced it.
    void displace(OptionId id);
    void note_parsed(OptionId id);
    void trace(const char* format, ...) const __attribute__((format(printf, 2, 3)));
    void print_arguments(const OptionDescriptor& option, FILE* out) const;

    std::string tool_name_;
    bool verbose_ = false;
    FILE* trace_stream_ = nullptr;
    std::string function_name_;
    std::array<OptionEntry, OPTION_COUNT> entries_{};
    std::vector<HistoryEntry> history_;
};

// Prints the usage lines to standard output ("Usage: %s [-options] filename").
void print_help(const std::string& tool_name);

} // namespace vx::opt
