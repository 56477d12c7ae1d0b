#include "converter/driver/diagnostics.h"

#include <cstdio>

namespace romcvt {

std::string vformat(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    char small[256];
    int needed = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (needed < 0) return {};
    if (static_cast<size_t>(needed) < sizeof small)
        return std::string(small, static_cast<size_t>(needed));
    std::string text(static_cast<size_t>(needed) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(static_cast<size_t>(needed));
    return text;
}

std::string format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = vformat(format, args);
    va_end(args);
    return text;
}

void Diagnostics::report(int level, const char* format, ...) {
    std::string line;
    if (command_file_name_) {
        line = romcvt::format("\"%s\", line %d: ", command_file_name_->c_str(), line_);
    } else {
        line = ">> ";
    }
    if (level == kWarning) line += "warning: ";
    va_list args;
    va_start(args, format);
    line += vformat(format, args);
    va_end(args);
    line += '\n';
    console_ << line;
    console_.flush();
    if (level >= kFatal) throw FatalStop{255};
    if (level > error_level_) error_level_ = level;
}

void Diagnostics::print_text(const char* format, ...) {
    va_list args;
    va_start(args, format);
    console_ << vformat(format, args);
    va_end(args);
}

void Diagnostics::write_raw(std::string_view text) { console_ << text; }

}  // namespace romcvt
