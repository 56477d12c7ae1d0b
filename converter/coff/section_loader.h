// Reads section contents in 16384-byte chunks and hands them to the router;
// expands ".cinit" autoinitialization records.
#pragma once

namespace romcvt {

struct RunContext;

bool load_sections(RunContext& run);

}  // namespace romcvt
