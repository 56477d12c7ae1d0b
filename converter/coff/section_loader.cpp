#include "converter/coff/section_loader.h"

#include <climits>
#include <cstring>
#include <vector>

#include "converter/coff/coff_reader.h"
#include "converter/driver/run_context.h"
#include "converter/memory/router.h"

namespace romcvt {

namespace {

constexpr size_t kChunkBytes = 16384;

bool has_stored_name(const CoffSection& section, const char* name) {
    return std::strncmp(section.name, name, sizeof section.name) == 0;
}

bool is_cinit_table(const CoffSection& section) {
    return (section.flags & kSectionCopy) != 0 && has_stored_name(section, ".cinit");
}

bool is_plain_loadable(const CoffSection& section) {
    return section.raw_data_offset != 0 && section.size_in_words != 0 &&
           (section.flags & (kSectionDummy | kSectionNoLoad | kSectionCopy)) == 0;
}

// An uninitialized ".bss" that has a file offset is written as zeros and
// never read from the file.
bool is_zero_filled(const CoffSection& section) {
    return (section.flags & kSectionUninitialized) != 0 && has_stored_name(section, ".bss");
}

uint16_t data_word(const RunContext& run, const uint8_t* p) {
    return run.coff.big_endian_data ? static_cast<uint16_t>(p[0] << 8 | p[1])
                                    : static_cast<uint16_t>(p[1] << 8 | p[0]);
}

// Reading state of one run; the record being passed on lives across chunks
// and sections.
struct SectionLoader {
    RunContext& run;
    std::vector<uint8_t> buffer = std::vector<uint8_t>(kChunkBytes);
    size_t carry = 0;
    uint16_t autoinit_remaining = 0;
    uint32_t autoinit_destination = 0;
    // A zero size word ends the records of its ".cinit" section: what follows
    // it, in this chunk or later ones, is not record data.
    bool records_ended = false;

    // Reading nothing counts as a short read: it is what a record header
    // cut off by the end of ".cinit" asks for.
    bool read_chunk(uint64_t offset, uint8_t* into, size_t length) {
        std::FILE* file = run.settings.input_stream.get();
        if (length == 0 || offset > static_cast<uint64_t>(LONG_MAX)) return false;
        if (std::fseek(file, static_cast<long>(offset), SEEK_SET) != 0) return false;
        return std::fread(into, 1, length, file) == length;
    }

    // Splits a chunk of ".cinit" into its records; a record header cut by
    // the chunk end is left in carry and read again with the next chunk.
    void parse_autoinit_chunk(uint8_t* data, size_t& chunk, int page) {
        size_t p = 0;
        while (p < chunk) {
            if (autoinit_remaining == 0) {
                if (p + 2 > chunk) {
                    carry += chunk - p;
                    chunk = p;
                    return;
                }
                uint16_t size = data_word(run, data + p);
                if (size == 0) {
                    records_ended = true;
                    return;
                }
                if (p + 4 > chunk) {
                    carry += chunk - p;
                    chunk = p;
                    return;
                }
                autoinit_remaining = size;
                autoinit_destination = data_word(run, data + p + 2);
                p += 4;
            }
            size_t n = std::min(chunk - p, size_t{2} * autoinit_remaining);
            if (n > 0) {
                if (run.settings.verbose) {
                    run.diag.print_text("\n\tLoading <.cinit>,\taddr=0x%lx, size=0x%04lx",
                                        static_cast<unsigned long>(autoinit_destination),
                                        static_cast<unsigned long>(autoinit_remaining));
                }
                route_section_data(run, data + p, n, autoinit_destination, page);
                autoinit_destination += static_cast<uint32_t>(n / 2);
                autoinit_remaining = static_cast<uint16_t>(autoinit_remaining - n / 2);
            }
            p += n;
        }
    }

    bool load_section(const CoffSection& section) {
        uint32_t address = section.virtual_address;
        uint64_t done = 0;
        uint64_t total = uint64_t{2} * section.size_in_words;
        bool zeros = is_zero_filled(section);
        bool autoinit = is_cinit_table(section);
        records_ended = false;
        carry = 0;
        if (zeros) std::fill(buffer.begin(), buffer.end(), uint8_t{0});
        size_t processed = 0;  // bytes of the previous chunk handed on
        while (done < total && !records_ended) {
            if (carry > 0) std::memmove(buffer.data(), buffer.data() + processed, carry);
            size_t chunk = static_cast<size_t>(std::min<uint64_t>(total - done, kChunkBytes));
            if (!zeros) {
                if (!read_chunk(uint64_t{section.raw_data_offset} + done + carry,
                                buffer.data() + carry, chunk - carry)) {
                    run.coff.coff_error = kCoffReadError;
                    return false;
                }
            }
            carry = 0;
            if (autoinit) {
                parse_autoinit_chunk(buffer.data(), chunk, section.page);
            } else {
                route_section_data(run, buffer.data(), chunk, address, section.page);
            }
            processed = chunk;
            address += static_cast<uint32_t>(chunk / 2);
            if (run.settings.verbose) run.diag.print_text(".");
            done += chunk;
        }
        return true;
    }
};

// The data of every section that will be read must lie inside the file, so
// a truncated file fails before any output is written.
bool data_inside_file(const RunContext& run, const CoffSection& section) {
    if (is_zero_filled(section)) return true;
    return uint64_t{section.raw_data_offset} + uint64_t{2} * section.size_in_words <=
           run.coff.file_size;
}

}  // namespace

bool load_sections(RunContext& run) {
    std::vector<CoffSection>& table = run.coff.sections;
    for (const CoffSection& section : table) {
        bool will_load =
            is_plain_loadable(section) || (is_cinit_table(section) && section.raw_data_offset != 0);
        if (will_load && !data_inside_file(run, section)) {
            run.coff.coff_error = kCoffReadError;
            return false;
        }
    }

    SectionLoader loader{run};
    for (size_t i = 0; i < table.size(); ++i) {
        run.coff.current_section = static_cast<int>(i);
        const CoffSection& section = table[i];
        if (is_plain_loadable(section)) {
            if (!loader.load_section(section)) return false;
        } else if (is_cinit_table(section) && section.raw_data_offset != 0) {
            if (run.settings.verbose) {
                run.diag.print_text("   Autoinitialization from <%s>",
                                    section_name(run, section).c_str());
            }
            if (!loader.load_section(section)) return false;
            if (run.settings.verbose) run.diag.print_text("\n");
        }
    }
    return true;
}

}  // namespace romcvt
