#include "converter/coff/coff_reader.h"

#include <climits>
#include <cstring>

#include "converter/coff/section_loader.h"
#include "converter/driver/driver.h"
#include "converter/driver/run_context.h"

namespace romcvt {

namespace {

constexpr size_t kFileHeaderBytes = 22;  // always read; version 0xC0 uses 20 of them
constexpr size_t kOptionalHeaderBytes = 28;
constexpr uint32_t kSymbolEntryBytes = 18;

// Header fields in the file's byte order.
class FieldDecoder {
  public:
    explicit FieldDecoder(bool swapped) : swapped_(swapped) {}
    uint16_t u16(const uint8_t* p) const {
        return swapped_ ? static_cast<uint16_t>(p[0] << 8 | p[1])
                        : static_cast<uint16_t>(p[1] << 8 | p[0]);
    }
    uint32_t u32(const uint8_t* p) const {
        return swapped_
                   ? (uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3])
                   : (uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0]);
    }

  private:
    bool swapped_;
};

bool read_at(std::FILE* file, uint64_t offset, void* buffer, size_t length) {
    if (offset > static_cast<uint64_t>(LONG_MAX)) return false;
    if (std::fseek(file, static_cast<long>(offset), SEEK_SET) != 0) return false;
    return std::fread(buffer, 1, length, file) == length;
}

uint64_t file_size_of(std::FILE* file) {
    if (std::fseek(file, 0, SEEK_END) != 0) return 0;
    long end = std::ftell(file);
    return end < 0 ? 0 : static_cast<uint64_t>(end);
}

bool fail(RunContext& run, int code) {
    run.coff.coff_error = code;
    return false;
}

// A section name that cannot be resolved ends the run at once with its own
// message on the error stream.
[[noreturn]] void corrupted_section_header(RunContext& run) {
    run.error_stream << "error reading COFF file - corrupted section header";
    run.error_stream.flush();
    throw FatalStop{-1};
}

void decode_section(const FieldDecoder& field, const uint8_t* raw, bool wide, CoffSection& s) {
    std::memcpy(s.name, raw, 8);
    if (s.name_in_string_table()) s.string_offset = field.u32(raw + 4);
    s.physical_address = field.u32(raw + 8);
    s.virtual_address = field.u32(raw + 12);
    s.size_in_words = field.u32(raw + 16);
    s.raw_data_offset = field.u32(raw + 20);
    s.relocation_offset = field.u32(raw + 24);
    s.line_number_offset = field.u32(raw + 28);
    if (wide) {
        s.relocation_count = field.u32(raw + 32);
        s.line_number_count = field.u32(raw + 36);
        s.flags = field.u32(raw + 40);
        s.reserved = field.u16(raw + 44);
        s.page = field.u16(raw + 46);
    } else {
        s.relocation_count = field.u16(raw + 32);
        s.line_number_count = field.u16(raw + 34);
        s.flags = field.u16(raw + 36);
        s.reserved = raw[38];
        s.page = raw[39];
    }
}

}  // namespace

bool read_string_table(RunContext& run) {
    CoffFile& coff = run.coff;
    std::FILE* file = run.settings.input_stream.get();
    coff.string_table.clear();
    coff.has_string_table = false;
    if (coff.symbol_count == 0) return true;

    uint64_t position =
        uint64_t{coff.symbol_table_offset} + uint64_t{kSymbolEntryBytes} * coff.symbol_count;
    uint8_t length_word[4];
    if (position + 4 > coff.file_size || !read_at(file, position, length_word, 4)) return true;
    uint32_t length = FieldDecoder(coff.byte_swapped).u32(length_word);
    // A length below the length word itself is treated as no table; names
    // that point into it are then reported as corrupted.
    if (length < 4) return true;
    uint32_t text_size = length - 4;
    if (run.settings.verbose) {
        run.diag.print_text("   %ld symbols.  String table size=%ld\n",
                            static_cast<long>(coff.symbol_count), static_cast<long>(text_size));
    }
    if (text_size == 0) return true;
    if (position + 4 + text_size > coff.file_size) return fail(run, kCoffReadError);
    std::string text(text_size, '\0');
    if (!read_at(file, position + 4, text.data(), text_size)) return fail(run, kCoffReadError);
    size_t last_nul = text.rfind('\0');
    if (last_nul == std::string::npos) return true;
    text.resize(last_nul + 1);
    coff.string_table = std::move(text);
    coff.has_string_table = true;
    return true;
}

bool read_coff_headers(RunContext& run) {
    CoffFile& coff = run.coff;
    std::FILE* file = run.settings.input_stream.get();
    coff.file_size = file_size_of(file);

    uint8_t header[kFileHeaderBytes];
    if (!read_at(file, 0, header, sizeof header)) return fail(run, kCoffReadError);
    uint16_t identification = FieldDecoder(false).u16(header);
    if (is_coff_identification(identification)) {
        coff.byte_swapped = false;
    } else {
        identification = FieldDecoder(true).u16(header);
        if (!is_coff_identification(identification)) return fail(run, kCoffBadMagic);
        coff.byte_swapped = true;
    }
    FieldDecoder field(coff.byte_swapped);
    uint32_t section_count = field.u16(header + 2);
    coff.symbol_table_offset = field.u32(header + 8);
    coff.symbol_count = field.u32(header + 12);
    coff.optional_header_size = field.u16(header + 16);
    coff.file_flags = field.u16(header + 18);
    coff.big_endian_data = (coff.file_flags & kFileBigEndianData) != 0;

    if (identification == 0x00C1 || identification == 0x00C2) {
        if (field.u16(header + 20) != 0x0098) return fail(run, kCoffBadMagic);
        coff.coff_version = identification;
    } else {
        coff.coff_version = 0xC0;
    }
    size_t file_header_size = coff.coff_version == 0xC0 ? 20 : 22;

    coff.entry_point_address = 0;
    if (coff.optional_header_size == kOptionalHeaderBytes) {
        uint8_t optional[kOptionalHeaderBytes];
        if (!read_at(file, file_header_size, optional, sizeof optional)) {
            return fail(run, kCoffReadError);
        }
        coff.entry_point_address = field.u32(optional + 16);
    }

    if (!read_string_table(run)) return false;

    bool wide = coff.coff_version == 0xC2;
    size_t header_size = wide ? 48 : 40;
    uint64_t table_offset = file_header_size + coff.optional_header_size;
    uint64_t table_bytes = uint64_t{section_count} * header_size;
    // Checked against the file length before anything is allocated for it.
    if (table_offset + table_bytes > coff.file_size) return fail(run, kCoffReadError);
    std::vector<uint8_t> raw(table_bytes);
    if (table_bytes > 0 && !read_at(file, table_offset, raw.data(), raw.size())) {
        return fail(run, kCoffReadError);
    }
    coff.sections.assign(section_count, CoffSection{});
    for (uint32_t i = 0; i < section_count; ++i) {
        CoffSection& section = coff.sections[i];
        decode_section(field, raw.data() + i * header_size, wide, section);
        if (!section.name_in_string_table()) continue;
        // Offsets count from the length word; the text starts at offset 4.
        if (!coff.has_string_table || section.string_offset < 4 ||
            section.string_offset - 4 >= coff.string_table.size()) {
            corrupted_section_header(run);
        }
    }

    conversion_start(run);

    if (run.settings.verbose) {
        run.diag.print_text("   %d sections, %s format, %s data\n   %s\n",
                            static_cast<int>(section_count),
                            coff.byte_swapped ? "swapped" : "unswapped",
                            coff.big_endian_data ? "big-E" : "little-E", "No relocation");
    }
    return true;
}

bool read_coff_file(RunContext& run) {
    run.coff.coff_error = kCoffOk;
    if (!read_coff_headers(run)) return false;
    return load_sections(run);
}

std::string section_name(const RunContext& run, const CoffSection& section) {
    if (!section.name_in_string_table()) {
        return std::string(section.name, strnlen(section.name, sizeof section.name));
    }
    const std::string& table = run.coff.string_table;
    size_t start = section.string_offset - 4;
    if (section.string_offset < 4 || start >= table.size()) return std::string();
    return std::string(table.c_str() + start);
}

}  // namespace romcvt
