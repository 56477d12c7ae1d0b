// The boot table for the processor's boot loader. Its state is read by the
// router; the table itself is built in a later step of the converter.
#pragma once

#include <cstdint>

namespace romcvt {

struct RunContext;

struct BootState {
    uint32_t boot_cursor = 0xFFFFFFFFu;
    int32_t boot_mem_width = 2;
    int boot_state = 0;  // 0 no table open, 1 writing table words, 2 between blocks
    int boot_section_count = 0;
};

void set_boot_defaults(RunContext& run);
void begin_boot_block(RunContext& run, uint32_t destination, uint32_t size);
void end_boot_table(RunContext& run);
void emit_warm_boot_table(RunContext& run);

}  // namespace romcvt
