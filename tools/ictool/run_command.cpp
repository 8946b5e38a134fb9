// ictool run: interprets a whole I-code file.
//
//   ictool run FILE [--entry NAME] [--arg V]... [--max-steps N]
//
// The program's output goes to standard output, followed by the summary
// line "exit=V ops=N loads=N stores=N branches=N calls=N".  A fault prints
// "ictool run: fault: <what> in function <name>" on standard error instead
// of the summary and ends with its own status (docs/interpreter.md).
#include "commands.h"
#include "icode/reader_client.h"
#include "interp/program.h"
#include "support/termination.h"

#include <pthread.h>

#include <charconv>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace vx;

struct RunArguments {
    std::string input;
    interp::RunRequest request;
};

bool parse_number(const std::string& text, int64_t& value) {
    const char* begin = text.data();
    const char* end = begin + text.size();
    int base = 10;
    bool negative = false;
    if (begin != end && (*begin == '-' || *begin == '+'))
        negative = *begin++ == '-';
    if (end - begin > 2 && begin[0] == '0' && (begin[1] == 'x' || begin[1] == 'X')) {
        begin += 2;
        base = 16;
    }
    uint64_t magnitude = 0;
    auto [at, error] = std::from_chars(begin, end, magnitude, base);
    if (error != std::errc() || at != end || begin == end)
        return false;
    value = static_cast<int64_t>(negative ? 0 - magnitude : magnitude);
    return true;
}

std::optional<RunArguments> parse_arguments(int argc, char** argv) {
    RunArguments parsed;
    std::vector<std::string> args(argv + 2, argv + argc);
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool has_value = i + 1 < args.size();
        int64_t number = 0;
        if (arg == "--entry" && has_value) {
            parsed.request.entry = args[++i];
        } else if (arg == "--arg" && has_value) {
            if (!parse_number(args[++i], number))
                return std::nullopt;
            parsed.request.args.push_back(number);
        } else if (arg == "--max-steps" && has_value) {
            if (!parse_number(args[++i], number) || number < 0)
                return std::nullopt;
            parsed.request.max_steps = static_cast<uint64_t>(number);
        } else if (arg.starts_with("-") || !parsed.input.empty()) {
            return std::nullopt;
        } else {
            parsed.input = arg;
        }
    }
    if (parsed.input.empty())
        return std::nullopt;
    return parsed;
}

// Reads the file; malformed input ends the reading through the stop
// handler, which throws here.  nullptr after a message.
std::unique_ptr<interp::Program> load(const std::string& name) {
    FILE* in = std::fopen(name.c_str(), "rb");
    if (in == nullptr) {
        std::cerr << "ictool run: cannot read " << name << "\n";
        return nullptr;
    }
    StopHandler previous = set_stop_handler(throwing_stop_handler);
    std::unique_ptr<interp::Program> program;
    try {
        icode::install_reading_environment();
        program = interp::read_program(in, name, icode::run_type_package());
        if (!program)
            std::cerr << "ictool run: " << name << " is not an I-code file this program reads\n";
    } catch (const RunStopped&) {
        program.reset();
        std::cerr << "ictool run: " << name << " is malformed\n";
    }
    set_stop_handler(previous);
    std::fclose(in);
    return program;
}

int run(RunArguments& args) {
    std::unique_ptr<interp::Program> program = load(args.input);
    if (!program)
        return 1;
    if (!program->defines(args.request.entry)) {
        std::cerr << "ictool run: " << args.input << " defines no function " << args.request.entry
                  << "\n";
        return 1;
    }
    args.request.output = stdout;
    interp::RunResult result = program->run(args.request);
    if (result.status != interp::Status::completed) {
        std::fflush(stdout);
        std::cerr << result.fault_line() << "\n";
        return static_cast<int>(result.status);
    }
    std::printf("%s\n", result.summary_line().c_str());
    return std::fflush(stdout) == 0 ? 0 : 1;
}

// Deep recursion in the program is deep recursion in the evaluator: the
// run gets a thread with a large stack.
struct ThreadRun {
    RunArguments* args;
    int status;
};

void* run_on_thread(void* data) {
    auto* job = static_cast<ThreadRun*>(data);
    job->status = run(*job->args);
    return nullptr;
}

int run_with_large_stack(RunArguments& args) {
    constexpr size_t kStackBytes = size_t{1} << 30;
    ThreadRun job{&args, 1};
    pthread_attr_t attributes;
    pthread_t thread;
    if (pthread_attr_init(&attributes) != 0 ||
        pthread_attr_setstacksize(&attributes, kStackBytes) != 0 ||
        pthread_create(&thread, &attributes, run_on_thread, &job) != 0)
        return run(args);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
    return job.status;
}

} // namespace

int ictool::run_command(int argc, char** argv) {
    auto args = parse_arguments(argc, argv);
    if (!args) {
        std::cerr << ictool::kUsage;
        return 1;
    }
    return run_with_large_stack(*args);
}
