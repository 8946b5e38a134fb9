// ictool gen: a random, well-defined program for differential checking.
//
//   ictool gen --seed N [--size small|medium|large] [-o FILE] [--text]
//
// Writes the I-code file (to FILE, or standard output), or with --text its
// text form, which is also the readable reproducer (docs/generator.md).
#include "commands.h"
#include "icode/text/assembler.h"
#include "progen/generator.h"

#include <charconv>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

namespace {

using vx::progen::GeneratorOptions;

struct GenArguments {
    GeneratorOptions options;
    std::string output;
    bool text = false;
};

constexpr const char* kGenUsage =
    "usage: ictool gen --seed N [--size small|medium|large] [-o FILE] [--text]\n";

std::optional<uint64_t> parse_seed(std::string_view text) {
    uint64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

// Fills `parsed`; returns an error message, empty when all is well.
std::string parse_arguments(int argc, char** argv, GenArguments& parsed) {
    bool have_seed = false;
    for (int i = 2; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool has_value = i + 1 < argc;
        if (arg == "--text") {
            parsed.text = true;
        } else if (arg == "--seed" && has_value) {
            auto seed = parse_seed(argv[++i]);
            if (!seed)
                return std::string("bad seed '") + argv[i] + "'";
            parsed.options.seed = *seed;
            have_seed = true;
        } else if (arg == "--size" && has_value) {
            auto size = vx::progen::parse_program_size(argv[++i]);
            if (!size)
                return std::string("bad size '") + argv[i] + "'";
            parsed.options.size = *size;
        } else if (arg == "-o" && has_value) {
            parsed.output = argv[++i];
        } else {
            return "unexpected argument '" + std::string(arg) + "'";
        }
    }
    if (!have_seed)
        return "--seed is required";
    return "";
}

bool write_output(const std::string& name, const std::string& bytes) {
    if (name.empty() || name == "-") {
        std::cout.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        std::cout.flush();
        return static_cast<bool>(std::cout);
    }
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    if (!out) {
        std::remove(name.c_str());
        return false;
    }
    return true;
}

} // namespace

int ictool::gen_command(int argc, char** argv) {
    GenArguments parsed;
    const std::string error = parse_arguments(argc, argv, parsed);
    if (!error.empty()) {
        std::cerr << "ictool gen: " << error << "\n" << kGenUsage;
        return 1;
    }
    const std::string text = vx::progen::generate_program_text(parsed.options);
    std::string bytes;
    if (parsed.text) {
        bytes = text;
    } else {
        try {
            bytes = vx::icode::text::assemble(text);
        } catch (const vx::icode::text::TextError& e) {
            std::cerr << "ictool gen: seed " << parsed.options.seed << " made text that does not"
                      << " assemble, line " << e.line << ": " << e.what() << "\n";
            return 2;
        } catch (const std::exception& e) {
            // A generator bug: say which seed, so it can be replayed.
            std::cerr << "ictool gen: seed " << parsed.options.seed
                      << " made text that does not assemble: " << e.what() << "\n";
            return 2;
        }
    }
    if (!write_output(parsed.output, bytes)) {
        std::cerr << "ictool gen: cannot write " << parsed.output << "\n";
        return 1;
    }
    return 0;
}
