// The in-memory picture of the COFF input: version, byte orders, headers,
// string table and section table.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace romcvt {

enum CoffSectionFlag : uint32_t {
    kSectionDummy = 0x0001,
    kSectionNoLoad = 0x0002,
    kSectionCopy = 0x0010,
    kSectionUninitialized = 0x0080,
};

enum CoffFileFlag : uint32_t {
    kFileBigEndianData = 0x0200,
    kFileDevice48 = 0x0010,
    kFileDevice45 = 0x0020,
};

struct CoffSection {
    char name[8] = {};
    uint32_t string_offset = 0;  // for names held in the string table
    uint32_t physical_address = 0;
    uint32_t virtual_address = 0;
    uint32_t size_in_words = 0;
    uint32_t raw_data_offset = 0;
    uint32_t relocation_offset = 0;
    uint32_t line_number_offset = 0;
    uint32_t relocation_count = 0;
    uint32_t line_number_count = 0;
    uint32_t flags = 0;
    uint16_t reserved = 0;
    uint16_t page = 0;

    bool name_in_string_table() const {
        return name[0] == 0 && name[1] == 0 && name[2] == 0 && name[3] == 0;
    }
    bool loadable() const {
        return raw_data_offset != 0 && size_in_words != 0 &&
               (flags & (kSectionDummy | kSectionNoLoad)) == 0;
    }
};

// The identification words of the COFF files the converter reads, in
// either byte order of the header.
inline bool is_coff_identification(uint16_t word) {
    return word == 0x00C0 || word == 0x00C1 || word == 0x00C2 || word == 0x0098;
}

enum CoffError : int { kCoffOk = 0, kCoffReadError = 1, kCoffBadMagic = 2 };

struct CoffFile {
    int coff_version = 0;
    bool byte_swapped = false;
    bool big_endian_data = false;
    uint32_t file_flags = 0;
    uint32_t symbol_table_offset = 0;
    uint32_t symbol_count = 0;
    uint32_t optional_header_size = 0;
    uint32_t entry_point_address = 0;
    uint64_t file_size = 0;
    std::vector<CoffSection> sections;
    std::string string_table;  // text after the length word, up to its last NUL
    bool has_string_table = false;
    int coff_error = kCoffOk;
    int current_section = -1;
};

}  // namespace romcvt
