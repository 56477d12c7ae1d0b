#include "converter/memory/map_file.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <string>

#include "converter/driver/driver.h"
#include "converter/driver/run_context.h"
#include "converter/output/output_format.h"

namespace romcvt {

namespace {

constexpr const char* kIndent = "             ";  // continues the contents list
constexpr const char* kFileIndent = "                 ";
constexpr const char* kRule =
    "\n-------------------------------------------------------------------\n";

// Formats text and writes it with every "\n" as CR LF; the stream is binary.
void put(RunContext& run, const char* format, ...) __attribute__((format(printf, 2, 3)));
void put(RunContext& run, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = vformat(format, args);
    va_end(args);
    std::string out;
    out.reserve(text.size() + 8);
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    std::fwrite(out.data(), 1, out.size(), run.settings.map_stream.get());
}

unsigned long ul(uint32_t value) { return value; }

bool any_boot_loaded(const RunContext& run) {
    for (const auto& spec : run.sections.sections_list) {
        if (spec->section >= 0 && spec->has(kBootLoaded)) return true;
    }
    return false;
}

void write_boot_parameters(RunContext& run) {
    const ConversionSettings& s = run.settings;
    if (s.boot_kind != kBootWarm && !any_boot_loaded(run)) return;
    put(run, "\nBOOT LOADER PARAMETERS\n");
    if (s.boot_kind == kBootWarm) put(run, "WARM BOOT\n");
    put(run, "   Table Address: %04lx, PAGE %d\n", ul(static_cast<uint32_t>(s.boot_origin)),
        static_cast<int>(s.boot_page));
    if (run.device_code != 48) return;
    put(run, "REGISTERS\n");
    put(run, "   spc:               %8lx\n", ul(s.spc));
    put(run, "   spce:              %8lx\n", ul(s.spce));
    put(run, "   arr:               %8lx\n", ul(s.arr));
    put(run, "   bkr:               %8lx\n", ul(s.bkr));
    put(run, "   tcsr:              %8lx\n", ul(s.tcsr));
    put(run, "   trta:              %8lx\n", ul(s.trta));
    put(run, "   swwsr:             %8lx\n", ul(s.swwsr));
    put(run, "   bscr               %8lx\n", ul(s.bscr));
}

// The warm-boot header is written only for device code 48; with any other
// device code there is no table to show.
bool warm_table_in(const RunContext& run, const RomRange& range) {
    const ConversionSettings& s = run.settings;
    uint32_t origin = static_cast<uint32_t>(s.boot_origin);
    return s.boot_kind == kBootWarm && run.device_code == 48 && s.boot_page == range.page &&
           range.origin <= origin && origin <= range.end;
}

// Writes the list of what landed in a range, in ascending address order.
class ContentsWriter {
  public:
    ContentsWriter(RunContext& run, RomRange& range)
        : run_(run), range_(range), cursor_(range.origin), warm_(warm_table_in(run, range)) {}

    void write(std::vector<SectionSpec*>& entries) {
        for (SectionSpec* spec : entries) spec->clear(kMarked);
        put(run_, "\n   CONTENTS: ");
        SectionSpec* entry = next_after(entries, nullptr);
        while (entry) {
            if (!first_) put(run_, "%s", kIndent);
            first_ = false;
            write_entry(entries, *entry);
            entry = next_after(entries, entry);
        }
        if (warm_ && !table_shown_) {
            if (!first_) put(run_, "%s", kIndent);
            write_table_line(false);
            first_ = true;  // the line above already indents what follows
        }
        if (run_.settings.image && (cursor_ <= range_.end && !wrapped_)) {
            if (!first_) put(run_, "%s", kIndent);
            put(run_, "%08lx..%08lx   FILL = %08lx\n", ul(cursor_), ul(range_.end),
                ul(range_.fill));
        }
    }

  private:
    // The unmarked entry with the smallest start address above the previous
    // entry's last address; on a tie the earlier one in the section list.
    SectionSpec* next_after(std::vector<SectionSpec*>& entries, const SectionSpec* previous) {
        SectionSpec* best = nullptr;
        for (SectionSpec* spec : entries) {
            if (spec->has(kMarked)) continue;
            if (previous && spec->start_address <= previous->last_address) continue;
            if (!best || spec->start_address < best->start_address) best = spec;
        }
        if (best) best->set(kMarked);
        return best;
    }

    void fill_up_to(uint32_t address) {
        if (!run_.settings.image || wrapped_ || address <= cursor_) return;
        put(run_, "%08lx..%08lx   FILL = %08lx\n%s", ul(cursor_), ul(address - 1), ul(range_.fill),
            kIndent);
        cursor_ = address;
    }

    void move_cursor_past(uint32_t last) {
        if (last + 1 == 0) wrapped_ = true;
        if (last + 1 > cursor_) cursor_ = last + 1;
    }

    void write_table_line(bool incomplete) {
        uint32_t origin = static_cast<uint32_t>(run_.settings.boot_origin);
        fill_up_to(origin);
        put(run_, "%08lx..%08lx   BOOT TABLE%s\n%s", ul(origin), ul(run_.boot.boot_cursor - 1),
            incomplete ? " (INCOMPLETE)" : "", kIndent);
        if (run_.boot.boot_cursor != origin) move_cursor_past(run_.boot.boot_cursor - 1);
        table_shown_ = true;
    }

    void write_entry(const std::vector<SectionSpec*>& entries, SectionSpec& spec) {
        const ConversionSettings& s = run_.settings;
        bool after_table =
            spec.page > s.boot_page || (spec.page == s.boot_page &&
                                        spec.start_address >= static_cast<uint32_t>(s.boot_origin));
        // A boot-loaded entry shows the table itself, just below.
        if (warm_ && !table_shown_ && after_table && !spec.has(kBootLoaded)) {
            write_table_line(false);
        }
        if (spec.has(kBootLoaded)) {
            write_boot_entry(entries, spec);
            return;
        }
        fill_up_to(spec.start_address);
        put(run_, "%08lx..%08lx   %s", ul(spec.start_address), ul(spec.last_address),
            spec.name.c_str());
        put(run_, " Data Width=%d   ", static_cast<int>(spec.data_width));
        if (spec.has(kGapReported)) put(run_, " (INCOMPLETE)");
        put(run_, "\n");
        spec.set(kMapped);
        move_cursor_past(spec.last_address);
    }

    void write_boot_entry(const std::vector<SectionSpec*>& entries, SectionSpec& spec) {
        if (!boot_entry_seen_) {
            boot_entry_seen_ = true;
            bool incomplete = false;
            for (const SectionSpec* other : entries) {
                if (other->has(kBootLoaded) && other->has(kGapReported)) incomplete = true;
            }
            if (!table_shown_) {
                write_table_line(incomplete);
            }
        }
        put(run_, " %19s : ", spec.name.c_str());
        if (spec.has(kMapped)) {
            put(run_, "(continued)\n");
        } else {
            const CoffSection& section = run_.coff.sections[static_cast<size_t>(spec.section)];
            put(run_, "dest=%08lx  size=%08lx  width=%08lx\n", ul(section.virtual_address),
                ul(section.size_in_words), ul(static_cast<uint32_t>(spec.data_width)));
        }
        spec.set(kMapped);
        move_cursor_past(spec.last_address);
    }

    RunContext& run_;
    RomRange& range_;
    uint32_t cursor_;
    bool wrapped_ = false;
    bool warm_;
    bool first_ = true;
    bool table_shown_ = false;
    bool boot_entry_seen_ = false;
};

}  // namespace

void write_map_header(RunContext& run) {
    const ConversionSettings& s = run.settings;
    std::string banner = std::string(kProductName) + "   ";
    std::string stars(banner.size() + std::string(kVersionText).size() + 10, '*');
    put(run, "%s", stars.c_str());
    put(run, "\n%s          %s\n", banner.c_str(), kVersionText);
    put(run, "%s", stars.c_str());
    std::time_t now = std::time(nullptr);
    put(run, "\n%s", std::asctime(std::localtime(&now)));
    put(run, "\nINPUT FILE NAME: <%s>\n", s.input_name.value_or("").c_str());
    put(run, "OUTPUT FORMAT:   %s\n", output_format(s.format).name);
    put(run, "\nPHYSICAL MEMORY PARAMETERS\n");
    put(run, "   Default data width:    %d\n", static_cast<int>(s.data_width * 8));
    put(run, "   Default memory width:  %d", static_cast<int>(s.mem_width * 8));
    if (s.data_width > s.mem_width) {
        put(run, "%s", s.byte_order == kMostFirst ? " (MS-->LS)" : " (LS-->MS)");
    }
    put(run, "\n");
    put(run, "   Default output width:  %d\n", static_cast<int>(s.rom_width * 8));
    write_boot_parameters(run);
}

void write_map_range(RunContext& run) {
    RomRange& range = *run.memory.current_range;
    if (!run.map.translation_map_started) {
        put(run, "\n\nOUTPUT TRANSLATION MAP");
        run.map.translation_map_started = true;
    }
    put(run, "%s", kRule);
    put(run, "%08lx..%08lx  Page=%d  Memory Width=%d  ROM Width=%d", ul(range.origin),
        ul(range.end), static_cast<int>(range.page), static_cast<int>(range.mem_width * 8),
        static_cast<int>(range.rom_width * 8));
    if (range.name != "*DEFAULT*") put(run, "  \"%s\"", range.name.c_str());
    put(run, "%s", kRule);

    std::vector<SectionSpec*> entries;
    for (const auto& spec : run.sections.sections_list) {
        if (spec->range == &range) entries.push_back(spec.get());
    }
    bool warm = warm_table_in(run, range);
    if (entries.empty() && !run.settings.image) {
        if (warm) {
            put(run, "%08lx..%08lx   BOOT TABLE\n%s",
                ul(static_cast<uint32_t>(run.settings.boot_origin)), ul(run.boot.boot_cursor - 1),
                kIndent);
        } else {
            put(run, "   NO CONTENTS\n");
        }
        return;
    }
    put(run, "   OUTPUT FILES: ");
    int bits = static_cast<int>(range.rom_width * 8);
    for (int i = 0; i < range.file_count; ++i) {
        if (i > 0) put(run, "%s", kFileIndent);
        put(run, "%s [b%d..b%d]\n", range.files[static_cast<size_t>(i)].c_str(), i * bits,
            (i + 1) * bits - 1);
    }
    // A range that holds only the warm-boot header still lists it.
    if (entries.empty() && !warm) return;
    ContentsWriter(run, range).write(entries);
}

}  // namespace romcvt
