// "ASCII-Hex": STX line, "$A" address lines, 24 data bytes a line, ETX last.
#pragma once

#include <memory>

#include "converter/output/format_writer.h"

namespace romcvt {

std::unique_ptr<FormatWriter> make_ascii_hex_writer(const WriterParams& params);

}  // namespace romcvt
