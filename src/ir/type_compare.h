// Comparisons of types.  Each is false when either type is not frozen and
// true when both are the same record; otherwise the two types are walked
// down in step.
#pragma once

#include "ir/type.h"

namespace vx::ir {

// Structural identity, the test of interning: same kinds, sizes, alignments
// and flag bytes at every step, equal names of typedefs and enums, and
// never two distinct class, struct or union records.
bool exact_types(const TYPE* a, const TYPE* b);

// The same C type: typedefs are seen through; with
// `ignore_neutral_qualifiers` a qualified layer that changes neither size
// nor alignment is ignored.
bool compatible_types(const TYPE* a, const TYPE* b, bool ignore_neutral_qualifiers = false);

// The same machine representation: equal sizes and alignments, integers of
// the same signedness class, floats of the same machine type, and so on.
bool equiv_mtypes(const TYPE* a, const TYPE* b);

} // namespace vx::ir
