// The driver's view of the options: the queries it makes at start-up and
// when it switches functions, in the driver's own terms.
#pragma once

#include <cstdio>
#include <string>

namespace vx::driver {

// A fresh option registry for this run, named after the program.
void create_option_registry();

// Hands one command-line argument (without its dash) to the option
// registry; further arguments it needs are taken from argv at the run
// context's argument index.  False when the option was rejected (its
// diagnostic has been printed).
bool parse_command_option(const char* text, int argc, char** argv);

// Builds the file-level option set from the parsed options (validating the
// levels), applies the "disable:", "enable:" and "debug:" lists and notes the
// switches the step runner asks about.
void build_option_sets();

bool debug_output_present();
long debug_output_level();
// The info option as the listing set-up sees it.
bool info_option_on();
void force_info_option_on();
void switch_info_option_off();
// The info-file name given by option, or empty.
std::string info_file_option();
bool simd_option_enabled();
bool volatile_option();
// The LIR option in the option set in force.
bool lir_option_on();

// Levels of the option set in force.
int optimization_level();
int speed_level();
int inlining_level();

// Selects the option set of the function (by its set index), or the
// file-level set.
void select_option_set(int index);
void restore_file_options();
int current_option_set();

// Prints every option set to `out` ("Option set %d%s:" ...).
void print_option_sets(FILE* out);
// Warns about target option values this program does not know.
void check_target_options();

} // namespace vx::driver
