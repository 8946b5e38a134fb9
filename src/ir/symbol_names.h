// Names the symbol layer makes or looks up: the lookup name of a function
// record, the names of numbered copies and of the variables that replace
// the fields of an exploded structure.
#pragma once

#include "support/switches.h"

#include <string>
#include <string_view>

namespace vx::ir {

// Every name the optimizer invents begins with this prefix.
inline constexpr std::string_view GENERATED_PREFIX = "$O";

// With this switch on (and a trace level above 1) copies get names of their
// own, so that the listings and the output tell them apart.
inline constexpr sw::SwitchHandle debug_name_symbols{"debug:name_symbols"};

// Under the EABI the producer writes link names without the leading "_".
bool link_names_unchanged();

// The name a function record is filed under: the link name without one
// leading "_" or "." (unchanged under the EABI).
std::string_view lookup_name(std::string_view link_name);

// The name of copy `number` of a symbol named `original`.  Without
// `distinct` the copy keeps the name.
std::string copy_name(std::string_view original, int number, bool distinct);

// True when copies get distinct names (the switch and a trace level above 1).
bool copies_get_distinct_names();

// "$O$CSU$<aggregate>$<field>" for the variable that replaces a field of an
// exploded structure variable.
std::string exploded_field_name(std::string_view aggregate, std::string_view field);

} // namespace vx::ir
