// The map file: a text report of the conversion. The header is written at
// conversion start, the block of a range when the router leaves it.
#pragma once

namespace romcvt {

struct RunContext;

struct MapState {
    bool translation_map_started = false;
};

void write_map_header(RunContext& run);
void write_map_range(RunContext& run);

}  // namespace romcvt
