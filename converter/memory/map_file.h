// The map file: a report of the conversion. Written in a later step; the
// router and the conversion start already call into it.
#pragma once

namespace romcvt {

struct RunContext;

struct MapState {
    bool translation_map_started = false;
};

void write_map_header(RunContext& run);
void write_map_range(RunContext& run);

}  // namespace romcvt
