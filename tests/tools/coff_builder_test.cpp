// Checks the bytes the fixture builder writes against the file layout, decoded here by
// hand so that a fault in the builder cannot hide behind a matching fault in the reader.
#include "tools/coff_builder/coff_builder.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "tools/coff_builder/description.h"

namespace cb = coff_builder;

namespace {

struct Bytes {
    const std::vector<uint8_t>& b;
    bool msb_first;

    uint16_t u16(size_t at) const {
        return msb_first ? static_cast<uint16_t>(b.at(at) << 8 | b.at(at + 1))
                         : static_cast<uint16_t>(b.at(at + 1) << 8 | b.at(at));
    }
    uint32_t u32(size_t at) const {
        return msb_first ? uint32_t{u16(at)} << 16 | u16(at + 2)
                         : uint32_t{u16(at + 2)} << 16 | u16(at);
    }
    std::string text(size_t at, size_t n) const {
        return std::string(b.begin() + static_cast<long>(at),
                           b.begin() + static_cast<long>(at + n));
    }
};

cb::Section section(std::string name, uint32_t address, std::vector<uint16_t> words,
                    uint32_t flags = 0, uint16_t page = 0) {
    cb::Section s;
    s.name = std::move(name);
    s.virtual_address = address;
    s.words = std::move(words);
    s.flags = flags;
    s.page = page;
    return s;
}

struct HeaderCase {
    uint16_t magic;
    bool swapped;
    bool big_endian_data;
    bool optional_header;
    size_t file_header_size;
    size_t section_header_size;
};

void PrintTo(const HeaderCase& c, std::ostream* os) {
    *os << std::hex << "magic 0x" << c.magic << (c.swapped ? " swapped" : "")
        << (c.big_endian_data ? " big-endian data" : "")
        << (c.optional_header ? "" : " no optional header");
}

class FileHeaderTest : public testing::TestWithParam<HeaderCase> {};

TEST_P(FileHeaderTest, FieldsSitAtTheirOffsetsInTheHeaderByteOrder) {
    const HeaderCase& c = GetParam();
    cb::CoffImage image;
    image.magic = c.magic;
    image.swapped_headers = c.swapped;
    image.big_endian_data = c.big_endian_data;
    image.optional_header = c.optional_header;
    image.entry_point = 0x00123456;
    image.extra_file_flags = cb::kFileDevice48;
    image.sections = {section(".text", 0x80, {1, 2, 3}), section(".data", 0x200, {4})};
    cb::Layout layout;
    const std::vector<uint8_t> file = cb::build(image, &layout);
    const Bytes in{file, c.swapped};

    EXPECT_EQ(in.u16(0), c.magic);
    EXPECT_EQ(in.u16(2), 2);
    EXPECT_EQ(in.u32(8), 0u) << "no symbol table without long names";
    EXPECT_EQ(in.u32(12), 0u);
    EXPECT_EQ(in.u16(16), c.optional_header ? 28 : 0);
    EXPECT_EQ(in.u16(18), c.big_endian_data ? 0x0210 : 0x0010);
    if (c.file_header_size == 22) {
        EXPECT_EQ(in.u16(20), cb::kTargetId);
    }

    EXPECT_EQ(layout.file_header_size, c.file_header_size);
    EXPECT_EQ(layout.section_header_size, c.section_header_size);
    const size_t optional_size = c.optional_header ? 28 : 0;
    EXPECT_EQ(layout.section_table_offset, c.file_header_size + optional_size);
    if (c.optional_header) {
        EXPECT_EQ(layout.optional_header_offset, c.file_header_size);
        EXPECT_EQ(in.u32(c.file_header_size + 16), 0x00123456u);
    }
    const size_t data_start = layout.section_table_offset + 2 * c.section_header_size;
    EXPECT_EQ(layout.raw_data_offsets, (std::vector<size_t>{data_start, data_start + 6}));
    EXPECT_EQ(layout.file_size, data_start + 8);
    EXPECT_EQ(file.size(), layout.file_size);
}

INSTANTIATE_TEST_SUITE_P(AllVersions, FileHeaderTest,
                         testing::Values(HeaderCase{0x00C2, false, false, true, 22, 48},
                                         HeaderCase{0x00C2, true, true, true, 22, 48},
                                         HeaderCase{0x00C1, false, true, false, 22, 40},
                                         HeaderCase{0x00C1, true, false, true, 22, 40},
                                         HeaderCase{0x00C0, false, false, true, 20, 40},
                                         HeaderCase{0x00C0, true, true, false, 20, 40},
                                         HeaderCase{0x0098, false, false, false, 20, 40},
                                         HeaderCase{0x0098, true, false, true, 20, 40}),
                         [](const testing::TestParamInfo<HeaderCase>& info) {
                             const HeaderCase& c = info.param;
                             std::ostringstream name;
                             name << std::hex << "magic" << c.magic << (c.swapped ? "_swapped" : "")
                                  << (c.big_endian_data ? "_bigdata" : "")
                                  << (c.optional_header ? "" : "_noopt");
                             return name.str();
                         });

TEST(FileHeader, TargetIdCanBeWrong) {
    cb::CoffImage image;
    image.magic = 0x00C1;
    image.target_id = 0x0099;
    const std::vector<uint8_t> file = cb::build(image);
    EXPECT_EQ((Bytes{file, false}.u16(20)), 0x0099);
}

TEST(FileHeader, OptionalHeaderOverrideIsWrittenVerbatimAndSized) {
    for (size_t size : {size_t{0}, size_t{12}}) {
        cb::CoffImage image;
        image.swapped_headers = true;
        image.optional_header_override = std::vector<uint8_t>(size, 0x5A);
        image.sections = {section(".text", 0, {7})};
        cb::Layout layout;
        const std::vector<uint8_t> file = cb::build(image, &layout);
        EXPECT_EQ((Bytes{file, true}.u16(16)), size);
        EXPECT_EQ(layout.section_table_offset, 22 + size);
        EXPECT_EQ(std::count(file.begin() + 22, file.begin() + 22 + static_cast<long>(size), 0x5A),
                  static_cast<long>(size));
        EXPECT_EQ(file.at(22 + size), '.') << "section name follows the junk";
    }
}

struct SectionHeaderCase {
    uint16_t magic;
    bool swapped;
    size_t flags_at, flags_size, page_at, page_size;
};

void PrintTo(const SectionHeaderCase& c, std::ostream* os) {
    *os << std::hex << "magic 0x" << c.magic << (c.swapped ? " swapped" : "");
}

class SectionHeaderTest : public testing::TestWithParam<SectionHeaderCase> {};

TEST_P(SectionHeaderTest, FieldsSitAtTheirOffsets) {
    const SectionHeaderCase& c = GetParam();
    cb::CoffImage image;
    image.magic = c.magic;
    image.swapped_headers = c.swapped;
    image.big_endian_data = !c.swapped;
    cb::Section text = section(".text", 0x80, {1, 2}, cb::kSectionCopy | cb::kSectionNoLoad, 3);
    cb::Section bss = section(".bss", 0x9000, {}, cb::kSectionUninitialized, 1);
    bss.physical_address = 0x4000;
    bss.size_in_words = 0x100;
    image.sections = {text, bss};
    cb::Layout layout;
    const std::vector<uint8_t> file = cb::build(image, &layout);
    const Bytes in{file, c.swapped};
    auto field = [&](size_t at, size_t size) {
        return size == 1 ? file.at(at) : size == 2 ? in.u16(at) : in.u32(at);
    };

    const size_t t = layout.section_header_offsets.at(0);
    EXPECT_EQ(in.text(t, 8), std::string(".text\0\0\0", 8));
    EXPECT_EQ(in.u32(t + 8), 0x80u) << "physical address defaults to the virtual one";
    EXPECT_EQ(in.u32(t + 12), 0x80u);
    EXPECT_EQ(in.u32(t + 16), 2u);
    EXPECT_EQ(in.u32(t + 20), layout.raw_data_offsets.at(0));
    EXPECT_NE(layout.raw_data_offsets.at(0), 0u);
    EXPECT_EQ(field(t + c.flags_at, c.flags_size), 0x12u);
    EXPECT_EQ(field(t + c.page_at, c.page_size), 3u);

    const size_t b = layout.section_header_offsets.at(1);
    EXPECT_EQ(b, t + layout.section_header_size);
    EXPECT_EQ(in.u32(b + 8), 0x4000u);
    EXPECT_EQ(in.u32(b + 12), 0x9000u);
    EXPECT_EQ(in.u32(b + 16), 0x100u);
    EXPECT_EQ(in.u32(b + 20), 0u) << "declared size but no raw data";
    EXPECT_EQ(field(b + c.flags_at, c.flags_size), 0x80u);
    EXPECT_EQ(field(b + c.page_at, c.page_size), 1u);
    EXPECT_EQ(file.size(), b + layout.section_header_size + 4) << "only .text has data";
}

INSTANTIATE_TEST_SUITE_P(Widths, SectionHeaderTest,
                         testing::Values(SectionHeaderCase{0x00C2, false, 40, 4, 46, 2},
                                         SectionHeaderCase{0x00C2, true, 40, 4, 46, 2},
                                         SectionHeaderCase{0x00C1, false, 36, 2, 39, 1},
                                         SectionHeaderCase{0x00C0, true, 36, 2, 39, 1}),
                         [](const testing::TestParamInfo<SectionHeaderCase>& info) {
                             std::ostringstream name;
                             name << std::hex << "magic" << info.param.magic
                                  << (info.param.swapped ? "_swapped" : "");
                             return name.str();
                         });

TEST(SectionHeader, NarrowHeadersRefuseValuesThatDoNotFit) {
    cb::CoffImage image;
    image.magic = 0x00C1;
    image.sections = {section(".text", 0, {1}, 0, 256)};
    EXPECT_THROW(cb::build(image), std::invalid_argument);
    image.sections = {section(".text", 0, {1}, 0x10000)};
    EXPECT_THROW(cb::build(image), std::invalid_argument);
    image.magic = 0x00C2;
    image.sections = {section(".text", 0, {1}, 0x10000, 0x1234)};
    EXPECT_NO_THROW(cb::build(image));
}

TEST(SectionData, WordsFollowTheDataOrderNotTheHeaderOrder) {
    for (bool swapped : {false, true}) {
        for (bool big : {false, true}) {
            cb::CoffImage image;
            image.swapped_headers = swapped;
            image.big_endian_data = big;
            image.sections = {section(".text", 0, {0x1234, 0xABCD}),
                              section(".bss", 0x100, {}, cb::kSectionUninitialized),
                              section(".data", 0x200, {0x00FF}, 0, 1)};
            image.sections[1].size_in_words = 0x40;
            cb::Layout layout;
            const std::vector<uint8_t> file = cb::build(image, &layout);
            const std::vector<uint8_t> expected =
                big ? std::vector<uint8_t>{0x12, 0x34, 0xAB, 0xCD, 0x00, 0xFF}
                    : std::vector<uint8_t>{0x34, 0x12, 0xCD, 0xAB, 0xFF, 0x00};
            const size_t start = layout.raw_data_offsets[0];
            EXPECT_EQ(std::vector<uint8_t>(file.begin() + static_cast<long>(start), file.end()),
                      expected)
                << "swapped=" << swapped << " big=" << big;
            EXPECT_EQ(layout.raw_data_offsets[2], start + 4);
        }
    }
}

TEST(StringTable, LongNamesGoAfterTheSymbolTable) {
    for (bool swapped : {false, true}) {
        cb::CoffImage image;
        image.swapped_headers = swapped;
        image.sections = {section(".econst_tables", 0x10, {1}), section(".abcdefg", 0, {2}),
                          section(".ninechar", 0x20, {3}), section(".text", 0x30, {})};
        cb::Layout layout;
        const std::vector<uint8_t> file = cb::build(image, &layout);
        const Bytes in{file, swapped};

        const size_t data_end = layout.raw_data_offsets[2] + 2;
        EXPECT_EQ(in.u32(8), data_end);
        EXPECT_EQ(in.u32(12), 1u);
        EXPECT_EQ(layout.string_table_offset, data_end + 18);
        const size_t table = layout.string_table_offset;
        EXPECT_EQ(in.u32(table), 4u + 15 + 10);
        EXPECT_EQ(file.size(), table + 4 + 15 + 10);

        const size_t h0 = layout.section_header_offsets[0];
        EXPECT_EQ(in.u32(h0), 0u);
        EXPECT_EQ(in.u32(h0 + 4), 4u) << "offsets count from the length word";
        EXPECT_EQ(in.text(table + 4, 15), std::string(".econst_tables\0", 15));
        const size_t h2 = layout.section_header_offsets[2];
        EXPECT_EQ(in.u32(h2 + 4), 4u + 15);
        EXPECT_EQ(in.text(table + 19, 10), std::string(".ninechar\0", 10));
        EXPECT_EQ(in.text(layout.section_header_offsets[1], 8), ".abcdefg")
            << "eight characters inline, not terminated";
    }
}

TEST(StringTable, SymbolsCanBeForcedOrLeftOut) {
    cb::CoffImage image;
    image.symbols = cb::Symbols::always;
    image.sections = {section(".text", 0, {1})};
    cb::Layout layout;
    std::vector<uint8_t> file = cb::build(image, &layout);
    EXPECT_EQ((Bytes{file, false}.u32(12)), 1u);
    EXPECT_EQ(layout.string_table_offset, layout.symbol_table_offset + 18);
    EXPECT_EQ((Bytes{file, false}.u32(layout.string_table_offset)), 4u) << "length word only";
    EXPECT_EQ(file.size(), layout.string_table_offset + 4);

    image.symbols = cb::Symbols::none;
    image.sections = {section(".econst_tables", 0, {1})};
    file = cb::build(image, &layout);
    const Bytes in{file, false};
    EXPECT_EQ(in.u32(8), 0u);
    EXPECT_EQ(in.u32(12), 0u);
    EXPECT_EQ(in.u32(layout.section_header_offsets[0]), 0u);
    EXPECT_EQ(in.u32(layout.section_header_offsets[0] + 4), 4u) << "refers to a missing table";
    EXPECT_EQ(file.size(), layout.raw_data_offsets[0] + 2);
}

TEST(Cinit, RecordsAreSizeDestinationDataAndAZeroEnd) {
    const std::vector<uint16_t> words = cb::cinit_words({{0x9000, {1, 2, 3}}, {0x9010, {0xAAAA}}});
    EXPECT_EQ(words, (std::vector<uint16_t>{3, 0x9000, 1, 2, 3, 1, 0x9010, 0xAAAA, 0}));
    EXPECT_EQ(cb::cinit_words({}), std::vector<uint16_t>{0});
    EXPECT_THROW(cb::cinit_words({{0x9000, {}}}), std::invalid_argument);
    EXPECT_THROW(cb::cinit_words({{0, std::vector<uint16_t>(0x10000)}}), std::invalid_argument);

    const cb::Section s = cb::cinit_section({{0x9000, {0x0102}}}, 0x300, 1);
    EXPECT_EQ(s.name, ".cinit");
    EXPECT_EQ(s.flags, uint32_t{cb::kSectionCopy});
    EXPECT_EQ(s.virtual_address, 0x300u);
    EXPECT_EQ(s.page, 1);

    cb::CoffImage image;
    image.big_endian_data = true;
    image.sections = {s};
    cb::Layout layout;
    const std::vector<uint8_t> file = cb::build(image, &layout);
    EXPECT_EQ(std::vector<uint8_t>(file.begin() + static_cast<long>(layout.raw_data_offsets[0]),
                                   file.end()),
              (std::vector<uint8_t>{0, 1, 0x90, 0, 1, 2, 0, 0}));
}

TEST(ExpectedWords, FollowTheLoadingRules) {
    cb::CoffImage image;
    cb::Section bss_with_data = section(".bss", 0x40, {9, 9}, cb::kSectionUninitialized);
    image.sections = {
        section(".text", 0x10, {1, 2, 3}),
        section(".dummy", 0x20, {4}, cb::kSectionDummy),
        section(".noload", 0x21, {4}, cb::kSectionNoLoad),
        section(".copy", 0x22, {4}, cb::kSectionCopy),
        section(".other", 0x23, {4}, 0, 1),
        section(".nodata", 0x24, {}),
        section(".stack", 0x30, {5}, cb::kSectionUninitialized),
        bss_with_data,
        cb::cinit_section({{0x50, {6, 7}}, {0x11, {8}}}),
    };
    image.sections[5].size_in_words = 4;
    const std::map<uint32_t, uint16_t> expected{{0x10, 1}, {0x11, 8}, {0x12, 3}, {0x30, 5},
                                                {0x40, 0}, {0x41, 0}, {0x50, 6}, {0x51, 7}};
    EXPECT_EQ(cb::expected_page_words(image, 0), expected);
    EXPECT_EQ(cb::expected_page_words(image, 1), (std::map<uint32_t, uint16_t>{{0x23, 4}}));

    image.sections = {section(".text", 0, {1})};
    image.sections[0].size_in_words = 2;
    EXPECT_THROW(cb::expected_page_words(image, 0), std::invalid_argument);
}

const cb::Section& find(const cb::CoffImage& image, const std::string& name) {
    for (const cb::Section& s : image.sections) {
        if (s.name == name) return s;
    }
    throw std::runtime_error("no section " + name);
}

TEST(SampleFirmware, HasThePromisedShape) {
    const cb::CoffImage image = cb::sample_firmware();
    EXPECT_EQ(image.magic, 0x00C2);
    EXPECT_FALSE(image.swapped_headers);
    EXPECT_FALSE(image.big_endian_data);
    EXPECT_TRUE(image.optional_header);
    EXPECT_NE(image.entry_point, 0u);

    const cb::Section& text = find(image, ".text");
    EXPECT_EQ(text.virtual_address, 0x80u);
    EXPECT_GE(text.words.size() + find(image, ".flash_ops").words.size(), 0x8000u);
    EXPECT_EQ(text.words.at(0), cb::kSampleCompatibilityWord);
    EXPECT_EQ(find(image, ".data").page, 1);
    EXPECT_GT(find(image, ".econst_tables").name.size(), 8u);

    const cb::Section& bss = find(image, ".bss");
    EXPECT_TRUE(bss.words.empty());
    EXPECT_EQ(bss.flags, uint32_t{cb::kSectionUninitialized});
    EXPECT_EQ(bss.page, 0);
    EXPECT_GE(bss.virtual_address, text.virtual_address + text.words.size());

    // Every record lands inside .bss, records do not overlap, one is a few hundred words.
    const cb::Section& cinit = find(image, ".cinit");
    EXPECT_EQ(cinit.flags, uint32_t{cb::kSectionCopy});
    size_t p = 0, records = 0, longest = 0;
    uint32_t previous_end = bss.virtual_address;
    while (cinit.words.at(p) != 0) {
        const uint32_t size = cinit.words[p], destination = cinit.words[p + 1];
        EXPECT_GE(destination, previous_end);
        previous_end = destination + size;
        EXPECT_LE(previous_end, bss.virtual_address + *bss.size_in_words);
        longest = std::max<size_t>(longest, size);
        p += 2 + size;
        ++records;
    }
    EXPECT_EQ(p + 1, cinit.words.size()) << "the zero size word ends the section";
    EXPECT_GE(records, 3u);
    EXPECT_GE(longest, 300u);
}

TEST(SampleFirmware, PageZeroWordsStartWithTheCompatibilityWord) {
    const std::map<uint32_t, uint16_t> words = cb::sample_firmware_page0_words();
    ASSERT_FALSE(words.empty());
    EXPECT_EQ(words.begin()->first, 0x80u);
    EXPECT_EQ(words.begin()->second, cb::kSampleCompatibilityWord);
    EXPECT_EQ(words.size(), 0x6000u + 0x180 + 0x100 + 0x2800 + 16 + 200 + 400 + 48);
    const cb::CoffImage image = cb::sample_firmware();
    EXPECT_EQ(words.at(0x0400), find(image, ".text").words.at(0x0400 - 0x80))
        << ".data shares the address on page 1 and must not show up here";
    EXPECT_EQ(cb::build(cb::sample_firmware()), cb::build(cb::sample_firmware())) << "reproducible";
}

// The loader sends every run of contiguous words as one sector of at most
// 31995 words; the sample must be downloadable.
TEST(SampleFirmware, ContiguousRunsFitTheLoadersSector) {
    const std::map<uint32_t, uint16_t> words = cb::sample_firmware_page0_words();
    size_t run = 0, longest = 0, runs = 0;
    uint32_t previous = 0;
    for (const auto& [address, word] : words) {
        run = (run > 0 && address == previous + 1) ? run + 1 : 1;
        if (run == 1) ++runs;
        longest = std::max(longest, run);
        previous = address;
    }
    EXPECT_LE(longest, 31995u);
    EXPECT_GE(runs, 4u);
}

TEST(BigImage, FillsTheRequestedSizeInsideTheDefaultPage0Range) {
    const cb::CoffImage image = cb::big_image(16);
    size_t words = 0;
    uint32_t next = image.sections.at(0).virtual_address;
    for (const cb::Section& s : image.sections) {
        EXPECT_EQ(s.virtual_address, next);
        next += static_cast<uint32_t>(s.words.size());
        words += s.words.size();
    }
    EXPECT_EQ(2 * words, 16u << 20);
    EXPECT_LE(next, 0x1000000u);
    EXPECT_EQ(image.sections[0].words[0], cb::kSampleCompatibilityWord);
    cb::Layout layout;
    EXPECT_EQ(cb::build(image, &layout).size(), layout.file_size);
    EXPECT_GT(layout.file_size, 16u << 20);
    EXPECT_THROW(cb::big_image(0), std::invalid_argument);
}

constexpr const char* kDescription = R"(# every keyword once
magic 0x00C1
swapped            # headers most significant byte first
big-endian-data
entry 0x1234
file-flags 0x0020
symbols always
section .text addr=0x80 page=0 flags=0 words=0x1234,0xABCD,0x00FF
section .ramp addr=4096 ramp=9 paddr=0x20
section .noise addr=0x2000 random=5 seed=7 page=2
section .econst_tables addr=0x3000 words=1
section .bss addr=0x9000 size=0x100 flags=0x80  # no raw data
cinit addr=0x300 page=1 0x9000: 1,2,3 ; 0x9010: 0xAAAA,0xBBBB
)";

TEST(Description, BuildsTheSameBytesAsTheApi) {
    std::istringstream in(kDescription);
    const cb::CoffImage parsed = cb::parse_description(in, "d.txt");

    cb::CoffImage image;
    image.magic = 0x00C1;
    image.swapped_headers = true;
    image.big_endian_data = true;
    image.entry_point = 0x1234;
    image.extra_file_flags = cb::kFileDevice45;
    image.symbols = cb::Symbols::always;
    cb::Section ramp = section(".ramp", 4096, cb::ramp_words(9));
    ramp.physical_address = 0x20;
    cb::Section bss = section(".bss", 0x9000, {}, cb::kSectionUninitialized);
    bss.size_in_words = 0x100;
    image.sections = {
        section(".text", 0x80, {0x1234, 0xABCD, 0x00FF}),
        ramp,
        section(".noise", 0x2000, cb::random_words(5, 7), 0, 2),
        section(".econst_tables", 0x3000, {1}),
        bss,
        cb::cinit_section({{0x9000, {1, 2, 3}}, {0x9010, {0xAAAA, 0xBBBB}}}, 0x300, 1)};
    EXPECT_EQ(cb::build(parsed), cb::build(image));
}

TEST(Description, OptionalHeaderVariants) {
    std::istringstream none("no-optional-header\n");
    EXPECT_FALSE(cb::parse_description(none, "d").optional_header);
    std::istringstream junk("optional-header-junk 12\n");
    EXPECT_EQ(cb::parse_description(junk, "d").optional_header_override,
              std::vector<uint8_t>(12, cb::kJunkByte));
}

TEST(Description, RejectsBadLinesNamingTheLine) {
    const std::pair<const char*, const char*> cases[] = {
        {"frobnicate", "unknown keyword 'frobnicate'"},
        {"magic", "magic takes one argument"},
        {"magic 0xC2 0xC1", "magic takes one argument"},
        {"magic 0x10000", "too large"},
        {"magic 12ab", "not a number"},
        {"magic 0x", "not a number"},
        {"magic 010", "leading zero"},
        {"magic -1", "not a number"},
        {"swapped yes", "takes no argument"},
        {"symbols some", "auto, always or none"},
        {"section", "needs a name"},
        {"section addr=1", "needs a name"},
        {"section .t addr", "expected key=value"},
        {"section .t colour=1", "unknown section key 'colour'"},
        {"section .t addr=1 addr=2", "given twice"},
        {"section .t words=1 ramp=3", "only one of"},
        {"section .t words=1,,2", "not a number"},
        {"section .t seed=3", "seed= needs random="},
        {"cinit", "at least one record"},
        {"cinit 0x9000 1,2", "not DEST: WORDS"},
        {"cinit 0x9000: 1 ;", "not DEST: WORDS"},
        {"cinit 0x10000: 1", "too large"},
        {"cinit 0x9000:", "not a number"},
        {"cinit size=1 0x9000: 1", "unknown cinit key"},
    };
    for (const auto& [line, message] : cases) {
        std::istringstream in(std::string("# header\n\nmagic 0xC2\n") + line + "\n");
        try {
            cb::parse_description(in, "case.txt");
            ADD_FAILURE() << "accepted: " << line;
        } catch (const cb::DescriptionError& e) {
            const std::string what = e.what();
            EXPECT_EQ(what.rfind("case.txt:4: ", 0), 0u) << what;
            EXPECT_NE(what.find(message), std::string::npos) << line << " -> " << what;
        }
    }
}

// The command-line front end, run as a separate process.
class MakeCoff : public testing::Test {
  protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("make_coff_test_" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    int run(const std::string& arguments) {
        const std::string command =
            std::string(MAKE_COFF_PATH) + " " + arguments + " 2>" + (dir_ / "stderr").string();
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string slurp(const std::string& name) {
        std::ifstream in(dir_ / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::string path(const std::string& name) { return (dir_ / name).string(); }

    std::filesystem::path dir_;
};

TEST_F(MakeCoff, WritesTheSampleAndDescribedImages) {
    ASSERT_EQ(run("sample " + path("fw417.out")), 0);
    const std::vector<uint8_t> sample = cb::build(cb::sample_firmware());
    EXPECT_EQ(slurp("fw417.out"), std::string(sample.begin(), sample.end()));

    std::ofstream(dir_ / "d.txt") << kDescription;
    ASSERT_EQ(run("describe " + path("d.txt") + " " + path("d.out")), 0);
    std::istringstream in(kDescription);
    const std::vector<uint8_t> described = cb::build(cb::parse_description(in, "d"));
    EXPECT_EQ(slurp("d.out"), std::string(described.begin(), described.end()));
}

TEST_F(MakeCoff, ReportsErrorsWithTheirExitStatus) {
    std::ofstream(dir_ / "bad.txt") << "magic 0xC2\nsection .t wat=1\n";
    EXPECT_EQ(run("describe " + path("bad.txt") + " " + path("x.out")), 1);
    EXPECT_NE(slurp("stderr").find("bad.txt:2: "), std::string::npos) << slurp("stderr");
    EXPECT_EQ(run("describe " + path("missing.txt") + " " + path("x.out")), 1);
    EXPECT_EQ(run("sample " + path("no/such/dir/x.out")), 1);

    for (const char* arguments : {"", "sample", "sample a b", "frob x", "big 0 x", "big 4096 x",
                                  "big 1x x", "describe only_one"}) {
        EXPECT_EQ(run(arguments), 2) << arguments;
        EXPECT_NE(slurp("stderr").find("usage:"), std::string::npos);
    }
}

}  // namespace
