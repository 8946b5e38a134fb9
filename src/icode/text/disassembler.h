// The I-code text form, from bytes (docs/icode-text.md).
#pragma once

#include "icode/record_reader.h"

#include <string>

namespace vx::icode::text {

// Appends the text form of the whole stream to `out`: the header, the main
// part and every section in file order, bytes between sections as gaps.
// Records that do not use the shortest encodings are shown as raw bytes
// (with their decoded form in a comment), so that assembling the text
// always gives back the stream.  Malformed records end the run with the
// format layer's messages; a layout the text cannot show (two sections at
// one offset) returns false with `error` set.
bool disassemble(IcodeStream& stream, std::string& out, std::string& error);

// The s-expression of a tree, as in the text form.
std::string tree_text(Tree tree, const TypeSigns& signs);

} // namespace vx::icode::text
