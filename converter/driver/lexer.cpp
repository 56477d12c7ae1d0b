#include "converter/driver/lexer.h"

#include <algorithm>
#include <iterator>

#include "converter/driver/diagnostics.h"

namespace romcvt {

namespace {

struct Keyword {
    std::string_view form;
    int kind;
};

// Exact, case-sensitive forms. Only ROMS and SECTIONS are keywords in name
// mode, so files and options at statement level may spell the others.
constexpr Keyword kKeywords[] = {
    {"ROMS", kTokenRoms},
    {"SECTIONS", kTokenSections},
    {"ORIGIN", kTokenOrigin},
    {"origin", kTokenOrigin},
    {"org", kTokenOrigin},
    {"o", kTokenOrigin},
    {"LENGTH", kTokenLength},
    {"length", kTokenLength},
    {"len", kTokenLength},
    {"l", kTokenLength},
    {"ROMWIDTH", kTokenRomWidth},
    {"WIDTH", kTokenRomWidth},
    {"romwidth", kTokenRomWidth},
    {"width", kTokenRomWidth},
    {"w", kTokenRomWidth},
    {"MEMWIDTH", kTokenMemWidth},
    {"MWIDTH", kTokenMemWidth},
    {"memwidth", kTokenMemWidth},
    {"mwidth", kTokenMemWidth},
    {"mw", kTokenMemWidth},
    {"FILL", kTokenFill},
    {"fill", kTokenFill},
    {"f", kTokenFill},
    {"FILES", kTokenFiles},
    {"files", kTokenFiles},
    {"PAGE", kTokenPage},
    {"page", kTokenPage},
    {"BOOT", kTokenBoot},
    {"boot", kTokenBoot},
    {"PADDR", kTokenPaddr},
    {"paddr", kTokenPaddr},
    {"DATAWIDTH", kTokenDataWidth},
    {"DWIDTH", kTokenDataWidth},
    {"datawidth", kTokenDataWidth},
    {"dwidth", kTokenDataWidth},
    {"dw", kTokenDataWidth},
};
static_assert(std::size(kKeywords) == 36);

bool is_digit(unsigned char c) { return c >= '0' && c <= '9'; }
bool is_octal_digit(unsigned char c) { return c >= '0' && c <= '7'; }
bool is_letter(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool is_hex_digit(unsigned char c) {
    return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

uint32_t hex_value(unsigned char c) {
    if (is_digit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10u;
    return c - 'A' + 10u;
}

bool is_punctuation(unsigned char c) {
    switch (c) {
        case '(':
        case ')':
        case ',':
        case '-':
        case ':':
        case '=':
        case '{':
        case '}':
            return true;
        default:
            return false;
    }
}

// Ends a word read literally (option names and file names after -o, -map,
// -order). A NUL byte also ends it; it is then reported as an illegal
// character instead of becoming part of a file name.
bool ends_word(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\f' || c == '\r' || c == '\n' || c == '\0';
}

}  // namespace

Lexer::Lexer(Diagnostics& diagnostics) : diagnostics_(diagnostics) {}

void Lexer::reset_for_file(std::FILE* file) {
    file_ = file;
    input_ended_ = false;
    length_ = 0;
    position_ = 0;
    buffer_[0] = '\0';
    directive_mode_ = false;
    in_comment_ = false;
    set_line_counter(0);
}

void Lexer::detach_file() {
    file_ = nullptr;
    input_ended_ = true;
}

void Lexer::enter_name_mode() { directive_mode_ = false; }
void Lexer::enter_directive_mode() { directive_mode_ = true; }
bool Lexer::in_directive_mode() const { return directive_mode_; }
int Lexer::line_counter() const { return line_counter_; }

void Lexer::set_line_counter(int value) {
    line_counter_ = value;
    diagnostics_.set_line(value);
}

std::string Lexer::echo_text() const {
    std::string text(buffer_, std::min(position_, length_));
    // A NUL byte would cut the console line short.
    std::replace(text.begin(), text.end(), '\0', ' ');
    return text;
}

unsigned char Lexer::char_at(size_t index) const {
    return index < length_ ? static_cast<unsigned char>(buffer_[index]) : 0;
}

bool Lexer::is_name_char(unsigned char c) const {
    if (is_digit(c) || is_letter(c)) return true;
    switch (c) {
        case '/':
        case '.':
        case '_':
        case '$':
        case '[':
        case ']':
        case '~':
        case '\\':
            return true;
        case ':':
            return !directive_mode_;
        default:
            return false;
    }
}

bool Lexer::at_line_end() const {
    if (position_ >= length_) return true;
    char c = buffer_[position_];
    // A carriage return ends the line: the rest of that piece is not read.
    return c == '\n' || c == '\r';
}

bool Lexer::fill_line() {
    if (!file_ || input_ended_) return false;
    size_t count = 0;
    while (count < kPieceLimit) {
        int c = std::getc(file_);
        if (c == EOF) break;
        buffer_[count++] = static_cast<char>(c);
        if (c == '\n') break;
    }
    if (count == 0) {
        // The buffer keeps the last line: the syntax-error echo at end of
        // input shows it whole.
        input_ended_ = true;
        return false;
    }
    buffer_[count] = '\0';
    length_ = count;
    position_ = 0;
    set_line_counter(line_counter_ + 1);
    return true;
}

bool Lexer::skip_blanks() {
    for (;;) {
        if (at_line_end()) {
            if (!fill_line()) return false;
            continue;
        }
        char& c = buffer_[position_];
        if (in_comment_) {
            if (c == '*' && char_at(position_ + 1) == '/') {
                in_comment_ = false;
                position_ += 2;
            } else {
                ++position_;
            }
            continue;
        }
        if (c == '/' && char_at(position_ + 1) == '*') {
            in_comment_ = true;
            position_ += 2;
            continue;
        }
        if (c == '\t' || c == '\f') c = ' ';  // the echo shows skipped tabs as blanks
        if (c == ' ') {
            ++position_;
            continue;
        }
        return true;
    }
}

Token Lexer::next_token() {
    for (;;) {
        if (!skip_blanks()) return Token{};
        if (std::optional<Token> token = scan_token_here()) return *token;
    }
}

std::optional<Token> Lexer::scan_token_here() {
    unsigned char c = char_at(position_);
    if (position_ < length_) {
        if (is_digit(c)) return scan_number();
        if (c == '"') return scan_name(true);
        if (is_name_char(c)) {
            // A dot, slash or colon alone is no name.
            bool needs_follower = c == '.' || c == '/' || c == ':';
            if (!needs_follower || is_name_char(char_at(position_ + 1))) return scan_name(false);
        }
        if (is_punctuation(c)) {
            ++position_;
            return Token{c};
        }
    }
    diagnostics_.report(kError, "illegal input character: 0x%02X", static_cast<unsigned>(c));
    ++position_;
    return std::nullopt;
}

Token Lexer::scan_number() {
    size_t start = position_;
    bool hex = false;
    bool octal = false;
    size_t digits = start;
    if (char_at(start) == '0' && (char_at(start + 1) == 'x' || char_at(start + 1) == 'X') &&
        is_hex_digit(char_at(start + 2))) {
        hex = true;
        digits = start + 2;
    } else if (char_at(start) == '0' && is_octal_digit(char_at(start + 1))) {
        octal = true;
        digits = start + 1;
    }
    size_t run_end = digits;
    while (run_end < length_ && is_hex_digit(char_at(run_end))) ++run_end;

    bool suffix = false;
    if (!hex) {
        unsigned char next = char_at(run_end);
        if (next == 'h' || next == 'H') {
            hex = true;
            suffix = true;
        } else if (next == 'q' || next == 'Q') {
            bool all_octal = true;
            for (size_t i = digits; i < run_end; ++i) {
                all_octal = all_octal && is_octal_digit(char_at(i));
            }
            if (all_octal) {
                octal = true;
                suffix = true;
            }
        }
    }

    // 32-bit arithmetic that wraps around. Without a valid suffix a number
    // ends after its leading run of digits of its own base, so 1a2 is 1 and
    // a2, and 0181 is 01 and 81.
    uint32_t value = 0;
    size_t end = run_end;
    if (hex) {
        for (size_t i = digits; i < run_end; ++i) value = value * 16u + hex_value(char_at(i));
    } else {
        uint32_t base = octal ? 8u : 10u;
        size_t i = digits;
        for (; i < run_end && (octal ? is_octal_digit(char_at(i)) : is_digit(char_at(i))); ++i) {
            value = value * base + (char_at(i) - '0');
        }
        end = i;
    }
    position_ = suffix ? run_end + 1 : end;
    Token token;
    token.kind = kTokenNumber;
    token.value = value;
    return token;
}

Token Lexer::scan_name(bool quoted) {
    size_t start = position_;
    if (quoted) {
        start = ++position_;
        // A quoted name stops at the line's end; CR and NUL count as line
        // ends here as they do everywhere else in the lexer.
        while (position_ < length_) {
            char c = buffer_[position_];
            if (c == '"' || c == '\n' || c == '\f' || c == '\r' || c == '\0') break;
            ++position_;
        }
    } else {
        while (position_ < length_) {
            unsigned char c = char_at(position_);
            if (!is_name_char(c)) break;
            if ((c == ':' || c == '/') && !is_name_char(char_at(position_ + 1))) break;
            ++position_;
        }
    }
    std::string_view text(buffer_ + start, position_ - start);
    if (quoted && char_at(position_) == '"' && position_ < length_) ++position_;

    Token token;
    for (const Keyword& keyword : kKeywords) {
        if (keyword.form != text) continue;
        bool everywhere = keyword.kind == kTokenRoms || keyword.kind == kTokenSections;
        if (everywhere || directive_mode_) {
            token.kind = keyword.kind;
            return token;
        }
        break;
    }
    token.kind = kTokenName;
    token.text = store(text);
    return token;
}

const std::string* Lexer::store(std::string_view text) {
    string_store_.emplace_back(text);
    return &string_store_.back();
}

std::optional<std::string> Lexer::scan_word() {
    for (;;) {
        if (!skip_blanks()) return std::nullopt;
        size_t start = position_;
        while (position_ < length_ && !ends_word(char_at(position_))) ++position_;
        if (position_ > start) return std::string(buffer_ + start, position_ - start);
        // Only a NUL byte stops a word before its first character.
        diagnostics_.report(kError, "illegal input character: 0x%02X", 0u);
        ++position_;
    }
}

void Lexer::load_argument(std::string_view argument) {
    file_ = nullptr;
    input_ended_ = true;
    length_ = std::min(argument.size(), kPieceLimit);
    std::copy_n(argument.data(), length_, buffer_);
    buffer_[length_] = '\0';
    position_ = 0;
    directive_mode_ = false;
    in_comment_ = false;
    set_line_counter(0);
}

Token Lexer::scan_value_from(std::string_view argument) {
    load_argument(argument);
    // No blanks are skipped: an argument that starts with one is no value.
    return scan_token_here().value_or(Token{});
}

std::optional<std::string> Lexer::scan_word_from(std::string_view argument) {
    load_argument(argument);
    return scan_word();
}

}  // namespace romcvt
