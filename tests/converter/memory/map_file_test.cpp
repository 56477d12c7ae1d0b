// Whole map files, compared line for line with only the date masked.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>

#include "tests/support/test_support.h"
#include "tools/coff_builder/coff_builder.h"

namespace {

using namespace test_support;
using coff_builder::CoffImage;
using coff_builder::Section;

const std::string kStars(51, '*');
const std::string kRule(67, '-');

// The header down to the format line; the date line reads "<date>".
std::string header_top(const std::string& format = "ASCII-Hex") {
    return kStars + "\nKDP7100 COFF/Hex Converter             Version 3.10\n" + kStars +
           "\n<date>\n\nINPUT FILE NAME: <in.out>\nOUTPUT FORMAT:   " + format +
           "\n\nPHYSICAL MEMORY PARAMETERS\n";
}

const std::string kDefaultWidths =
    "   Default data width:    16\n"
    "   Default memory width:  16\n"
    "   Default output width:  8\n";

std::string title(const std::string& line) {
    return "\n" + kRule + "\n" + line + "\n" + kRule + "\n";
}

const std::string kMapStart = "\n\nOUTPUT TRANSLATION MAP";
const std::string kEmptyPage1 =
    title("00000000..00ffffff  Page=1  Memory Width=16  ROM Width=8  \"*DEFAULT PAGE 1*\"") +
    "   NO CONTENTS\n";

// "Tue Mar  5 09:07:30 2024": the asctime layout, checked field by field.
bool looks_like_asctime(const std::string& date) {
    static const std::string kDays = "MonTueWedThuFriSatSun";
    static const std::string kMonths = "JanFebMarAprMayJunJulAugSepOctNovDec";
    auto digit = [&](size_t i) { return std::isdigit(static_cast<unsigned char>(date[i])) != 0; };
    if (date.size() != 24) return false;
    size_t day_at = kDays.find(date.substr(0, 3));
    size_t month_at = kMonths.find(date.substr(4, 3));
    bool day = day_at != std::string::npos && day_at % 3 == 0;
    bool month = month_at != std::string::npos && month_at % 3 == 0;
    return day && month && date[3] == ' ' && date[7] == ' ' &&
           (date[8] == ' ' || (date[8] >= '1' && date[8] <= '3')) && digit(9) && date[10] == ' ' &&
           digit(11) && digit(12) && date[13] == ':' && digit(14) && digit(15) && date[16] == ':' &&
           digit(17) && digit(18) && date[19] == ' ' && digit(20) && digit(21) && digit(22) &&
           digit(23);
}

// The map file with CR LF turned into "\n" and the date line masked. Fails
// the test when a line end is not CR LF or the date is not in asctime layout.
std::string read_map(const std::string& name) {
    std::string text = read_file(name);
    std::string lines;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        EXPECT_FALSE(text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) << "bare LF at " << i;
        EXPECT_NE(text[i], '\r') << "bare CR at " << i;
        lines += text[i];
    }
    size_t start = lines.find('\n', lines.find(kStars, lines.find(kStars) + 1)) + 1;
    size_t end = lines.find('\n', start);
    if (end == std::string::npos) return lines;
    std::string date = lines.substr(start, end - start);
    EXPECT_TRUE(looks_like_asctime(date)) << date;
    return lines.substr(0, start) + "<date>" + lines.substr(end);
}

struct MapCase {
    const char* what;
    std::vector<Section> sections;
    std::vector<std::string> arguments;  // after "-q -a in.out -map in.map"
    std::string command_file;
    std::string expected;
    uint16_t device_flags = 0;
    std::string console = "";
    friend void PrintTo(const MapCase& c, std::ostream* os) { *os << c.what; }
};

class MapFileTest : public ::testing::TestWithParam<MapCase> {};

TEST_P(MapFileTest, WritesTheWholeMap) {
    const MapCase& c = GetParam();
    ScratchDir dir;
    CoffImage image;
    image.extra_file_flags = c.device_flags;
    image.sections = c.sections;
    coff_builder::write_file("in.out", image);
    std::vector<std::string> arguments = {"-q", "-a", "in.out", "-map", "in.map"};
    if (!c.command_file.empty()) {
        write_file("rom.cmd", c.command_file);
        arguments.push_back("rom.cmd");
    }
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());

    RunResult result = run_romcvt(arguments);

    EXPECT_EQ(result.console, c.console);
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(read_map("in.map"), c.expected);
}

const Section kText16{
    .name = ".text", .virtual_address = 0x10, .words = coff_builder::ramp_words(0x10)};
const Section kData16{
    .name = ".data", .virtual_address = 0x20, .words = coff_builder::ramp_words(0x10)};
const Section kText{.name = ".text", .virtual_address = 0x80, .words = {0x1234, 0x5678}};
const Section kData{.name = ".data", .virtual_address = 0x200, .words = {0xAAAA}};

const std::string kRangeR =
    title("00000000..000000ff  Page=0  Memory Width=16  ROM Width=8  \"R\"") +
    "   OUTPUT FILES: lo [b0..b7]\n"
    "                 hi [b8..b15]\n";
const std::string kRangeRCommand = "ROMS { R: o = 0, l = 0x100, files = { lo, hi } }\n";

const std::string kDefaultRange0 =
    title("00000000..00ffffff  Page=0  Memory Width=16  ROM Width=8") +
    "   OUTPUT FILES: in.a00 [b0..b7]\n"
    "                 in.a01 [b8..b15]\n";

const std::string kRegisters =
    "REGISTERS\n"
    "   spc:               %s\n"
    "   spce:                     3\n"
    "   arr:                    800\n"
    "   bkr:                     10\n"
    "   tcsr:                     0\n"
    "   trta:                     1\n"
    "   swwsr:                 7fff\n"
    "   bscr                   f800\n";

std::string registers(const std::string& spc) {
    std::string text = kRegisters;
    return text.replace(text.find("%s"), 2, spc);
}

INSTANTIATE_TEST_SUITE_P(
    Maps, MapFileTest,
    ::testing::Values(
        MapCase{"image mode: fill before and after, none between back-to-back sections",
                {kText16, kData16},
                {"-image", "-fill", "0xFFFF"},
                kRangeRCommand,
                header_top() + kDefaultWidths + kMapStart + kRangeR +
                    "\n   CONTENTS: 00000000..0000000f   FILL = 0000ffff\n"
                    "             00000010..0000001f   .text Data Width=2   \n"
                    "             00000020..0000002f   .data Data Width=2   \n"
                    "             00000030..000000ff   FILL = 0000ffff\n"},
        MapCase{"image mode: one section at the origin, fill only after it",
                {Section{.name = ".text", .virtual_address = 0, .words = {1, 2}}},
                {"-image"},
                kRangeRCommand,
                header_top() + kDefaultWidths + kMapStart + kRangeR +
                    "\n   CONTENTS: 00000000..00000001   .text Data Width=2   \n"
                    "             00000002..000000ff   FILL = 00000000\n"},
        MapCase{"image mode: a range without data lists its files only",
                {kText16},
                {"-image"},
                "ROMS { R: o = 0, l = 0x100, files = { lo, hi }\n"
                "       E: o = 0x100, l = 0x10, romwidth = 16, files = { e } }\n",
                header_top() + kDefaultWidths + kMapStart + kRangeR +
                    "\n   CONTENTS: 00000000..0000000f   FILL = 00000000\n"
                    "             00000010..0000001f   .text Data Width=2   \n"
                    "             00000020..000000ff   FILL = 00000000\n" +
                    title("00000100..0000010f  Page=0  Memory Width=16  ROM Width=16  \"E\"") +
                    "   OUTPUT FILES: e [b0..b15]\n"},
        MapCase{"16-bit data in 8-bit memory, LS order",
                {kText16},
                {"-memwidth", "8"},
                "",
                header_top() +
                    "   Default data width:    16\n"
                    "   Default memory width:  8 (LS-->MS)\n"
                    "   Default output width:  8\n" +
                    kMapStart + title("00000000..00ffffff  Page=0  Memory Width=8  ROM Width=8") +
                    "   OUTPUT FILES: in.a00 [b0..b7]\n"
                    "\n   CONTENTS: 00000020..0000003f   .text Data Width=2   \n" +
                    title("00000000..00ffffff  Page=1  Memory Width=8  ROM Width=8  "
                          "\"*DEFAULT PAGE 1*\"") +
                    "   NO CONTENTS\n"},
        MapCase{"16-bit data in 8-bit memory, -order MS",
                {kText16},
                {"-memwidth", "8", "-order", "MS"},
                "",
                header_top() +
                    "   Default data width:    16\n"
                    "   Default memory width:  8 (MS-->LS)\n"
                    "   Default output width:  8\n" +
                    kMapStart + title("00000000..00ffffff  Page=0  Memory Width=8  ROM Width=8") +
                    "   OUTPUT FILES: in.a00 [b0..b7]\n"
                    "\n   CONTENTS: 00000020..0000003f   .text Data Width=2   \n" +
                    title("00000000..00ffffff  Page=1  Memory Width=8  ROM Width=8  "
                          "\"*DEFAULT PAGE 1*\"") +
                    "   NO CONTENTS\n"},
        MapCase{"8-bit data width shows 1 byte, no arrow when data is narrower",
                {kText16},
                {"-datawidth", "8"},
                "",
                header_top() +
                    "   Default data width:    8\n"
                    "   Default memory width:  16\n"
                    "   Default output width:  8\n" +
                    kMapStart + kDefaultRange0 +
                    "\n   CONTENTS: 00000008..0000000f   .text Data Width=1   \n" + kEmptyPage1},
        MapCase{"an overlapped section is INCOMPLETE",
                {kText16, Section{.name = ".late",
                                  .virtual_address = 0x18,
                                  .words = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}}},
                {},
                "",
                header_top() + kDefaultWidths + kMapStart + kDefaultRange0 +
                    "\n   CONTENTS: 00000010..0000001f   .text Data Width=2   \n"
                    "             00000020..00000021   .late Data Width=2    (INCOMPLETE)\n" +
                    kEmptyPage1,
                0,
                ">> warning: section .late at 018h overlaps .text (.late incomplete or "
                "skipped)\n"},
        MapCase{
            "a section spanning two ranges is listed in both",
            {Section{
                .name = ".text", .virtual_address = 8, .words = coff_builder::ramp_words(0x10)}},
            {},
            "ROMS { A: o = 0, l = 0x10, romwidth = 16, files = { a }\n"
            "       B: o = 0x10, l = 0x10, romwidth = 16, files = { b } }\n",
            header_top() + kDefaultWidths + kMapStart +
                title("00000000..0000000f  Page=0  Memory Width=16  ROM Width=16  \"A\"") +
                "   OUTPUT FILES: a [b0..b15]\n"
                "\n   CONTENTS: 00000008..0000000f   .text Data Width=2   \n" +
                title("00000010..0000001f  Page=0  Memory Width=16  ROM Width=16  \"B\"") +
                "   OUTPUT FILES: b [b0..b15]\n"
                "\n   CONTENTS: 00000010..00000017   .text Data Width=2   \n"},
        MapCase{"sections named in descending order are listed ascending",
                {kText16, kData16},
                {},
                "SECTIONS { .data: .text: }\n",
                header_top() + kDefaultWidths + kMapStart + kDefaultRange0 +
                    "\n   CONTENTS: 00000010..0000001f   .text Data Width=2   \n"
                    "             00000020..0000002f   .data Data Width=2   \n" +
                    kEmptyPage1},
        MapCase{"boot table with device 48 registers",
                {kText, kData},
                {"-boot", "-bootorg", "COMM", "-spc", "0x1234"},
                "",
                header_top() + kDefaultWidths +
                    "\nBOOT LOADER PARAMETERS\n"
                    "   Table Address: 0000, PAGE 0\n" +
                    registers("    1234") + kMapStart + kDefaultRange0 +
                    "\n   CONTENTS: 00000000..0000000f   BOOT TABLE\n"
                    "                            .text : dest=00000080  size=00000002  "
                    "width=00000002\n"
                    "                            .data : dest=00000200  size=00000001  "
                    "width=00000002\n" +
                    kEmptyPage1,
                coff_builder::kFileDevice48},
        MapCase{"boot table with device 45: no register lines",
                {kText},
                {"-boot", "-bootorg", "0x40"},
                "",
                header_top() + kDefaultWidths +
                    "\nBOOT LOADER PARAMETERS\n"
                    "   Table Address: 0040, PAGE 0\n" +
                    kMapStart + kDefaultRange0 +
                    "\n   CONTENTS: 00000040..00000044   BOOT TABLE\n"
                    "                            .text : dest=00000080  size=00000002  "
                    "width=00000002\n" +
                    kEmptyPage1,
                coff_builder::kFileDevice45},
        // Boot-loaded entries are listed in table order, even when their run
        // addresses descend.
        MapCase{"boot entries in table order",
                {kText, kData},
                {},
                "SECTIONS { .data: boot .text: boot }\n",
                header_top() + kDefaultWidths +
                    "\nBOOT LOADER PARAMETERS\n"
                    "   Table Address: 0000, PAGE 0\n" +
                    kMapStart + kDefaultRange0 +
                    "\n   CONTENTS: 00000000..00000007   BOOT TABLE\n"
                    "                            .data : dest=00000200  size=00000001  "
                    "width=00000002\n"
                    "                            .text : dest=00000080  size=00000002  "
                    "width=00000002\n" +
                    kEmptyPage1,
                0,
                ">> warning: more than one section in boot loader table\n"},
        MapCase{"boot table and an ordinary section after it",
                {kText, kData},
                {"-bootorg", "0x40"},
                "SECTIONS { .text: boot .data: }\n",
                header_top() + kDefaultWidths +
                    "\nBOOT LOADER PARAMETERS\n"
                    "   Table Address: 0040, PAGE 0\n" +
                    kMapStart + kDefaultRange0 +
                    "\n   CONTENTS: 00000040..00000044   BOOT TABLE\n"
                    "                            .text : dest=00000080  size=00000002  "
                    "width=00000002\n"
                    "             00000200..00000200   .data Data Width=2   \n" +
                    kEmptyPage1},
        MapCase{"a boot table over a section's data is INCOMPLETE",
                {Section{.name = ".text", .virtual_address = 0x80, .words = {1, 2, 3, 4}}, kData},
                {"-bootorg", "2"},
                "SECTIONS { .text: paddr = 0 .data: boot }\n",
                header_top() + kDefaultWidths +
                    "\nBOOT LOADER PARAMETERS\n"
                    "   Table Address: 0002, PAGE 0\n" +
                    kMapStart + kDefaultRange0 +
                    "\n   CONTENTS: 00000000..00000003   .text Data Width=2   \n"
                    "             00000002..00000005   BOOT TABLE (INCOMPLETE)\n"
                    "                            .data : dest=00000200  size=00000001  "
                    "width=00000002\n" +
                    kEmptyPage1,
                0,
                ">> warning: boot table at 02h overlaps section .text (table incomplete)\n"},
        // In image mode the table is filled around like a section: the fill
        // cursor moves past the table's last word.
        MapCase{"image mode: fill lines around a boot table",
                {kText, kData16},
                {"-image", "-bootorg", "0x8"},
                "SECTIONS { .text: boot .data: }\n" + kRangeRCommand,
                header_top() + kDefaultWidths +
                    "\nBOOT LOADER PARAMETERS\n"
                    "   Table Address: 0008, PAGE 0\n" +
                    kMapStart + kRangeR +
                    "\n   CONTENTS: 00000000..00000007   FILL = 00000000\n"
                    "             00000008..0000000c   BOOT TABLE\n"
                    "                            .text : dest=00000080  size=00000002  "
                    "width=00000002\n"
                    "             0000000d..0000001f   FILL = 00000000\n"
                    "             00000020..0000002f   .data Data Width=2   \n"
                    "             00000030..000000ff   FILL = 00000000\n"},
        MapCase{"warm boot between two sections",
                {kText, kData},
                {"-warm", "-bootorg", "0x100"},
                "",
                header_top() + kDefaultWidths +
                    "\nBOOT LOADER PARAMETERS\n"
                    "WARM BOOT\n"
                    "   Table Address: 0100, PAGE 0\n" +
                    registers("      18") + kMapStart + kDefaultRange0 +
                    "\n   CONTENTS: 00000080..00000081   .text Data Width=2   \n"
                    "             00000100..00000105   BOOT TABLE\n"
                    "             00000200..00000200   .data Data Width=2   \n" +
                    kEmptyPage1,
                coff_builder::kFileDevice48},
        // A warm boot with boot-loaded sections is one table: one line.
        MapCase{"warm boot with a boot-loaded section",
                {kText},
                {"-bootorg", "WARM", "-boot"},
                "",
                header_top() + kDefaultWidths +
                    "\nBOOT LOADER PARAMETERS\n"
                    "WARM BOOT\n"
                    "   Table Address: 0000, PAGE 0\n" +
                    registers("      18") + kMapStart + kDefaultRange0 +
                    "\n   CONTENTS: 00000000..0000000a   BOOT TABLE\n"
                    "                            .text : dest=00000080  size=00000002  "
                    "width=00000002\n" +
                    kEmptyPage1,
                coff_builder::kFileDevice48},
        MapCase{"warm boot alone in the page-1 range",
                {kText},
                {"-warm", "-bootpage", "1", "-bootorg", "0x10"},
                "",
                header_top() + kDefaultWidths +
                    "\nBOOT LOADER PARAMETERS\n"
                    "WARM BOOT\n"
                    "   Table Address: 0010, PAGE 1\n" +
                    registers("      18") + kMapStart + kDefaultRange0 +
                    "\n   CONTENTS: 00000080..00000081   .text Data Width=2   \n" +
                    title("00000000..00ffffff  Page=1  Memory Width=16  ROM Width=8  "
                          "\"*DEFAULT PAGE 1*\"") +
                    "00000010..00000015   BOOT TABLE\n             ",
                coff_builder::kFileDevice48},
        MapCase{"warm boot after every section",
                {kText},
                {"-warm", "-bootorg", "0x1000"},
                "",
                header_top() + kDefaultWidths +
                    "\nBOOT LOADER PARAMETERS\n"
                    "WARM BOOT\n"
                    "   Table Address: 1000, PAGE 0\n" +
                    registers("      18") + kMapStart + kDefaultRange0 +
                    "\n   CONTENTS: 00000080..00000081   .text Data Width=2   \n"
                    "             00001000..00001005   BOOT TABLE\n"
                    "             " +
                    kEmptyPage1,
                coff_builder::kFileDevice48},
        MapCase{"image mode: warm boot in a range of its own",
                {kText16},
                {"-image", "-warm", "-bootorg", "0x104"},
                "ROMS { R: o = 0, l = 0x100, files = { lo, hi }\n"
                "       W: o = 0x100, l = 0x10, romwidth = 16, files = { w } }\n",
                header_top() + kDefaultWidths +
                    "\nBOOT LOADER PARAMETERS\n"
                    "WARM BOOT\n"
                    "   Table Address: 0104, PAGE 0\n" +
                    registers("      18") + kMapStart + kRangeR +
                    "\n   CONTENTS: 00000000..0000000f   FILL = 00000000\n"
                    "             00000010..0000001f   .text Data Width=2   \n"
                    "             00000020..000000ff   FILL = 00000000\n" +
                    title("00000100..0000010f  Page=0  Memory Width=16  ROM Width=16  \"W\"") +
                    "   OUTPUT FILES: w [b0..b15]\n"
                    "\n   CONTENTS: 00000100..00000103   FILL = 00000000\n"
                    "             00000104..00000109   BOOT TABLE\n"
                    "             0000010a..0000010f   FILL = 00000000\n",
                coff_builder::kFileDevice48}),
    [](const auto& info) { return std::to_string(info.index); });

// The loader's command with -map, for a program with .text and a ROM-model
// .cinit on page 0.
TEST(MapFile, LoaderCommandWithMap) {
    ScratchDir dir;
    CoffImage image;
    image.sections = {
        Section{
            .name = ".text", .virtual_address = 0x80, .words = coff_builder::ramp_words(0x1000)},
        Section{
            .name = ".cinit", .virtual_address = 0x1080, .words = coff_builder::ramp_words(0x40)}};
    coff_builder::write_file("fw417.out", image);

    RunResult result =
        run_romcvt({"-a", "fw417.out", "-o", "LSB.tmp", "-o", "MSB.tmp", "-map", "fw.map"});

    ASSERT_EQ(result.exit_status, 0) << result.console;
    std::string expected = header_top();
    expected.replace(expected.find("<in.out>"), 8, "<fw417.out>");
    expected += kDefaultWidths + kMapStart +
                title("00000000..00ffffff  Page=0  Memory Width=16  ROM Width=8") +
                "   OUTPUT FILES: LSB.tmp [b0..b7]\n"
                "                 MSB.tmp [b8..b15]\n"
                "\n   CONTENTS: 00000080..0000107f   .text Data Width=2   \n"
                "             00001080..000010bf   .cinit Data Width=2   \n" +
                kEmptyPage1;
    EXPECT_EQ(read_map("fw.map"), expected);
}

TEST(MapFile, NoMapWithoutTheOption) {
    ScratchDir dir;
    CoffImage image;
    image.sections = {kText};
    coff_builder::write_file("in.out", image);
    ASSERT_EQ(run_romcvt({"-q", "-a", "in.out"}).exit_status, 0);
    for (const auto& entry : std::filesystem::directory_iterator(".")) {
        EXPECT_NE(entry.path().extension(), ".map");
    }
}

// A run stopped before conversion leaves the map file empty.
TEST(MapFile, StaysEmptyWhenTheRunStopsEarly) {
    ScratchDir dir;
    CoffImage image;
    image.sections = {kText};
    coff_builder::write_file("in.out", image);
    write_file("bad.cmd", "ROMS x\n");
    EXPECT_EQ(run_romcvt({"-q", "-a", "in.out", "-map", "in.map", "bad.cmd"}).exit_status, 255);
    EXPECT_EQ(read_file("in.map"), "");
}

}  // namespace
