// ictool run: not built yet.
#include "commands.h"

#include <iostream>

int ictool::run_command(int, char**) {
    std::cerr << "ictool: run is not available yet\n";
    return 1;
}
