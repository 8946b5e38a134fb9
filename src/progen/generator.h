// The random program generator behind `ictool gen`: from a seed, a whole
// I-code program (several functions, globals with initializers, a main that
// prints a checksum of every global through printf) whose behaviour is
// defined by construction, so that any difference between runs before and
// after optimization is a bug.  See docs/generator.md.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vx::progen {

enum class ProgramSize { small, medium, large };

std::optional<ProgramSize> parse_program_size(std::string_view text);
const char* program_size_name(ProgramSize size);

struct GeneratorOptions {
    uint64_t seed = 0;
    ProgramSize size = ProgramSize::small;
};

// The program in the I-code text form (docs/icode-text.md); the same
// options always give the same text.
std::string generate_program_text(const GeneratorOptions& options);

} // namespace vx::progen
