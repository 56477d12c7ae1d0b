// The main sequence as a user meets it: banner, prompt, progress lines,
// the fatal endings and the exit status.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/test_support.h"
#include "tools/coff_builder/coff_builder.h"

namespace {

using namespace test_support;

const std::string kBanner =
    "KDP7100 COFF/Hex Converter Version 3.10\n"
    "Copyright (c) VANTORIUM firmware team. All rights reserved.\n";
const std::string kTranslating = "Translating in.out to ASCII-Hex format...\n";
const std::string kProgress = "   \"in.out\"   ==> .text\n";

struct DriverCase {
    const char* what;
    std::vector<std::string> arguments;
    std::string prompt_answer;
    std::string console;
    int exit_status;
    bool writes_files;
    const char* output_file = "in.a00";
    friend void PrintTo(const DriverCase& c, std::ostream* os) { *os << c.what; }
};

class DriverTest : public ::testing::TestWithParam<DriverCase> {};

TEST_P(DriverTest, PrintsAndEndsAsExpected) {
    ScratchDir dir;
    coff_builder::CoffImage image;
    image.sections.push_back(
        coff_builder::Section{.name = ".text", .virtual_address = 0x80, .words = {1, 2, 3}});
    coff_builder::write_file("in.out", image);
    write_file("junk.bin", "\xFF\xFE junk");
    write_file("bad.cmd", "-a\nROMS x\n");
    write_file("narrow.cmd",
               "ROMS { R: o = 0, l = 0x1000, memwidth = 8, files = { narrow.hex } }\n");
    std::vector<std::string> arguments = GetParam().arguments;

    RunResult result = run_romcvt(arguments, GetParam().prompt_answer);

    EXPECT_EQ(result.console, GetParam().console);
    EXPECT_EQ(result.exit_status, GetParam().exit_status);
    EXPECT_EQ(std::filesystem::exists(GetParam().output_file), GetParam().writes_files);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, DriverTest,
    ::testing::Values(
        DriverCase{"a plain conversion",
                   {"-a", "in.out"},
                   "",
                   kBanner + kTranslating + kProgress,
                   0,
                   true},
        DriverCase{"-q first: no banner and no progress", {"-q", "-a", "in.out"}, "", "", 0, true},
        DriverCase{"-Q acts as -q", {"-Q", "-a", "in.out"}, "", "", 0, true},
        DriverCase{
            "-q later: the banner is already out", {"-a", "in.out", "-q"}, "", kBanner, 0, true},
        DriverCase{"-quiet first hides the banner only",
                   {"-quiet", "-a", "in.out"},
                   "",
                   ">> warning: invalid option: -quiet\n" + kTranslating + kProgress,
                   0,
                   true},
        DriverCase{"no arguments: prompt, empty answer",
                   {},
                   "\n",
                   kBanner + "   Input file [.out]: >> cannot open input file .out\n",
                   255,
                   false},
        DriverCase{"options only: the answer at the prompt is converted",
                   {"-a"},
                   "in\n",
                   kBanner + "   Input file [.out]: " + kTranslating + kProgress,
                   0,
                   true},
        DriverCase{"end of input at the prompt counts as an empty line",
                   {"-a"},
                   "",
                   kBanner + "   Input file [.out]: >> cannot open input file .out\n",
                   255,
                   false},
        DriverCase{"a rejected file: no prompt, no input",
                   {"-a", "junk.bin"},
                   "",
                   kBanner + ">> warning: illegal input file type: junk.bin ignored\n" +
                       ">> no input files (aborting)\n",
                   255,
                   false},
        DriverCase{"a syntax error stops the run before any output",
                   {"-a", "bad.cmd", "in.out"},
                   "",
                   kBanner + "ROMS x\n\"bad.cmd\", line 2: syntax error\n" +
                       ">> fatal errors prevent conversion (aborting)\n",
                   255,
                   false},
        DriverCase{"a warning keeps exit status 0",
                   {"-a", "in.out", "-rom"},
                   "",
                   kBanner + ">> warning: invalid option: -rom\n" + kTranslating + kProgress,
                   0,
                   true},
        DriverCase{"an error found during conversion: files finished, status 255",
                   {"-a", "in.out", "narrow.cmd"},
                   "",
                   kBanner + ">> Warning: Use of memwidth in ROMS without paddr in SECTIONS.\n" +
                       kTranslating + kProgress,
                   255,
                   true,
                   "narrow.hex"},
        DriverCase{"no format option: Extended Tektronix, the start value",
                   {"in.out"},
                   "",
                   kBanner + "Translating in.out to Extended Tektronix format...\n" + kProgress,
                   0,
                   true,
                   "in.x00"},
        // A ROM word wider than a record line holds ends the run before any
        // output instead of overrunning the line.
        DriverCase{"a ROM word too wide for the record format",
                   {"-i", "-romwidth", "256", "in.out"},
                   "",
                   kBanner + ">> Intel output takes ROM words of at most 128 bits (aborting)\n",
                   255,
                   false,
                   "in.i00"},
        DriverCase{"the widest ROM word a record format takes",
                   {"-q", "-i", "-romwidth", "128", "in.out"},
                   "",
                   "",
                   0,
                   true,
                   "in.i00"},
        // Map files and boot tables are written like the record files.
        DriverCase{"a map file",
                   {"-a", "in.out", "-map", "in.map"},
                   "",
                   kBanner + kTranslating + kProgress,
                   0,
                   true},
        DriverCase{"a boot table",
                   {"-a", "in.out", "-boot"},
                   "",
                   kBanner + kTranslating + "   \"in.out\"   ==> .text \t(BOOT LOAD)\n",
                   0,
                   true}),
    [](const auto& info) { return std::to_string(info.index); });

}  // namespace
