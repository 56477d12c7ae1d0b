#include "converter/driver/lexer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "converter/driver/diagnostics.h"

namespace {

using romcvt::Token;

std::string render(const Token& token) {
    switch (token.kind) {
        case romcvt::kTokenName:
            return "N(" + *token.text + ")";
        case romcvt::kTokenNumber:
            return std::to_string(token.value);
        case romcvt::kTokenRoms:
            return "ROMS";
        case romcvt::kTokenSections:
            return "SECTIONS";
        case romcvt::kTokenOrigin:
            return "ORIGIN";
        case romcvt::kTokenLength:
            return "LENGTH";
        case romcvt::kTokenRomWidth:
            return "ROMWIDTH";
        case romcvt::kTokenMemWidth:
            return "MEMWIDTH";
        case romcvt::kTokenFill:
            return "FILL";
        case romcvt::kTokenFiles:
            return "FILES";
        case romcvt::kTokenPage:
            return "PAGE";
        case romcvt::kTokenBoot:
            return "BOOT";
        case romcvt::kTokenPaddr:
            return "PADDR";
        case romcvt::kTokenDataWidth:
            return "DATAWIDTH";
        default:
            return std::string(1, static_cast<char>(token.kind));
    }
}

// A lexer reading an in-memory command file, with its console captured.
class LexerTest : public ::testing::Test {
  protected:
    ~LexerTest() override {
        if (file_) std::fclose(file_);
    }

    void open(const std::string& content, bool directive_mode = false) {
        content_ = content;
        file_ = fmemopen(content_.data(), content_.size(), "r");
        ASSERT_NE(file_, nullptr);
        diag_.enter_command_file("t.cmd");
        lexer_.reset_for_file(file_);
        if (directive_mode) lexer_.enter_directive_mode();
    }

    // Every token up to the end of input, blank-separated.
    std::string all_tokens() {
        std::string text;
        for (int guard = 0; guard < 10000; ++guard) {
            Token token = lexer_.next_token();
            if (token.kind == romcvt::kTokenEnd) return text;
            if (!text.empty()) text += ' ';
            text += render(token);
        }
        ADD_FAILURE() << "no end of input";
        return text;
    }

    std::ostringstream console_;
    romcvt::Diagnostics diag_{console_};
    romcvt::Lexer lexer_{diag_};
    std::string content_;
    std::FILE* file_ = nullptr;
};

struct TokenCase {
    const char* input;
    bool directive_mode;
    const char* tokens;
    const char* console;
};

TEST_F(LexerTest, ScansTokensOfBothModes) {
    const TokenCase cases[] = {
        // Number syntax: every spelling of 31, suffixes, and wrap-around.
        {"0x1F 1FH 1fh 31 037 37Q 0X1F 37q", false, "31 31 31 31 31 31 31 31", ""},
        {"100h 09 0 00 0q 017q 1e5h", false, "256 9 0 0 0 15 485", ""},
        {"0x1Fh 12ab", false, "31 N(h) 12 N(ab)", ""},
        {"4294967295 4294967296 0x123456789", false, "4294967295 0 591751049", ""},
        // Mixed bases without a valid suffix end after the leading digits.
        {"1a2 0181 19q 0xg 0181h", false, "1 N(a2) 1 81 19 N(q) 0 N(xg) 385", ""},
        // The colon is a name character in name mode only.
        {"EPROM1: org = 0x8000", false, "N(EPROM1) : N(org) = 32768", ""},
        {"EPROM1: org = 0x8000", true, "N(EPROM1) : ORIGIN = 32768", ""},
        {"c:x.hex a:", false, "N(c:x.hex) N(a) :", ""},
        {"c:x.hex", true, "N(c) : N(x.hex)", ""},
        // Keywords match exactly; only ROMS and SECTIONS in name mode.
        {"ROMS SECTIONS roms sections Origin origin boot", false,
         "ROMS SECTIONS N(roms) N(sections) N(Origin) N(origin) N(boot)", ""},
        {"ROMS roms Origin origin o O BOOT", true, "ROMS N(roms) N(Origin) ORIGIN ORIGIN N(O) BOOT",
         ""},
        {"( ) , - : = { }", true, "( ) , - : = { }", ""},
        // Quoted names keep blanks and punctuation and are still looked up.
        {"\"a-b.out\" \"ROMS\" \"x y\"z", false, "N(a-b.out) ROMS N(x y) N(z)", ""},
        {"\"unterminated name\n", false, "N(unterminated name)", ""},
        {"\"\"", false, "N()", ""},
        {"\"ab\rcd\n\"ef\"", false, "N(ab) N(ef)", ""},
        // An unquoted minus splits a file name.
        {"a-b.out", false, "N(a) - N(b.out)", ""},
        // Dots and slashes begin names only before a name character; a name
        // stops before a slash that ends it.
        {"./x a/ .b", false, "N(./x) N(a) N(.b)",
         "\"t.cmd\", line 1: illegal input character: 0x2F\n"},
        {"x . y", false, "N(x) N(y)", "\"t.cmd\", line 1: illegal input character: 0x2E\n"},
        // Names keep the other name characters.
        {"$a_[1]~\\b", false, "N($a_[1]~\\b)", ""},
        // Tabs and form feeds are blanks; a semicolon is illegal.
        {"a\tb\fc;d", false, "N(a) N(b) N(c) N(d)",
         "\"t.cmd\", line 1: illegal input character: 0x3B\n"},
        // Comments span lines and do not nest.
        {"a /* x\ny /* z */ b */ c", false, "N(a) N(b) N(c)",
         "\"t.cmd\", line 2: illegal input character: 0x2A\n"
         "\"t.cmd\", line 2: illegal input character: 0x2F\n"},
        {"a /* never closed\nb\n", false, "N(a)", ""},
        // A carriage return ends the line; the rest of it is not read.
        {"a\rb\nc\r\n", false, "N(a) N(c)", ""},
        // Bytes with the top bit set and NUL bytes are illegal characters.
        {"a\xC4"
         "b\x01"
         "c",
         false, "N(a) N(b) N(c)",
         "\"t.cmd\", line 1: illegal input character: 0xC4\n"
         "\"t.cmd\", line 1: illegal input character: 0x01\n"},
    };
    for (const TokenCase& c : cases) {
        SCOPED_TRACE(c.input);
        console_.str("");
        open(c.input, c.directive_mode);
        EXPECT_EQ(all_tokens(), c.tokens);
        EXPECT_EQ(console_.str(), c.console);
        std::fclose(file_);
        file_ = nullptr;
    }
}

TEST_F(LexerTest, NulByteIsReportedAndTheLineGoesOn) {
    open(std::string("a\0b \"q\0r\"\n", 10));
    EXPECT_EQ(all_tokens(), "N(a) N(b) N(q) N(r) N()");
    // The NUL inside the quoted name ends it; the closing quote then opens
    // an empty name at the end of the line.
    EXPECT_EQ(console_.str(),
              "\"t.cmd\", line 1: illegal input character: 0x00\n"
              "\"t.cmd\", line 1: illegal input character: 0x00\n");
}

TEST_F(LexerTest, RecognisesAllKeywordFormsInDirectiveModeOnly) {
    const char* forms =
        "ROMS SECTIONS ORIGIN origin org o LENGTH length len l ROMWIDTH WIDTH romwidth width w "
        "MEMWIDTH MWIDTH memwidth mwidth mw FILL fill f FILES files PAGE page BOOT boot PADDR "
        "paddr DATAWIDTH DWIDTH datawidth dwidth dw";
    open(forms, true);
    EXPECT_EQ(all_tokens(),
              "ROMS SECTIONS ORIGIN ORIGIN ORIGIN ORIGIN LENGTH LENGTH LENGTH LENGTH ROMWIDTH "
              "ROMWIDTH ROMWIDTH ROMWIDTH ROMWIDTH MEMWIDTH MEMWIDTH MEMWIDTH MEMWIDTH MEMWIDTH "
              "FILL FILL FILL FILES FILES PAGE PAGE BOOT BOOT PADDR PADDR DATAWIDTH DATAWIDTH "
              "DATAWIDTH DATAWIDTH DATAWIDTH");
    std::fclose(file_);
    open(forms, false);
    std::string expected;
    std::istringstream words(forms);
    for (std::string word; words >> word;) {
        if (!expected.empty()) expected += ' ';
        expected += word == "ROMS" || word == "SECTIONS" ? word : "N(" + word + ")";
    }
    EXPECT_EQ(all_tokens(), expected);
}

TEST_F(LexerTest, ModeSwitchAppliesToTheNextToken) {
    open("files files a:b");
    EXPECT_EQ(render(lexer_.next_token()), "N(files)");
    lexer_.enter_directive_mode();
    EXPECT_TRUE(lexer_.in_directive_mode());
    EXPECT_EQ(render(lexer_.next_token()), "FILES");
    lexer_.enter_name_mode();
    EXPECT_EQ(render(lexer_.next_token()), "N(a:b)");
}

TEST_F(LexerTest, LongLineArrivesInPiecesThatCountAsLines) {
    // 250 blanks, then a name across the 255th character, then a second line.
    std::string line(250, ' ');
    line += "abcdefghij";
    open(line + "\nz\n");
    EXPECT_EQ(render(lexer_.next_token()), "N(abcde)");
    EXPECT_EQ(lexer_.line_counter(), 1);
    EXPECT_EQ(render(lexer_.next_token()), "N(fghij)");
    EXPECT_EQ(lexer_.line_counter(), 2);
    EXPECT_EQ(render(lexer_.next_token()), "N(z)");
    EXPECT_EQ(lexer_.line_counter(), 3);
    EXPECT_EQ(lexer_.next_token().kind, romcvt::kTokenEnd);
    EXPECT_EQ(lexer_.line_counter(), 3);
}

TEST_F(LexerTest, VeryLongLineWithoutBlanksIsCutIntoNames) {
    open(std::string(1000, 'x'));
    EXPECT_EQ(all_tokens(), "N(" + std::string(255, 'x') + ") N(" + std::string(255, 'x') + ") N(" +
                                std::string(255, 'x') + ") N(" + std::string(235, 'x') + ")");
    EXPECT_EQ(lexer_.line_counter(), 4);
}

TEST_F(LexerTest, EchoShowsTheLineUpToTheScanPositionWithTabsAsBlanks) {
    open("a\tb c\nlast line");
    lexer_.next_token();
    lexer_.next_token();
    EXPECT_EQ(lexer_.echo_text(), "a b");
    all_tokens();
    // At end of input the whole last line.
    EXPECT_EQ(lexer_.echo_text(), "last line");
}

TEST_F(LexerTest, ScanWordTakesTheNextWordLiterally) {
    open("-o  /* note */\n  \"q.hex\",x next\n\tfoo(bar)\n");
    EXPECT_EQ(render(lexer_.next_token()), "-");
    EXPECT_EQ(render(lexer_.next_token()), "N(o)");
    EXPECT_EQ(lexer_.scan_word(), "\"q.hex\",x");
    EXPECT_EQ(lexer_.line_counter(), 2);
    EXPECT_EQ(render(lexer_.next_token()), "N(next)");
    EXPECT_EQ(lexer_.scan_word(), "foo(bar)");
    EXPECT_EQ(lexer_.scan_word(), std::nullopt);
}

TEST_F(LexerTest, ScanWordReportsNulAndGoesOn) {
    open(std::string("\0abc", 4));
    EXPECT_EQ(lexer_.scan_word(), "abc");
    EXPECT_EQ(console_.str(), "\"t.cmd\", line 1: illegal input character: 0x00\n");
}

struct ValueCase {
    std::string argument;
    const char* token;  // nullptr: no value
    const char* console;
};

TEST_F(LexerTest, ScansCommandLineValuesFromTheirFirstCharacter) {
    const ValueCase cases[] = {
        {"0x8000", "32768", ""},
        {"12ab", "12", ""},
        {"SERIAL", "N(SERIAL)", ""},
        {"a:b", "N(a:b)", ""},
        {"-a", "-", ""},
        {"\"x y\"", "N(x y)", ""},
        {" 5", nullptr, ">> illegal input character: 0x20\n"},
        {"", nullptr, ">> illegal input character: 0x00\n"},
        {std::string("\xFF"), nullptr, ">> illegal input character: 0xFF\n"},
        // Only the first 255 characters are looked at.
        {std::string(300, '1'), nullptr, ""},
    };
    for (const ValueCase& c : cases) {
        SCOPED_TRACE(c.argument);
        console_.str("");
        Token token = lexer_.scan_value_from(c.argument);
        if (c.token) {
            EXPECT_EQ(render(token), c.token);
        } else if (c.argument.size() > 255) {
            EXPECT_EQ(token.kind, romcvt::kTokenNumber);
            EXPECT_EQ(lexer_.echo_text().size(), 255u);
        } else {
            EXPECT_EQ(token.kind, romcvt::kTokenEnd);
        }
        EXPECT_EQ(console_.str(), c.console);
        EXPECT_FALSE(lexer_.in_directive_mode());
    }
}

TEST_F(LexerTest, ScansCommandLineWords) {
    EXPECT_EQ(lexer_.scan_word_from("  out.hex rest"), "out.hex");
    EXPECT_EQ(lexer_.scan_word_from("\"q.hex\""), "\"q.hex\"");
    EXPECT_EQ(lexer_.scan_word_from("   "), std::nullopt);
    EXPECT_EQ(lexer_.scan_word_from(""), std::nullopt);
    EXPECT_EQ(console_.str(), "");
}

TEST_F(LexerTest, CommandLineValueDoesNotReadOnFromAFile) {
    open("from the file\n");
    EXPECT_EQ(render(lexer_.scan_value_from("7")), "7");
    EXPECT_EQ(lexer_.next_token().kind, romcvt::kTokenEnd);
}

TEST_F(LexerTest, NamesStayValidForTheRun) {
    open("first second\n");
    Token first = lexer_.next_token();
    for (int i = 0; i < 5000; ++i) lexer_.scan_value_from("name" + std::to_string(i));
    EXPECT_EQ(*first.text, "first");
}

}  // namespace
