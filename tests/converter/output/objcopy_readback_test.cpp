// Whole conversions whose Intel, Motorola and Extended Tektronix files are
// read back by GNU objcopy, an independent reader that checks the record
// syntax (and, for Intel and Motorola, the checksums); its binary image
// must hold every word at its address.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "tools/coff_builder/coff_builder.h"

namespace {

using test_support::read_bytes;
using test_support::read_file;
using test_support::run_romcvt;
using test_support::ScratchDir;

// Which bytes of every 16-bit word a file holds, and at which address.
enum class Slice {
    kLow,       // low byte at the word address (first of two 8-bit files)
    kHigh,      // high byte at the word address (second file)
    kWordByte,  // both bytes, most significant first, at twice the word address (-byte)
};

struct ReadbackCase {
    const char* what;
    std::vector<std::string> options;  // format and widths
    const char* objcopy_format;
    std::vector<std::pair<std::string, Slice>> files;
    std::string warning = "";  // expected in the console, once
    friend void PrintTo(const ReadbackCase& c, std::ostream* os) { *os << c.what; }
};

coff_builder::CoffImage test_image() {
    coff_builder::CoffImage image;
    image.entry_point = 0x0123ABCD;
    // Gaps between the sections; .data runs on from 0xFFFF to 0x10000.
    image.sections.push_back(coff_builder::Section{
        .name = ".text", .virtual_address = 0x80, .words = coff_builder::random_words(300, 1)});
    image.sections.push_back(coff_builder::Section{
        .name = ".data", .virtual_address = 0xFFE0, .words = coff_builder::random_words(77, 2)});
    image.sections.push_back(coff_builder::Section{
        .name = ".const", .virtual_address = 0x12345, .words = coff_builder::random_words(50, 3)});
    return image;
}

// The file's bytes at their addresses in the file.
std::map<uint32_t, uint8_t> expected_bytes(const std::map<uint32_t, uint16_t>& words, Slice slice) {
    std::map<uint32_t, uint8_t> bytes;
    for (const auto& [address, word] : words) {
        switch (slice) {
            case Slice::kLow:
                bytes[address] = static_cast<uint8_t>(word);
                break;
            case Slice::kHigh:
                bytes[address] = static_cast<uint8_t>(word >> 8);
                break;
            case Slice::kWordByte:
                bytes[2 * address] = static_cast<uint8_t>(word >> 8);
                bytes[2 * address + 1] = static_cast<uint8_t>(word);
                break;
        }
    }
    return bytes;
}

// The bytes as a binary image from the lowest address, gaps zero.
std::vector<uint8_t> binary_of(const std::map<uint32_t, uint8_t>& bytes) {
    uint32_t first = bytes.begin()->first;
    std::vector<uint8_t> binary(bytes.rbegin()->first - first + 1, 0);
    for (const auto& [address, byte] : bytes) binary[address - first] = byte;
    return binary;
}

// The value of a character in an Extended Tektronix checksum.
int tek_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    if (c >= 'a' && c <= 'z') return c - 'a' + 40;
    switch (c) {
        case '$':
            return 36;
        case '%':
            return 37;
        case '.':
            return 38;
        default:
            return 39;
    }
}

std::string hex_text(uint32_t value, int digits) {
    std::string text(static_cast<size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; --i, value >>= 4)
        text[static_cast<size_t>(i)] = "0123456789ABCDEF"[value & 15];
    return text;
}

// A "%" record with its length and checksum filled in.
std::string tek_record(char type, const std::string& body) {
    std::string text = hex_text(static_cast<uint32_t>(body.size() + 5), 2) + type + "00" + body;
    int sum = 0;
    for (char c : text) sum += tek_value(c);
    return "%" + text.substr(0, 3) + hex_text(static_cast<uint32_t>(sum & 0xFF), 2) +
           text.substr(5);
}

// objcopy only keeps Extended Tektronix data that lies in a section it was
// told of, so a section record for every block of data goes in front (one
// for all would be larger than the file, which objcopy refuses). It does
// not check the checksums; this does, and the lengths too.
void check_tektronix(const std::string& name,
                     const std::vector<std::pair<uint32_t, uint32_t>>& blocks) {
    std::string text = read_file(name);
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size();) {
        size_t line_end = text.find("\r\n", at);
        ASSERT_NE(line_end, std::string::npos) << "line without CR LF in " << name;
        lines.push_back(text.substr(at, line_end - at));
        at = line_end + 2;
    }
    ASSERT_FALSE(lines.empty());
    for (const std::string& line : lines) {
        ASSERT_GE(line.size(), 7u);
        EXPECT_EQ(line[0], '%');
        EXPECT_EQ(std::stoul(line.substr(1, 2), nullptr, 16), line.size() - 1) << line;
        unsigned sum = 0;
        for (size_t i = 1; i < line.size(); ++i) {
            if (i != 4 && i != 5) sum += static_cast<unsigned>(tek_value(line[i]));
        }
        EXPECT_EQ(std::stoul(line.substr(4, 2), nullptr, 16), sum & 0xFF) << line;
    }
    EXPECT_EQ(lines.back(), tek_record('8', "8" + hex_text(0x0123ABCD, 8)));
    std::string sections;
    char section_name = 'A';
    for (const auto& [first, end] : blocks) {
        sections += tek_record('3', std::string("1") + section_name++ + "18" + hex_text(first, 8) +
                                        "8" + hex_text(end, 8)) +
                    "\r\n";
    }
    test_support::write_file(name + ".sec", sections + text);
}

// First address and the address after the last of every run of bytes.
std::vector<std::pair<uint32_t, uint32_t>> blocks_of(const std::map<uint32_t, uint8_t>& bytes) {
    std::vector<std::pair<uint32_t, uint32_t>> blocks;
    for (const auto& entry : bytes) {
        if (blocks.empty() || blocks.back().second != entry.first) {
            blocks.emplace_back(entry.first, entry.first);
        }
        blocks.back().second = entry.first + 1;
    }
    return blocks;
}

class ObjcopyReadbackTest : public ::testing::TestWithParam<ReadbackCase> {};

TEST_P(ObjcopyReadbackTest, ObjcopyFindsEveryWordAtItsAddress) {
    const ReadbackCase& c = GetParam();
    ScratchDir dir;
    coff_builder::CoffImage image = test_image();
    coff_builder::write_file("in.out", image);
    std::map<uint32_t, uint16_t> words = coff_builder::expected_page_words(image, 0);
    std::vector<std::string> arguments{"-q"};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    arguments.push_back("in.out");
    for (const auto& file : c.files) {
        arguments.push_back("-o");
        arguments.push_back(file.first);
    }

    test_support::RunResult result = run_romcvt(arguments);

    ASSERT_EQ(result.exit_status, 0) << result.console;
    EXPECT_EQ(result.console, c.warning.empty() ? "" : ">> warning: " + c.warning + "\n");
    for (const auto& [name, slice] : c.files) {
        std::map<uint32_t, uint8_t> bytes = expected_bytes(words, slice);
        std::vector<uint8_t> expected = binary_of(bytes);
        std::string input = name;
        std::string placement;
        if (std::string(c.objcopy_format) == "tekhex") {
            std::vector<std::pair<uint32_t, uint32_t>> blocks = blocks_of(bytes);
            check_tektronix(name, blocks);
            input = name + ".sec";
            // The sections objcopy makes load at 0 unless told otherwise.
            char section_name = 'A';
            for (const auto& block : blocks) {
                placement += std::string(" --change-section-lma ") + section_name++ + "=" +
                             std::to_string(block.first);
            }
        }
        std::string command = std::string("objcopy -I ") + c.objcopy_format +
                              " -O binary --gap-fill 0" + placement + " " + input + " " + name +
                              ".bin";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        std::vector<uint8_t> binary = read_bytes(name + ".bin");
        ASSERT_EQ(binary.size(), expected.size()) << name;
        EXPECT_TRUE(binary == expected) << name << ": objcopy read other bytes";
    }
}

const std::vector<std::pair<std::string, Slice>> kTwoFiles{{"lo.hex", Slice::kLow},
                                                           {"hi.hex", Slice::kHigh}};
const std::vector<std::pair<std::string, Slice>> kOneFile{{"word.hex", Slice::kWordByte}};
const std::vector<std::string> kWordRom{"-romwidth", "16", "-byte"};

std::vector<std::string> with(std::string format, std::vector<std::string> options = {}) {
    options.insert(options.begin(), std::move(format));
    return options;
}

INSTANTIATE_TEST_SUITE_P(
    Formats, ObjcopyReadbackTest,
    ::testing::Values(
        ReadbackCase{"Intel, 8-bit ROMs", with("-i"), "ihex", kTwoFiles},
        ReadbackCase{"Intel, 16-bit ROM", with("-i", kWordRom), "ihex", kOneFile},
        ReadbackCase{"Motorola-S1, 8-bit ROMs: S2 records above 0FFFFh", with("-m1"), "srec",
                     kTwoFiles,
                     "address 010000h does not fit an S1 record: S2 records written above "
                     "0FFFFh"},
        ReadbackCase{"Motorola-S2, 8-bit ROMs", with("-m2"), "srec", kTwoFiles},
        ReadbackCase{"Motorola-S, 16-bit ROM", with("-m", kWordRom), "srec", kOneFile},
        ReadbackCase{"Motorola-S3, 8-bit ROMs", with("-m3"), "srec", kTwoFiles},
        ReadbackCase{"Motorola-S3, 16-bit ROM", with("-m3", kWordRom), "srec", kOneFile},
        ReadbackCase{"Extended Tektronix, 8-bit ROMs", with("-x"), "tekhex", kTwoFiles},
        ReadbackCase{"Extended Tektronix, 16-bit ROM", with("-x", kWordRom), "tekhex", kOneFile}),
    [](const auto& info) { return std::to_string(info.index); });

// Without an optional header there is no entry point: the termination
// record carries 0. Both files of the range end with it.
TEST(TektronixRunTest, FileWithoutOptionalHeaderEndsWithEntryPointZero) {
    ScratchDir dir;
    coff_builder::CoffImage image;
    image.optional_header = false;
    image.sections.push_back(
        coff_builder::Section{.name = ".text", .virtual_address = 0x10, .words = {0x1234}});
    coff_builder::write_file("in.out", image);

    test_support::RunResult result = run_romcvt({"-q", "-x", "in.out", "-o", "lo", "-o", "hi"});

    EXPECT_EQ(result.exit_status, 0) << result.console;
    EXPECT_EQ(read_file("lo"), "%1061780000001034\r\n%0E81E800000000\r\n");
    EXPECT_EQ(read_file("hi"), "%1061380000001012\r\n%0E81E800000000\r\n");
}

}  // namespace
