#include "converter/memory/router.h"

#include <algorithm>
#include <cstring>

#include "converter/coff/coff_reader.h"
#include "converter/driver/run_context.h"
#include "converter/memory/address_units.h"
#include "converter/memory/map_file.h"
#include "converter/output/boot_table.h"
#include "converter/output/output_files.h"

namespace romcvt {

namespace {

constexpr int kLargestMemoryWidth = 8;  // bytes; wider widths are refused earlier

const CoffSection* find_bss(const RunContext& run) {
    for (const CoffSection& section : run.coff.sections) {
        if ((section.flags & kSectionUninitialized) != 0 && section_name(run, section) == ".bss") {
            return &section;
        }
    }
    return nullptr;
}

// Virtual address that the section entry's paddr stands for: the section's own, or
// for a RAM-model ".cinit" that of ".bss" (of the table itself when there
// is no ".bss", the same placement the section list chose).
uint32_t base_address_of(const RunContext& run, const SectionSpec& spec) {
    const CoffSection& section = run.coff.sections[static_cast<size_t>(spec.section)];
    if (spec.has(kRamCinit)) {
        if (const CoffSection* bss = find_bss(run)) return bss->virtual_address;
    }
    return section.virtual_address;
}

uint32_t physical_address_of(const RunContext& run, uint32_t address) {
    const SectionSpec& spec = *run.sections.current_spec;
    uint32_t offset = address - base_address_of(run, spec);
    const RomRange* range = run.memory.current_range;
    if (!range) return spec.paddr + offset;
    return spec.paddr + physical_offset(offset, spec.data_width, range->mem_width);
}

// 8-bit data keeps the least significant byte of every 16-bit word.
size_t pack_data_width(const RunContext& run, uint8_t* data, size_t byte_count) {
    size_t keep = run.coff.big_endian_data ? 1 : 0;
    size_t words = byte_count / 2;
    for (size_t i = 0; i < words; ++i) data[i] = data[2 * i + keep];
    return words;
}

void reverse_groups(uint8_t* data, size_t n, size_t group) {
    for (size_t start = 0; start + group <= n; start += group) {
        std::reverse(data + start, data + start + group);
    }
}

int32_t data_width_of(const RunContext& run) {
    const SectionSpec* spec = run.sections.current_spec;
    return spec && spec->data_width > 0 ? spec->data_width : run.settings.data_width;
}

// Arranges data words and memory words so that the files receive the bits
// the rule gives them whatever the byte order.
void order_bytes(const RunContext& run, uint8_t* data, size_t n) {
    bool most_first = run.settings.byte_order == kMostFirst;
    int32_t dw = data_width_of(run);
    if (most_first != run.coff.big_endian_data && dw > 1) {
        reverse_groups(data, n, static_cast<size_t>(dw));
    }
    const RomRange& range = *run.memory.current_range;
    int32_t w = std::min(range.rom_width, range.mem_width);
    if (w > 1 && !most_first) reverse_groups(data, n, static_cast<size_t>(w));
}

void leave_range(RunContext& run) {
    RomRange* range = run.memory.current_range;
    if (range->files_open) close_range_files(run);
    if (run.settings.map_stream) write_map_range(run);
    size_t next = run.memory.current_index + 1;
    run.memory.current_index = next;
    run.memory.current_range =
        next < run.memory.roms_list.size() ? run.memory.roms_list[next].get() : nullptr;
}

bool range_is_done(const RomRange& range) {
    return range.next_address > range.end || range.next_address == 0;
}

// The two-byte fill pattern, arranged like a data word of the current spec.
void fill_pattern(RunContext& run, const RomRange& range, uint8_t pattern[2]) {
    split_value(run, range.fill, pattern, 2);
    order_bytes(run, pattern, 2);
}

// Accounts for every address up to t in the current range: the cursor jumps
// there, or with -image the gap is filled.
void advance_range(RunContext& run, uint32_t t) {
    RomRange& range = *run.memory.current_range;
    if (!run.settings.image) {
        range.next_address = t + 1;
    } else {
        uint8_t pattern[2];
        fill_pattern(run, range, pattern);
        // Fill words go out in blocks. Every block starts with the first
        // pattern byte and holds an even number of bytes, so an 8-bit
        // memory alternates the two bytes throughout; wider words repeat
        // the pattern.
        constexpr size_t kBlockBytes = 4096;
        uint8_t block[kBlockBytes];
        for (size_t i = 0; i < kBlockBytes; ++i) block[i] = pattern[i % 2];
        size_t width = static_cast<size_t>(range.mem_width);
        uint32_t units_per_word = from_bytes(range.mem_width, range.mem_width);
        size_t block_words = kBlockBytes / width;
        while (t >= range.next_address) {
            uint64_t units = uint64_t{t} - range.next_address + 1;
            uint64_t words = (units + units_per_word - 1) / units_per_word;
            size_t count = static_cast<size_t>(std::min<uint64_t>(words, block_words));
            emit_memory_words(run, block, count * width);
            if (range.next_address == 0) break;
        }
    }
    if (range_is_done(range)) leave_range(run);
}

void report_gap(RunContext& run, uint32_t addr) {
    SectionSpec& spec = *run.sections.current_spec;
    if (spec.has(kGapReported)) return;
    spec.set(kGapReported);
    const SectionSpec* other = nullptr;
    for (const auto& candidate : run.sections.sections_list) {
        if (candidate.get() != &spec && candidate->range && candidate->page == spec.page &&
            candidate->paddr <= addr && addr <= candidate->last_address) {
            other = candidate.get();
            break;
        }
    }
    unsigned long where = addr;
    bool in_table = run.boot.boot_state != 0;
    if (other) {
        if (in_table) {
            run.diag.report(kWarning, "boot table at 0%lxh overlaps section %s (table incomplete)",
                            where, other->name.c_str());
        } else {
            const char* overlapped = other->has(kBootLoaded) ? "boot table" : other->name.c_str();
            run.diag.report(kWarning, "section %s at 0%lxh overlaps %s (%s incomplete or skipped)",
                            spec.name.c_str(), where, overlapped, spec.name.c_str());
        }
        return;
    }
    if (in_table) {
        run.diag.report(kWarning, "boot table falls in unconfigured memory at 0%lxh", where);
        return;
    }
    const RomRange* range = run.memory.current_range;
    const CoffSection& section = run.coff.sections[static_cast<size_t>(spec.section)];
    bool whole_section_below =
        range && addr == spec.paddr && uint64_t{addr} + section.size_in_words < range->origin;
    if (!range || range->page != spec.page || whole_section_below) {
        run.diag.report(kWarning, "section %s at 0%lxh falls in unconfigured memory (skipped)",
                        spec.name.c_str(), where);
    } else {
        run.diag.report(kWarning,
                        "section %s overlaps unconfigured memory at 0%lxh (%s incomplete)",
                        spec.name.c_str(), where, spec.name.c_str());
    }
}

// Hands up to n bytes at the cursor of the current range to the output
// files and returns how many it took; room is what the range still holds.
// A last memory word that the data does not complete is filled up from the
// range's fill pattern when the range has room for it; otherwise the range
// counts as full, since no whole word fits any more.
size_t emit_at_cursor(RunContext& run, uint8_t* data, size_t n, uint64_t room) {
    RomRange& range = *run.memory.current_range;
    size_t width = static_cast<size_t>(range.mem_width);
    size_t whole = n - n % width;
    if (whole > 0) {
        order_bytes(run, data, whole);
        emit_memory_words(run, data, whole);
    }
    if (whole == n) return n;
    if (range_is_done(range)) return whole;
    if (uint64_t{whole} + width > room) {
        range.next_address = range.end + 1;
        return whole;
    }
    uint8_t word[kLargestMemoryWidth];
    uint8_t pattern[2];
    split_value(run, range.fill, pattern, 2);
    for (size_t i = 0; i < width; ++i) word[i] = i < n - whole ? data[whole + i] : pattern[i % 2];
    order_bytes(run, word, width);
    emit_memory_words(run, word, width);
    return n;
}

}  // namespace

void split_value(const RunContext& run, uint32_t value, uint8_t* buffer, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        uint8_t byte = static_cast<uint8_t>(value >> (8 * (i % 4)));
        buffer[run.coff.big_endian_data ? count - 1 - i : i] = byte;
    }
}

void write_at(RunContext& run, uint8_t* data, size_t byte_count, uint32_t addr) {
    while (byte_count > 0) {
        RomRange* range = run.memory.current_range;
        SectionSpec& spec = *run.sections.current_spec;
        if (range && range->next_address > range->end) {
            leave_range(run);
            continue;
        }
        if (!range || spec.page < range->page ||
            (spec.page == range->page && addr < range->next_address)) {
            report_gap(run, addr);
            if (!range || spec.page != range->page) return;
            uint64_t skip = uint64_t{range->next_address - addr} * (range->mem_width > 1 ? 2 : 1);
            if (skip >= byte_count) return;
            data += skip;
            byte_count -= static_cast<size_t>(skip);
            addr = range->next_address;
            continue;
        }
        if (spec.page > range->page || addr > range->next_address) {
            uint32_t last = spec.page == range->page && addr <= range->end ? addr - 1 : range->end;
            advance_range(run, last);
            continue;
        }
        if (spec.range != range) {
            spec.range = range;
            spec.start_address = range->next_address;
        }
        uint64_t room = uint64_t{range->end - range->next_address} + 1;
        room *= range->mem_width > 1 ? 2 : 1;
        size_t n = room >= byte_count ? byte_count : static_cast<size_t>(room);
        n = emit_at_cursor(run, data, n, room);
        data += n;
        byte_count -= n;
        addr = range->next_address;
        if (!(run.boot.boot_state != 0 && run.settings.boot_kind == kBootWarm)) {
            spec.last_address = range->next_address - 1;
        }
        if (range_is_done(*range)) leave_range(run);
    }
}

bool route_section_data(RunContext& run, uint8_t* data, size_t byte_count, uint32_t address,
                        int page) {
    (void)page;  // the page comes from the section's entry
    const CoffSection& section = run.coff.sections[static_cast<size_t>(run.coff.current_section)];
    if (run.settings.warm_boot) {
        bool at_or_after = section.page > run.settings.boot_page ||
                           (section.page == run.settings.boot_page &&
                            address >= static_cast<uint32_t>(run.settings.boot_origin));
        if (at_or_after) emit_warm_boot_table(run);
    }

    SectionSpec* spec = nullptr;
    for (const auto& candidate : run.sections.sections_list) {
        if (candidate->section == run.coff.current_section) {
            spec = candidate.get();
            break;
        }
    }
    run.sections.current_spec = spec;
    if (!spec) return true;

    if (run.boot.boot_state != 0 && !spec->has(kBootLoaded)) end_boot_table(run);

    uint32_t phys = physical_address_of(run, address);
    if (address == section.virtual_address || (spec->has(kRamCinit) && phys == 0)) {
        if (!run.settings.quiet) {
            run.diag.print_text("   \"%s\"   ==> %s", run.settings.input_name->c_str(),
                                spec->name.c_str());
            if (spec->has(kBootLoaded)) run.diag.print_text(" \t(BOOT LOAD)");
            if (!run.settings.verbose) run.diag.print_text("\n");
        }
        if (!run.settings.image) flush_range_files(run);
    }

    // Data words in this piece: one per 16-bit COFF word, whatever the data width.
    uint32_t piece_words = static_cast<uint32_t>(byte_count / 2);
    if (spec->data_width < 2) byte_count = pack_data_width(run, data, byte_count);

    if (!spec->has(kBootLoaded)) {
        write_at(run, data, byte_count, phys);
        return true;
    }
    if (spec->has(kRamCinit)) {
        // Each record piece is a block of its own; its size counts data words
        // like the size of an ordinary section's block.
        begin_boot_block(run, address, piece_words);
    } else if (address == section.virtual_address) {
        begin_boot_block(run, address, section.size_in_words);
    }
    write_at(run, data, byte_count, run.boot.boot_cursor);
    run.boot.boot_cursor += from_bytes(static_cast<uint32_t>(byte_count), run.boot.boot_mem_width);
    return true;
}

void finish_image(RunContext& run) {
    if (run.settings.warm_boot) {
        emit_warm_boot_table(run);
    } else if (run.boot.boot_state != 0) {
        end_boot_table(run);
    }
    while (run.memory.current_range) advance_range(run, run.memory.current_range->end);
}

}  // namespace romcvt
