#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "tests/support/test_support.h"
#include "tools/coff_builder/coff_builder.h"

namespace {

using namespace test_support;
using coff_builder::CoffImage;
using coff_builder::Section;

const std::vector<std::string> kLoaderCommand = {"-a", "in.out", "-o", "LSB.tmp", "-o", "MSB.tmp"};

CoffImage small_program() {
    CoffImage image;
    image.entry_point = 0x80;
    image.sections.push_back(Section{
        .name = ".text", .virtual_address = 0x80, .words = coff_builder::random_words(300, 7)});
    image.sections.push_back(Section{.name = ".long_section_name",
                                     .virtual_address = 0x400,
                                     .words = coff_builder::ramp_words(20, 0x1000)});
    image.sections.push_back(Section{.name = ".bss",
                                     .virtual_address = 0x800,
                                     .size_in_words = 0x100,
                                     .flags = coff_builder::kSectionUninitialized});
    image.sections.push_back(coff_builder::cinit_section(
        {{0x800, {1, 2, 3}}, {0x810, coff_builder::ramp_words(40, 0xA000)}}, 0x600));
    image.sections.push_back(Section{.name = ".dummy",
                                     .virtual_address = 0x900,
                                     .words = {9, 9},
                                     .flags = coff_builder::kSectionDummy});
    return image;
}

std::map<uint32_t, uint16_t> convert(const CoffImage& image) {
    coff_builder::write_file("in.out", image);
    RunResult result = run_romcvt(kLoaderCommand);
    EXPECT_EQ(result.exit_status, 0) << result.console << result.errors;
    return read_ascii_hex_pair("LSB.tmp", "MSB.tmp");
}

struct Variant {
    friend void PrintTo(const Variant& v, std::ostream* os) { *os << v.what; }
    const char* what;
    std::function<void(CoffImage&)> change;
};

class CoffVariantTest : public ::testing::TestWithParam<Variant> {};

// Every header layout and data byte order holds the same program, so every
// one must give the same two files.
TEST_P(CoffVariantTest, ConvertsLikeTheReferenceFile) {
    ScratchDir dir;
    CoffImage image = small_program();
    GetParam().change(image);
    EXPECT_EQ(convert(image), coff_builder::expected_page_words(small_program(), 0));
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, CoffVariantTest,
    ::testing::Values(
        Variant{"version C2", [](CoffImage&) {}},
        Variant{"version C1", [](CoffImage& i) { i.magic = 0x00C1; }},
        Variant{"version C0", [](CoffImage& i) { i.magic = 0x00C0; }},
        Variant{"identification 0098", [](CoffImage& i) { i.magic = 0x0098; }},
        Variant{"swapped headers", [](CoffImage& i) { i.swapped_headers = true; }},
        Variant{"swapped C0 headers",
                [](CoffImage& i) {
                    i.swapped_headers = true;
                    i.magic = 0x00C0;
                }},
        Variant{"big-endian data", [](CoffImage& i) { i.big_endian_data = true; }},
        Variant{"big-endian data, swapped headers",
                [](CoffImage& i) {
                    i.big_endian_data = true;
                    i.swapped_headers = true;
                }},
        Variant{"no optional header", [](CoffImage& i) { i.optional_header = false; }},
        Variant{"optional header of another size skipped",
                [](CoffImage& i) { i.optional_header_override = std::vector<uint8_t>(12, 0xEE); }}),
    [](const auto& info) { return std::to_string(info.index); });

TEST(SectionLoading, LongSectionsAreReadInChunksAtTheRightAddresses) {
    ScratchDir dir;
    for (size_t words : {8192u, 8193u, 3 * 8192u + 5}) {
        CoffImage image;
        image.sections.push_back(Section{.name = ".text",
                                         .virtual_address = 0x100,
                                         .words = coff_builder::random_words(words, 3)});
        EXPECT_EQ(convert(image), coff_builder::expected_page_words(image, 0)) << words;
    }
}

// Records whose header or data cross the 16384-byte chunk boundary must
// land as if the table were read in one piece.
TEST(SectionLoading, AutoinitRecordsAcrossChunkBoundaries) {
    ScratchDir dir;
    struct Case {
        const char* what;
        uint16_t first_record_words;
    } cases[] = {
        {"second header split after its size word", 8189},  // header at byte 16382
        {"second header right at the boundary", 8190},      // header at byte 16384
        {"first record's data crosses the boundary", 9000},
    };
    for (const Case& c : cases) {
        CoffImage image;
        image.sections.push_back(Section{.name = ".bss",
                                         .virtual_address = 0x1000,
                                         .size_in_words = 0x8000,
                                         .flags = coff_builder::kSectionUninitialized});
        image.sections.push_back(coff_builder::cinit_section(
            {{0x1000, coff_builder::random_words(c.first_record_words, 11)},
             {0x6000, coff_builder::ramp_words(64, 0x4000)},
             {0x7000, {0xBEEF}}},
            0x100));
        EXPECT_EQ(convert(image), coff_builder::expected_page_words(image, 0)) << c.what;
    }
}

TEST(SectionLoading, AutoinitTableEndingInsideARecordHeaderIsAReadError) {
    ScratchDir dir;
    CoffImage image;
    image.sections.push_back(Section{.name = ".cinit",
                                     .virtual_address = 0x40,
                                     .words = {1, 0x100, 0xAAAA, 5},  // the last header is cut
                                     .flags = coff_builder::kSectionCopy});
    coff_builder::write_file("in.out", image);
    RunResult result = run_romcvt(kLoaderCommand);
    EXPECT_EQ(result.exit_status, 255);
    EXPECT_EQ(result.console.substr(result.console.rfind(">> ")), ">> error reading COFF file\n");
}

TEST(SectionLoading, BytesAfterTheZeroSizeWordAreIgnored) {
    ScratchDir dir;
    CoffImage image;
    image.sections.push_back(Section{.name = ".cinit",
                                     .virtual_address = 0x40,
                                     .words = {1, 0x100, 0xAAAA, 0, 3, 0x200, 1, 2, 3},
                                     .flags = coff_builder::kSectionCopy});
    EXPECT_EQ(convert(image), (std::map<uint32_t, uint16_t>{{0x100, 0xAAAA}}));
}

// Words after the terminating zero size word would read as records if each
// later chunk were parsed afresh; they must not reach the output.
TEST(SectionLoading, RecordsEndAtTheZeroSizeWordForTheWholeSection) {
    ScratchDir dir;
    std::vector<uint16_t> words = {2, 0x100, 0x1111, 0x2222, 0};
    words.resize(8192, 0x5555);  // rest of the first chunk
    for (uint16_t w : {3, 0x300, 0xBAD0, 0xBAD1, 0xBAD2})
        words.push_back(w);  // looks like a record
    CoffImage image;
    image.sections.push_back(Section{.name = ".cinit",
                                     .virtual_address = 0x40,
                                     .words = words,
                                     .flags = coff_builder::kSectionCopy});
    EXPECT_EQ(convert(image), (std::map<uint32_t, uint16_t>{{0x100, 0x1111}, {0x101, 0x2222}}));
}

// Patches a little-endian 32-bit field of a built file.
void put32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}
void put16(std::vector<uint8_t>& bytes, size_t offset, uint16_t value) {
    bytes[offset] = static_cast<uint8_t>(value);
    bytes[offset + 1] = static_cast<uint8_t>(value >> 8);
}

struct Corruption {
    friend void PrintTo(const Corruption& c, std::ostream* os) { *os << c.what; }
    const char* what;
    std::function<void(std::vector<uint8_t>&, const coff_builder::Layout&)> damage;
    int exit_status;
    std::string console_tail;  // the last line on the console
    std::string errors;
};

class CorruptCoffTest : public ::testing::TestWithParam<Corruption> {};

TEST_P(CorruptCoffTest, EndsWithAClearMessageAndNoOutput) {
    ScratchDir dir;
    coff_builder::Layout layout;
    std::vector<uint8_t> bytes = coff_builder::build(small_program(), &layout);
    GetParam().damage(bytes, layout);
    write_bytes("in.out", bytes);

    RunResult result = run_romcvt(kLoaderCommand);

    EXPECT_EQ(result.exit_status, GetParam().exit_status);
    std::string& console = result.console;
    EXPECT_GE(console.size(), GetParam().console_tail.size());
    EXPECT_EQ(
        console.substr(console.size() - std::min(console.size(), GetParam().console_tail.size())),
        GetParam().console_tail)
        << console;
    EXPECT_EQ(result.errors, GetParam().errors);
    EXPECT_FALSE(std::filesystem::exists("LSB.tmp"));
    EXPECT_FALSE(std::filesystem::exists("MSB.tmp"));
}

const std::string kReadError = ">> error reading COFF file\n";
const std::string kCorruptHeader = "error reading COFF file - corrupted section header";

INSTANTIATE_TEST_SUITE_P(
    Files, CorruptCoffTest,
    ::testing::Values(
        Corruption{"file header cut short", [](auto& b, auto&) { b.resize(12); }, 255, kReadError,
                   ""},
        Corruption{"optional header cut short",
                   [](auto& b, auto& l) { b.resize(l.optional_header_offset + 10); }, 255,
                   kReadError, ""},
        Corruption{"section table past the end of the file",
                   [](auto& b, auto&) { put16(b, 2, 0xFFFF); }, 255, kReadError, ""},
        Corruption{"raw data offset past the end of the file",
                   [](auto& b, auto& l) {
                       put32(b, l.section_header_offsets[0] + 20,
                             static_cast<uint32_t>(l.file_size + 2));
                   },
                   255, kReadError, ""},
        Corruption{"absurd section size",
                   [](auto& b, auto& l) { put32(b, l.section_header_offsets[0] + 16, 0x7FFFFFFF); },
                   255, kReadError, ""},
        Corruption{"last word of section data past the end of the file",
                   [](auto& b, auto& l) {
                       put32(b, l.section_header_offsets[0] + 20,
                             static_cast<uint32_t>(l.file_size - 2 * 300 + 2));
                   },
                   255, kReadError, ""},
        Corruption{"string table longer than the file",
                   [](auto& b, auto& l) { put32(b, l.string_table_offset, 0x7FFFFFF0); }, 255,
                   kReadError, ""},
        Corruption{"name offset beyond the string table",
                   [](auto& b, auto& l) { put32(b, l.section_header_offsets[1] + 4, 0x10000); }, -1,
                   "", kCorruptHeader},
        Corruption{"name offset inside the length word",
                   [](auto& b, auto& l) { put32(b, l.section_header_offsets[1] + 4, 2); }, -1, "",
                   kCorruptHeader},
        Corruption{"long name but no symbols", [](auto& b, auto&) { put32(b, 12, 0); }, -1, "",
                   kCorruptHeader},
        Corruption{"target identifier other than 0x0098",
                   [](auto& b, auto&) { put16(b, 20, 0x0099); }, 255,
                   ">> COFF file has wrong magic number\n", ""},
        Corruption{"no sections", [](auto& b, auto&) { put16(b, 2, 0); }, 255,
                   ">> no initialized sections in in.out (aborting)\n", ""}),
    [](const auto& info) { return std::to_string(info.index); });

}  // namespace
