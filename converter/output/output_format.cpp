#include "converter/output/output_format.h"

#include <array>

#include "converter/output/ascii_hex_writer.h"

namespace romcvt {

namespace {

const std::array<OutputFormat, kFormatCount> kFormats = {{
    {"DEBUG", 1, ".d00", nullptr},
    {"Intel", 1, ".i00", nullptr},
    {"Motorola-S", 1, ".m00", nullptr},
    {"Motorola-S1", 1, ".m00", nullptr},
    {"Motorola-S2", 1, ".m00", nullptr},
    {"Motorola-S3", 1, ".m00", nullptr},
    {"ZQ-Tagged", 2, ".t00", nullptr},
    {"Extended Tektronix", 1, ".x00", nullptr},
    {"ASCII-Hex", 1, ".a00", make_ascii_hex_writer},
    {"Generic", 1, ".s00", nullptr},
}};

}  // namespace

const OutputFormat& output_format(int row) { return kFormats.at(static_cast<size_t>(row)); }

}  // namespace romcvt
