// The actions of the driver's own steps: the barriers, "pass 1" and the
// trailer.
#pragma once

namespace vx::driver {

void step_pass_1();
void step_intermission();
void step_pass_2_header();
void step_set_call_graph_order();
void step_pass_2_trailer();

// The work of "intermission" that also runs for a file without functions:
// ends reading, runs the file-level analysis and writes the global symbols.
void run_file_level_analysis();

// Restores the file-level options, tracing the levels now in force.
void restore_options_traced();

} // namespace vx::driver
