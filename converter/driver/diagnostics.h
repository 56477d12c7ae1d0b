// One sink for every message of a conversion run: warnings, errors and fatal
// messages, the banner, the prompt and the progress lines all reach the
// console through here, so tests can capture the exact text.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

namespace romcvt {

enum DiagnosticLevel : int { kWarning = 0, kError = 1, kFatal = 2 };

// Thrown by a fatal report; caught only by run_conversion, which turns it
// into the exit status. It never leaves the converter library.
struct FatalStop {
    int exit_status;
};

class Diagnostics {
  public:
    explicit Diagnostics(std::ostream& console) : console_(console) {}

    // Prefix, "warning: " for level 0, the formatted message and a newline.
    // Level 2 does not return (throws FatalStop with status 255).
    void report(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));

    // Formatted text with no prefix and no added newline.
    void print_text(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void write_raw(std::string_view text);
    void flush() { console_.flush(); }

    // Highest non-fatal level reported so far (0 or 1).
    int error_level() const { return error_level_; }

    // While a command file is parsed, messages carry its name and the
    // lexer's line count instead of ">> ".
    void enter_command_file(std::string name) {
        command_file_name_ = std::move(name);
        line_ = 0;
    }
    void leave_command_file() { command_file_name_.reset(); }
    bool in_command_file() const { return command_file_name_.has_value(); }
    void set_line(int line) { line_ = line; }

    std::ostream& console() { return console_; }

  private:
    std::ostream& console_;
    int error_level_ = 0;
    std::optional<std::string> command_file_name_;
    int line_ = 0;
};

// vsnprintf into a std::string.
std::string vformat(const char* format, va_list args);
std::string format(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace romcvt
