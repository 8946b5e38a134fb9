// Writes a compiled program in the I-code text form (docs/icode-text.md).
#pragma once

#include "cfront/program.h"

#include <string>

namespace vx::cfront {

std::string emit_text(Program& program);

} // namespace vx::cfront
