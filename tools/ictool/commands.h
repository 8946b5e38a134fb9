// The subcommands of ictool, one file each; main() picks one by its first
// argument.
#pragma once

namespace ictool {

inline constexpr const char* kUsage =
    "usage: ictool dis FILE [-o TEXT]\n"
    "       ictool asm TEXT -o FILE\n"
    "       ictool run FILE [--entry NAME] [--arg V]... [--max-steps N]\n"
    "       ictool gen --seed N [--size small|medium|large] [-o FILE] [--text]\n";

// `argv` is the whole command line; argv[1] names the subcommand.
int text_command(int argc, char** argv); // dis, asm
int run_command(int argc, char** argv);
int gen_command(int argc, char** argv);

} // namespace ictool
