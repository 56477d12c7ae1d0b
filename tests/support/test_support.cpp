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
    out.write(reinterpret_cast<const char*>(content.data()),
              static_cast<std::streamsize>(content.size()));
}

RunResult run_romcvt(const std::vector<std::string>& arguments, const std::string& input) {
    std::ostringstream console;
    std::ostringstream errors;
    std::istringstream prompt(input);
    int status = romcvt::run_conversion(arguments, console, errors, prompt);
    return {status, console.str(), errors.str()};
}

}  // namespace test_support

#include <gtest/gtest.h>

namespace test_support {

namespace {

// Every data byte with the address of its record and its position there.
std::map<uint32_t, uint8_t> read_ascii_hex_units(const std::filesystem::path& path,
                                                 uint32_t bytes_per_unit) {
    std::string text = read_file(path);
    std::map<uint32_t, uint8_t> bytes;
    EXPECT_GE(text.size(), 4u) << path;
    if (text.size() < 4) return bytes;
    EXPECT_EQ(text.substr(0, 3), "\x02\r\n") << path;
    EXPECT_EQ(text.back(), '\x03') << path;
    std::istringstream lines(text.substr(3, text.size() - 4));
    std::string line;
    uint32_t address = 0;
    while (std::getline(lines, line)) {
        EXPECT_FALSE(line.empty() || line.back() != '\r') << "line without CR LF in " << path;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("$A", 0) == 0) {
            EXPECT_EQ(line.back(), ',') << line;
            address =
                static_cast<uint32_t>(std::stoul(line.substr(2), nullptr, 16)) * bytes_per_unit;
            continue;
        }
        EXPECT_EQ(line.size() % 3, 0u) << line;
        for (size_t i = 0; i + 3 <= line.size(); i += 3) {
            EXPECT_EQ(line[i + 2], ' ') << line;
            bytes[address++] = static_cast<uint8_t>(std::stoul(line.substr(i, 2), nullptr, 16));
        }
    }
    return bytes;
}

}  // namespace

std::map<uint32_t, uint8_t> read_ascii_hex(const std::filesystem::path& path) {
    return read_ascii_hex_units(path, 1);
}

std::map<uint32_t, uint16_t> read_ascii_hex_words(const std::filesystem::path& path) {
    std::map<uint32_t, uint8_t> bytes = read_ascii_hex_units(path, 2);
    std::map<uint32_t, uint16_t> words;
    for (const auto& [address, byte] : bytes) {
        uint16_t& word = words[address / 2];
        word = static_cast<uint16_t>(address % 2 == 0 ? (byte << 8) | (word & 0xFF)
                                                      : (word & 0xFF00) | byte);
    }
    return words;
}

std::map<uint32_t, uint16_t> read_ascii_hex_pair(const std::filesystem::path& low,
                                                 const std::filesystem::path& high) {
    std::map<uint32_t, uint8_t> low_bytes = read_ascii_hex(low);
    std::map<uint32_t, uint8_t> high_bytes = read_ascii_hex(high);
    EXPECT_EQ(low_bytes.size(), high_bytes.size());
    std::map<uint32_t, uint16_t> words;
    for (const auto& [address, byte] : low_bytes) {
        auto high_byte = high_bytes.find(address);
        EXPECT_NE(high_byte, high_bytes.end()) << "address " << address;
        uint16_t high_value = high_byte == high_bytes.end() ? 0 : high_byte->second;
        words[address] = static_cast<uint16_t>(high_value << 8 | byte);
    }
    return words;
}

}  // namespace test_support
