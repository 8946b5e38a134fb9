// Helpers of the front-end tests: compile C text straight to I-code text.
#pragma once

#include "cfront/compile.h"

#include <gtest/gtest.h>
#include <string>

namespace vx::cfront::testing {

// The I-code text of `source` (already preprocessed C); fails the test when
// it does not compile.
inline std::string compile_text(const std::string& source) {
    CompileResult result = compile_preprocessed(source, "t.c");
    EXPECT_TRUE(result.ok) << result.message;
    return result.text;
}

// The error message for `source`, or "" when it compiles.
inline std::string compile_error(const std::string& source) {
    CompileResult result = compile_preprocessed(source, "t.c");
    return result.ok ? std::string() : result.message;
}

inline bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

} // namespace vx::cfront::testing
