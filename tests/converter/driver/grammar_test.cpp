#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/converter/driver/command_input_fixture.h"

namespace {

using command_input_test::CommandInputTest;

// The completed ranges, one line each; a range dropped by error recovery is
// not among them.
std::string describe_ranges(const romcvt::RunContext& run) {
    std::string text;
    for (const auto& range : run.memory.roms_list) {
        if (range.get() == run.memory.current_range) continue;
        text += romcvt::format("%s p%d o=%x l=%x", range->name.c_str(), range->page, range->origin,
                               range->length);
        if (range->rom_width != -1) text += romcvt::format(" w=%d", range->rom_width);
        if (range->mem_width != -1) text += romcvt::format(" mw=%d", range->mem_width);
        if (range->fill_given) text += romcvt::format(" f=%x", range->fill);
        for (const std::string& file : range->files) text += " [" + file + "]";
        text += "\n";
    }
    return text;
}

std::string describe_sections(const romcvt::RunContext& run) {
    std::string text;
    for (const auto& spec : run.sections.sections_list) {
        if (spec.get() == run.sections.current_spec) continue;
        text += spec->name;
        if (spec->paddr != romcvt::kNotGiven) text += romcvt::format(" paddr=%x", spec->paddr);
        if (spec->data_width != -1) text += romcvt::format(" dw=%d", spec->data_width);
        if (spec->has(romcvt::kBootLoaded)) text += " boot";
        text += "\n";
    }
    return text;
}

// One command file parsed in a fresh run.
struct Parsed {
    std::string console;
    std::string ranges;
    std::string sections;
};

class GrammarTest : public CommandInputTest {
  protected:
    static Parsed parse_alone(const std::string& content) {
        test_support::write_file("rom.cmd", content);
        std::ostringstream out, err;
        std::istringstream in;
        romcvt::RunContext run(out, err, in);
        romcvt::open_input_file(run, "rom.cmd");
        return {out.str(), describe_ranges(run), describe_sections(run)};
    }
};

TEST_F(GrammarTest, AcceptsTheExampleCommandFile) {
    write_coff("fw417.out");
    std::string console = parse(
        "/* two EPROMs */\n"
        "fw417.out\n"
        "-a\n"
        "-map fw417.map\n"
        "ROMS { PAGE 0: EPROM1: org = 0x8000, len = 0x4000, romwidth = 8, "
        "files = { lo.hex, hi.hex } }\n"
        "SECTIONS { .text: paddr = 0x8000  .cinit  .data BOOT }\n");
    EXPECT_EQ(console, "");
    EXPECT_EQ(run_.settings.input_name, "fw417.out");
    EXPECT_EQ(run_.settings.format, 8);
    EXPECT_EQ(run_.settings.map_name, "fw417.map");
    EXPECT_EQ(describe_ranges(run_), "EPROM1 p0 o=8000 l=4000 w=1 [lo.hex] [hi.hex]\n");
    EXPECT_EQ(describe_sections(run_), ".text paddr=8000\n.cinit\n.data boot\n");
    EXPECT_FALSE(run_.lexer.in_directive_mode());
}

struct AcceptCase {
    const char* content;
    const char* ranges;
    const char* sections;
};

TEST_F(GrammarTest, AcceptsDirectiveForms) {
    const AcceptCase cases[] = {
        // Blanks or commas between attributes, optional "=", parentheses.
        {"ROMS { A: o 1 l 1 B o = 2, l = (((3))) w 16 mw 32 f 0xFFFF }",
         "A p0 o=1 l=1\nB p0 o=2 l=3 w=2 mw=4 f=ffff\n", ""},
        {"ROMS{A:ORIGIN=1,LENGTH=2,ROMWIDTH=8,MEMWIDTH=16,FILL=3,FILES={f}}",
         "A p0 o=1 l=2 w=1 mw=2 f=3 [f]\n", ""},
        // PAGE applies to the ranges after it.
        {"ROMS {\n A: o 0 l 16\n PAGE 1:\n B: o 0 l 16\n PAGE 2: C: o 0 l 16 }",
         "A p0 o=0 l=10\nB p1 o=0 l=10\nC p2 o=0 l=10\n", ""},
        // FILES switches to name mode until its closing brace.
        {"ROMS { A: files { c:x.hex, origin o } l 4 }", "A p0 o=0 l=4 [c:x.hex] [origin] [o]\n",
         ""},
        {"ROMS { A: files = { a }, o 1 }", "A p0 o=1 l=ffffff [a]\n", ""},
        // Section entries with and without attributes.
        {"SECTIONS { .a, .b: .c BOOT .d = BOOT, .e : BOOT .f (BOOT) }", "",
         ".a\n.b\n.c boot\n.d boot\n.e boot\n.f boot\n"},
        {"SECTIONS {\n .g: paddr 5 dw 16\n .h paddr = boot\n .i paddr (7), datawidth 8 }", "",
         ".g paddr=5 dw=2\n.h boot\n.i paddr=7 dw=1\n"},
        // Comments and blank lines only: nothing happens.
        {"/* a */\n\n   \n/* b\n c */\n", "", ""},
    };
    for (const AcceptCase& c : cases) {
        SCOPED_TRACE(c.content);
        Parsed parsed = parse_alone(c.content);
        EXPECT_EQ(parsed.console, "");
        EXPECT_EQ(parsed.ranges, c.ranges);
        EXPECT_EQ(parsed.sections, c.sections);
    }
}

struct RefuseCase {
    const char* content;
    const char* console;
};

TEST_F(GrammarTest, RefusesWithTheEchoAndTheLine) {
    const RefuseCase cases[] = {
        {"ROMS { A }\n", "ROMS { A }\n\"rom.cmd\", line 1: syntax error\n"},
        {"ROMS { }\n", "ROMS { }\n\"rom.cmd\", line 1: syntax error\n"},
        {"SECTIONS { }\n", "SECTIONS { }\n\"rom.cmd\", line 1: syntax error\n"},
        {"ROMS { A: o 1, }\n", "ROMS { A: o 1, }\n\"rom.cmd\", line 1: syntax error\n"},
        {"SECTIONS { .t: paddr 1, }\n",
         "SECTIONS { .t: paddr 1, }\n\"rom.cmd\", line 1: syntax error\n"},
        {"ROMS { PAGE (1): A: o 1 }\n", "ROMS { PAGE (\n\"rom.cmd\", line 1: syntax error\n"},
        {"ROMS { PAGE 1 A: o 1 }\n", "ROMS { PAGE 1 A\n\"rom.cmd\", line 1: syntax error\n"},
        // The illegal character is reported while the lookahead is scanned.
        {"ROMS { A: o 1 + 2 }\n",
         "\"rom.cmd\", line 1: illegal input character: 0x2B\n"
         "ROMS { A: o 1 + 2\n\"rom.cmd\", line 1: syntax error\n"},
        {"-a\n-q\nROMS x\n", "ROMS x\n\"rom.cmd\", line 3: syntax error\n"},
        // Tabs in the echo appear as blanks.
        {"\tROMS\tx\n", " ROMS x\n\"rom.cmd\", line 1: syntax error\n"},
        // At end of input the echo is the whole last line.
        {"-a\nROMS", "ROMS\n\"rom.cmd\", line 2: syntax error\n"},
        {"ROMS {   \n", "ROMS {   \n\"rom.cmd\", line 1: syntax error\n"},
        {"ROMS { A: o 1\n", "ROMS { A: o 1\n\"rom.cmd\", line 1: syntax error\n"},
        // A token read ahead from the next line counts that line.
        {"-a\n-\n7\n", "7\n\"rom.cmd\", line 3: syntax error\n"},
    };
    for (const RefuseCase& c : cases) {
        SCOPED_TRACE(c.content);
        EXPECT_EQ(parse_alone(c.content).console, c.console);
    }
}

TEST_F(GrammarTest, StatementErrorSkipsToTheFirstTokenOfALaterLine) {
    std::string console = parse(
        "ROMS x y\n"
        "z -q\n"
        "- 5\n"
        "later -i\n"
        "-m\n");
    EXPECT_EQ(console,
              "ROMS x\n\"rom.cmd\", line 1: syntax error\n"
              "- 5\n\"rom.cmd\", line 3: syntax error\n");
    EXPECT_TRUE(run_.settings.quiet);
    EXPECT_EQ(run_.settings.format, 2);  // -i and then -m applied; "later" was skipped
}

TEST_F(GrammarTest, ErrorRecoveryKeepsTheLexerMode) {
    // After ROMS without its brace, directive mode stays: -o reads as the
    // keyword ORIGIN on the next line.
    std::string console = parse(
        "ROMS x\n"
        "skip -o a.hex\n"
        "x -q\n");
    EXPECT_EQ(console,
              "ROMS x\n\"rom.cmd\", line 1: syntax error\n"
              "skip -o\n\"rom.cmd\", line 2: syntax error\n");
    EXPECT_TRUE(run_.settings.output_names.empty());
    EXPECT_TRUE(run_.settings.quiet);
    EXPECT_TRUE(run_.lexer.in_directive_mode());
}

struct StrayCase {
    const char* content;
    const char* echo;
};

TEST_F(GrammarTest, TokenThatCannotBeginAStatementEndsTheParse) {
    const StrayCase cases[] = {
        {"-a\n5\n-q\n", "5"}, {"-a\n} -q\n", "}"}, {"-a\n( -q\n", "("}, {"-a\n, -q\n", ","},
        {"-a\n: -q\n", ":"},  {"-a\n= -q\n", "="}, {"-a\n{ -q\n", "{"}, {"-a\n0x10 -q\n", "0x10"},
    };
    for (const StrayCase& c : cases) {
        SCOPED_TRACE(c.content);
        test_support::write_file("rom.cmd", c.content);
        std::ostringstream out, err;
        std::istringstream in;
        romcvt::RunContext run(out, err, in);
        romcvt::open_input_file(run, "rom.cmd");
        EXPECT_EQ(out.str(), std::string(c.echo) + "\n\"rom.cmd\", line 2: syntax error\n");
        EXPECT_EQ(run.settings.format, 8);
        EXPECT_FALSE(run.settings.quiet);  // the rest of the file is not read
    }
}

TEST_F(GrammarTest, StrayTokenDuringRecoveryEndsTheParseSilently) {
    // The error inside FILES is recovered at the ROMS body, whose brace the
    // files list's "}" then closes; the last "}" stands where a statement
    // would begin while fewer than three tokens were accepted.
    std::string console = parse("ROMS { A: files = { x ( } }\n-q\n");
    EXPECT_EQ(console, "ROMS { A: files = { x (\n\"rom.cmd\", line 1: syntax error\n");
    EXPECT_FALSE(run_.settings.quiet);
    EXPECT_EQ(describe_ranges(run_), "");
}

TEST_F(GrammarTest, DirectiveErrorsReportAgainOnlyAfterThreeTokens) {
    const RefuseCase cases[] = {
        // 5 is discarded, B and ":" are accepted, the error at 6 is silent.
        {"ROMS { A: 5 B: 6 C: o 1 }", "ROMS { A: 5\n\"rom.cmd\", line 1: syntax error\n"},
        // B, ":" and o are accepted: the error at 6 is reported.
        {"ROMS { A: 5 B: o 1 C: 6 }",
         "ROMS { A: 5\n\"rom.cmd\", line 1: syntax error\n"
         "ROMS { A: 5 B: o 1 C: 6\n\"rom.cmd\", line 1: syntax error\n"},
        {"SECTIONS { .a: 1 .b: 2 .c }", "SECTIONS { .a: 1\n\"rom.cmd\", line 1: syntax error\n"},
    };
    const char* ranges[] = {"C p0 o=1 l=ffffff\n", "B p0 o=1 l=ffffff\n", ""};
    // Default reductions complete .a and .b before the numbers are seen.
    const char* sections[] = {"", "", ".a\n.b\n.c\n"};
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].content);
        Parsed parsed = parse_alone(cases[i].content);
        EXPECT_EQ(parsed.console, cases[i].console);
        EXPECT_EQ(parsed.ranges, ranges[i]);
        EXPECT_EQ(parsed.sections, sections[i]);
    }
}

TEST_F(GrammarTest, DroppedEntryIsNotClosed) {
    Parsed roms = parse_alone("ROMS { A: o 1 l 1 B: o ( C: o 3 }\n-q\n");
    EXPECT_EQ(roms.console, "ROMS { A: o 1 l 1 B: o ( C\n\"rom.cmd\", line 1: syntax error\n");
    EXPECT_EQ(roms.ranges, "A p0 o=1 l=1\nC p0 o=3 l=fffffd\n");

    Parsed sections = parse_alone("SECTIONS { .a: paddr 1 .b: paddr ) .c }\n");
    EXPECT_EQ(sections.console,
              "SECTIONS { .a: paddr 1 .b: paddr )\n\"rom.cmd\", line 1: syntax error\n");
    EXPECT_EQ(sections.sections, ".a paddr=1\n.c\n");
}

std::string nested_origin(size_t depth) {
    return "ROMS { A: o " + std::string(depth, '(') + "7" + std::string(depth, ')') + " }\n-q\n";
}

TEST_F(GrammarTest, DeepParenthesesOverflowTheStack) {
    // Eight entries lead up to the number, and the innermost group holds
    // "(", number and ")": 140 groups fill the 150 entries exactly.
    Parsed parsed = parse_alone(nested_origin(140));
    EXPECT_EQ(parsed.console, "");
    EXPECT_EQ(parsed.ranges, "A p0 o=7 l=fffff9\n");

    parsed = parse_alone(nested_origin(141));
    EXPECT_EQ(parsed.console,
              "ROMS { A: o " + std::string(141, '(') + "7)\n\"rom.cmd\", line 1: syntax error\n");
    EXPECT_EQ(parsed.ranges, "");

    // The parse of the file ends there.
    EXPECT_EQ(parse(nested_origin(1000)),
              "ROMS { A: o " + std::string(143, '(') + "\n\"rom.cmd\", line 1: syntax error\n");
    EXPECT_FALSE(run_.settings.quiet);
    EXPECT_EQ(run_.diag.error_level(), 1);
}

TEST_F(GrammarTest, OptionsTakeTheirValuesFromTheFile) {
    std::string console = parse(
        "-o out.hex -e\n"            // 1
        "0xFF\n"                     // 2
        "-o \"q.hex\"\n"             // 3
        "-fill /* comment */\n"      // 4
        "\n"                         // 5
        "  0x12345 -bootorg warm\n"  // 6
        "-- w - - v\n"               // 7
        "-boot -o origin\n"          // 8
        "-map\n"                     // 9
        "  my.map -o\n");            // 10
    EXPECT_EQ(console,
              "\"rom.cmd\", line 6: warning: fill value truncated to 2 bytes: 2345\n"
              "\"rom.cmd\", line 10: warning: no name on -o (ignored)\n");
    const romcvt::ConversionSettings& s = run_.settings;
    EXPECT_EQ(std::vector<std::string>(s.output_names.begin(), s.output_names.end()),
              (std::vector<std::string>{"out.hex", "\"q.hex\"", "origin"}));
    EXPECT_EQ(s.entry_point, 0xFF);
    EXPECT_EQ(s.fill_value, 0x2345u);
    EXPECT_EQ(s.boot_kind, romcvt::kBootWarm);
    EXPECT_EQ(s.format, 9);
    EXPECT_EQ(s.rom_width, 2);
    EXPECT_EQ(s.verbose, 1);
    EXPECT_TRUE(s.boot);
    EXPECT_EQ(s.map_name, "my.map");
    EXPECT_TRUE(std::filesystem::exists("my.map"));
}

TEST_F(GrammarTest, UnquotedMinusSplitsAFileName) {
    write_coff("a.out");
    write_coff("a-b.out");
    EXPECT_EQ(parse("a-b.out\n"), "\"rom.cmd\", line 1: warning: invalid option: -b.out\n");
    EXPECT_EQ(run_.settings.input_name, "a.out");

    Parsed quoted = parse_alone("\"a-b.out\"\n");
    EXPECT_EQ(quoted.console, "");
}

TEST_F(GrammarTest, UnclosedCommentEndsTheFileSilently) {
    EXPECT_EQ(parse("-a /* no end\n-q\n"), "");
    EXPECT_EQ(run_.settings.format, 8);
    EXPECT_FALSE(run_.settings.quiet);
}

TEST_F(GrammarTest, IllegalCharactersAreErrorsAndScanningGoesOn) {
    std::string content = "-a\t;\n";
    content += std::string("\x01\xFF\x00\x80 -q\n", 8);
    content += std::string("\x00 5\n", 4);
    EXPECT_EQ(parse(content),
              "\"rom.cmd\", line 1: illegal input character: 0x3B\n"
              "\"rom.cmd\", line 2: illegal input character: 0x01\n"
              "\"rom.cmd\", line 2: illegal input character: 0xFF\n"
              "\"rom.cmd\", line 2: illegal input character: 0x00\n"
              "\"rom.cmd\", line 2: illegal input character: 0x80\n"
              "\"rom.cmd\", line 3: illegal input character: 0x00\n"
              "  5\n\"rom.cmd\", line 3: syntax error\n");
    EXPECT_EQ(run_.settings.format, 8);
    EXPECT_TRUE(run_.settings.quiet);
    EXPECT_EQ(run_.diag.error_level(), 1);
}

TEST_F(GrammarTest, LongLineCountsAsTwoLines) {
    std::string comment = "/*" + std::string(296, '.') + "*/";
    ASSERT_EQ(comment.size(), 300u);
    EXPECT_EQ(parse(comment + "\n-bogus\n"),
              "\"rom.cmd\", line 3: warning: invalid option: -bogus\n");
}

TEST_F(GrammarTest, NoTokenRunsAcrossThe255thCharacter) {
    // -m12 becomes the option -m1 and, on the next piece, the number 2.
    EXPECT_EQ(parse(std::string(252, ' ') + "-m12\n-q\n"),
              "2\n\"rom.cmd\", line 2: syntax error\n");
    EXPECT_EQ(run_.settings.format, 3);
    EXPECT_FALSE(run_.settings.quiet);
}

TEST_F(GrammarTest, BinaryJunkNeverCrashesOrHangs) {
    // Bytes drawn mostly from the characters the grammar cares about, plus
    // control and high bytes. A junk name may end the run as a missing input
    // file; every other outcome is a finished parse.
    const std::string alphabet = std::string("ROMS SECTIONS{}():,=-/*\"\n\t\r0x9aq.hf:o ") +
                                 std::string("\x00\x01\x7F\x80\xFF", 5);
    uint32_t seed = 12345;
    for (int round = 0; round < 200; ++round) {
        std::string content = "-a\n";
        for (int i = 0; i < 1500; ++i) {
            seed = seed * 1103515245u + 12345u;
            content += alphabet[(seed >> 16) % alphabet.size()];
        }
        test_support::write_file("rom.cmd", content);
        std::ostringstream out, err;
        std::istringstream in;
        romcvt::RunContext run(out, err, in);
        try {
            romcvt::open_input_file(run, "rom.cmd");
        } catch (const romcvt::FatalStop&) {
            EXPECT_NE(out.str().find("input file"), std::string::npos) << out.str();
        }
        EXPECT_FALSE(run.diag.in_command_file());
    }
}

TEST_F(GrammarTest, LaterArgumentsFollowAFileWhoseParseEnded) {
    test_support::write_file("rom.cmd", "5\n-a\n");
    test_support::RunResult result = test_support::run_romcvt({"-q", "rom.cmd", "-bogus"});
    EXPECT_EQ(result.console,
              "5\n\"rom.cmd\", line 1: syntax error\n"
              ">> warning: invalid option: -bogus\n"
              ">> no input files (aborting)\n");
    EXPECT_EQ(result.exit_status, 255);
}

}  // namespace
