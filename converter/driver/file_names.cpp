#include "converter/driver/file_names.h"

#include <algorithm>

namespace romcvt {

namespace {

// Each part of a split name is cut after this many characters.
constexpr size_t kPartLimit = 256;

std::string cut(std::string_view text) { return std::string(text.substr(0, kPartLimit)); }

}  // namespace

SplitName split_file_name(std::string_view name) {
    SplitName parts;
    size_t directory_end = name.find_last_of("\\/:");
    size_t rest_start = directory_end == std::string_view::npos ? 0 : directory_end + 1;
    parts.directory = cut(name.substr(0, rest_start));
    std::string_view rest = name.substr(rest_start);
    size_t dot = rest.rfind('.');
    if (dot == std::string_view::npos) {
        parts.base = cut(rest);
    } else {
        parts.base = cut(rest.substr(0, dot));
        parts.extension = cut(rest.substr(dot + 1));
    }
    return parts;
}

void set_extension(std::string& name, std::string_view extension, bool replace) {
    size_t dot = name.rfind('.');
    bool has_extension =
        dot != std::string::npos && name.find_first_of("\\/", dot) == std::string::npos;
    if (has_extension) {
        if (!replace) return;
        if (!extension.empty() && extension.front() == '.') extension.remove_prefix(1);
        if (extension.empty()) {
            name.erase(dot);
        } else {
            name.erase(dot + 1);
            name += extension;
        }
        return;
    }
    if (extension.empty()) return;
    if (extension.front() != '.') name += '.';
    name += extension;
}

uint16_t swap_bytes(uint16_t value) { return static_cast<uint16_t>((value >> 8) | (value << 8)); }

}  // namespace romcvt
