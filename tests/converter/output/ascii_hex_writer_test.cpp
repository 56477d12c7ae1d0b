#include "converter/output/ascii_hex_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/converter/output/writer_script.h"
#include "tests/support/test_support.h"

namespace {

using romcvt::OutputFile;
using test_support::read_file;
using test_support::ScratchDir;
using writer_script::Step;

std::string write_with(const std::vector<Step>& steps) {
    return writer_script::write_with(romcvt::make_ascii_hex_writer, {}, 1, steps).text;
}

std::vector<uint8_t> ramp(size_t count) {
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(i);
    return bytes;
}

std::string hex_line(size_t first, size_t count) {
    static const char digits[] = "0123456789ABCDEF";
    std::string line;
    for (size_t i = first; i < first + count; ++i) {
        line += digits[(i >> 4) & 15];
        line += digits[i & 15];
        line += ' ';
    }
    return line + "\r\n";
}

struct WriterCase {
    const char* what;
    std::vector<Step> steps;
    std::string expected;
};

class AsciiHexWriterTest : public ::testing::TestWithParam<WriterCase> {};

TEST_P(AsciiHexWriterTest, WritesTheExactBytes) {
    EXPECT_EQ(write_with(GetParam().steps), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Records, AsciiHexWriterTest,
    ::testing::Values(
        WriterCase{"empty file is STX line and ETX", {}, "\x02\r\n\x03"},
        WriterCase{"address lines use lower-case digits, at least four",
                   {{Step::kStart, 0x00AB, {}},
                    {Step::kData, 0, {0x12}},
                    {Step::kStart, 0x12345, {}},
                    {Step::kData, 0, {0xAB}}},
                   "\x02\r\n$A00ab,\r\n12 \r\n$A12345,\r\nAB \r\n\x03"},
        WriterCase{"24 bytes fill a line, the 25th starts the next",
                   {{Step::kStart, 0x1A00, {}}, {Step::kData, 0, ramp(25)}},
                   "\x02\r\n$A1a00,\r\n" + hex_line(0, 24) + hex_line(24, 1) + "\x03"},
        WriterCase{"exactly 24 bytes make one full line",
                   {{Step::kData, 0, ramp(24)}},
                   "\x02\r\n" + hex_line(0, 24) + "\x03"},
        WriterCase{"an ended record continues on a new line without an address",
                   {{Step::kData, 0, {0x01, 0x02}}, {Step::kEnd}, {Step::kData, 0, {0x03}}},
                   "\x02\r\n01 02 \r\n03 \r\n\x03"}),
    [](const auto& info) { return std::to_string(info.index); });

TEST(AsciiHexWriterTest, PiecesGiveTheSameBytesAsSingleCalls) {
    ScratchDir dir;
    auto writer = romcvt::make_ascii_hex_writer({});
    std::vector<uint8_t> data = ramp(100);
    OutputFile by_piece;
    OutputFile by_run;
    ASSERT_TRUE(by_piece.stream.open("piece"));
    ASSERT_TRUE(by_run.stream.open("run"));
    writer->add_data(by_piece, data.data(), 3, 0);
    for (size_t i = 3; i < data.size(); i += 1) writer->add_data(by_piece, &data[i], 1, 0);
    writer->add_data(by_run, data.data(), 3, 0);
    writer->add_pieces(by_run, data.data() + 3, 97, 1, 0, 1);
    writer->end_record(by_piece);
    writer->end_record(by_run);
    by_piece.stream.close();
    by_run.stream.close();
    EXPECT_EQ(read_file("piece"), read_file("run"));
    EXPECT_EQ(read_file("run"), hex_line(0, 24) + hex_line(24, 24) + hex_line(48, 24) +
                                    hex_line(72, 24) + hex_line(96, 4));
}

}  // namespace
