// Motorola S-records: S1 (16-bit), S2 (24-bit) or S3 (32-bit) data records
// between the fixed header record and the end record of the variant.
#pragma once

#include <memory>

#include "converter/output/format_writer.h"

namespace romcvt {

std::unique_ptr<FormatWriter> make_motorola_s1_writer(const WriterParams& params);
std::unique_ptr<FormatWriter> make_motorola_s2_writer(const WriterParams& params);
std::unique_ptr<FormatWriter> make_motorola_s3_writer(const WriterParams& params);

}  // namespace romcvt
