// The optimizer's entry: start-up, the run over the file, and the end.
#pragma once

namespace vx::driver {

// Runs the optimizer on the command line; returns the exit status (0) or
// ends the process early with status 1, 2 or 3.
int run_optimizer(int argc, char** argv);

} // namespace vx::driver
