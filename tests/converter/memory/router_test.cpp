// The router seen through whole conversions: command files place sections
// into ranges, and the files and console show where every word went.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/test_support.h"
#include "tools/coff_builder/coff_builder.h"

namespace {

using namespace test_support;
using coff_builder::CoffImage;
using coff_builder::Section;

CoffImage one_section(uint32_t address, std::vector<uint16_t> words, uint16_t page = 0) {
    CoffImage image;
    image.sections.push_back(
        Section{.name = ".t", .virtual_address = address, .words = std::move(words), .page = page});
    return image;
}

// Address lines of an ASCII-Hex file, in order.
std::vector<std::string> address_lines(const std::filesystem::path& path) {
    std::vector<std::string> lines;
    std::string text = read_file(path);
    for (size_t at = text.find("$A"); at != std::string::npos; at = text.find("$A", at + 1)) {
        lines.push_back(text.substr(at, text.find('\r', at) - at));
    }
    return lines;
}

RunResult convert(const CoffImage& image, const std::string& command_file,
                  std::vector<std::string> extra = {}) {
    coff_builder::write_file("in.out", image);
    write_file("rom.cmd", command_file);
    std::vector<std::string> arguments = {"-q", "-a", "in.out", "rom.cmd"};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    return run_romcvt(arguments);
}

TEST(ImageMode, FillsAroundTheSectionWithOneAddressRecord) {
    ScratchDir dir;
    RunResult result =
        convert(one_section(0x180, coff_builder::ramp_words(0x10, 0x5000)),
                "-image -fill 0xABCD\n"
                "ROMS { R: org = 0x100, len = 0x100, romwidth = 16, files = { img } }\n");
    ASSERT_EQ(result.exit_status, 0) << result.console;

    std::map<uint32_t, uint16_t> expected;
    for (uint32_t a = 0x100; a < 0x200; ++a) expected[a] = 0xABCD;
    for (uint32_t i = 0; i < 0x10; ++i) expected[0x180 + i] = static_cast<uint16_t>(0x5000 + i);
    EXPECT_EQ(read_ascii_hex_words("img"), expected);
    EXPECT_EQ(address_lines("img"), std::vector<std::string>{"$A0100,"});
}

TEST(ImageMode, ZeroWritesNoAddressRecordsAndFillsEveryRange) {
    ScratchDir dir;
    RunResult result = convert(one_section(0x180, {0x1111}),
                               "-image -zero\n"
                               "ROMS { A: o = 0x100, l = 4, w = 16, files = { a }\n"
                               "       B: o = 0x180, l = 2, w = 16, files = { b } }\n");
    ASSERT_EQ(result.exit_status, 0) << result.console;
    EXPECT_EQ(read_file("a"), "\x02\r\n00 00 00 00 00 00 00 00 \r\n\x03");
    EXPECT_EQ(read_file("b"), "\x02\r\n11 11 00 00 \r\n\x03");
}

TEST(ImageMode, EightBitMemoryAlternatesTheTwoFillBytes) {
    ScratchDir dir;
    RunResult result =
        convert(one_section(0x10, {0x2211}),
                "-image -fill 0x1234\n"
                "SECTIONS { .t: paddr = 0x104 }\n"
                "ROMS { R: o = 0x100, l = 8, memwidth = 8, romwidth = 8, files = { r } }\n");
    ASSERT_EQ(result.exit_status, 0) << result.console;
    // Little-endian data: the fill's low byte comes first, and the data
    // word's low byte lands at the lower address.
    EXPECT_EQ(read_file("r"), "\x02\r\n$A0100,\r\n34 12 34 12 11 22 34 12 \r\n\x03");
}

TEST(DataWidth, TwoEightBitWordsShareOneMemoryWord) {
    ScratchDir dir;
    RunResult result = convert(one_section(0x100, {0xAA01, 0xBB02, 0xCC03, 0xDD04}),
                               "SECTIONS { .t: datawidth = 8 }\n");
    ASSERT_EQ(result.exit_status, 0) << result.console;
    // The low byte of every 16-bit word is kept; the word at the lower
    // address is the less significant half. The section starts at 0x100 / 2.
    EXPECT_EQ(read_ascii_hex_pair("in.a00", "in.a01"),
              (std::map<uint32_t, uint16_t>{{0x80, 0x0201}, {0x81, 0x0403}}));
}

TEST(DataWidth, OddCountOfEightBitWordsCompletesTheLastMemoryWordWithFill) {
    ScratchDir dir;
    RunResult result = convert(one_section(0x100, {0xAA01, 0xBB02, 0xCC03}),
                               "-fill 0x7788 SECTIONS { .t: datawidth = 8 }\n");
    ASSERT_EQ(result.exit_status, 0) << result.console;
    EXPECT_EQ(read_ascii_hex_pair("in.a00", "in.a01"),
              (std::map<uint32_t, uint16_t>{{0x80, 0x0201}, {0x81, 0x7703}}));
}

TEST(Ranges, DataRunningPastARangeContinuesInTheNextOneAfterTheGap) {
    ScratchDir dir;
    RunResult result = convert(one_section(0x100, coff_builder::ramp_words(0x30, 0x100)),
                               "ROMS { A: o = 0x100, l = 0x10, files = { a.lo, a.hi }\n"
                               "       B: o = 0x120, l = 0x20, files = { b.lo, b.hi } }\n");
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.console.substr(result.console.find(">>")),
              ">> warning: section .t overlaps unconfigured memory at 0110h (.t incomplete)\n");
    std::map<uint32_t, uint16_t> a, b;
    for (uint32_t i = 0; i < 0x10; ++i) a[0x100 + i] = static_cast<uint16_t>(0x100 + i);
    for (uint32_t i = 0x20; i < 0x30; ++i) b[0x100 + i] = static_cast<uint16_t>(0x100 + i);
    EXPECT_EQ(read_ascii_hex_pair("a.lo", "a.hi"), a);
    EXPECT_EQ(read_ascii_hex_pair("b.lo", "b.hi"), b);
}

TEST(Ranges, RestOfAChunkIsDroppedWhenTheNextRangeIsOnAnotherPage) {
    ScratchDir dir;
    RunResult result = convert(one_section(0x100, coff_builder::ramp_words(0x20)),
                               "ROMS { PAGE 0: A: o = 0x100, l = 0x10, files = { a.lo, a.hi }\n"
                               "       PAGE 1: B: o = 0x100, l = 0x20, files = { b.lo, b.hi } }\n");
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_NE(result.console.find(
                  ">> warning: section .t at 0110h falls in unconfigured memory (skipped)\n"),
              std::string::npos)
        << result.console;
    EXPECT_EQ(read_ascii_hex_pair("a.lo", "a.hi").size(), 0x10u);
    EXPECT_FALSE(std::filesystem::exists("b.lo")) << "a range without data opens no files";
}

TEST(Ranges, SectionBelowTheFirstRangeIsSkipped) {
    ScratchDir dir;
    CoffImage image = one_section(0x10, {1, 2});
    image.sections.push_back(Section{.name = ".u", .virtual_address = 0x200, .words = {3}});
    RunResult result = convert(image, "ROMS { A: o = 0x100, l = 0x200, files = { a.lo, a.hi } }\n");
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.console.substr(result.console.find(">>")),
              ">> warning: section .t at 010h falls in unconfigured memory (skipped)\n");
    EXPECT_EQ(read_ascii_hex_pair("a.lo", "a.hi"), (std::map<uint32_t, uint16_t>{{0x200, 3}}));
}

TEST(Ranges, RangeEndingAtTheTopOfTheAddressSpaceIsLeftWhenTheCursorWraps) {
    ScratchDir dir;
    CoffImage image = one_section(0xFFFFFFFC, {1, 2, 3, 4});
    RunResult result =
        convert(image, "ROMS { TOP: o = 0xFFFFFFF0, l = 0x10, files = { t.lo, t.hi } }\n");
    EXPECT_EQ(result.exit_status, 0) << result.console;
    EXPECT_EQ(read_ascii_hex_pair("t.lo", "t.hi"),
              (std::map<uint32_t, uint16_t>{
                  {0xFFFFFFFC, 1}, {0xFFFFFFFD, 2}, {0xFFFFFFFE, 3}, {0xFFFFFFFF, 4}}));
}

TEST(ByteOrder, MostSignificantFirstGivesTheSameFiles) {
    ScratchDir dir;
    CoffImage image = one_section(0x40, coff_builder::random_words(100, 5));
    ASSERT_EQ(convert(image, "-order LS\n").exit_status, 0);
    std::string low = read_file("in.a00"), high = read_file("in.a01");
    ASSERT_EQ(convert(image, "-order MS\n").exit_status, 0);
    EXPECT_EQ(read_file("in.a00"), low);
    EXPECT_EQ(read_file("in.a01"), high);
}

TEST(Sections, BackToBackSectionsShareOneAddressRecordButStartNewLines) {
    ScratchDir dir;
    CoffImage image = one_section(0x100, {0x0101, 0x0202});
    image.sections.push_back(Section{.name = ".u", .virtual_address = 0x102, .words = {0x0303}});
    ASSERT_EQ(convert(image, "/* defaults */\n").exit_status, 0);
    EXPECT_EQ(read_file("in.a00"), "\x02\r\n$A0100,\r\n01 02 \r\n03 \r\n\x03");
}

TEST(Sections, PageOneRangeIsOpenedAfterPageZeroIsClosed) {
    ScratchDir dir;
    CoffImage image = one_section(0x100, {0x0101});
    image.sections.push_back(
        Section{.name = ".p1", .virtual_address = 0x100, .words = {0x0202}, .page = 1});
    RunResult result = convert(image, "/* defaults */\n", {"-o", "zero.lo", "-o", "zero.hi"});
    ASSERT_EQ(result.exit_status, 0) << result.console;
    EXPECT_EQ(read_ascii_hex_pair("zero.lo", "zero.hi"),
              (std::map<uint32_t, uint16_t>{{0x100, 0x0101}}));
    EXPECT_EQ(read_ascii_hex_pair("in.a10", "in.a11"),
              (std::map<uint32_t, uint16_t>{{0x100, 0x0202}}));
}

}  // namespace
