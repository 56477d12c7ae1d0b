#include "tools/coff_builder/coff_builder.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace coff_builder {
namespace {

constexpr size_t kOptionalHeaderSize = 28;
constexpr size_t kSymbolEntrySize = 18;
constexpr uint64_t kMaxOffset = 0xFFFFFFFFu;

bool has_target_id(uint16_t magic) { return magic != 0x00C0 && magic != 0x0098; }
bool wide_section_headers(uint16_t magic) {
    return magic != 0x00C0 && magic != 0x0098 && magic != 0x00C1;
}

// Writes multi-byte values at fixed offsets into a buffer that is already sized.
class FieldWriter {
  public:
    FieldWriter(std::vector<uint8_t>& bytes, bool msb_first) : bytes_(bytes), msb_(msb_first) {}

    void u8(size_t offset, uint8_t value) { bytes_[offset] = value; }
    void u16(size_t offset, uint16_t value) {
        uint8_t* p = bytes_.data() + offset;
        if (msb_) {
            p[0] = static_cast<uint8_t>(value >> 8);
            p[1] = static_cast<uint8_t>(value);
        } else {
            p[0] = static_cast<uint8_t>(value);
            p[1] = static_cast<uint8_t>(value >> 8);
        }
    }
    void u32(size_t offset, uint32_t value) {
        if (msb_) {
            u16(offset, static_cast<uint16_t>(value >> 16));
            u16(offset + 2, static_cast<uint16_t>(value));
        } else {
            u16(offset, static_cast<uint16_t>(value));
            u16(offset + 2, static_cast<uint16_t>(value >> 16));
        }
    }
    void text(size_t offset, const std::string& s) {
        std::memcpy(bytes_.data() + offset, s.data(), s.size());
    }

  private:
    std::vector<uint8_t>& bytes_;
    bool msb_;
};

uint32_t checked_offset(uint64_t value, const char* what) {
    if (value > kMaxOffset) {
        throw std::invalid_argument(std::string(what) + " does not fit a 32-bit file offset");
    }
    return static_cast<uint32_t>(value);
}

uint32_t section_size(const Section& s) {
    return s.size_in_words.value_or(static_cast<uint32_t>(s.words.size()));
}

}  // namespace

std::vector<uint8_t> build(const CoffImage& image, Layout* layout) {
    Layout out;
    const bool wide = wide_section_headers(image.magic);
    if (image.sections.size() > 0xFFFF) throw std::invalid_argument("more than 65535 sections");

    out.file_header_size = has_target_id(image.magic) ? 22 : 20;
    if (image.optional_header_override) {
        out.optional_header_size = image.optional_header_override->size();
    } else {
        out.optional_header_size = image.optional_header ? kOptionalHeaderSize : 0;
    }
    if (out.optional_header_size > 0xFFFF) throw std::invalid_argument("optional header size");
    out.optional_header_offset = out.optional_header_size != 0 ? out.file_header_size : 0;
    out.section_table_offset = out.file_header_size + out.optional_header_size;
    out.section_header_size = wide ? 48 : 40;

    uint64_t cursor = out.section_table_offset + out.section_header_size * image.sections.size();
    bool long_names = false;
    for (size_t i = 0; i < image.sections.size(); ++i) {
        const Section& s = image.sections[i];
        out.section_header_offsets.push_back(out.section_table_offset +
                                             i * out.section_header_size);
        if (s.words.empty()) {
            out.raw_data_offsets.push_back(0);
        } else {
            out.raw_data_offsets.push_back(checked_offset(cursor, "raw data"));
            cursor += 2 * uint64_t{s.words.size()};
        }
        if (s.name.size() > 8) long_names = true;
    }

    const bool emit_symbols =
        image.symbols == Symbols::always || (image.symbols == Symbols::automatic && long_names);
    // Long names get their string-table offsets even without a table, so that a reader can
    // be shown a name that refers to a missing string table.
    std::vector<uint32_t> name_offsets(image.sections.size(), 0);
    uint64_t string_table_length = 4;
    for (size_t i = 0; i < image.sections.size(); ++i) {
        const std::string& name = image.sections[i].name;
        if (name.size() > 8) {
            name_offsets[i] = checked_offset(string_table_length, "string table");
            string_table_length += name.size() + 1;
        }
    }
    if (emit_symbols) {
        out.symbol_table_offset = checked_offset(cursor, "symbol table");
        out.symbol_count = 1;
        cursor += kSymbolEntrySize;
        out.string_table_offset = checked_offset(cursor, "string table");
        cursor += string_table_length;
    }
    out.file_size = checked_offset(cursor, "file size");

    std::vector<uint8_t> bytes(out.file_size, 0);
    FieldWriter header(bytes, image.swapped_headers);

    uint16_t file_flags = image.extra_file_flags;
    if (image.big_endian_data) file_flags |= kFileBigEndianData;
    header.u16(0, image.magic);
    header.u16(2, static_cast<uint16_t>(image.sections.size()));
    header.u32(4, 0);  // time stamp
    header.u32(8, static_cast<uint32_t>(out.symbol_table_offset));
    header.u32(12, static_cast<uint32_t>(out.symbol_count));
    header.u16(16, static_cast<uint16_t>(out.optional_header_size));
    header.u16(18, file_flags);
    if (has_target_id(image.magic)) header.u16(20, image.target_id);

    if (image.optional_header_override) {
        std::copy(image.optional_header_override->begin(), image.optional_header_override->end(),
                  bytes.begin() + static_cast<std::ptrdiff_t>(out.file_header_size));
    } else if (image.optional_header) {
        const size_t o = out.optional_header_offset;
        header.u16(o, 0x0108);  // optional-header magic; the converter does not check it
        header.u32(o + 16, image.entry_point);
    }

    for (size_t i = 0; i < image.sections.size(); ++i) {
        const Section& s = image.sections[i];
        const size_t h = out.section_header_offsets[i];
        if (s.name.size() > 8) {
            header.u32(h, 0);
            header.u32(h + 4, name_offsets[i]);
        } else {
            header.text(h, s.name);  // NUL padded, not terminated at 8 characters
        }
        header.u32(h + 8, s.physical_address.value_or(s.virtual_address));
        header.u32(h + 12, s.virtual_address);
        header.u32(h + 16, section_size(s));
        header.u32(h + 20, static_cast<uint32_t>(out.raw_data_offsets[i]));
        // Relocation and line-number offsets and counts stay 0: the converter ignores them.
        if (wide) {
            header.u32(h + 40, s.flags);
            header.u16(h + 46, s.page);
        } else {
            if (s.flags > 0xFFFF) {
                throw std::invalid_argument("section " + s.name + ": flags exceed 16 bits");
            }
            if (s.page > 0xFF) {
                throw std::invalid_argument("section " + s.name + ": page exceeds 8 bits");
            }
            header.u16(h + 36, static_cast<uint16_t>(s.flags));
            header.u8(h + 39, static_cast<uint8_t>(s.page));
        }

        if (!s.words.empty()) {
            uint8_t* p = bytes.data() + out.raw_data_offsets[i];
            if (image.big_endian_data) {
                for (uint16_t w : s.words) {
                    *p++ = static_cast<uint8_t>(w >> 8);
                    *p++ = static_cast<uint8_t>(w);
                }
            } else {
                for (uint16_t w : s.words) {
                    *p++ = static_cast<uint8_t>(w);
                    *p++ = static_cast<uint8_t>(w >> 8);
                }
            }
        }
    }

    if (emit_symbols) {
        const size_t y = out.symbol_table_offset;
        header.text(y, ".file");
        header.u16(y + 12, 0xFFFE);  // section number of a debugging symbol
        header.u8(y + 16, 103);      // storage class: file name
        const size_t t = out.string_table_offset;
        header.u32(t, static_cast<uint32_t>(string_table_length));
        for (size_t i = 0; i < image.sections.size(); ++i) {
            if (name_offsets[i] != 0) header.text(t + name_offsets[i], image.sections[i].name);
        }
    }

    if (layout != nullptr) *layout = std::move(out);
    return bytes;
}

void write_file(const std::string& path, const CoffImage& image) {
    const std::vector<uint8_t> bytes = build(image);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) throw std::runtime_error("cannot create " + path + ": " + std::strerror(errno));
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file) throw std::runtime_error("cannot write " + path + ": " + std::strerror(errno));
}

std::vector<uint16_t> cinit_words(const std::vector<CinitRecord>& records) {
    std::vector<uint16_t> words;
    for (const CinitRecord& r : records) {
        if (r.words.empty() || r.words.size() > 0xFFFF) {
            throw std::invalid_argument("a .cinit record holds 1 to 65535 words");
        }
        words.push_back(static_cast<uint16_t>(r.words.size()));
        words.push_back(r.destination);
        words.insert(words.end(), r.words.begin(), r.words.end());
    }
    words.push_back(0);
    return words;
}

Section cinit_section(const std::vector<CinitRecord>& records, uint32_t virtual_address,
                      uint16_t page) {
    Section s;
    s.name = ".cinit";
    s.virtual_address = virtual_address;
    s.words = cinit_words(records);
    s.flags = kSectionCopy;
    s.page = page;
    return s;
}

std::vector<uint16_t> ramp_words(size_t count, uint16_t first) {
    std::vector<uint16_t> words(count);
    uint16_t w = first;
    for (uint16_t& x : words) x = w++;
    return words;
}

std::vector<uint16_t> random_words(size_t count, uint32_t seed) {
    std::vector<uint16_t> words(count);
    uint32_t state = seed != 0 ? seed : 0x9E3779B9u;  // xorshift must not start at 0
    for (uint16_t& x : words) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        x = static_cast<uint16_t>(state >> 8);
    }
    return words;
}

std::map<uint32_t, uint16_t> expected_page_words(const CoffImage& image, uint16_t page) {
    std::map<uint32_t, uint16_t> result;
    for (const Section& s : image.sections) {
        if (s.page != page) continue;
        const uint32_t size = section_size(s);
        if ((s.flags & kSectionCopy) != 0) {
            if (s.name != ".cinit" || s.words.empty() || size == 0) continue;
            size_t p = 0;
            const size_t end = std::min<size_t>(size, s.words.size());
            while (p < end && s.words[p] != 0) {
                if (p + 2 > end) throw std::invalid_argument(".cinit record header cut off");
                const size_t n = s.words[p];
                uint32_t destination = s.words[p + 1];
                p += 2;
                for (size_t k = 0; k < n && p < end; ++k) result[destination++] = s.words[p++];
            }
            continue;
        }
        if (s.words.empty() || size == 0 || (s.flags & (kSectionDummy | kSectionNoLoad)) != 0) {
            continue;
        }
        if (size > s.words.size()) {
            throw std::invalid_argument("section " + s.name + ": size exceeds its raw data");
        }
        const bool zeros = (s.flags & kSectionUninitialized) != 0 && s.name == ".bss";
        for (uint32_t k = 0; k < size; ++k) {
            result[s.virtual_address + k] = zeros ? 0 : s.words[k];
        }
    }
    return result;
}

}  // namespace coff_builder
