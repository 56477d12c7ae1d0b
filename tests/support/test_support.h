// Small helpers shared by the converter tests: a scratch directory that the
// test runs in, file reading and writing, and an in-process romcvt run.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
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

namespace test_support {

// Reads an ASCII-Hex file as (address -> byte), one address unit per byte.
// Fails the current test on anything malformed.
std::map<uint32_t, uint8_t> read_ascii_hex(const std::filesystem::path& path);

// Reads an ASCII-Hex file whose ROM words are 16 bits (most significant
// byte first) as (address -> word), one address unit per word.
std::map<uint32_t, uint16_t> read_ascii_hex_words(const std::filesystem::path& path);

// Joins a low-byte file and a high-byte file into 16-bit words.
std::map<uint32_t, uint16_t> read_ascii_hex_pair(const std::filesystem::path& low,
                                                 const std::filesystem::path& high);

}  // namespace test_support
