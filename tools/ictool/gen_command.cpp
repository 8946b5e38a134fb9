// ictool gen: not built yet.
#include "commands.h"

#include <iostream>

int ictool::gen_command(int, char**) {
    std::cerr << "ictool: gen is not available yet\n";
    return 1;
}
