// The I-code text form, to bytes (docs/icode-text.md).
#pragma once

#include "icode/text/text_lexer.h"

#include <string>
#include <string_view>

namespace vx::icode::text {

// The stream that `text` describes.  A mistake throws TextError with the
// line it is on; nothing is half-written.
std::string assemble(std::string_view text);

} // namespace vx::icode::text
