// The command-file lexer. Two modes: name mode (a colon is a name character,
// only ROMS and SECTIONS are keywords) and directive mode (a colon is
// punctuation, all keywords). Reads a command file line by line through a
// 256-character buffer, or scans a single command-line value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

namespace romcvt {

class Diagnostics;

// Token kinds. Punctuation tokens are their character code: ( ) , - : = { }
enum TokenKind : int {
    kTokenEnd = 0,
    kTokenName = 256,
    kTokenNumber,
    kTokenRoms,
    kTokenSections,
    kTokenOrigin,
    kTokenLength,
    kTokenRomWidth,
    kTokenMemWidth,
    kTokenFill,
    kTokenFiles,
    kTokenPage,
    kTokenBoot,
    kTokenPaddr,
    kTokenDataWidth,
};

struct Token {
    int kind = kTokenEnd;
    const std::string* text = nullptr;  // NAME only: lives until the run ends
    uint32_t value = 0;                 // NUMBER
};

class Lexer {
  public:
    // A line is read in pieces of at most this many characters; a longer
    // line arrives as several pieces, each counted as a line.
    static constexpr size_t kPieceLimit = 255;

    explicit Lexer(Diagnostics& diagnostics);

    // Starts reading a command file from its beginning: name mode, empty
    // buffer, line counter 0. The file stays owned by the caller.
    void reset_for_file(std::FILE* file);
    // Detaches from the command file.
    void detach_file();

    Token next_token();
    // Skips blanks and comments like next_token, then the run of characters
    // up to the next blank, tab, form feed, CR or LF, taken literally.
    std::optional<std::string> scan_word();

    // Command-line values: the argument is put into the line buffer (name
    // mode, line counter 0) and scanned from its first character. Only the
    // first kPieceLimit characters of the argument are looked at.
    Token scan_value_from(std::string_view argument);
    std::optional<std::string> scan_word_from(std::string_view argument);

    void enter_name_mode();
    void enter_directive_mode();
    bool in_directive_mode() const;

    int line_counter() const;
    // The line buffer from its start up to the scan position (the syntax
    // error echo).
    std::string echo_text() const;

  private:
    bool fill_line();    // reads the next line (piece); false at end of input
    bool skip_blanks();  // false at end of input
    bool at_line_end() const;
    unsigned char char_at(size_t index) const;
    // The token that begins at the scan position; nothing (after reporting
    // the character and stepping over it) when no token can begin there.
    std::optional<Token> scan_token_here();
    Token scan_number();
    Token scan_name(bool quoted);
    const std::string* store(std::string_view text);
    bool is_name_char(unsigned char c) const;
    void load_argument(std::string_view argument);
    void set_line_counter(int value);

    Diagnostics& diagnostics_;
    std::FILE* file_ = nullptr;
    bool input_ended_ = false;
    char buffer_[kPieceLimit + 1] = {};
    size_t length_ = 0;  // characters in buffer_; a NUL byte is a character too
    size_t position_ = 0;
    int line_counter_ = 0;
    bool directive_mode_ = false;
    bool in_comment_ = false;
    std::deque<std::string> string_store_;  // names stay valid for the whole run
};

}  // namespace romcvt
