// File-name helpers for input names (".out" added) and default output names.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace romcvt {

struct SplitName {
    std::string directory;  // up to and including the last \ / or :
    std::string base;       // the rest up to its last dot
    std::string extension;  // after that dot, without it
};

SplitName split_file_name(std::string_view name);

// In place. replace=false leaves a name that has an extension alone.
void set_extension(std::string& name, std::string_view extension, bool replace);

uint16_t swap_bytes(uint16_t value);

}  // namespace romcvt
