#include "tests/support/test_support.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include "converter/driver/driver.h"

namespace test_support {

ScratchDir::ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "romcvt-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(path_);
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
    std::filesystem::remove_all(path_, ignored);
}

std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<uint8_t> read_bytes(const std::filesystem::path& path) {
    std::string text = read_file(path);
    return std::vector<uint8_t>(text.begin(), text.end());
}

void write_file(const std::filesystem::path& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary);
    out << content;
}

void write_bytes(const std::filesystem::path& path, const std::vector<uint8_t>& content) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(content.data()), static_cast<std::streamsize>(content.size()));
}

RunResult run_romcvt(const std::vector<std::string>& arguments, const std::string& input) {
    std::ostringstream console;
    std::ostringstream errors;
    std::istringstream prompt(input);
    int status = romcvt::run_conversion(arguments, console, errors, prompt);
    return {status, console.str(), errors.str()};
}

}  // namespace test_support
