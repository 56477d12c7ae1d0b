// "ZQ-Tagged": 80-character lines of tagged fields (load address, data
// words, odd byte) closed by a character-sum checksum.
#pragma once

#include <memory>

#include "converter/output/format_writer.h"

namespace romcvt {

std::unique_ptr<FormatWriter> make_tagged_writer(const WriterParams& params);

}  // namespace romcvt
