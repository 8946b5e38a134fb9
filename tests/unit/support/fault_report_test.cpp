#include "support/fault_report.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace vx::fault {
namespace {

struct ChildRun {
    int wait_status = 0;
    std::string out;
    std::string err;
    bool exited_with(int code) const {
        return WIFEXITED(wait_status) && WEXITSTATUS(wait_status) == code;
    }
};

std::string read_all(int fd) {
    std::string text;
    char buffer[4096];
    for (ssize_t got; (got = read(fd, buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(got));
    close(fd);
    return text;
}

// Runs body in a child process with its standard output and error captured.
ChildRun run_in_child(const std::function<void()>& body) {
    std::fflush(nullptr); // the child must not repeat our pending output
    int out_pipe[2];
    int err_pipe[2];
    if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0)
        ADD_FAILURE() << "pipe failed";
    if (fork() == 0) {
        dup2(out_pipe[1], STDOUT_FILENO);
        dup2(err_pipe[1], STDERR_FILENO);
        for (int fd : {out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]})
            close(fd);
        body();
        std::_Exit(99); // the report must not return
    }
    close(out_pipe[1]);
    close(err_pipe[1]);
    ChildRun run;
    run.out = read_all(out_pipe[0]);
    run.err = read_all(err_pipe[0]);
    wait(&run.wait_status);
    return run;
}

void write_to_unmapped_address() {
    volatile uintptr_t address = 64; // opaque, so the compiler does not flag it
    *reinterpret_cast<volatile int*>(address) = 1;
}

FaultContext in_function_main() {
    return {"main", "prog.i"};
}
FaultContext outside_any_function() {
    return {nullptr, "prog.i"};
}
void note_signal(int signal) {
    std::fprintf(stderr, "[callback %d]\n", signal);
}

const char* const in_main = "while processing function main file prog.i";

std::string internal_error(const char* description, const char* context) {
    return std::string("\nINTERNAL ERROR: optvx ") + description + "\n                  " +
           context + "\n\n" + support_message("C/C++ Optimizer");
}

ChildRun fault_in_child(int signal, ContextDescriber describer = in_function_main) {
    return run_in_child([=] {
        install_fault_handlers("optvx", "C/C++ Optimizer", describer, note_signal);
        std::fputs("pending output", stdout);
        std::raise(signal);
    });
}

TEST(FaultReport, EachSignalGivesItsReport) {
    const std::pair<int, std::string> cases[] = {
        {SIGSEGV, internal_error("experienced a segmentation fault", in_main)},
        {SIGILL, internal_error("executed an illegal instruction", in_main)},
        {SIGFPE, internal_error("received a floating point exception", in_main)},
        {SIGABRT, internal_error("had an internal inconsistency and aborted", in_main)},
        {SIGINT, "[optvx forced exit]\n"},
        {SIGTERM, "[optvx received a terminate signal]\n"},
    };
    for (const auto& [signal, report] : cases) {
        ChildRun run = fault_in_child(signal);
        EXPECT_TRUE(run.exited_with(2)) << signal;
        const bool with_callback = signal != SIGINT && signal != SIGTERM;
        EXPECT_EQ(run.err,
                  with_callback ? report + "[callback " + std::to_string(signal) + "]\n" : report);
        EXPECT_EQ(run.out, "pending output");
    }
}

TEST(FaultReport, FaultOutsideAnyFunctionNamesItUnknown) {
    ChildRun run = fault_in_child(SIGSEGV, outside_any_function);
    EXPECT_NE(run.err.find("\n                  while processing function <unknown> file prog.i\n"),
              std::string::npos);
}

TEST(FaultReport, RealFaultIsCaught) {
    ChildRun run = run_in_child([] {
        install_fault_handlers("optvx", "C/C++ Optimizer", in_function_main, nullptr);
        write_to_unmapped_address();
    });
    EXPECT_TRUE(run.exited_with(2));
    EXPECT_EQ(run.err, internal_error("experienced a segmentation fault", in_main));
}

TEST(FaultReport, DirectReportWithoutToolOrContext) {
    ChildRun run = run_in_child([] { report_fault(SIGUSR1, nullptr, nullptr); });
    EXPECT_TRUE(run.exited_with(2));
    EXPECT_EQ(run.err, "\nINTERNAL ERROR: unknown experienced a fatal internal fault\n\n" +
                           std::string(support_message(nullptr)));
}

TEST(FaultReport, FaultsDuringTheReportCannotLoop) {
    // Another signal reports again, keeping the first description.
    ChildRun run = run_in_child([] {
        install_fault_handlers("optvx", "C/C++ Optimizer", in_function_main, [](int signal) {
            if (signal == SIGFPE)
                std::raise(SIGSEGV);
        });
        std::raise(SIGFPE);
    });
    const std::string first = internal_error("received a floating point exception", in_main);
    EXPECT_EQ(run.err, first + first);

    // The same signal finds the default action.
    run = run_in_child([] {
        install_fault_handlers("optvx", "C/C++ Optimizer", in_function_main,
                               [](int) { write_to_unmapped_address(); });
        std::raise(SIGSEGV);
    });
    EXPECT_TRUE(WIFSIGNALED(run.wait_status) && WTERMSIG(run.wait_status) == SIGSEGV);
}

TEST(FaultSupportMessage, ChosenByToolKind) {
    const std::string opening =
        "This is caused by a defect in the Korvane C/C++ Optimizer.\n"
        "Korvane Customer Support may be able to suggest a workaround to avoid this.\n\n"
        "Upgrading to the newest version of the compiler may fix this problem.\n\n"
        "Please report it on the Korvane support forum at https://forum.korvane.example/compilers\n"
        "using the forum's \"Submit an issue\" link, and attach:\n"
        "We need to see this ENTIRE error message and a complete, reproducable\n"
        "test case including ALL of the command-line options.\n";
    const std::string compiler =
        opening + "Include the .pp file created by option --preproc_with_comment\n\n";
    EXPECT_EQ(support_message("C/C++ Optimizer"), compiler);
    EXPECT_EQ(support_message("Korvane C/C++ Parser 2"), compiler);
    EXPECT_EQ(support_message("C/C++ Codegen"), compiler);
    EXPECT_EQ(support_message("Linker"),
              opening + "Include all of the object files, libraries, and linker command files\n"
                        "used to link the program.\n\n");
    EXPECT_EQ(support_message("Linker 2"), opening + "\n");
    EXPECT_EQ(support_message(nullptr), opening + "\n");
}

} // namespace
} // namespace vx::fault
