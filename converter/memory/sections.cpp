#include "converter/memory/sections.h"

#include <algorithm>
#include <utility>

#include "converter/coff/coff_reader.h"
#include "converter/driver/run_context.h"
#include "converter/memory/address_units.h"
#include "converter/memory/memory_config.h"

namespace romcvt {

namespace {

bool spec_pending(const SectionList& list) {
    return list.pending_spec != nullptr && list.current_spec == list.pending_spec.get();
}

// An entry whose definition the grammar abandoned never reaches the list.
void drop_pending_spec(SectionList& list) {
    list.pending_spec.reset();
    list.current_spec = nullptr;
}

bool is_copy_cinit(const RunContext& run, const CoffSection& section) {
    return (section.flags & kSectionCopy) != 0 && section_name(run, section) == ".cinit";
}

// The section whose addresses a RAM-model .cinit's records land in.
const CoffSection* find_bss(const RunContext& run) {
    for (const CoffSection& section : run.coff.sections) {
        if ((section.flags & kSectionUninitialized) != 0 && section_name(run, section) == ".bss") {
            return &section;
        }
    }
    return nullptr;
}

// Pages compare signed, addresses unsigned.
bool key_less(const SectionSpec& a, const SectionSpec& b) {
    if (a.page != b.page) return a.page < b.page;
    return a.paddr < b.paddr;
}

bool key_equal(const SectionSpec& a, const SectionSpec& b) {
    return a.page == b.page && a.paddr == b.paddr;
}

}  // namespace

void begin_sections_directive(RunContext& run) {
    run.lexer.enter_directive_mode();
    drop_pending_spec(run.sections);
    if (!run.sections.sections_list.empty()) {
        run.diag.report(kError, "SECTIONS directive redefined");
    }
}

void begin_section(RunContext& run, std::string_view name) {
    SectionList& list = run.sections;
    drop_pending_spec(list);
    auto spec = std::make_unique<SectionSpec>();
    spec->name = std::string(name);
    list.current_spec = spec.get();
    list.pending_spec = std::move(spec);
}

void set_section_boot(RunContext& run) {
    SectionSpec* spec = run.sections.current_spec;
    if (!spec) return;
    if (spec->has(kBootLoaded)) {
        run.diag.report(kError, "bootflag reset for %s", spec->name.c_str());
        return;
    }
    spec->set(kBootLoaded);
}

void set_section_paddr(RunContext& run, uint32_t value) {
    SectionSpec* spec = run.sections.current_spec;
    if (!spec) return;
    if (spec->paddr != kNotGiven || spec->has(kBootLoaded)) {
        run.diag.report(kError, "physical address redefined for %s", spec->name.c_str());
    } else {
        spec->paddr = value;
    }
    spec->start_address = spec->paddr;
}

void set_section_data_width(RunContext& run, uint32_t bits) {
    SectionSpec* spec = run.sections.current_spec;
    if (!spec) return;
    if (spec->data_width != -1) {
        run.diag.report(kError, "datawidth redefined for %s", spec->name.c_str());
    }
    if (bits % 8 != 0 || !is_single_bit(bits)) {
        run.diag.report(kWarning, "illegal datawidth of %d specified for %s",
                        static_cast<int>(bits), spec->name.c_str());
        return;
    }
    spec->data_width = static_cast<int32_t>(bits / 8);
}

void end_section(RunContext& run) {
    SectionList& list = run.sections;
    if (!spec_pending(list)) return;
    const std::string& name = list.current_spec->name;
    bool duplicate = std::any_of(list.sections_list.begin(), list.sections_list.end(),
                                 [&](const auto& spec) { return spec->name == name; });
    if (duplicate) {
        run.diag.report(kWarning, "duplicate section name '%s' (ignored)", name.c_str());
        list.pending_spec.reset();
    } else {
        list.sections_list.push_back(std::move(list.pending_spec));
    }
    list.current_spec = nullptr;
}

void select_sections(RunContext& run) {
    SectionList& list = run.sections;
    drop_pending_spec(list);
    if (list.sections_list.empty()) {
        for (const CoffSection& section : run.coff.sections) {
            begin_section(run, section_name(run, section));
            if (run.settings.boot) set_section_boot(run);
            end_section(run);
        }
    }
    bind_sections(run);
    order_sections(run);
}

void bind_sections(RunContext& run) {
    ConversionSettings& settings = run.settings;
    SectionList& list = run.sections;
    const std::vector<CoffSection>& table = run.coff.sections;
    settings.boot = false;
    list.selected_count = 0;
    bool computed = false;

    std::vector<std::string> names;
    names.reserve(table.size());
    for (const CoffSection& section : table) names.push_back(section_name(run, section));

    for (const auto& entry : list.sections_list) {
        SectionSpec& spec = *entry;
        if (spec.data_width == -1) spec.data_width = settings.data_width;
        int32_t data_width = spec.data_width;

        size_t index = 0;
        while (index < table.size() && names[index] != spec.name) ++index;
        if (index == table.size()) {
            run.diag.report(kWarning, "section %s not found in %s", spec.name.c_str(),
                            settings.input_name.value_or("").c_str());
            continue;
        }
        const CoffSection& section = table[index];
        if (!section.loadable()) continue;

        const CoffSection* placement = &section;
        if ((section.flags & kSectionCopy) != 0 && names[index] == ".cinit") {
            if (settings.image && !spec.has(kBootLoaded)) {
                run.diag.report(kWarning, "can't convert RAM-model .cinit with -image");
                continue;
            }
            spec.set(kRamCinit);
            if (const CoffSection* bss = find_bss(run)) placement = bss;
        }

        spec.section = static_cast<int>(index);
        list.selected_count += 1;

        if (spec.has(kBootLoaded)) {
            spec.paddr = spec.start_address = static_cast<uint32_t>(settings.boot_origin);
            spec.page = settings.boot_page;
            settings.boot = true;
            continue;
        }
        if (spec.paddr == kNotGiven) {
            spec.paddr = spec.start_address =
                physical_offset(placement->virtual_address, data_width, settings.mem_width);
            computed = true;
        }
        spec.page = placement->page;
    }

    if (!computed) return;
    // A computed address assumes the default memory width; a range with its own
    // width puts such sections elsewhere than its user probably meant.
    for (const auto& range : run.memory.roms_list) {
        if (range->mem_width != settings.mem_width) {
            run.diag.report(kError, "Warning: Use of memwidth in ROMS without paddr in SECTIONS.");
        }
    }
}

void order_sections(RunContext& run) {
    SectionList& list = run.sections;
    const std::vector<CoffSection>& old_table = run.coff.sections;
    std::vector<CoffSection> table;
    table.reserve(old_table.size());

    // A boot-loaded .cinit goes after every other boot-loaded section, so that
    // its records end the boot table.
    auto loses_ties = [&](const SectionSpec& spec) {
        return spec.has(kBootLoaded) &&
               is_copy_cinit(run, old_table[static_cast<size_t>(spec.section)]);
    };

    for (;;) {
        SectionSpec* best = nullptr;
        for (const auto& entry : list.sections_list) {
            SectionSpec& spec = *entry;
            if (spec.section < 0 || spec.has(kMarked)) continue;
            if (!best || key_less(spec, *best) || (key_equal(spec, *best) && loses_ties(*best))) {
                best = &spec;
            }
        }
        if (!best) break;
        table.push_back(old_table[static_cast<size_t>(best->section)]);
        best->section = static_cast<int>(table.size() - 1);
        best->set(kMarked);
    }

    for (const CoffSection& section : old_table) {
        if (!section.loadable()) table.push_back(section);
    }
    run.coff.sections = std::move(table);
}

}  // namespace romcvt
