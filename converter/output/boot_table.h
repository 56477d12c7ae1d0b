// The boot table for the processor's boot loader: a header (device code 48
// only), one block per boot-loaded section and an end word, written into the
// image through the router. Its state is read by the router and the map.
#pragma once

#include <cstdint>

#include "converter/memory/section_spec.h"

namespace romcvt {

struct RunContext;

struct BootState {
    uint32_t boot_cursor = 0xFFFFFFFFu;
    int32_t boot_mem_width = 2;
    int boot_state = 0;  // 0 no table open, 1 writing table words, 2 between blocks
    int boot_section_count = 0;
    // Set once the header is in the image, so that a warm boot combined with
    // boot-loaded sections writes it only once.
    bool header_written = false;
    // Stands in for a section entry while the warm-boot header is written, so
    // that the header lands on the boot page rather than on the page of
    // whichever section happens to be current.
    SectionSpec warm_spec;
};

void set_boot_defaults(RunContext& run);
// size counts the block's data words.
void begin_boot_block(RunContext& run, uint32_t destination, uint32_t size);
void end_boot_table(RunContext& run);
void emit_warm_boot_table(RunContext& run);

}  // namespace romcvt
