// Symbol attribute lists (symbol pragmas) and what they do to the function
// records of the functions they are attached to.
#pragma once

#include "ir/symbol.h"
#include "support/arena.h"
#include "support/switches.h"

#include <string>
#include <vector>

namespace vx::ir {

// Ids with a fixed meaning.
inline constexpr uint8_t PRG_NEVER_RETURNS = 3;
inline constexpr uint8_t PRG_NO_GLOBAL_ASG = 5;
inline constexpr uint8_t PRG_NO_IND_ASG = 6;
inline constexpr uint8_t PRG_IS_PURE = 7;
inline constexpr uint8_t PRG_IS_SYSTEM = 8;
inline constexpr uint8_t PRG_OPT_OVERRIDE = 36; // options of a function: never a symbol's list
inline constexpr uint8_t PRG_SOURCE_LANGUAGE = 49;
inline constexpr uint8_t PRG_LOCAL_STATIC_OF = 51;
inline constexpr uint8_t PRG_CLEAR_PROPERTIES = 54;
inline constexpr uint8_t PRG_TRANSLATION_UNIT = 55;
inline constexpr uint8_t PRG_CLASS_MEMBER = 58;
inline constexpr uint8_t PRG_SYMBOL_IS_DEAD = 59;
inline constexpr uint8_t PRG_COMDAT_GROUP = 69;
inline constexpr uint8_t PRG_CONSTRUCTOR_DESTRUCTOR = 71;
inline constexpr uint8_t PRG_VISIBILITY = 72;
inline constexpr uint8_t PRG_EXCEPTION_SPEC = 75;
inline constexpr uint8_t PRG_FUNCTION_SYNONYM = 78;
inline constexpr uint8_t PRG_RETURNS_BY_COPY_CTOR = 81;
inline constexpr uint8_t PRG_ALWAYS_INLINE = 88;
// Ids that make a function visible outside the optimizer's view, and ids
// that forbid inlining it; their producers give them no further meaning here.
inline constexpr uint8_t PRG_EXTERNAL_IDS[] = {23, 52, 95};
inline constexpr uint8_t PRG_NO_INLINE_IDS[] = {4, 83};

// The declared properties of ids 3 to 8 are believed unless this is set.
inline constexpr sw::SwitchHandle disable_function_pragmas{"disable:function_pragmas"};

// Prepends a list to the symbol's lists and applies its effects: on a
// function, properties of its function record; on a variable, visibility
// flag bits.  The list is allocated with the symbol (the run's arena for a
// global, the function being read for a local).  Stops the run for
// PRG_OPT_OVERRIDE.
const AttributeList& attach_attribute_list(Symbol& symbol, uint8_t id,
                                           std::vector<std::string> arguments);
// The same, with the list allocated in `arena` (a local of a function that
// is not being read).
const AttributeList& attach_attribute_list(Arena& arena, Symbol& symbol, uint8_t id,
                                           std::vector<std::string> arguments);

// True for the visibility arguments that export a symbol.
bool is_exporting_visibility(const std::string& argument);

// The function named by the symbol's synonym attribute, or nullptr.
const char* synonym_target(const Symbol& symbol);

} // namespace vx::ir
