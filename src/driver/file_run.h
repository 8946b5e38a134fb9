// Running the file: pass 1 over the whole input, then the sweeps that walk
// every function through the schedule, and the end of output.
#pragma once

namespace vx::driver {

void run_file();

// One sweep: every function runs its steps up to the next barrier, then the
// barrier runs once.  False when no function has a step left.
bool run_one_sweep();

} // namespace vx::driver
