#include "converter/output/boot_table.h"

#include "converter/driver/run_context.h"

namespace romcvt {

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

// Runs that need a boot table are refused at conversion start, before any
// output exists, until the table builder is in place; these are never
// reached.
void begin_boot_block(RunContext& run, uint32_t, uint32_t) {
    run.diag.report(kFatal, "boot tables are not supported by this version (aborting)");
}

void end_boot_table(RunContext& run) {
    run.diag.report(kFatal, "boot tables are not supported by this version (aborting)");
}

void emit_warm_boot_table(RunContext& run) {
    run.diag.report(kFatal, "boot tables are not supported by this version (aborting)");
}

}  // namespace romcvt
