// The switch registry: named integer switches that disable a transformation,
// enable an experimental one or select a debug behaviour.
//
// Every switch is stored under its full name, the category prefix included
// ("disable:ilp", "enable:lir", "debug:max_unroll_size"), in one table kept
// sorted byte-wise so that a query is a binary search.  The switches come
// from the three list options of the command line through add_switches.
//
// Two ways to query, each checked at compile time against the other's
// spelling:
//   - disabled("ilp"), enabled("lir"), debug("unroll") take the bare name;
//     the category is implied by the function.  A name with a ':' does not
//     compile.
//   - a SwitchHandle holds a full name such as "disable:ilp"; a name without
//     a known category prefix does not compile.  Handles of the switches
//     tested from many places are defined at the end of this header.
// Names built at run time go through lookup(full_name).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vx::sw {

enum class Category { disable, enable, debug };

// "disable", "enable" or "debug".
const char* category_word(Category category);

// A full switch name ("debug:abort") fits 512 bytes with its terminating NUL;
// longer names are cut to this many bytes, both when set and when queried,
// as formatting into a 512-byte buffer would.
inline constexpr std::size_t max_name_bytes = 511;

struct Switch {
    std::string name; // full name, category prefix included
    int32_t value;
};

// The whole registry; one per process.
struct SwitchTable {
    std::vector<Switch> entries; // sorted by name, byte-wise
};

SwitchTable& switch_table();
// Forgets every switch (a fresh run; used by tests).
void reset_switches();

// Adds the items of a comma-separated list under the category.  A bare item
// "name" sets the switch to 1; "name=number" sets it to the number, read as C
// reads an integer constant (0x... hexadecimal, 0... octal, else decimal).
// A later setting of the same switch replaces the earlier value.
void add_switches(Category category, std::string_view list);

// The value of a switch given by its full name, if it was set.
std::optional<int32_t> lookup(std::string_view full_name);

// Every switch in name order (for traces).
const std::vector<Switch>& all_switches();

// A bare switch name given as a literal: "ilp", not "disable:ilp".
class BareName {
public:
    consteval BareName(const char* text) : text_(text) {
        for (const char* p = text; *p != '\0'; ++p)
            if (*p == ':')
                bare_name_must_not_carry_a_category_prefix();
    }
    std::string_view text() const { return text_; }

private:
    // Not constexpr: reaching it during constant evaluation is a compile error.
    static void bare_name_must_not_carry_a_category_prefix() {}
    std::string_view text_;
};

// True when "disable:<name>" is set to a non-zero value.
bool disabled(BareName name);
// True when "enable:<name>" is set to a non-zero value.
bool enabled(BareName name);
// The value of "debug:<name>", 0 when it is not set.
int32_t debug(BareName name);

// A switch tested from many places, by its full name.
class SwitchHandle {
public:
    consteval explicit SwitchHandle(const char* full_name) : name_(full_name) {
        if (!has_category_prefix(name_))
            full_name_must_start_with_disable_enable_or_debug();
    }
    std::string_view name() const { return name_; }
    // The switch's value, 0 when it is not set.
    int32_t value() const;
    // True when the switch is set to a non-zero value.
    bool is_set() const { return value() != 0; }

private:
    static constexpr bool has_category_prefix(std::string_view name) {
        return name.starts_with("disable:") || name.starts_with("enable:") ||
               name.starts_with("debug:");
    }
    static void full_name_must_start_with_disable_enable_or_debug() {}
    std::string_view name_;
};

// Switches tested from several modules.
inline constexpr SwitchHandle debug_abort{"debug:abort"};
inline constexpr SwitchHandle debug_split_odb{"debug:split_odb"};
inline constexpr SwitchHandle debug_SIMD{"debug:SIMD"};
inline constexpr SwitchHandle debug_parser{"debug:parser"};
inline constexpr SwitchHandle disable_newinline{"disable:newinline"};
inline constexpr SwitchHandle disable_ilp{"disable:ilp"};
inline constexpr SwitchHandle disable_cps{"disable:cps"};
inline constexpr SwitchHandle disable_vn{"disable:vn"};

} // namespace vx::sw
