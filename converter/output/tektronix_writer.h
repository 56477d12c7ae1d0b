// "Extended Tektronix": "%" data records of up to 32 bytes with a hex-digit
// sum checksum, and a termination record with the entry point.
#pragma once

#include <memory>

#include "converter/output/format_writer.h"

namespace romcvt {

std::unique_ptr<FormatWriter> make_tektronix_writer(const WriterParams& params);

}  // namespace romcvt
