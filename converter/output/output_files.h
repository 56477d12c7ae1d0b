// The output files of the current ROM range: opening, distribution of memory
// words over the files, address records, flushing and closing.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "converter/output/format_writer.h"

namespace romcvt {

struct RunContext;

inline constexpr int kMaxOutputFiles = 8;

struct OutputFiles {
    std::array<OutputFile, kMaxOutputFiles> output_files;
    std::unique_ptr<FormatWriter> writer;  // made once per run from the format row
    std::vector<uint8_t> scratch;          // one file's bytes of a chunk
};

void emit_memory_words(RunContext& run, const uint8_t* data, size_t byte_count);
void flush_range_files(RunContext& run);
void close_range_files(RunContext& run);

}  // namespace romcvt
