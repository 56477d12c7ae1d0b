// The image router: places section data into the ROM ranges in ascending
// (page, address) order and hands whole memory words to the output files.
#pragma once

#include <cstddef>
#include <cstdint>

namespace romcvt {

struct RunContext;

// data may be rewritten in place; byte_count is even; address counts 16-bit
// target words.
bool route_section_data(RunContext& run, uint8_t* data, size_t byte_count, uint32_t address,
                        int page);
// Places bytes at a physical address on the page of the current spec.
void write_at(RunContext& run, uint8_t* data, size_t byte_count, uint32_t physical_address);
// The count low bytes of value in the COFF data byte order.
void split_value(const RunContext& run, uint32_t value, uint8_t* buffer, size_t count);
// Closes an open boot table and leaves every remaining range.
void finish_image(RunContext& run);

}  // namespace romcvt
