#include "converter/output/output_format.h"

#include <array>

#include "converter/output/ascii_hex_writer.h"
#include "converter/output/debug_writer.h"
#include "converter/output/generic_writer.h"
#include "converter/output/intel_writer.h"
#include "converter/output/motorola_writer.h"
#include "converter/output/tagged_writer.h"
#include "converter/output/tektronix_writer.h"

namespace romcvt {

namespace {

const std::array<OutputFormat, kFormatCount> kFormats = {{
    {"DEBUG", 1, ".d00", make_debug_writer, kMaxRecordWordBytes},
    {"Intel", 1, ".i00", make_intel_writer, kMaxRecordWordBytes},
    {"Motorola-S", 1, ".m00", make_motorola_s2_writer, kMaxRecordWordBytes},
    {"Motorola-S1", 1, ".m00", make_motorola_s1_writer, kMaxRecordWordBytes},
    {"Motorola-S2", 1, ".m00", make_motorola_s2_writer, kMaxRecordWordBytes},
    {"Motorola-S3", 1, ".m00", make_motorola_s3_writer, kMaxRecordWordBytes},
    {"ZQ-Tagged", 2, ".t00", make_tagged_writer, 0},
    {"Extended Tektronix", 1, ".x00", make_tektronix_writer, kMaxRecordWordBytes},
    {"ASCII-Hex", 1, ".a00", make_ascii_hex_writer, 0},
    {"Generic", 1, ".s00", make_generic_writer, kMaxRecordWordBytes},
}};

}  // namespace

const OutputFormat& output_format(int row) { return kFormats.at(static_cast<size_t>(row)); }

}  // namespace romcvt
