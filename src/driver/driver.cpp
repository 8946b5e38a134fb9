#include "driver/driver.h"

#include "driver/abnormal_end.h"
#include "driver/file_run.h"
#include "driver/listing.h"
#include "driver/option_access.h"
#include "driver/run_context.h"
#include "driver/schedule.h"
#include "icode/format_errors.h"
#include "icode/opcode_table.h"
#include "icode/reader_client.h"
#include "ir/opcode_check.h"
#include "options/option_sets.h"
#include "support/switches.h"
#include "support/termination.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>

#include <sys/stat.h>

namespace vx::driver {

namespace {

[[noreturn]] void fail_to_open(const char* what, const std::string& name) {
    std::fprintf(stderr, "\n>> Cannot Open %s, %s : %s, Aborting\n", what, name.c_str(),
                 std::strerror(errno));
    stop_run(1);
}

void take_positional(const char* argument) {
    RunContext& run = run_context();
    ++run.positional_count;
    if (run.positional_count == 1)
        run.input_name = argument;
    else if (run.positional_count == 2)
        run.output_name = argument;
    else if (run.positional_count > 3)
        std::fprintf(stderr, "\n>>>> OPTIMIZER ERROR: Unexpected options: %s %s %s\n",
                     run.input_name.c_str(), run.output_name.c_str(), argument);
}

void scan_arguments(int argc, char** argv) {
    RunContext& run = run_context();
    for (run.arg_index = 1; run.arg_index < argc && argv[run.arg_index]; ++run.arg_index) {
        const char* argument = argv[run.arg_index];
        if (argument[0] == '-') {
            if (!parse_command_option(argument + 1, argc, argv))
                stop_run(1);
        } else {
            take_positional(argument);
        }
    }
}

// Command-line mistakes are reported before any file is touched.
void check_positional_count() {
    RunContext& run = run_context();
    if (run.positional_count == 0) {
        std::fprintf(stderr, "Usage: %s [-options] filename\n", run.program_name.c_str());
        stop_run(1);
    }
    if (run.positional_count > 2) {
        std::fprintf(stderr, "\n>>>> OPTIMIZER ERROR: Garbage on command line\n\n");
        stop_run(1);
    }
    if (run.positional_count == 1)
        run.output_name = replace_extension(run.input_name, ".opt");
}

// The input may be mapped rather than read; a file about to be written that
// is the input itself (by name or through a link) must not pull the bytes
// from under the reader, so they are copied into memory first.
FILE* open_for_writing(const std::string& name, const char* mode) {
    run_context().reader->keep_input_from(name);
    return std::fopen(name.c_str(), mode);
}

void open_input() {
    RunContext& run = run_context();
    run.input = std::fopen(run.input_name.c_str(), "rb");
    if (!run.input)
        fail_to_open("Input icode File", run.input_name);
    run.reader =
        icode::IcodeReader::open(run.input, run.input_name, icode::InputAccess::map_if_possible);
    if (!run.reader) {
        std::fclose(run.input);
        run.input = nullptr;
        std::fprintf(stderr, "\n>> Error when opening input icode file : %s, Aborting\n",
                     run.input_name.c_str());
        stop_run(1);
    }
}

// A function's own options come as a pragma-section entry: its name and
// its option text.
void add_function_option_sets() {
    for (const icode::PragmaItem& entry : run_context().reader->pragmas()) {
        if (entry.id != opt::FUNCTION_OPTIONS_PRAGMA)
            continue;
        if (entry.strings.size() != 2)
            icode::fail_record(entry.offset,
                               "the options of a function (pragma 36) come with %zu strings, not 2",
                               entry.strings.size());
        if (opt::add_function_option_set(entry.strings[0], entry.strings[1]) < 0)
            stop_run(1);
    }
}

void settle_info_option() {
    if (!debug_output_present())
        return;
    force_info_option_on();
    if (speed_level() < 4)
        std::fprintf(stderr, "\n\t*** Optimizing code size, not speed ***\n\n");
}

void open_info_file() {
    RunContext& run = run_context();
    if (optimization_level() < 3 && !debug_output_present()) {
        switch_info_option_off();
        return;
    }
    if (!info_option_on())
        return;
    std::string name = info_file_option();
    run.info_name = name.empty() ? replace_extension(run.input_name, ".nfo") : name;
    run.info_file = open_for_writing(run.info_name, "w");
    if (!run.info_file)
        fail_to_open("Info File", run.info_name);
    run.info_flag = true;
    std::fputs(product_banner().c_str(), run.info_file);
    std::fputs(build_number_line().c_str(), run.info_file);
}

void open_debug_log() {
    RunContext& run = run_context();
    if (!debug_output_present())
        return;
    if (!run.debug_log) {
        run.debug_log_name = run.input_name.substr(0, 250);
        run.debug_log_name = replace_extension(run.debug_log_name, ".odb");
        run.debug_log = open_for_writing(run.debug_log_name, "w");
        if (!run.debug_log)
            fail_to_open("Debug File", run.debug_log_name);
    }
    run.trace_level = debug_output_level();
}

bool is_regular_file(FILE* file) {
    struct stat status {};
    return fstat(fileno(file), &status) == 0 && S_ISREG(status.st_mode);
}

void open_output() {
    RunContext& run = run_context();
    // What an earlier output held is cut off by the writer, on its own
    // thread once the output is large (IcodeWriter::open_output_file).
    run.reader->keep_input_from(run.output_name);
    run.output = icode::IcodeWriter::open_output_file(run.output_name);
    if (!run.output)
        fail_to_open("Output icode File", run.output_name);
    // Only a regular file is removed when the run ends abnormally: the
    // output may be a device or a pipe (/dev/null, /dev/stdout), which is
    // not ours to delete.
    run.output_created = is_regular_file(run.output);
    run.writer = icode::IcodeWriter::create(run.output, run.reader->header().name, true);
    run.writer->set_listing([] { return tracing() ? run_context().debug_log : nullptr; });
    run.writer->set_info([] { return run_context().info_file; });
    for (const icode::PragmaItem& entry : run.reader->pragmas())
        run.writer->add_pragma(entry);
}

// The file library filled its opcode table when the input was opened; the
// optimizer's own table must agree with it.
void check_opcode_tables() {
    ir::SharedOpcodeTable shared{
        [](int n) {
            const icode::OpcodeEntry& e = icode::opcode_table().entries[static_cast<size_t>(n)];
            return ir::SharedOpcodeEntry{e.number, e.defined() ? e.name.c_str() : nullptr,
                                         e.operand_count};
        },
        [](int n, const char* name, int count) { icode::define_opcode(n, name, count); }};
    ir::check_opcode_tables(shared, tracing() ? run_context().debug_log : nullptr);
}

void print_option_sets_to_listings() {
    RunContext& run = run_context();
    if (tracing())
        print_option_sets(run.debug_log);
    if (run.info_file)
        print_option_sets(run.info_file);
}

void warn_if_all_volatile() {
    RunContext& run = run_context();
    run.volatile_all = volatile_option();
    if (!run.volatile_all)
        return;
    const char* warning = "\n>>>> Warning: All non-auto lvalues are considered VOLATILE.\n\n";
    debug_printf("%s", warning);
    std::fprintf(stderr, "%s", warning);
}

void start_up(int argc, char** argv) {
    RunContext& run = run_context();
    if (argc > 0 && argv[0])
        run.program_name = argv[0];
    create_option_registry();
    install_driver_handlers();
    scan_arguments(argc, argv);
    check_positional_count();
    open_input();
    build_option_sets();
    settle_info_option();
    add_function_option_sets();
    open_info_file();
    open_debug_log();
    run.simd = sw::debug_SIMD.is_set() || simd_option_enabled();
    open_output();
    print_option_sets_to_listings();
    warn_if_all_volatile();
    check_opcode_tables();
    check_target_options();
    icode::install_reading_environment();
    build_schedule();
}

void close_files() {
    RunContext& run = run_context();
    run.reader->close();
    run.input = nullptr;
    bool written = run.writer->close();
    run.output = nullptr;
    if (!written)
        terminate_abnormally("ERROR - CANNOT WRITE OUTPUT FILE");
    run.output_created = false;
    if (tracing()) {
        std::fprintf(run.debug_log, "\n== END OF DEBUG OUTPUT==\n");
        std::fclose(run.debug_log);
        run.debug_log = nullptr;
    }
    if (run.info_flag && run.info_file) {
        std::fprintf(run.info_file, "\n== END OF INFO OUTPUT==\n");
        std::fclose(run.info_file);
        run.info_file = nullptr;
    }
}

} // namespace

int run_optimizer(int argc, char** argv) {
    try {
        start_up(argc, argv);
        run_file();
        close_files();
    } catch (const std::bad_alloc&) {
        terminate_abnormally("ERROR - OUT OF MEMORY");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "Exception:  %s\n", e.what());
        stop_run(1);
    } catch (...) {
        std::raise(SIGSEGV);
    }
    std::fflush(nullptr);
    return 0;
}

} // namespace vx::driver
