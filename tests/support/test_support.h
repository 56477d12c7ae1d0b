// Small helpers shared by the converter tests: a scratch directory that the
// test runs in, file reading and writing, and an in-process romcvt run.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace test_support {

// Creates a fresh directory under the system temp folder and makes it the
// working directory; restores the old one and removes the folder on exit.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
    std::filesystem::path previous_;
};

std::string read_file(const std::filesystem::path& path);
std::vector<uint8_t> read_bytes(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, const std::string& content);
void write_bytes(const std::filesystem::path& path, const std::vector<uint8_t>& content);

struct RunResult {
    int exit_status;
    std::string console;
    std::string errors;
};

// Runs the converter in-process with the given arguments (after the program
// name) and standard input text.
RunResult run_romcvt(const std::vector<std::string>& arguments, const std::string& input = "");

}  // namespace test_support
