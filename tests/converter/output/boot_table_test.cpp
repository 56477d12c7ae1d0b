// The boot table as the boot loader reads it back from the ROM files: header,
// blocks and end word at the right addresses, for each device code.
#include <gtest/gtest.h>

#include <filesystem>
#include <utility>

#include "tests/support/test_support.h"
#include "tools/coff_builder/coff_builder.h"

namespace {

using namespace test_support;
using coff_builder::CoffImage;
using coff_builder::Section;

using Words = std::map<uint32_t, uint16_t>;

// Runs of consecutive words, each starting at its address.
Words layout(std::initializer_list<std::pair<uint32_t, std::vector<uint16_t>>> runs) {
    Words words;
    for (const auto& [address, values] : runs) {
        for (size_t i = 0; i < values.size(); ++i) {
            words[address + static_cast<uint32_t>(i)] = values[i];
        }
    }
    return words;
}

constexpr uint16_t kDevice48 = coff_builder::kFileDevice48;
constexpr uint16_t kDevice45 = coff_builder::kFileDevice45;
constexpr uint16_t kDevice0 = 0;

const Section kText{.name = ".text", .virtual_address = 0x80, .words = {0x1234, 0x5678}};
const Section kData{.name = ".data", .virtual_address = 0x200, .words = {0xAAAA}};
const Section kConst{.name = ".const", .virtual_address = 0x300, .words = {0xC0C0, 0xC1C1, 0xC2C2}};

// Header words of device code 48 after the keyword.
const std::vector<uint16_t> kNoEntry = {0xFFFF, 0xFFFF};

struct BootCase {
    const char* what;
    uint16_t device_flags;
    std::vector<Section> sections;
    std::vector<std::string> options;
    std::string command_file;
    Words expected;  // page 0, as the two byte files of the range give it
    std::string console = "";
    friend void PrintTo(const BootCase& c, std::ostream* os) { *os << c.what; }
};

class BootTableTest : public ::testing::TestWithParam<BootCase> {};

TEST_P(BootTableTest, PlacesEveryWord) {
    const BootCase& c = GetParam();
    ScratchDir dir;
    CoffImage image;
    image.extra_file_flags = c.device_flags;
    image.sections = c.sections;
    coff_builder::write_file("in.out", image);
    std::vector<std::string> arguments = {"-q", "-a", "in.out", "-o", "l", "-o", "h"};
    if (!c.command_file.empty()) {
        write_file("rom.cmd", c.command_file);
        arguments.push_back("rom.cmd");
    }
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());

    RunResult result = run_romcvt(arguments);

    EXPECT_EQ(result.console, c.console);
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(read_ascii_hex_pair("l", "h"), c.expected);
}

const std::string kSecondSection = ">> warning: more than one section in boot loader table\n";

INSTANTIATE_TEST_SUITE_P(
    Layouts, BootTableTest,
    ::testing::Values(
        BootCase{
            "device 48 without a boot kind: swwsr and bscr",
            kDevice48,
            {kText},
            {"-boot"},
            "",
            layout({{0, {0x10AA, 0x7FFF, 0xF800, 0xFFFF, 0xFFFF, 2, 0, 0x80, 0x1234, 0x5678, 0}}})},
        BootCase{
            "device 48 PARALLEL: the same registers as no kind",
            kDevice48,
            {kText},
            {"-boot", "-bootorg", "PARALLEL"},
            "",
            layout({{0, {0x10AA, 0x7FFF, 0xF800, 0xFFFF, 0xFFFF, 2, 0, 0x80, 0x1234, 0x5678, 0}}})},
        BootCase{
            "device 48 COMM: spc, tcsr, trta",
            kDevice48,
            {kText},
            {"-boot", "-bootorg", "COMM"},
            "",
            layout({{0, {0x10AA, 0x18, 0, 1, 0xFFFF, 0xFFFF, 2, 0, 0x80, 0x1234, 0x5678, 0}}})},
        BootCase{"device 48 COMM with register options",
                 kDevice48,
                 {kText},
                 {"-boot", "-bootorg", "COMM", "-spc", "0x1111", "-tcsr", "0x2222", "-trta",
                  "0x3333", "-spce", "0x4444"},
                 "",
                 layout({{0,
                          {0x10AA, 0x1111, 0x2222, 0x3333, 0xFFFF, 0xFFFF, 2, 0, 0x80, 0x1234,
                           0x5678, 0}}})},
        BootCase{"device 48 SERIAL with two sections: two blocks, no warning",
                 kDevice48,
                 {kText, kData},
                 {"-boot", "-bootorg", "SERIAL"},
                 "",
                 layout({{0,
                          {0x10AA, 0x18, 3, 0x800, 0x10, 0xFFFF, 0xFFFF, 2, 0, 0x80, 0x1234, 0x5678,
                           1, 0, 0x200, 0xAAAA, 0}}})},
        BootCase{
            "-e splits the entry point into high and low word",
            kDevice48,
            {kText},
            {"-boot", "-e", "0x12345"},
            "",
            layout({{0, {0x10AA, 0x7FFF, 0xF800, 0x0001, 0x2345, 2, 0, 0x80, 0x1234, 0x5678, 0}}})},
        BootCase{
            "a destination above 16 bits fills the high word",
            kDevice48,
            {Section{.name = ".far", .virtual_address = 0x12345, .words = {0x0BAD}}},
            {"-boot"},
            "",
            layout({{0, {0x10AA, 0x7FFF, 0xF800, 0xFFFF, 0xFFFF, 1, 0x0001, 0x2345, 0x0BAD, 0}}})},
        BootCase{
            "-bootorg address moves the table",
            kDevice48,
            {kText},
            {"-boot", "-bootorg", "0x400"},
            "",
            layout({{0x400,
                     {0x10AA, 0x7FFF, 0xF800, 0xFFFF, 0xFFFF, 2, 0, 0x80, 0x1234, 0x5678, 0}}})},
        BootCase{
            "boot attribute on one section: the other stays at its address",
            kDevice48,
            {kText, kData},
            {"-bootorg", "0x400"},
            "SECTIONS { .text: boot .data: }\n",
            layout({{0x200, {0xAAAA}},
                    {0x400,
                     {0x10AA, 0x7FFF, 0xF800, 0xFFFF, 0xFFFF, 2, 0, 0x80, 0x1234, 0x5678, 0}}})},
        BootCase{"device 45: destination then size, one warning at the second block",
                 kDevice45,
                 {kText, kData},
                 {"-boot"},
                 "",
                 layout({{0, {0x80, 2, 0x1234, 0x5678, 0x200, 1, 0xAAAA, 0}}}),
                 kSecondSection},
        BootCase{"device 0, one section: size minus 1, no warning",
                 kDevice0,
                 {kText},
                 {"-boot"},
                 "",
                 layout({{0, {0x80, 1, 0x1234, 0x5678, 0}}})},
        BootCase{"device 0, three sections: one warning, one end word",
                 kDevice0,
                 {kText, kData, kConst},
                 {"-boot"},
                 "",
                 layout({{0,
                          {0x80, 1, 0x1234, 0x5678, 0x200, 0, 0xAAAA, 0x300, 2, 0xC0C0, 0xC1C1,
                           0xC2C2, 0}}}),
                 kSecondSection},
        BootCase{
            "WARM: six words before the first section after the table",
            kDevice48,
            {kText},
            {"-bootorg", "WARM"},
            "",
            layout({{0, {0x10AA, 0x7FFF, 0xF800, 0, 0xFFFF, 0xFFFF}}, {0x80, {0x1234, 0x5678}}})},
        BootCase{"WARM between two sections",
                 kDevice48,
                 {kText, kData},
                 {"-warm", "-bootorg", "0x100", "-e", "0x80"},
                 "",
                 layout({{0x80, {0x1234, 0x5678}},
                         {0x100, {0x10AA, 0x7FFF, 0xF800, 0, 0, 0x80}},
                         {0x200, {0xAAAA}}})},
        BootCase{"WARM after every section: written at the end",
                 kDevice48,
                 {kText},
                 {"-warm", "-bootorg", "0x1000"},
                 "",
                 layout({{0x80, {0x1234, 0x5678}},
                         {0x1000, {0x10AA, 0x7FFF, 0xF800, 0, 0xFFFF, 0xFFFF}}})},
        BootCase{"WARM with device 45 writes nothing",
                 kDevice45,
                 {kText},
                 {"-bootorg", "WARM"},
                 "",
                 layout({{0x80, {0x1234, 0x5678}}})},
        // The warm header is the table's header: it is written once, the
        // blocks follow it, and a warm table has no end word.
        BootCase{
            "WARM with a boot-loaded section, header before the section",
            kDevice48,
            {kText},
            {"-bootorg", "WARM", "-boot"},
            "",
            layout({{0, {0x10AA, 0x7FFF, 0xF800, 0, 0xFFFF, 0xFFFF, 2, 0, 0x80, 0x1234, 0x5678}}})},
        BootCase{
            "WARM with a boot-loaded section, header from the block",
            kDevice48,
            {kText},
            {"-warm", "-bootorg", "0x100", "-boot"},
            "",
            layout({{0x100,
                     {0x10AA, 0x7FFF, 0xF800, 0, 0xFFFF, 0xFFFF, 2, 0, 0x80, 0x1234, 0x5678}}})},
        // Each record piece of a RAM-model .cinit is a block of its own whose
        // size counts data words, like an ordinary section's.
        BootCase{"boot-loaded RAM-model .cinit: one block per record",
                 kDevice48,
                 {kText,
                  Section{.name = ".bss",
                          .virtual_address = 0x300,
                          .size_in_words = 0x20,
                          .flags = coff_builder::kSectionUninitialized},
                  coff_builder::cinit_section({{0x300, {1, 2, 3}}, {0x310, {4, 5}}}, 0x2000)},
                 {"-boot"},
                 "",
                 layout({{0, {0x10AA, 0x7FFF, 0xF800, 0xFFFF, 0xFFFF, 2, 0, 0x80,
                              0x1234, 0x5678, 3,      0,      0x300,  1, 2, 3,
                              2,      0,      0x310,  4,      5,      0}}})},
        BootCase{"a table over another section's data: warning, the rest written",
                 kDevice48,
                 {Section{.name = ".text", .virtual_address = 0x80, .words = {1, 2, 3, 4}}, kData},
                 {"-bootorg", "2"},
                 "SECTIONS { .text: paddr = 0 .data: boot }\n",
                 layout({{0, {1, 2, 3, 4, 0xF800, 0xFFFF, 0xFFFF, 1, 0, 0x200, 0xAAAA, 0}}}),
                 ">> warning: boot table at 02h overlaps section .text (table incomplete)\n"},
        BootCase{"a table outside every range: warning, nothing written",
                 kDevice48,
                 {kText, kData},
                 {"-bootorg", "0x2000"},
                 "SECTIONS { .text: .data: boot }\n"
                 "ROMS { R: o = 0, l = 0x1000, files = { l, h } }\n",
                 layout({{0x80, {0x1234, 0x5678}}}),
                 ">> warning: boot table falls in unconfigured memory at 02000h\n"}),
    [](const auto& info) { return std::to_string(info.index); });

// A table in memory one byte wide: the keyword says so and every table word
// takes two address units, most significant byte first by default with -boot.
struct NarrowCase {
    const char* what;
    std::vector<std::string> options;
    std::map<uint32_t, uint8_t> expected;
    friend void PrintTo(const NarrowCase& c, std::ostream* os) { *os << c.what; }
};

std::map<uint32_t, uint8_t> bytes_at(uint32_t address, std::vector<uint8_t> values) {
    std::map<uint32_t, uint8_t> bytes;
    for (size_t i = 0; i < values.size(); ++i)
        bytes[address + static_cast<uint32_t>(i)] = values[i];
    return bytes;
}

class NarrowTableTest : public ::testing::TestWithParam<NarrowCase> {};

TEST_P(NarrowTableTest, TakesTwoUnitsPerWord) {
    ScratchDir dir;
    CoffImage image;
    image.extra_file_flags = kDevice48;
    image.sections = {kText};
    coff_builder::write_file("in.out", image);
    write_file("rom.cmd",
               "ROMS { R: o = 0, l = 0x1000, memwidth = 8, romwidth = 8, files = { r } }\n");
    std::vector<std::string> arguments = {"-q", "-a", "in.out", "rom.cmd", "-boot"};
    arguments.insert(arguments.end(), GetParam().options.begin(), GetParam().options.end());

    RunResult result = run_romcvt(arguments);

    EXPECT_EQ(result.console, "");
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(read_ascii_hex("r"), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Narrow, NarrowTableTest,
    ::testing::Values(NarrowCase{"at the range origin, default order MS",
                                 {},
                                 bytes_at(0, {0x08, 0xAA, 0x7F, 0xFF, 0xF8, 0x00, 0xFF, 0xFF,
                                              0xFF, 0xFF, 0x00, 0x02, 0x00, 0x00, 0x00, 0x80,
                                              0x12, 0x34, 0x56, 0x78, 0x00, 0x00})},
                      NarrowCase{"-bootorg inside the range",
                                 {"-bootorg", "0x21"},
                                 bytes_at(0x21, {0x08, 0xAA, 0x7F, 0xFF, 0xF8, 0x00, 0xFF, 0xFF,
                                                 0xFF, 0xFF, 0x00, 0x02, 0x00, 0x00, 0x00, 0x80,
                                                 0x12, 0x34, 0x56, 0x78, 0x00, 0x00})},
                      NarrowCase{"-order LS puts the low byte first",
                                 {"-order", "LS"},
                                 bytes_at(0, {0xAA, 0x08, 0xFF, 0x7F, 0x00, 0xF8, 0xFF, 0xFF,
                                              0xFF, 0xFF, 0x02, 0x00, 0x00, 0x00, 0x80, 0x00,
                                              0x34, 0x12, 0x78, 0x56, 0x00, 0x00})}),
    [](const auto& info) { return std::to_string(info.index); });

// -boot makes MS the default byte order (see the narrow tables above); a
// warm boot alone has no boot-loaded section and keeps the order of the data.
// The keyword tells the 8-bit memory at the table address.
TEST(BootByteOrder, WarmBootAloneKeepsTheDataOrder) {
    ScratchDir dir;
    CoffImage image;
    image.extra_file_flags = kDevice48;
    image.sections = {Section{.name = ".text", .virtual_address = 0x10, .words = {0x1234}}};
    coff_builder::write_file("in.out", image);
    write_file("rom.cmd",
               "ROMS { R: o = 0, l = 0x1000, memwidth = 8, romwidth = 8, files = { r } }\n"
               "SECTIONS { .text: paddr = 0x20 }\n");

    RunResult result = run_romcvt({"-q", "-a", "in.out", "rom.cmd", "-warm", "-bootorg", "0x40"});

    ASSERT_EQ(result.exit_status, 0) << result.console;
    std::map<uint32_t, uint8_t> expected = bytes_at(0x20, {0x34, 0x12});
    expected.merge(
        bytes_at(0x40, {0xAA, 0x08, 0xFF, 0x7F, 0x00, 0xF8, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(read_ascii_hex("r"), expected);
}

// Table words of a section with 8-bit data are still 16-bit words.
TEST(BootTableWords, KeepTheirValueForEightBitData) {
    ScratchDir dir;
    CoffImage image;
    image.extra_file_flags = kDevice48;
    image.sections = {Section{.name = ".text", .virtual_address = 0x80, .words = {0x11, 0x22}}};
    coff_builder::write_file("in.out", image);
    write_file("rom.cmd", "SECTIONS { .text: paddr = boot, datawidth = 8 }\n");

    RunResult result = run_romcvt({"-q", "-a", "in.out", "-o", "l", "-o", "h", "rom.cmd"});

    ASSERT_EQ(result.exit_status, 0) << result.console;
    // Two 8-bit data words share one memory word, the lower address more
    // significant with the default MS order.
    EXPECT_EQ(read_ascii_hex_pair("l", "h"),
              layout({{0, {0x10AA, 0x7FFF, 0xF800, 0xFFFF, 0xFFFF, 2, 0, 0x80, 0x1122, 0}}}));
}

}  // namespace

namespace {

// Tables on page 1, read from the files of each page's range.
struct PageCase {
    const char* what;
    std::vector<Section> sections;
    std::vector<std::string> options;
    Words page0;
    Words page1;
    friend void PrintTo(const PageCase& c, std::ostream* os) { *os << c.what; }
};

class BootPageTest : public ::testing::TestWithParam<PageCase> {};

Words words_of(const std::string& low, const std::string& high) {
    if (!std::filesystem::exists(low)) return {};
    return read_ascii_hex_pair(low, high);
}

TEST_P(BootPageTest, PutsTheTableOnTheBootPage) {
    const PageCase& c = GetParam();
    ScratchDir dir;
    CoffImage image;
    image.extra_file_flags = kDevice48;
    image.sections = c.sections;
    coff_builder::write_file("in.out", image);
    write_file("rom.cmd",
               "ROMS { PAGE 0: A: o = 0, l = 0x1000, files = { l0, h0 }\n"
               "       PAGE 1: B: o = 0, l = 0x1000, files = { l1, h1 } }\n");
    std::vector<std::string> arguments = {"-q", "-a", "in.out", "rom.cmd"};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());

    RunResult result = run_romcvt(arguments);

    EXPECT_EQ(result.console, "");
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(words_of("l0", "h0"), c.page0);
    EXPECT_EQ(words_of("l1", "h1"), c.page1);
}

const Section kPage1Data{.name = ".data", .virtual_address = 0x200, .words = {0xAAAA}, .page = 1};

INSTANTIATE_TEST_SUITE_P(
    Pages, BootPageTest,
    ::testing::Values(
        PageCase{
            "-bootpage 1 with boot-loaded sections",
            {kText},
            {"-boot", "-bootpage", "1", "-bootorg", "0x10"},
            {},
            layout({{0x10,
                     {0x10AA, 0x7FFF, 0xF800, 0xFFFF, 0xFFFF, 2, 0, 0x80, 0x1234, 0x5678, 0}}})},
        // The warm-boot header always goes to the boot page, whichever
        // section was routed last.
        PageCase{"warm header on page 1 written at the end",
                 {kText},
                 {"-warm", "-bootpage", "1", "-bootorg", "0x10"},
                 layout({{0x80, {0x1234, 0x5678}}}),
                 layout({{0x10, {0x10AA, 0x7FFF, 0xF800, 0, 0xFFFF, 0xFFFF}}})},
        PageCase{"warm header on page 1 before a page-1 section",
                 {kText, kPage1Data},
                 {"-warm", "-bootpage", "1", "-bootorg", "0x100"},
                 layout({{0x80, {0x1234, 0x5678}}}),
                 layout({{0x100, {0x10AA, 0x7FFF, 0xF800, 0, 0xFFFF, 0xFFFF}}, {0x200, {0xAAAA}}})},
        PageCase{"warm header on page 0 before a page-1 section",
                 {kText, kPage1Data},
                 {"-warm", "-bootorg", "0x100"},
                 layout({{0x80, {0x1234, 0x5678}},
                         {0x100, {0x10AA, 0x7FFF, 0xF800, 0, 0xFFFF, 0xFFFF}}}),
                 layout({{0x200, {0xAAAA}}})}),
    [](const auto& info) { return std::to_string(info.index); });

}  // namespace
