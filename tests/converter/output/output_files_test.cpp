#include "converter/output/output_files.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "converter/driver/run_context.h"
#include "converter/output/ascii_hex_writer.h"
#include "tests/support/test_support.h"

namespace {

using test_support::read_file;
using test_support::ScratchDir;

// A block of memory words handed to the output at a cursor address.
struct Block {
    uint32_t address;
    std::vector<uint8_t> bytes;  // already arranged as the router hands them
};

struct DistributionCase {
    const char* what;
    int32_t mem_width;
    int32_t rom_width;
    int byte_order;
    bool zero;
    bool byte_addresses;
    std::vector<Block> blocks;
    std::vector<std::string> expected;  // file contents between STX line and ETX
};

std::vector<std::string> emit(const DistributionCase& c) {
    ScratchDir dir;
    std::ostringstream out, err;
    std::istringstream in;
    romcvt::RunContext run(out, err, in);
    run.settings.byte_order = c.byte_order;
    run.settings.zero = c.zero;
    run.settings.byte_addresses = c.byte_addresses;
    run.output.writer = romcvt::make_ascii_hex_writer({});
    auto range = std::make_unique<romcvt::RomRange>();
    range->origin = 0;
    range->end = 0xFFFFFF;
    range->mem_width = c.mem_width;
    range->rom_width = c.rom_width;
    range->file_count = c.rom_width < c.mem_width ? c.mem_width / c.rom_width : 1;
    for (int i = 0; i < range->file_count; ++i) range->files.push_back("f" + std::to_string(i));
    run.memory.current_range = range.get();
    run.memory.roms_list.push_back(std::move(range));
    for (const Block& block : c.blocks) {
        run.memory.current_range->next_address = block.address;
        romcvt::emit_memory_words(run, block.bytes.data(), block.bytes.size());
    }
    romcvt::close_range_files(run);
    std::vector<std::string> files;
    for (const std::string& name : run.memory.current_range->files) {
        std::string text = read_file(name);
        EXPECT_EQ(text.substr(0, 3), "\x02\r\n");
        EXPECT_EQ(text.back(), '\x03');
        files.push_back(text.substr(3, text.size() - 4));
    }
    return files;
}

class DistributionTest : public ::testing::TestWithParam<DistributionCase> {};

TEST_P(DistributionTest, FilesReceiveTheirSlices) {
    EXPECT_EQ(emit(GetParam()), GetParam().expected) << GetParam().what;
}

const uint8_t kLs[] = {0x34, 0x12, 0xCD, 0xAB, 0xFF, 0x00};  // 0x1234 0xABCD 0x00FF, LS first
const uint8_t kMs[] = {0x12, 0x34, 0xAB, 0xCD, 0x00, 0xFF};

INSTANTIATE_TEST_SUITE_P(
    Ranges, DistributionTest,
    ::testing::Values(DistributionCase{"low byte to the first file, LS",
                                       2,
                                       1,
                                       romcvt::kLeastFirst,
                                       false,
                                       false,
                                       {{0x1A00, {std::begin(kLs), std::end(kLs)}}},
                                       {"$A1a00,\r\n34 CD FF \r\n", "$A1a00,\r\n12 AB 00 \r\n"}},
                      DistributionCase{"the same files with MS order",
                                       2,
                                       1,
                                       romcvt::kMostFirst,
                                       false,
                                       false,
                                       {{0x1A00, {std::begin(kMs), std::end(kMs)}}},
                                       {"$A1a00,\r\n34 CD FF \r\n", "$A1a00,\r\n12 AB 00 \r\n"}},
                      DistributionCase{
                          "data at address 0 carries no address line",
                          2,
                          1,
                          romcvt::kLeastFirst,
                          false,
                          false,
                          {{0, {0x01, 0x02}}, {1, {0x03, 0x04}}, {5, {0x05, 0x06}}},
                          {"01 03 \r\n$A0005,\r\n05 \r\n", "02 04 \r\n$A0005,\r\n06 \r\n"}},
                      DistributionCase{"ROM as wide as memory: one file with every byte",
                                       2,
                                       2,
                                       romcvt::kMostFirst,
                                       false,
                                       false,
                                       {{0x80, {0x12, 0x34}}},
                                       {"$A0080,\r\n12 34 \r\n"}},
                      DistributionCase{"-zero writes no address lines",
                                       2,
                                       1,
                                       romcvt::kLeastFirst,
                                       true,
                                       false,
                                       {{0x80, {0x01, 0x02}}, {0x90, {0x03, 0x04}}},
                                       {"01 03 \r\n", "02 04 \r\n"}},
                      DistributionCase{"-byte: 8-bit ROM words count one byte per memory word",
                                       2,
                                       1,
                                       romcvt::kLeastFirst,
                                       false,
                                       true,
                                       {{0x100, {0x01, 0x02}}},
                                       {"$A0100,\r\n01 \r\n", "$A0100,\r\n02 \r\n"}},
                      DistributionCase{"-byte: 16-bit ROM words count two bytes",
                                       2,
                                       2,
                                       romcvt::kLeastFirst,
                                       false,
                                       true,
                                       {{0x100, {0x01, 0x02}}, {0x200, {0x03, 0x04}}},
                                       {"$A0200,\r\n01 02 \r\n$A0400,\r\n03 04 \r\n"}},
                      DistributionCase{"ROM word spanning two 8-bit memory words",
                                       1,
                                       2,
                                       romcvt::kLeastFirst,
                                       false,
                                       false,
                                       {{0x10, {0xA1, 0xA2, 0xA3, 0xA4}}, {0x14, {0xB1, 0xB2}}},
                                       {"$A0010,\r\nA1 A2 A3 A4 B1 B2 \r\n"}},
                      DistributionCase{"32-bit memory over four 8-bit files, a word is two units",
                                       4,
                                       1,
                                       romcvt::kLeastFirst,
                                       false,
                                       false,
                                       {{0x20, {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}},
                                        {0x30, {0x99, 0xAA, 0xBB, 0xCC}}},
                                       {"$A0020,\r\n11 55 \r\n$A0030,\r\n99 \r\n",
                                        "$A0020,\r\n22 66 \r\n$A0030,\r\nAA \r\n",
                                        "$A0020,\r\n33 77 \r\n$A0030,\r\nBB \r\n",
                                        "$A0020,\r\n44 88 \r\n$A0030,\r\nCC \r\n"}}),
    [](const auto& info) { return std::to_string(info.index); });

}  // namespace
