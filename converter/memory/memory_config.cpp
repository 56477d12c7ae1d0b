#include "converter/memory/memory_config.h"

#include <algorithm>

#include "converter/driver/file_names.h"
#include "converter/driver/run_context.h"
#include "converter/output/output_format.h"

namespace romcvt {

namespace {

constexpr size_t kRangeNameLimit = 31;
constexpr uint32_t kDefaultEnd = 0xFFFFFF;

bool range_pending(const MemoryConfig& memory) {
    return memory.pending_range != nullptr && memory.current_range == memory.pending_range.get();
}

// A range whose definition the grammar abandoned never reaches the list.
void drop_pending_range(MemoryConfig& memory) {
    memory.pending_range.reset();
    memory.current_range = nullptr;
}

bool is_byte_width(int32_t bytes) {
    return bytes > 0 && is_single_bit(static_cast<uint32_t>(bytes));
}

long bits_of(int32_t bytes) { return static_cast<long>(bytes) * 8; }

// Every later stage divides by these widths and counts memory words in whole
// bytes, so a zero, negative or odd-sized width must stop the run here.
void check_setting_widths(RunContext& run) {
    const ConversionSettings& settings = run.settings;
    if (!is_byte_width(settings.rom_width)) {
        run.diag.report(kError, "illegal romwidth of %ld, a power of two of at least 8 is required",
                        bits_of(settings.rom_width));
    }
    if (!is_byte_width(settings.mem_width)) {
        run.diag.report(kError, "illegal memwidth of %ld, a power of two of at least 8 is required",
                        bits_of(settings.mem_width));
    }
    if (!is_byte_width(settings.data_width)) {
        run.diag.report(kError,
                        "illegal datawidth of %ld, a power of two of at least 8 is required",
                        bits_of(settings.data_width));
    }
}

void add_default_range(RunContext& run, std::string_view name, int32_t page) {
    begin_range(run, name);
    RomRange& range = *run.memory.current_range;
    range.origin = 0;
    range.end = kDefaultEnd;
    range.page = page;
    range.fill_given = false;
    range.file_count = 0;
    range.length = range.end - range.origin + 1;
    range.rom_width = run.settings.rom_width;
    range.mem_width = run.settings.mem_width;
    end_range(run);
}

std::string default_file_name(const RunContext& run, size_t index, int32_t file, bool single) {
    std::string name = split_file_name(run.settings.input_name.value_or("")).base;
    std::string extension(output_format(run.settings.format).extension);
    extension.resize(2);
    if (!single) extension += std::to_string(index);
    extension += std::to_string(file);
    set_extension(name, extension, true);
    return name;
}

}  // namespace

bool is_single_bit(uint32_t value) { return value != 0 && (value & (value - 1)) == 0; }

void begin_roms_directive(RunContext& run) {
    run.lexer.enter_directive_mode();
    MemoryConfig& memory = run.memory;
    drop_pending_range(memory);
    memory.roms_page = 0;
    if (!memory.roms_list.empty()) run.diag.report(kError, "ROMS directive redefined");
}

void set_roms_page(RunContext& run, int32_t page) { run.memory.roms_page = page; }

void begin_range(RunContext& run, std::string_view name) {
    MemoryConfig& memory = run.memory;
    drop_pending_range(memory);
    auto range = std::make_unique<RomRange>();
    range->name = std::string(name.substr(0, kRangeNameLimit));
    range->page = memory.roms_page;
    memory.current_range = range.get();
    memory.pending_range = std::move(range);
}

void set_range_origin(RunContext& run, uint32_t value) {
    RomRange* range = run.memory.current_range;
    if (!range) return;
    if (range->origin != kNotGiven) {
        run.diag.report(kError, "origin redefined for %s", range->name.c_str());
    }
    range->origin = value;
}

void set_range_length(RunContext& run, uint32_t value) {
    RomRange* range = run.memory.current_range;
    if (!range) return;
    if (range->length != kNotGiven) {
        run.diag.report(kError, "length redefined for %s", range->name.c_str());
    }
    range->length = value;
}

void set_range_rom_width(RunContext& run, uint32_t bits) {
    RomRange* range = run.memory.current_range;
    if (!range) return;
    if (range->rom_width != -1)
        run.diag.report(kError, "width redefined for %s", range->name.c_str());
    if (bits % 8 != 0 || !is_single_bit(bits)) {
        run.diag.report(kWarning, "illegal width of %d specified for %s", static_cast<int>(bits),
                        range->name.c_str());
        return;
    }
    range->rom_width = static_cast<int32_t>(bits / 8);
}

void set_range_mem_width(RunContext& run, uint32_t bits) {
    RomRange* range = run.memory.current_range;
    if (!range) return;
    if (range->mem_width != -1) {
        run.diag.report(kError, "memory width redefined for %s", range->name.c_str());
    }
    if (bits % 8 != 0 || !is_single_bit(bits)) {
        run.diag.report(kWarning, "illegal memory width of %d specified for %s",
                        static_cast<int>(bits), range->name.c_str());
        return;
    }
    range->mem_width = static_cast<int32_t>(bits / 8);
}

void set_range_fill(RunContext& run, uint32_t value) {
    RomRange* range = run.memory.current_range;
    if (!range) return;
    if (range->fill_given) run.diag.report(kError, "fill redefined for %s", range->name.c_str());
    range->fill_given = true;
    range->fill = value;
}

void add_range_file(RunContext& run, std::string_view name) {
    RomRange* range = run.memory.current_range;
    if (!range) return;
    range->files.emplace_back(name);
    range->file_count += 1;
}

void end_range(RunContext& run) {
    MemoryConfig& memory = run.memory;
    if (!range_pending(memory)) return;
    RomRange& range = *memory.current_range;
    const char* name = range.name.c_str();
    if (range.origin == kNotGiven) {
        range.origin = 0;
        if (run.settings.image) {
            run.diag.report(kError, "origin missing on %s (required for -image)", name);
        }
    }
    if (range.length == kNotGiven) {
        range.end = kDefaultEnd;
        range.length = range.end - range.origin + 1;
        if (run.settings.image) {
            run.diag.report(kError, "length missing on %s (required for -image)", name);
        }
    } else {
        range.end = range.origin + range.length - 1;
        if (range.end < range.origin) run.diag.report(kError, "invalid length on %s", name);
    }
    range.next_address = range.origin;
    if (!memory.roms_list.empty()) {
        const RomRange& last = *memory.roms_list.back();
        if (last.page > range.page || (last.page == range.page && last.end > range.origin)) {
            run.diag.report(kError, "memory ranges %s and %s out of order", last.name.c_str(),
                            name);
        }
    }
    memory.roms_list.push_back(std::move(memory.pending_range));
    memory.current_range = nullptr;
}

void finish_memory_configuration(RunContext& run) {
    MemoryConfig& memory = run.memory;
    ConversionSettings& settings = run.settings;
    drop_pending_range(memory);
    check_setting_widths(run);
    int32_t minimum = output_format(settings.format).min_rom_width;
    if (memory.roms_list.empty()) {
        if (settings.image) run.diag.report(kError, "-image requires ROMS directive");
        add_default_range(run, "*DEFAULT*", 0);
        add_default_range(run, "*DEFAULT PAGE 1*", 1);
    }
    for (size_t i = 0; i < memory.roms_list.size(); ++i) {
        RomRange& range = *memory.roms_list[i];
        range.rom_width =
            std::max(minimum, range.rom_width == -1 ? settings.rom_width : range.rom_width);
        range.mem_width =
            std::max(minimum, range.mem_width == -1 ? settings.mem_width : range.mem_width);
        if (!range.fill_given) range.fill = settings.fill_value;
        if (settings.boot_origin != -1) {
            uint32_t boot_origin = static_cast<uint32_t>(settings.boot_origin);
            if (range.origin <= boot_origin && boot_origin <= range.end) {
                run.boot.boot_mem_width = range.mem_width;
            }
        }
        assign_output_files(run, range, i);
    }
    if (settings.zero && !settings.image) {
        run.diag.report(kWarning, "-zero requires -image: ignored");
        settings.zero = false;
    }
}

void assign_output_files(RunContext& run, RomRange& range, size_t index) {
    const char* name = range.name.c_str();
    int32_t needed = range.mem_width > range.rom_width ? range.mem_width / range.rom_width : 1;
    // Only kMaxOutputFiles writers exist, and the router builds memory words in
    // fixed buffers: such a range cannot be written, so it gets no names.
    if (needed > kMaxOutputFiles) {
        run.diag.report(kError, "memory width of %ld is more than %d times ROM width %ld for %s",
                        bits_of(range.mem_width), kMaxOutputFiles, bits_of(range.rom_width), name);
        return;
    }
    if (range.mem_width > kMaxMemoryWidth) {
        run.diag.report(kError, "memory width of %ld is wider than %ld bits for %s",
                        bits_of(range.mem_width), bits_of(kMaxMemoryWidth), name);
        return;
    }
    if (range.file_count > needed) {
        run.diag.report(kWarning, "too many output files for %s (%d given, %d used)", name,
                        static_cast<int>(range.file_count), static_cast<int>(needed));
    }
    if (range.file_count < needed) {
        if (range.file_count > 0) {
            run.diag.report(kError, "not enough output files for %s (%d given, %d needed)", name,
                            static_cast<int>(range.file_count), static_cast<int>(needed));
        }
        bool single = index == 0 && index + 1 == run.memory.roms_list.size();
        std::deque<std::string>& output_names = run.settings.output_names;
        for (int32_t file = range.file_count; file < needed; ++file) {
            if (!output_names.empty()) {
                range.files.push_back(std::move(output_names.front()));
                output_names.pop_front();
            } else {
                range.files.push_back(default_file_name(run, index, file, single));
            }
        }
    }
    range.file_count = needed;
}

}  // namespace romcvt
