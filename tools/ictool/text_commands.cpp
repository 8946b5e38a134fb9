// ictool dis and ictool asm: I-code files as text and back.
//
//   ictool dis FILE [-o TEXT]   the text form of FILE (standard output by default)
//   ictool asm TEXT -o FILE     the I-code file that TEXT describes
//
// Mistakes in a text are reported as "TEXT:LINE: message" with status 1;
// no output file is left behind after any failure.
#include "commands.h"
#include "icode/file_header.h"
#include "icode/record_reader.h"
#include "icode/text/assembler.h"
#include "icode/text/disassembler.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace vx::icode;

struct Arguments {
    std::string command;
    std::string input;
    std::string output;
};

std::optional<Arguments> parse_arguments(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    Arguments parsed;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-o" && i + 1 < args.size() && parsed.output.empty())
            parsed.output = args[++i];
        else if (parsed.command.empty())
            parsed.command = args[i];
        else if (parsed.input.empty())
            parsed.input = args[i];
        else
            return std::nullopt;
    }
    bool known = parsed.command == "dis" || (parsed.command == "asm" && !parsed.output.empty());
    if (!known || parsed.input.empty())
        return std::nullopt;
    return parsed;
}

std::optional<std::string> read_file(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad())
        return std::nullopt;
    return bytes.str();
}

// Writes through a temporary name, so that a failure leaves nothing.
bool write_file(const std::string& name, const std::string& bytes) {
    std::string temporary = name + ".part";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) {
            std::remove(temporary.c_str());
            return false;
        }
    }
    if (std::rename(temporary.c_str(), name.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

int fail(const std::string& message) {
    std::cerr << "ictool: " << message << "\n";
    return 1;
}

// A run that fails leaves no output, not even an old one that would look
// fresh; a malformed input may end the run from deep inside the decoder, so
// the old output goes first.
void remove_output(const Arguments& args) {
    if (!args.output.empty() && args.output != args.input)
        std::remove(args.output.c_str());
}

int disassemble_file(const Arguments& args) {
    auto bytes = read_file(args.input);
    if (!bytes)
        return fail("cannot read " + args.input);
    HeaderCheck check =
        check_file_header(reinterpret_cast<const uint8_t*>(bytes->data()), bytes->size());
    if (!check.header)
        return fail(args.input +
                    ": not an I-code file this program reads: " + describe(check.problem));
    auto stream = IcodeStream::open(*bytes);
    std::string text;
    std::string error;
    if (!text::disassemble(*stream, text, error))
        return fail(args.input + ": " + error);
    if (args.output.empty()) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    return write_file(args.output, text) ? 0 : fail("cannot write " + args.output);
}

int assemble_file(const Arguments& args) {
    auto text = read_file(args.input);
    if (!text)
        return fail("cannot read " + args.input);
    std::string bytes;
    try {
        bytes = text::assemble(*text);
    } catch (const text::TextError& error) {
        std::cerr << args.input << ":" << error.line << ": " << error.what() << "\n";
        return 1;
    }
    return write_file(args.output, bytes) ? 0 : fail("cannot write " + args.output);
}

} // namespace

int ictool::text_command(int argc, char** argv) {
    auto args = parse_arguments(argc, argv);
    if (!args) {
        std::cerr << ictool::kUsage;
        return 1;
    }
    remove_output(*args);
    return args->command == "dis" ? disassemble_file(*args) : assemble_file(*args);
}
