#include "converter/output/output_files.h"

#include <algorithm>

#include "converter/driver/run_context.h"
#include "converter/memory/address_units.h"

namespace romcvt {

namespace {

int32_t files_in_use(const RomRange& range) {
    return range.rom_width < range.mem_width ? range.mem_width / range.rom_width : 1;
}

// The writer slot of file position i: reversed for most-significant-first
// order, which cancels the reversed bytes of every memory word.
OutputFile& slot_of(RunContext& run, const RomRange& range, int32_t i) {
    size_t entry = run.settings.byte_order == kMostFirst
                       ? static_cast<size_t>(range.file_count - 1 - i)
                       : static_cast<size_t>(i);
    return run.output.output_files[entry];
}

void open_range_files(RunContext& run) {
    RomRange& range = *run.memory.current_range;
    range.files_open = true;
    range.output_address = 0;
    range.written_to = 0;
    for (int32_t i = 0; i < range.file_count; ++i) {
        OutputFile& file = slot_of(run, range, i);
        file.name = range.files[static_cast<size_t>(i)];
        if (!file.stream.open(file.name)) {
            run.diag.report(kFatal, "cannot open output file %s", file.name.c_str());
        }
        file.rom_width = range.rom_width;
        file.record_address = 0;
        file.address_issued = false;
        file.line_end = 0;
        run.output.writer->begin_file(file);
    }
}

// Address that a record carries for the memory word at the cursor. With
// -byte it counts bytes of the ROM: every memory word takes the smaller of
// the ROM and memory widths there.
uint32_t record_address_at(const RunContext& run, const RomRange& range) {
    if (!run.settings.byte_addresses) return range.next_address;
    uint32_t units_per_word = from_bytes(range.mem_width, range.mem_width);
    uint32_t word_index = range.next_address / units_per_word;
    return word_index * static_cast<uint32_t>(std::min(range.rom_width, range.mem_width));
}

}  // namespace

void emit_memory_words(RunContext& run, const uint8_t* data, size_t n) {
    RomRange& range = *run.memory.current_range;
    const size_t w = static_cast<size_t>(range.rom_width);
    const size_t m = static_cast<size_t>(range.mem_width);
    const uint32_t u = from_bytes(range.mem_width, range.mem_width);
    const int32_t k = files_in_use(range);
    FormatWriter& writer = *run.output.writer;
    OutputFiles& output = run.output;

    if (!range.files_open) open_range_files(run);
    if (range.next_address != range.written_to && !run.settings.zero) {
        range.output_address = record_address_at(run, range);
        for (int32_t j = 0; j < k; ++j)
            writer.start_record(output.output_files[static_cast<size_t>(j)], range.output_address);
    }

    if (w <= m) {
        const size_t words = n / m;
        const uint32_t step = run.settings.byte_addresses ? static_cast<uint32_t>(w) : u;
        for (int32_t j = 0; j < k; ++j) {
            OutputFile& file = output.output_files[static_cast<size_t>(j)];
            if (k == 1 && w == m) {
                writer.add_pieces(file, data, words, w, range.output_address, step);
                continue;
            }
            // Gather this file's slice of every memory word.
            output.scratch.resize(words * w);
            uint8_t* slice = output.scratch.data();
            const uint8_t* source = data + static_cast<size_t>(j) * w;
            if (w == 1) {
                for (size_t i = 0; i < words; ++i) slice[i] = source[i * m];
            } else {
                for (size_t i = 0; i < words; ++i) std::memcpy(slice + i * w, source + i * m, w);
            }
            writer.add_pieces(file, slice, words, w, range.output_address, step);
        }
        range.next_address += static_cast<uint32_t>(words) * u;
        range.written_to = range.next_address;
        range.output_address += static_cast<uint32_t>(words) * step;
        return;
    }

    // A ROM word spans several memory words: pieces of up to one ROM word.
    OutputFile& file = output.output_files[0];
    while (n > 0) {
        size_t p = std::min(n, w);
        writer.add_data(file, data, p, range.output_address);
        uint32_t q = static_cast<uint32_t>(p / m);
        range.next_address += q * u;
        range.written_to = range.next_address;
        range.output_address += run.settings.byte_addresses ? static_cast<uint32_t>(p) : q * u;
        data += p;
        n -= p;
    }
}

void flush_range_files(RunContext& run) {
    RomRange* range = run.memory.current_range;
    if (!range || !range->files_open) return;
    for (int32_t j = 0; j < range->file_count; ++j) {
        OutputFile& file = run.output.output_files[static_cast<size_t>(j)];
        if (!file.line_empty()) run.output.writer->end_record(file);
    }
}

void close_range_files(RunContext& run) {
    flush_range_files(run);
    RomRange& range = *run.memory.current_range;
    for (int32_t j = 0; j < range.file_count; ++j) {
        OutputFile& file = run.output.output_files[static_cast<size_t>(j)];
        run.output.writer->end_file(file);
        file.stream.close();
    }
    range.files_open = false;
}

}  // namespace romcvt
