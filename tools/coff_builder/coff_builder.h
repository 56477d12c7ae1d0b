// Builds KDP7100 COFF object files in memory for the converter's tests and
// benchmarks: every header variant the reader accepts, long names in a string
// table, autoinitialization tables, and a sample firmware image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace coff_builder {

enum SectionFlag : uint32_t {
    kSectionDummy = 0x0001,
    kSectionNoLoad = 0x0002,
    kSectionCopy = 0x0010,
    kSectionUninitialized = 0x0080,
};

enum FileFlag : uint16_t {
    kFileDevice48 = 0x0010,
    kFileDevice45 = 0x0020,
    kFileBigEndianData = 0x0200,
};

constexpr uint16_t kTargetId = 0x0098;

// Members without a plain default carry an explicit {} so that designated initializers may
// leave them out without a missing-initializer warning.
struct Section {
    std::string name{};  // more than 8 characters goes to the string table
    uint32_t virtual_address = 0;
    std::optional<uint32_t> physical_address{};  // defaults to virtual_address
    std::vector<uint16_t> words{};               // raw data; empty means raw_data_offset 0
    std::optional<uint32_t> size_in_words{};     // defaults to words.size()
    uint32_t flags = 0;
    uint16_t page = 0;  // at most 255 in 40-byte section headers
};

enum class Symbols {
    automatic,  // one dummy symbol and a string table only when a name needs it
    always,     // one dummy symbol and a string table (possibly just the length word)
    none,       // no symbol table and no string table, even for long names
};

struct CoffImage {
    // 0x00C0, 0x00C1, 0x00C2 or 0x0098; any other value is laid out like 0x00C2 so that
    // wrong-magic files can be built too.
    uint16_t magic = 0x00C2;
    uint16_t target_id = kTargetId;  // written only for 0x00C1 / 0x00C2 layouts
    bool swapped_headers = false;    // header fields most significant byte first
    bool big_endian_data = false;    // sets flag 0x0200; section words MSB first
    bool optional_header = true;     // the 28-byte optional header
    // Written verbatim instead of the optional header (its size field is the length), for
    // files whose optional header the reader must skip.
    std::optional<std::vector<uint8_t>> optional_header_override{};
    uint32_t entry_point = 0;
    uint16_t extra_file_flags = 0;  // ORed into the file flags, e.g. kFileDevice48
    Symbols symbols = Symbols::automatic;
    std::vector<Section> sections{};
};

// Where everything landed, so tests can corrupt precise fields. Offsets of parts that
// are absent are 0.
struct Layout {
    size_t file_header_size = 0;
    size_t optional_header_offset = 0;
    size_t optional_header_size = 0;
    size_t section_table_offset = 0;
    size_t section_header_size = 0;
    size_t symbol_table_offset = 0;
    size_t symbol_count = 0;
    size_t string_table_offset = 0;
    size_t file_size = 0;
    std::vector<size_t> section_header_offsets;
    std::vector<size_t> raw_data_offsets;  // 0 when the section has no raw data
};

// Throws std::invalid_argument when a value does not fit its field (page or flags of a
// 40-byte section header, counts, offsets beyond 32 bits).
std::vector<uint8_t> build(const CoffImage& image, Layout* layout = nullptr);

// Throws std::runtime_error when the file cannot be written.
void write_file(const std::string& path, const CoffImage& image);

struct CinitRecord {
    uint16_t destination = 0;       // target word address
    std::vector<uint16_t> words{};  // 1 to 65535 data words
};

// Size word, destination word and data of each record, then the terminating zero size
// word. build() writes them in the file's data byte order.
std::vector<uint16_t> cinit_words(const std::vector<CinitRecord>& records);

// A ".cinit" copy section holding cinit_words(records).
Section cinit_section(const std::vector<CinitRecord>& records, uint32_t virtual_address = 0,
                      uint16_t page = 0);

// 0, 1, 2, ... wrapping at 0x10000.
std::vector<uint16_t> ramp_words(size_t count, uint16_t first = 0);
// Reproducible pseudo-random words; the same seed always gives the same words.
std::vector<uint16_t> random_words(size_t count, uint32_t seed);

// The words a correct conversion places on the given page: every section that gets loaded
// (raw data, nonzero size, none of dummy/no-load/copy) at its virtual address, a ".bss"
// with raw data as zeros, and the data of each ".cinit" copy section's records at their
// destinations. Later sections and records overwrite earlier ones. Throws
// std::invalid_argument for a loaded section whose size exceeds its raw data.
std::map<uint32_t, uint16_t> expected_page_words(const CoffImage& image, uint16_t page);

// The firmware compatibility word: the first word of the sample's .text.
constexpr uint16_t kSampleCompatibilityWord = 0x0411;

// A stand-in for the shipped firmware: version 0xC2, little-endian headers and data,
// entry point, .text starting with the compatibility word, .const, a long-named section,
// .cinit records that fill part of .bss, and .data on page 1.
CoffImage sample_firmware();
std::map<uint32_t, uint16_t> sample_firmware_page0_words();

// Section data of the given size in mebibytes (1 to 4095), in 1 MiB sections on page 0 at
// ascending word addresses from 0x80; the first word is the compatibility word.
CoffImage big_image(uint32_t mebibytes);

}  // namespace coff_builder
