// Compiling a program's statement trees into Code (code.h) and laying out
// its memory image.
#pragma once

#include "interp/state.h"

namespace vx::ir {
class TYPE;
} // namespace vx::ir

namespace vx::interp {

// The shape of a value of `type`; a node without a type is a 64-bit signed
// integer.
Shape shape_of(const ir::TYPE* type);

// Builds the state of `program`: every function compiled, the globals and
// string constants placed and initialized.
std::unique_ptr<ProgramState> build_program_state(Program& program);

} // namespace vx::interp
