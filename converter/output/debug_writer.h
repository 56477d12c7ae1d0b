// "DEBUG": a readable listing, one "ADDR:" line per record with each ROM
// word as a group, between a header and a footer line.
#pragma once

#include <memory>

#include "converter/output/format_writer.h"

namespace romcvt {

std::unique_ptr<FormatWriter> make_debug_writer(const WriterParams& params);

}  // namespace romcvt
