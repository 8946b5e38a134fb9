#include "cfront/compile.h"

#include "cfront/emitter.h"
#include "cfront/lexer.h"
#include "cfront/parser.h"

#include <cerrno>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

namespace vx::cfront {

namespace {

std::string where(const std::vector<std::string>& files, SourcePos pos) {
    std::string file = pos.file >= 1 && static_cast<size_t>(pos.file) <= files.size()
                           ? files[static_cast<size_t>(pos.file) - 1]
                           : std::string("<input>");
    return file + ":" + std::to_string(pos.line) + ":" + std::to_string(pos.column);
}

// Runs `arguments` and collects its standard output; its standard error
// goes to ours.
bool run_capturing(const std::vector<std::string>& arguments, std::string& output, int& status) {
    int pipe_ends[2];
    if (pipe(pipe_ends) != 0)
        return false;
    const pid_t child = fork();
    if (child < 0)
        return false;
    if (child == 0) {
        dup2(pipe_ends[1], STDOUT_FILENO);
        close(pipe_ends[0]);
        close(pipe_ends[1]);
        std::vector<char*> argv;
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(pipe_ends[1]);
    char buffer[65536];
    ssize_t got = 0;
    while ((got = read(pipe_ends[0], buffer, sizeof buffer)) != 0) {
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            break;
        output.append(buffer, static_cast<size_t>(got));
    }
    close(pipe_ends[0]);
    int wait_status = 0;
    while (waitpid(child, &wait_status, 0) < 0 && errno == EINTR) {
    }
    status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128;
    return true;
}

} // namespace

bool preprocess(const CompileOptions& options, std::string& output, std::string& message) {
    if (access(options.source.c_str(), R_OK) != 0) {
        message = options.source + ": error: cannot read file: " + std::strerror(errno);
        return false;
    }
    std::vector<std::string> arguments = {"cpp", "-nostdinc", "-undef", "-D__vexar__=1"};
    if (!options.system_include_dir.empty())
        arguments.push_back("-I" + options.system_include_dir);
    for (const std::string& dir : options.include_dirs)
        arguments.push_back("-I" + dir);
    for (const std::string& define : options.defines)
        arguments.push_back("-D" + define);
    arguments.push_back(options.source);
    int status = 0;
    if (!run_capturing(arguments, output, status) || status == 127) {
        message = options.source + ": error: cannot run the preprocessor 'cpp'";
        return false;
    }
    if (status != 0) {
        message = options.source + ": error: preprocessing failed";
        return false;
    }
    return true;
}

CompileResult compile_preprocessed(const std::string& text, const std::string& file) {
    CompileResult result;
    std::vector<std::string> files{file};
    try {
        LexResult lexed = lex(text, file);
        files = lexed.files;
        Program program;
        program.files = lexed.files;
        program.main_file = file;
        Parser parser(program, std::move(lexed.tokens));
        parser.parse_translation_unit();
        result.text = emit_text(program);
        result.ok = true;
    } catch (const CompileError& error) {
        result.message = where(files, error.pos) + ": error: " + error.what();
    }
    return result;
}

CompileResult compile(const CompileOptions& options) {
    std::string text;
    CompileResult result;
    if (!preprocess(options, text, result.message))
        return result;
    return compile_preprocessed(text, options.source);
}

} // namespace vx::cfront
