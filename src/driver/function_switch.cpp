#include "driver/function_switch.h"

#include "driver/listing.h"
#include "driver/option_access.h"
#include "icode/reader_client.h"
#include "ir/node.h"
#include "ir/symbol_table.h"
#include "support/check.h"
#include "support/switches.h"
#include "support/termination.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace vx::driver {

void make_current(FunctionEntry& function) {
    RunContext& run = run_context();
    ir::FunctionInfo* info = function.info;
    // A record that names another symbol is re-resolved to the function's.
    if (info->symbol != function.symbol)
        info->symbol = function.symbol;
    run.currfunc = function.symbol;
    run.currfuninfo = info;
    VX_CHECK(run.currfunc == run.currfuninfo->symbol);
    select_option_set(run.currfunc->option_set);
    // Nodes that the steps make belong to the function.
    ir::node_environment().arena = &info->arena;
}

void clear_current_function() {
    RunContext& run = run_context();
    run.currfunc = nullptr;
    run.currfuninfo = nullptr;
    ir::node_environment().arena = &ir::symbol_state().arena;
}

void read_function_body(FunctionEntry& function) {
    if (!function.unread_body)
        return;
    RunContext& run = run_context();
    VX_CHECK(run.reader != nullptr && run.writer != nullptr);
    const size_t offset = *function.unread_body;
    function.unread_body.reset();
    auto keep_body = [&function](icode::FunctionRead&& read) {
        VX_CHECK(read.symbol == function.symbol && read.info == function.info);
        function.body = std::move(read.body);
    };
    icode::OptimizerReaderClient client(icode::run_type_package(), *run.writer, keep_body);
    run.reader->read_function_at(offset, client);
    // Reading ends with the run's arena in place; the steps that follow
    // make their nodes in the function's.
    if (run.currfuninfo == function.info)
        ir::node_environment().arena = &function.info->arena;
}

namespace {

std::string split_log_name(const std::string& function_name) {
    std::string name = strip_extension(run_context().input_name) + "." + function_name;
    if (name.size() > 250)
        name.resize(250);
    return name + ".odb";
}

void switch_to_function_log(const std::string& function_name) {
    RunContext& run = run_context();
    std::string name = split_log_name(function_name);
    debug_printf(">>>> SWITCHING LOG TO %s\n", name.c_str());
    // The function's log is started afresh in its first sweep and continued
    // in later ones.
    bool first_time = run.split_logs_opened.insert(name).second;
    if (run.reader)
        run.reader->keep_input_from(name); // the log may be the (mapped) input itself
    FILE* log = std::fopen(name.c_str(), first_time ? "w" : "a");
    if (!log) {
        std::fprintf(stderr, "\n>> Cannot Open Debug File, %s : %s, Aborting\n", name.c_str(),
                     std::strerror(errno));
        stop_run(1);
    }
    run.debug_log = log;
}

} // namespace

void print_function_banner(FunctionEntry& function) {
    RunContext& run = run_context();
    run.saved_debug_log = run.debug_log;
    if (sw::debug_split_odb.is_set())
        switch_to_function_log(function.symbol->name);
    debug_printf("\nUsing option set %d:\n", current_option_set());
    if (run.info_flag)
        info_printf(
            "\n==============================================================================\n");
    debug_printf("\n\f==== Function %s() ====\n", function.symbol->name.c_str());
    if (!function.info->source_file.empty())
        debug_printf("     in file \"%s\"\n", function.info->source_file.c_str());
    if (function.info->is_suppressed() && optimization_level() >= 3)
        debug_printf("\n!!! %s() (%s) must be unsuppressed !!!\n\n", function.symbol->name.c_str(),
                     "function");
}

void restore_debug_log() {
    RunContext& run = run_context();
    if (!run.saved_debug_log || run.saved_debug_log == run.debug_log) {
        run.saved_debug_log = nullptr;
        return;
    }
    std::fclose(run.debug_log);
    run.debug_log = run.saved_debug_log;
    run.saved_debug_log = nullptr;
}

} // namespace vx::driver
