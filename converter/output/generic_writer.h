// "Generic": an address/data listing, one line of up to line_length ROM
// words per address.
#pragma once

#include <memory>

#include "converter/output/format_writer.h"

namespace romcvt {

std::unique_ptr<FormatWriter> make_generic_writer(const WriterParams& params);

}  // namespace romcvt
