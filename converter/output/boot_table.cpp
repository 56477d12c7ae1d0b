#include "converter/output/boot_table.h"

#include "converter/driver/run_context.h"
#include "converter/memory/address_units.h"
#include "converter/memory/router.h"

namespace romcvt {

namespace {

constexpr int kDeviceWithHeader = 48;
constexpr int kDeviceWithSize = 45;
constexpr int32_t kTableWordWidth = 2;  // bytes; every table word is 16 bits

// One 16-bit table word at the cursor. The word is ordered as a 16-bit data
// word even when the current section's data is 8 bits wide, so header words
// keep their value in any byte order.
void emit_boot_word(RunContext& run, uint32_t value) {
    uint8_t bytes[2];
    split_value(run, value, bytes, 2);
    SectionSpec* spec = run.sections.current_spec;
    int32_t data_width = spec->data_width;
    spec->data_width = kTableWordWidth;
    write_at(run, bytes, 2, run.boot.boot_cursor);
    spec->data_width = data_width;
    run.boot.boot_cursor += from_bytes(2, run.boot.boot_mem_width);
}

void write_boot_header(RunContext& run) {
    if (run.device_code != kDeviceWithHeader) return;
    const ConversionSettings& s = run.settings;
    emit_boot_word(run, 0x800u * static_cast<uint32_t>(run.boot.boot_mem_width) + 0xAA);
    switch (s.boot_kind) {
        case kBootComm:
            emit_boot_word(run, s.spc);
            emit_boot_word(run, s.tcsr);
            emit_boot_word(run, s.trta);
            break;
        case kBootSerial:
            emit_boot_word(run, s.spc);
            emit_boot_word(run, s.spce);
            emit_boot_word(run, s.arr);
            emit_boot_word(run, s.bkr);
            break;
        case kBootWarm:
            emit_boot_word(run, s.swwsr);
            emit_boot_word(run, s.bscr);
            emit_boot_word(run, 0);
            break;
        default:
            emit_boot_word(run, s.swwsr);
            emit_boot_word(run, s.bscr);
            break;
    }
    uint32_t entry = static_cast<uint32_t>(s.entry_point);
    emit_boot_word(run, entry >> 16);
    emit_boot_word(run, entry);
    run.boot.header_written = true;
}

}  // namespace

void set_boot_defaults(RunContext& run) {
    ConversionSettings& settings = run.settings;
    const RomRange& first = *run.memory.roms_list.front();
    if (settings.boot_origin == -1) {
        settings.boot_origin = static_cast<int32_t>(first.origin);
        run.boot.boot_mem_width = first.mem_width;
    }
    if (settings.boot_page == -1) settings.boot_page = first.page;
    run.boot.boot_cursor = static_cast<uint32_t>(settings.boot_origin);
}

void begin_boot_block(RunContext& run, uint32_t destination, uint32_t size) {
    BootState& boot = run.boot;
    boot.boot_section_count += 1;
    boot.boot_state = 1;
    if (!boot.header_written) write_boot_header(run);
    if (boot.boot_section_count == 2 && run.device_code != kDeviceWithHeader) {
        run.diag.report(kWarning, "more than one section in boot loader table");
    }
    if (run.device_code == kDeviceWithHeader) {
        emit_boot_word(run, size);
        emit_boot_word(run, destination >> 16);
        emit_boot_word(run, destination);
    } else {
        emit_boot_word(run, destination);
        emit_boot_word(run, run.device_code == kDeviceWithSize ? size : size - 1);
    }
    boot.boot_state = 2;
}

void end_boot_table(RunContext& run) {
    SectionList& list = run.sections;
    SectionSpec* previous = list.current_spec;
    run.boot.boot_state = 1;
    // The end word belongs on the page of the table's sections.
    for (const auto& spec : list.sections_list) {
        if (spec->has(kBootLoaded) && spec->range) list.current_spec = spec.get();
    }
    if (run.settings.boot_kind != kBootWarm && list.current_spec) emit_boot_word(run, 0);
    run.boot.boot_state = 0;
    list.current_spec = previous;
}

void emit_warm_boot_table(RunContext& run) {
    BootState& boot = run.boot;
    SectionList& list = run.sections;
    SectionSpec* previous = list.current_spec;
    boot.warm_spec.name = "boot table";
    boot.warm_spec.page = run.settings.boot_page;
    boot.warm_spec.data_width = kTableWordWidth;
    list.current_spec = &boot.warm_spec;
    boot.boot_state = 1;
    if (!boot.header_written) write_boot_header(run);
    end_boot_table(run);
    run.settings.warm_boot = false;
    list.current_spec = previous;
}

}  // namespace romcvt
