// A ROM range of the memory configuration: where a ROM sits in the target's
// address space, how its words relate to memory words, and its files.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "converter/driver/settings.h"

namespace romcvt {

struct RomRange {
    std::string name;  // at most 31 characters
    int32_t page = 0;
    uint32_t origin = kNotGiven;
    uint32_t length = kNotGiven;
    uint32_t end = kNotGiven;
    int32_t rom_width = -1;  // bytes; -1 not given
    int32_t mem_width = -1;  // bytes; -1 not given
    bool fill_given = false;
    uint32_t fill = 0;
    std::vector<std::string> files;  // file i holds bits i*rom .. (i+1)*rom-1
    int32_t file_count = 0;
    // Routing state.
    uint32_t next_address = 0;
    uint32_t written_to = 0;
    uint32_t output_address = 0;
    bool files_open = false;
};

struct MemoryConfig {
    std::vector<std::unique_ptr<RomRange>> roms_list;
    // The range a ROMS directive is defining; it joins roms_list when its
    // definition is complete, and is dropped when a syntax error cuts it off.
    std::unique_ptr<RomRange> pending_range;
    RomRange* current_range = nullptr;
    size_t current_index = 0;  // position of current_range in roms_list while converting
    int32_t roms_page = 0;
};

}  // namespace romcvt
