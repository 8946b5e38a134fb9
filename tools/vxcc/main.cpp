// vxcc: compiles a C file to an I-code file for the Vexar target.
//
//   vxcc prog.c [-o prog.if] [-I dir] [-D name[=value]] [--text]
#include "cfront/compile.h"
#include "icode/text/assembler.h"

#include <fstream>
#include <iostream>
#include <string>

namespace {

int usage() {
    std::cerr << "usage: vxcc prog.c [-o prog.if] [-I dir] [-D name[=value]] [--text]\n";
    return 1;
}

std::string default_output(const std::string& source) {
    const size_t slash = source.find_last_of('/');
    std::string base = slash == std::string::npos ? source : source.substr(slash + 1);
    const size_t dot = base.find_last_of('.');
    if (dot != std::string::npos)
        base.resize(dot);
    return base + ".if";
}

} // namespace

int main(int argc, char** argv) {
    vx::cfront::CompileOptions options;
    options.system_include_dir = VXCC_INCLUDE_DIR;
    std::string output;
    bool text = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        auto value = [&](const std::string& flag) -> std::string {
            if (argument.size() > flag.size())
                return argument.substr(flag.size());
            if (i + 1 >= argc)
                return "";
            return argv[++i];
        };
        if (argument == "--text") {
            text = true;
        } else if (argument.rfind("-o", 0) == 0) {
            output = value("-o");
            if (output.empty())
                return usage();
        } else if (argument.rfind("-I", 0) == 0) {
            options.include_dirs.push_back(value("-I"));
        } else if (argument.rfind("-D", 0) == 0) {
            options.defines.push_back(value("-D"));
        } else if (argument.size() > 1 && argument[0] == '-') {
            std::cerr << "vxcc: unknown option '" << argument << "'\n";
            return usage();
        } else if (options.source.empty()) {
            options.source = argument;
        } else {
            return usage();
        }
    }
    if (options.source.empty())
        return usage();
    const vx::cfront::CompileResult result = vx::cfront::compile(options);
    if (!result.ok) {
        std::cerr << result.message << "\n";
        return 1;
    }
    std::string bytes;
    try {
        bytes = vx::icode::text::assemble(result.text);
    } catch (const vx::icode::text::TextError& error) {
        std::cerr << "vxcc: internal error: the I-code text is rejected at line " << error.line
                  << ": " << error.what() << "\n";
        return 1;
    }
    if (text && output.empty()) {
        std::cout << result.text;
        return 0;
    }
    if (output.empty())
        output = default_output(options.source);
    std::ofstream file(output, std::ios::binary);
    if (!file || !file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()))) {
        std::cerr << "vxcc: cannot write '" << output << "'\n";
        std::remove(output.c_str());
        return 1;
    }
    if (text)
        std::cout << result.text;
    return 0;
}
