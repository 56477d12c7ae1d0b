// The table of the ten output formats: one row per format with its name,
// minimum ROM width, default extension and writer.
#pragma once

#include <cstdint>
#include <memory>

#include "converter/output/format_writer.h"

namespace romcvt {

using WriterFactory = std::unique_ptr<FormatWriter> (*)(const WriterParams&);

struct OutputFormat {
    const char* name;
    int32_t min_rom_width;  // bytes
    const char* extension;
    WriterFactory make_writer;
    int32_t max_rom_width;      // bytes; 0: any width
};

inline constexpr int kFormatCount = 10;
enum FormatRow : int {
    kFormatDebug = 0,
    kFormatIntel = 1,
    kFormatMotorola = 2,
    kFormatMotorolaS1 = 3,
    kFormatMotorolaS2 = 4,
    kFormatMotorolaS3 = 5,
    kFormatTagged = 6,
    kFormatTektronix = 7,
    kFormatAsciiHex = 8,
    kFormatGeneric = 9,
};

const OutputFormat& output_format(int row);

}  // namespace romcvt
