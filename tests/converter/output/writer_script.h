// Drives one record writer through a script of protocol commands, as the
// output files would, and returns what it wrote.
#pragma once

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "converter/driver/diagnostics.h"
#include "converter/output/format_writer.h"
#include "converter/output/output_format.h"
#include "tests/support/test_support.h"

namespace writer_script {

using romcvt::OutputFile;
using romcvt::WriterFactory;
using romcvt::WriterParams;
using test_support::read_file;
using test_support::ScratchDir;

// One command of the writer protocol, applied in order to a single file.
struct Step {
    enum Kind { kStart, kData, kEnd } kind;
    uint32_t address = 0;
    std::vector<uint8_t> bytes{};
};

struct Written {
    std::string text;
    std::string console;  // warnings the writer reported
};

// Drives a writer as the output files do: open, the steps, flush, close.
inline Written write_with(WriterFactory factory, WriterParams params, int32_t rom_width,
                          const std::vector<Step>& steps) {
    ScratchDir dir;
    std::ostringstream console;
    romcvt::Diagnostics diag(console);
    params.diag = &diag;
    auto writer = factory(params);
    OutputFile file;
    EXPECT_TRUE(file.stream.open("out"));
    file.rom_width = rom_width;
    writer->begin_file(file);
    for (const Step& step : steps) {
        switch (step.kind) {
            case Step::kStart:
                writer->start_record(file, step.address);
                break;
            case Step::kData:
                writer->add_data(file, step.bytes.data(), step.bytes.size(), step.address);
                break;
            case Step::kEnd:
                if (!file.line_empty()) writer->end_record(file);
                break;
        }
    }
    if (!file.line_empty()) writer->end_record(file);
    writer->end_file(file);
    file.stream.close();
    return {read_file("out"), console.str()};
}

}  // namespace writer_script
