// All state of one conversion run, owned in one place so that a test can
// run many conversions in one process.
#pragma once

#include <istream>
#include <ostream>
#include <vector>

#include "converter/coff/coff_file.h"
#include "converter/driver/diagnostics.h"
#include "converter/driver/lexer.h"
#include "converter/driver/settings.h"
#include "converter/memory/map_file.h"
#include "converter/memory/rom_range.h"
#include "converter/memory/section_spec.h"
#include "converter/output/boot_table.h"
#include "converter/output/output_files.h"

namespace romcvt {

struct RunContext {
    RunContext(std::ostream& console, std::ostream& error_stream, std::istream& prompt_input)
        : diag(console), lexer(diag), error_stream(error_stream), prompt_input(prompt_input) {}

    Diagnostics diag;
    ConversionSettings settings;
    Lexer lexer;
    MemoryConfig memory;
    SectionList sections;
    CoffFile coff;
    OutputFiles output;
    BootState boot;
    MapState map;
    int device_code = 0;         // 48, 45 or 0, from the COFF file header flags
    std::ostream& error_stream;  // only the corrupted-section-header message
    std::istream& prompt_input;
};

}  // namespace romcvt
