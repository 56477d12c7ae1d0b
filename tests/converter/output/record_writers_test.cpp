// The record formats byte for byte: record layout, counts, checksums,
// address records and the fixed texts at the start and end of a file.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "converter/driver/diagnostics.h"
#include "converter/output/debug_writer.h"
#include "converter/output/generic_writer.h"
#include "converter/output/intel_writer.h"
#include "converter/output/motorola_writer.h"
#include "converter/output/output_format.h"
#include "converter/output/tagged_writer.h"
#include "converter/output/tektronix_writer.h"
#include "tests/converter/output/writer_script.h"
#include "tests/support/test_support.h"

namespace {

using namespace writer_script;
using romcvt::OutputFile;
using romcvt::WriterFactory;
using romcvt::WriterParams;
using test_support::read_file;
using test_support::ScratchDir;

// One-byte pieces at consecutive addresses from first.
std::vector<Step> bytes_at(uint32_t first, const std::vector<uint8_t>& bytes) {
    std::vector<Step> steps;
    for (size_t i = 0; i < bytes.size(); ++i) {
        steps.push_back({Step::kData, first + static_cast<uint32_t>(i), {bytes[i]}});
    }
    return steps;
}

std::vector<uint8_t> ramp(size_t count, uint8_t first = 0) {
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(first + i);
    return bytes;
}

std::vector<Step> join(std::vector<Step> a, const std::vector<Step>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const std::string kS0 = "S00600004844521B\r\n";
const std::string kS9 = "S9030000FC\r\n";
const std::string kS8 = "S804000000FB\r\n";
const std::string kS7 = "S70500000000FA\r\n";
const std::string kIntelEnd = ":00000001FF\r\n";
const std::string kPadding = "COFFTOZQ\r\n";

struct RecordCase {
    const char* what;
    WriterFactory factory;
    std::vector<Step> steps;
    std::string expected;
    std::string warnings = "";
    int32_t rom_width = 1;
    WriterParams params = {};
    friend void PrintTo(const RecordCase& c, std::ostream* os) { *os << c.what; }
};

class RecordWriterTest : public ::testing::TestWithParam<RecordCase> {};

TEST_P(RecordWriterTest, WritesTheExactBytes) {
    const RecordCase& c = GetParam();
    Written written = write_with(c.factory, c.params, c.rom_width, c.steps);
    EXPECT_EQ(written.text, c.expected);
    EXPECT_EQ(written.console, c.warnings);
}

WriterParams entry_point(uint32_t address) {
    WriterParams params;
    params.entry_point_address = address;
    return params;
}

WriterParams line_length(int32_t words) {
    WriterParams params;
    params.line_length = words;
    return params;
}

INSTANTIATE_TEST_SUITE_P(
    Intel, RecordWriterTest,
    ::testing::Values(
        RecordCase{
            "an empty file is the end record alone", romcvt::make_intel_writer, {}, kIntelEnd},
        RecordCase{"count, address, type, data and two's-complement checksum",
                   romcvt::make_intel_writer,
                   {{Step::kStart, 0x1234}, {Step::kData, 0x1234, {1, 2, 3}}},
                   ":03123400010203B1\r\n" + kIntelEnd},
        RecordCase{"data from 0xFFFF on to 0x10000 gets an extended record between",
                   romcvt::make_intel_writer,
                   join({{Step::kStart, 0xFFFE}}, bytes_at(0xFFFE, {0xAA, 0xBB, 0xCC, 0xDD})),
                   ":02FFFE00AABB9C\r\n:020000040001F9\r\n:02000000CCDD55\r\n" + kIntelEnd},
        RecordCase{
            "a jump to 0x10000 and on within the page: one extended record",
            romcvt::make_intel_writer,
            {{Step::kStart, 0x0100},
             {Step::kData, 0x0100, {0x11}},
             {Step::kStart, 0x10000},
             {Step::kData, 0x10000, {0x22}},
             {Step::kStart, 0x10100},
             {Step::kData, 0x10100, {0x11}}},
            ":0101000011ED\r\n:020000040001F9\r\n:0100000022DD\r\n:0101000011ED\r\n" + kIntelEnd},
        RecordCase{"a first record above 0xFFFF is preceded by its extended record",
                   romcvt::make_intel_writer,
                   {{Step::kStart, 0x20000}, {Step::kData, 0x20000, {0x22}}},
                   ":020000040002F8\r\n:0100000022DD\r\n" + kIntelEnd},
        RecordCase{"32 data bytes fill a record; the 33rd starts one at its address",
                   romcvt::make_intel_writer, bytes_at(0, ramp(33)),
                   ":20000000000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1FF0"
                   "\r\n:0100200020BF\r\n" +
                       kIntelEnd},
        RecordCase{"two-byte pieces: 16 pieces make a full record", romcvt::make_intel_writer,
                   [] {
                       std::vector<Step> steps;
                       for (uint8_t i = 0; i < 17; ++i) {
                           uint8_t b = static_cast<uint8_t>(2 * i);
                           steps.push_back({Step::kData, i, {b, static_cast<uint8_t>(b + 1)}});
                       }
                       return steps;
                   }(),
                   ":20000000000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1FF0"
                   "\r\n:020010002021AD\r\n" +
                       kIntelEnd,
                   "", 2}),
    [](const auto& info) { return std::to_string(info.index); });

INSTANTIATE_TEST_SUITE_P(
    Motorola, RecordWriterTest,
    ::testing::Values(
        RecordCase{"S1: header, count with checksum, ones' complement checksum, S9",
                   romcvt::make_motorola_s1_writer,
                   {{Step::kStart, 0x1234}, {Step::kData, 0x1234, {1, 2, 3}}},
                   kS0 + "S1061234010203AD\r\n" + kS9},
        RecordCase{"S2: six address digits and the S8 end record",
                   romcvt::make_motorola_s2_writer,
                   {{Step::kStart, 0x123456}, {Step::kData, 0x123456, {0xAB}}},
                   kS0 + "S205123456ABB3\r\n" + kS8},
        RecordCase{"S3: address 0x1234567 keeps 24 bits, with a warning",
                   romcvt::make_motorola_s3_writer,
                   {{Step::kStart, 0x1234567},
                    {Step::kData, 0x1234567, {0xAB, 0xCD}},
                    {Step::kStart, 0x1234600},
                    {Step::kData, 0x1234600, {0xAB, 0xCD}}},
                   kS0 + "S30700234567ABCDB1\r\nS30700234600ABCD17\r\n" + kS7,
                   ">> warning: Motorola-S records keep 24 address bits: 01234567h written as "
                   "0234567h\n",
                   2},
        RecordCase{"S2: an address of 25 bits keeps 24, with a warning",
                   romcvt::make_motorola_s2_writer,
                   {{Step::kStart, 0x1123456}, {Step::kData, 0x1123456, {0xAB}}},
                   kS0 + "S205123456ABB3\r\n" + kS8,
                   ">> warning: Motorola-S records keep 24 address bits: 01123456h written as "
                   "0123456h\n"},
        RecordCase{"S1: data above 0xFFFF goes into S2 records, with one warning",
                   romcvt::make_motorola_s1_writer,
                   join(join({{Step::kStart, 0xFFFF}}, bytes_at(0xFFFF, {0x11, 0x22})),
                        {{Step::kStart, 0x10100}, {Step::kData, 0x10100, {0x33}}}),
                   kS0 + "S104FFFF11EC\r\nS20501000022D7\r\nS20501010033C5\r\n" + kS9,
                   ">> warning: address 010000h does not fit an S1 record: S2 records written "
                   "above 0FFFFh\n"},
        RecordCase{"a record continues until its limit without new addresses",
                   romcvt::make_motorola_s3_writer, bytes_at(0x10, {0x01, 0x02}),
                   kS0 + "S307000000100102E5\r\n" + kS7}),
    [](const auto& info) { return std::to_string(info.index); });

INSTANTIATE_TEST_SUITE_P(
    Tektronix, RecordWriterTest,
    ::testing::Values(
        RecordCase{"an empty file is the termination record alone",
                   romcvt::make_tektronix_writer,
                   {},
                   "%0E81E800000000\r\n"},
        RecordCase{"length, type, hex-digit checksum, address and data; entry point last",
                   romcvt::make_tektronix_writer,
                   {{Step::kStart, 0x1234}, {Step::kData, 0x1234, {1, 2, 3}}},
                   "%14623800001234010203\r\n%0E828800001234\r\n",
                   "",
                   1,
                   entry_point(0x1234)},
        RecordCase{"32 data bytes fill a record", romcvt::make_tektronix_writer,
                   bytes_at(0, ramp(33)),
                   "%4E620800000000000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D"
                   "1E1F\r\n%1061380000002020\r\n%0E81E800000000\r\n"}),
    [](const auto& info) { return std::to_string(info.index); });

INSTANTIATE_TEST_SUITE_P(
    Tagged, RecordWriterTest,
    ::testing::Values(
        RecordCase{"the first line starts with the program tag and the load address",
                   romcvt::make_tagged_writer,
                   {{Step::kStart, 0x0100}, {Step::kData, 0x0100, {0x12, 0x34}}},
                   "K0000COFFTOZQ90100B12347FA4CF" + std::string(43, ' ') + kPadding + ":\r\n",
                   "",
                   2},
        RecordCase{"an odd piece ends with a one-byte field",
                   romcvt::make_tagged_writer,
                   {{Step::kData, 0x0100, {0x12, 0x34, 0x56}}},
                   "K0000COFFTOZQ90100B1234*567F9B7F" + std::string(40, ' ') + kPadding + ":\r\n",
                   "",
                   2},
        RecordCase{
            "a jump adds a load address field to the same line; 16 address bits, warned once",
            romcvt::make_tagged_writer,
            {{Step::kStart, 0xFFFF},
             {Step::kData, 0xFFFF, {0xAB}},
             {Step::kStart, 0x10000},
             {Step::kData, 0x10000, {0xCD}},
             {Step::kStart, 0x10002},
             {Step::kData, 0x10002, {0xEF}}},
            "K0000COFFTOZQ9FFFF*AB90000*CD90002*EF7F6FAF" + std::string(29, ' ') + kPadding +
                ":\r\n",
            ">> warning: ZQ-Tagged load addresses keep 16 bits: 010000h written as 00h\n",
            2}),
    [](const auto& info) { return std::to_string(info.index); });

INSTANTIATE_TEST_SUITE_P(
    DebugAndGeneric, RecordWriterTest,
    ::testing::Values(
        RecordCase{"DEBUG: header, ADDR: lines with one group per ROM word, footer",
                   romcvt::make_debug_writer,
                   {{Step::kStart, 0xAB12},
                    {Step::kData, 0xAB12, {0x12, 0x34}},
                    {Step::kData, 0xAB13, {0x56, 0x78}},
                    {Step::kStart, 0x20000},
                    {Step::kData, 0x20000, {0x9A, 0xBC}}},
                   "*** FILE HEADER ***\r\nADDR:0000ab12: DATA:1234 5678 :END:\r\n"
                   "ADDR:00020000: DATA:9ABC :END:\r\n*** FILE FOOTER ***\r\n",
                   "",
                   2},
        RecordCase{"DEBUG: 16 one-byte words fill a line", romcvt::make_debug_writer,
                   bytes_at(0, ramp(17)),
                   "*** FILE HEADER ***\r\nADDR:00000000: DATA:00 01 02 03 04 05 06 07 08 09 0A "
                   "0B 0C 0D 0E 0F :END:\r\nADDR:00000010: DATA:10 :END:\r\n"
                   "*** FILE FOOTER ***\r\n"},
        RecordCase{
            "Generic: -olength 4 with 16-bit words puts four words on a line",
            romcvt::make_generic_writer,
            [] {
                std::vector<Step> steps{{Step::kStart, 0xAB}};
                for (uint8_t i = 0; i < 6; ++i) {
                    uint8_t b = static_cast<uint8_t>(0x10 * i);
                    steps.push_back({Step::kData, 0xABu + i, {b, static_cast<uint8_t>(b + 1)}});
                }
                return steps;
            }(),
            "ADDRESS\tDATA\r\n-------\t----\r\n00ab\t0001 1011 2021 3031 \r\n"
            "00af\t4041 5051 \r\n",
            "", 2, line_length(4)},
        RecordCase{"Generic: every line after an ended one gets its address",
                   romcvt::make_generic_writer,
                   join(join({{Step::kStart, 0x12345}}, bytes_at(0x12345, {0xAA})),
                        join({{Step::kEnd}}, bytes_at(0x12346, {0xBB}))),
                   "ADDRESS\tDATA\r\n-------\t----\r\n12345\tAA \r\n12346\tBB \r\n"}),
    [](const auto& info) { return std::to_string(info.index); });

// Motorola records hold 31, 30 or 29 one-byte pieces and 32, 30 or 30
// bytes in two-byte pieces.
struct CapacityCase {
    WriterFactory factory;
    size_t address_digits;
    size_t piece_bytes;
    size_t data_bytes;  // in the first record
};

class MotorolaCapacityTest : public ::testing::TestWithParam<CapacityCase> {};

TEST_P(MotorolaCapacityTest, FirstRecordHoldsTheExpectedBytes) {
    const CapacityCase& c = GetParam();
    std::vector<Step> steps;
    std::vector<uint8_t> data = ramp(64);
    for (size_t i = 0; i < data.size(); i += c.piece_bytes) {
        steps.push_back(
            {Step::kData, static_cast<uint32_t>(i / c.piece_bytes),
             std::vector<uint8_t>(data.begin() + static_cast<long>(i),
                                  data.begin() + static_cast<long>(i + c.piece_bytes))});
    }
    std::string text = write_with(c.factory, {}, static_cast<int32_t>(c.piece_bytes), steps).text;
    size_t first = kS0.size();
    size_t end = text.find("\r\n", first);
    std::string record = text.substr(first, end - first);
    // "Sn", count, address, data, checksum.
    EXPECT_EQ(record.size(), 4 + c.address_digits + 2 * c.data_bytes + 2) << record;
    EXPECT_EQ(std::stoul(record.substr(2, 2), nullptr, 16),
              c.address_digits / 2 + c.data_bytes + 1);
    // The second record starts at the address of the first byte it holds.
    std::string second = text.substr(end + 2, 4 + c.address_digits);
    EXPECT_EQ(std::stoul(second.substr(4), nullptr, 16), c.data_bytes / c.piece_bytes);
}

INSTANTIATE_TEST_SUITE_P(Records, MotorolaCapacityTest,
                         ::testing::Values(CapacityCase{romcvt::make_motorola_s1_writer, 4, 1, 31},
                                           CapacityCase{romcvt::make_motorola_s2_writer, 6, 1, 30},
                                           CapacityCase{romcvt::make_motorola_s3_writer, 8, 1, 29},
                                           CapacityCase{romcvt::make_motorola_s1_writer, 4, 2, 32},
                                           CapacityCase{romcvt::make_motorola_s2_writer, 6, 2, 30},
                                           CapacityCase{romcvt::make_motorola_s3_writer, 8, 2,
                                                        30}));

// Every tagged line is 80 characters and ends in the program name, however
// the fields fall.
TEST(TaggedWriterTest, EveryLineIsEightyCharactersAndChecksummed) {
    for (size_t piece : {size_t{1}, size_t{2}, size_t{3}, size_t{4}}) {
        std::vector<Step> steps{{Step::kStart, 0x1000}};
        std::vector<uint8_t> data = ramp(200, 7);
        for (size_t i = 0; i + piece <= data.size(); i += piece) {
            if (i == 90) steps.push_back({Step::kStart, 0x3000});
            steps.push_back({Step::kData, static_cast<uint32_t>(0x1000 + i),
                             std::vector<uint8_t>(data.begin() + static_cast<long>(i),
                                                  data.begin() + static_cast<long>(i + piece))});
        }
        std::string text = write_with(romcvt::make_tagged_writer, {}, 2, steps).text;
        ASSERT_GE(text.size(), 3u);
        EXPECT_EQ(text.substr(text.size() - 3), ":\r\n");
        size_t lines = 0;
        for (size_t at = 0; at + 3 < text.size();) {
            size_t end = text.find("\r\n", at);
            std::string line = text.substr(at, end - at);
            ASSERT_EQ(line.size(), 80u) << piece << ": " << line;
            EXPECT_EQ(line.substr(72), "COFFTOZQ");
            size_t f = line.find_last_of('F', 71);
            ASSERT_NE(f, std::string::npos);
            ASSERT_EQ(line[f - 5], '7');
            uint32_t sum = 0;
            for (size_t i = 0; i <= f - 5; ++i) sum += static_cast<uint8_t>(line[i]);
            sum += static_cast<uint32_t>(std::stoul(line.substr(f - 4, 4), nullptr, 16));
            EXPECT_EQ(sum & 0xFFFF, 0u) << line;
            EXPECT_EQ(line.find_first_not_of(' ', f + 1), 72u);
            at = end + 2;
            ++lines;
        }
        EXPECT_GE(lines, 4u);
    }
}

// add_pieces gives the same bytes as one add_data per piece, for every
// format and for runs that cross record limits and 64K pages.
TEST(RecordWriterTest, PiecesGiveTheSameBytesAsSingleCalls) {
    ScratchDir dir;
    std::vector<uint8_t> data = ramp(1000, 3);
    for (int row = 0; row < romcvt::kFormatCount; ++row) {
        for (size_t piece : {size_t{1}, size_t{2}, size_t{4}}) {
            WriterParams params;
            params.line_length = 7;
            auto writer = romcvt::output_format(row).make_writer(params);
            OutputFile by_piece;
            OutputFile by_run;
            by_piece.rom_width = by_run.rom_width = static_cast<int32_t>(piece);
            ASSERT_TRUE(by_piece.stream.open("piece"));
            ASSERT_TRUE(by_run.stream.open("run"));
            writer->begin_file(by_piece);
            writer->begin_file(by_run);
            const uint32_t first = 0xFF80;
            const size_t count = data.size() / piece;
            writer->start_record(by_piece, first);
            writer->start_record(by_run, first);
            for (size_t i = 0; i < count; ++i) {
                writer->add_data(by_piece, data.data() + i * piece, piece,
                                 first + static_cast<uint32_t>(i));
            }
            writer->add_pieces(by_run, data.data(), count, piece, first, 1);
            for (OutputFile* file : {&by_piece, &by_run}) {
                if (!file->line_empty()) writer->end_record(*file);
                writer->end_file(*file);
                file->stream.close();
            }
            EXPECT_EQ(read_file("piece"), read_file("run"))
                << romcvt::output_format(row).name << ", pieces of " << piece;
        }
    }
}

}  // namespace
