// Small I-code files for tests.
#pragma once

#include <string>

namespace vx::testing {

// A well-formed file with no function: the header, an empty main part and an
// empty symbol section.
std::string empty_icode_file(const std::string& name = "test.c", int version = -73);

} // namespace vx::testing
