// Runs a program in a scratch directory and captures its standard output,
// standard error and exit status, for tests that check the real binary.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace vx::testing {

struct ProcessResult {
    int status = -1; // exit status, or 128 + signal number
    std::string out;
    std::string err;
};

ProcessResult run_process(const std::string& program, const std::vector<std::string>& args,
                          const std::filesystem::path& directory);

// A fresh, empty directory removed when the object goes away.
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
    void write(const std::string& name, const std::string& bytes) const;
    std::string read(const std::string& name) const;
    bool exists(const std::string& name) const;

private:
    std::filesystem::path path_;
};

} // namespace vx::testing
