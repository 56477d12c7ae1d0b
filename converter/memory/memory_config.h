// ROMS directive actions and the completion of the memory configuration.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace romcvt {

struct RunContext;
struct RomRange;

// A range being defined is kept at the back of roms_list with current_range
// pointing at it; end_range completes it, and a range the grammar dropped after
// a syntax error is discarded by the next begin_range, begin_roms_directive or
// finish_memory_configuration.
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

// Default ranges, final widths and fill values, output file names. Refuses
// (at error level) default widths that are not a positive power of two
// number of bytes, ranges that would need more than 8 output files and
// memory widths above kMaxMemoryWidth.
void finish_memory_configuration(RunContext& run);

// Completes the file list of one range; index counts ranges from 0 in list
// order and picks the default names.
void assign_output_files(RunContext& run, RomRange& range, size_t index);

bool is_single_bit(uint32_t value);

// Widest memory word, in bytes, that a range may have; the router assembles
// memory words in buffers of this size.
inline constexpr int32_t kMaxMemoryWidth = 8;

}  // namespace romcvt
