// ictool: the companion tool of the optimizer.  It shows I-code files as
// text and makes them from text, interprets them, and generates random
// programs for differential checking.
#include "commands.h"

#include <cstring>
#include <iostream>

int main(int argc, char** argv) {
    const char* command = argc > 1 ? argv[1] : "";
    if (!std::strcmp(command, "dis") || !std::strcmp(command, "asm"))
        return ictool::text_command(argc, argv);
    if (!std::strcmp(command, "run"))
        return ictool::run_command(argc, argv);
    if (!std::strcmp(command, "gen"))
        return ictool::gen_command(argc, argv);
    std::cerr << ictool::kUsage;
    return 1;
}
