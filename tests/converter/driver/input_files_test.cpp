#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/converter/driver/command_input_fixture.h"

namespace {

using command_input_test::CommandInputTest;
using test_support::write_bytes;
using test_support::write_file;

struct MarkCase {
    std::vector<uint8_t> bytes;
    const char* outcome;  // "coff", "command" or "illegal"
};

TEST_F(CommandInputTest, TellsFileKindsByTheirFirstTwoBytes) {
    const MarkCase cases[] = {
        {{0xC0, 0x00, 0xFF}, "coff"}, {{0xC1, 0x00}, "coff"},
        {{0xC2, 0x00}, "coff"},       {{0x98, 0x00}, "coff"},
        {{0x00, 0xC2}, "coff"},  // the other byte order
        {{0x00, 0x98}, "coff"},       {{'-', 'q', '\n'}, "command"},
        {{'\n', '\n'}, "command"},    {{0xEF, 0xBB, 0xBF, '-', 'q'}, "illegal"},  // byte-order mark
        {{'a', 0x80}, "illegal"},     {{0xC3, 0x00}, "illegal"},
    };
    for (const MarkCase& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        out_.str("");
        run_.settings = romcvt::ConversionSettings{};
        write_bytes("in.bin", c.bytes);
        ASSERT_TRUE(open("in.bin"));
        std::string outcome = "command";
        if (run_.settings.input_name) {
            outcome = "coff";
            EXPECT_EQ(*run_.settings.input_name, "in.bin");
            ASSERT_TRUE(run_.settings.input_stream);
            EXPECT_EQ(std::ftell(run_.settings.input_stream.get()), 0);
            EXPECT_EQ(std::fgetc(run_.settings.input_stream.get()), c.bytes[0]);
        } else if (!out_.str().empty()) {
            outcome = "illegal";
            EXPECT_EQ(out_.str(), ">> warning: illegal input file type: in.bin ignored\n");
        }
        EXPECT_EQ(outcome, c.outcome);
        if (outcome != "illegal") {
            EXPECT_EQ(out_.str(), "");
        }
    }
}

TEST_F(CommandInputTest, AddsOutExtensionOnlyWhenThereIsNone) {
    write_coff("fw417.out");
    ASSERT_TRUE(open("fw417"));
    EXPECT_EQ(run_.settings.input_name, "fw417.out");

    std::filesystem::create_directory("dir.old");
    write_coff("dir.old/fw.out");
    ASSERT_TRUE(open("dir.old/fw"));
    EXPECT_EQ(out_.str(), ">> warning: multiple COFF files: dir.old/fw.out ignored\n");
    EXPECT_EQ(run_.settings.input_name, "fw417.out");

    write_file("x.cmd", "-a\n");
    ASSERT_TRUE(open("x.cmd"));
    EXPECT_EQ(run_.settings.format, 8);
}

TEST_F(CommandInputTest, MissingOrShortFilesAreFatal) {
    EXPECT_FALSE(open("absent"));
    EXPECT_EQ(console(), ">> cannot open input file absent.out\n");

    out_.str("");
    write_file("empty.out", "");
    EXPECT_FALSE(open("empty"));
    EXPECT_EQ(console(), ">> cannot read input file empty.out\n");

    out_.str("");
    write_file("one.cmd", "-");
    EXPECT_FALSE(open("one.cmd"));
    EXPECT_EQ(console(), ">> cannot read input file one.cmd\n");

    out_.str("");
    std::filesystem::create_directory("folder.out");
    EXPECT_FALSE(open("folder.out"));
    EXPECT_EQ(console(), ">> cannot read input file folder.out\n");
}

TEST_F(CommandInputTest, NamesLongerThan255CharactersAreRefused) {
    // 251 characters plus ".out" is the longest name taken.
    std::string longest(251, 'f');
    write_coff(longest + ".out");
    ASSERT_TRUE(open(longest));
    EXPECT_EQ(run_.settings.input_name, longest + ".out");
    EXPECT_EQ(console(), "");

    std::string too_long(252, 'g');
    ASSERT_TRUE(open(too_long));
    EXPECT_EQ(console(), ">> input file name longer than 255 characters: " + std::string(32, 'g') +
                             "... ignored\n");
    EXPECT_EQ(run_.diag.error_level(), 1);

    out_.str("");
    ASSERT_TRUE(open(std::string(5000, 'h') + ".cmd"));
    EXPECT_EQ(console(), ">> input file name longer than 255 characters: " + std::string(32, 'h') +
                             "... ignored\n");
}

TEST_F(CommandInputTest, UnseekableInputIsFatal) {
    ASSERT_EQ(mkfifo("pipe.out", 0600), 0);
    std::thread writer([] {
        std::ofstream pipe("pipe.out", std::ios::binary);
        pipe << "-a\n";
    });
    bool survived = open("pipe.out");
    writer.join();
    EXPECT_FALSE(survived);
    EXPECT_EQ(console(), ">> cannot read input file pipe.out\n");
}

TEST_F(CommandInputTest, CommandFileMessagesCarryItsNameAndLineUntilItEnds) {
    write_file("inner.cmd", "-a\n");
    write_coff("fw.out");
    std::string text = parse("-q\n\n-i\ninner.cmd\nfw\n-bogus\n");
    EXPECT_EQ(text,
              "\"rom.cmd\", line 4: warning: nested command file: inner.cmd ignored\n"
              "\"rom.cmd\", line 6: warning: invalid option: -bogus\n");
    EXPECT_EQ(run_.settings.format, 1);  // the nested file was not read
    EXPECT_TRUE(run_.settings.quiet);
    EXPECT_EQ(run_.settings.input_name, "fw.out");
    EXPECT_FALSE(run_.diag.in_command_file());

    run_.diag.report(romcvt::kWarning, "after");
    EXPECT_EQ(console(), text + ">> warning: after\n");
}

TEST_F(CommandInputTest, CommandFileCannotNameItself) {
    // A command file named inside a command file is refused even when it is
    // the file being parsed.
    EXPECT_EQ(parse("rom.cmd\n-a\n"),
              "\"rom.cmd\", line 1: warning: nested command file: rom.cmd ignored\n");
    EXPECT_EQ(run_.settings.format, 8);
}

TEST_F(CommandInputTest, FatalMessageInsideCommandFileLeavesItCleanly) {
    write_file("rom.cmd", "-a\nmissing\n-q\n");
    EXPECT_FALSE(open("rom.cmd"));
    EXPECT_EQ(console(), "\"rom.cmd\", line 2: cannot open input file missing.out\n");
    EXPECT_FALSE(run_.diag.in_command_file());
    EXPECT_FALSE(run_.settings.quiet);
}

}  // namespace
