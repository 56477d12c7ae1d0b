// SECTIONS directive actions, and the selection, binding and ordering of the
// COFF sections at conversion start.
#pragma once

#include <cstdint>
#include <string_view>

namespace romcvt {

struct RunContext;

// An entry being defined is kept at the back of sections_list with
// current_spec pointing at it; end_section completes it (or drops a duplicate)
// and clears current_spec, and an entry the grammar abandoned after a syntax
// error is discarded by the next begin_section, begin_sections_directive or
// select_sections.
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
