// ROMS directive actions and the completion of the memory configuration.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace romcvt {

struct RunContext;
struct RomRange;

void begin_roms_directive(RunContext& run);
void set_roms_page(RunContext& run, int32_t page);
void begin_range(RunContext& run, std::string_view name);
void set_range_origin(RunContext& run, uint32_t value);
void set_range_length(RunContext& run, uint32_t value);
void set_range_rom_width(RunContext& run, uint32_t bits);
void set_range_mem_width(RunContext& run, uint32_t bits);
void set_range_fill(RunContext& run, uint32_t value);
void add_range_file(RunContext& run, std::string_view name);
void end_range(RunContext& run);

// Default ranges, final widths and fill values, output file names.
void finish_memory_configuration(RunContext& run);

bool is_single_bit(uint32_t value);

}  // namespace romcvt
