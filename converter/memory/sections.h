// SECTIONS directive actions, and the selection, binding and ordering of the
// COFF sections at conversion start.
#pragma once

#include <cstdint>
#include <string_view>

namespace romcvt {

struct RunContext;

void begin_sections_directive(RunContext& run);
void begin_section(RunContext& run, std::string_view name);
void set_section_boot(RunContext& run);
void set_section_paddr(RunContext& run, uint32_t value);
void set_section_data_width(RunContext& run, uint32_t bits);
void end_section(RunContext& run);

// Builds the default list when none was given, binds entries to sections
// (bind_sections) and puts the COFF section table into output order
// (order_sections).
void select_sections(RunContext& run);
void bind_sections(RunContext& run);
void order_sections(RunContext& run);

}  // namespace romcvt
