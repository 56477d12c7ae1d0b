// "Intel": data records of up to 32 bytes with extended linear address
// records for the upper 16 address bits, and the end-of-file record.
#pragma once

#include <memory>

#include "converter/output/format_writer.h"

namespace romcvt {

std::unique_ptr<FormatWriter> make_intel_writer(const WriterParams& params);

}  // namespace romcvt
