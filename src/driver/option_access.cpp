#include "driver/option_access.h"

#include "driver/flow_steps.h"
#include "driver/run_context.h"
#include "options/option_sets.h"
#include "support/termination.h"

namespace vx::driver {

namespace {

opt::OptionObject& file_level_options() {
    opt::OptionRegistry& registry = opt::option_registry();
    return registry.sets.empty() ? registry.command_line : registry.sets.front().options;
}

const opt::OptionObject& options_in_force() {
    return opt::current_options();
}

} // namespace

void create_option_registry() {
    opt::reset_option_registry(run_context().program_name);
}

bool parse_command_option(const char* text, int argc, char** argv) {
    RunContext& run = run_context();
    opt::OptionRegistry& registry = opt::option_registry();
    // An option whose argument is the next word takes it and moves the scan
    // past it.
    auto next_argument = [&]() -> const char* {
        if (run.arg_index + 1 >= argc || !argv[run.arg_index + 1])
            return nullptr;
        return argv[++run.arg_index];
    };
    return static_cast<bool>(registry.command_line.parse(text, next_argument));
}

void build_option_sets() {
    if (!opt::build_option_sets())
        stop_run(1);
    opt::select_option_set(0);
    opt::apply_switch_lists(file_level_options());
    note_step_switches();
}

bool debug_output_present() {
    return file_level_options().present(opt::OPT_DEBUG_OUTPUT);
}

long debug_output_level() {
    return file_level_options().value(opt::OPT_DEBUG_OUTPUT);
}

bool info_option_on() {
    const opt::OptionObject& o = file_level_options();
    return o.present(opt::OPT_INFO_OUTPUT) && o.value(opt::OPT_INFO_OUTPUT) != 0;
}

void force_info_option_on() {
    if (!info_option_on())
        file_level_options().set_number(opt::OPT_INFO_OUTPUT, 1);
}

void switch_info_option_off() {
    if (file_level_options().present(opt::OPT_INFO_OUTPUT))
        file_level_options().clear(opt::OPT_INFO_OUTPUT);
}

std::string info_file_option() {
    const opt::OptionObject& o = file_level_options();
    return o.present(opt::OPT_INFO_FILE) ? o.string_value(opt::OPT_INFO_FILE) : "";
}

bool simd_option_enabled() {
    return opt::simd_option_on(file_level_options());
}

bool volatile_option() {
    return file_level_options().present(opt::OPT_VOLATILE_ALL) != 0;
}

bool lir_option_on() {
    return options_in_force().present(opt::OPT_LIR) != 0;
}

int optimization_level() {
    return opt::optimization_level(options_in_force());
}

int speed_level() {
    return opt::speed_size_level(options_in_force());
}

int inlining_level() {
    return static_cast<int>(opt::inlining_level());
}

void select_option_set(int index) {
    opt::select_option_set(static_cast<size_t>(index));
}

void restore_file_options() {
    opt::select_option_set(0);
}

int current_option_set() {
    return static_cast<int>(opt::selected_option_set());
}

void print_option_sets(FILE* out) {
    opt::print_option_sets(out);
}

void check_target_options() {
    opt::check_target_options(file_level_options());
}

} // namespace vx::driver
