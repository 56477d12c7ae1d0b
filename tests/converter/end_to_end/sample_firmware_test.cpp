#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/test_support.h"
#include "tools/coff_builder/coff_builder.h"

namespace {

using namespace test_support;

TEST(SampleFirmware, LoaderCommandWritesLowAndHighBytesOfEveryPageZeroWord) {
    ScratchDir dir;
    coff_builder::write_file("fw417.out", coff_builder::sample_firmware());

    RunResult result = run_romcvt({"-a", "fw417.out", "-o", "LSB.tmp", "-o", "MSB.tmp"});

    EXPECT_EQ(result.exit_status, 0) << result.console;
    EXPECT_NE(result.console.find("Translating fw417.out to ASCII-Hex format...\n"),
              std::string::npos)
        << result.console;
    EXPECT_EQ(result.console.find(">> "), std::string::npos) << result.console;
    EXPECT_EQ(read_ascii_hex_pair("LSB.tmp", "MSB.tmp"),
              coff_builder::sample_firmware_page0_words());
}

TEST(SampleFirmware, FirstDataWordAfterTheFirstAddressLineIsTheCompatibilityWord) {
    ScratchDir dir;
    coff_builder::write_file("fw417.out", coff_builder::sample_firmware());
    ASSERT_EQ(run_romcvt({"-a", "fw417.out", "-o", "LSB.tmp", "-o", "MSB.tmp"}).exit_status, 0);

    std::string low = read_file("LSB.tmp");
    std::string high = read_file("MSB.tmp");
    size_t low_comma = low.find(',');
    size_t high_comma = high.find(',');
    ASSERT_NE(low_comma, std::string::npos);
    ASSERT_EQ(low_comma, high_comma) << "both files share one layout";
    uint16_t word = static_cast<uint16_t>(
        std::stoul(high.substr(high_comma + 3, 2) + low.substr(low_comma + 3, 2), nullptr, 16));
    EXPECT_EQ(word, coff_builder::kSampleCompatibilityWord);
}

TEST(SampleFirmware, PageOneDataGoesToDefaultNamedFiles) {
    ScratchDir dir;
    coff_builder::write_file("fw417.out", coff_builder::sample_firmware());
    ASSERT_EQ(run_romcvt({"-a", "fw417.out", "-o", "LSB.tmp", "-o", "MSB.tmp"}).exit_status, 0);

    EXPECT_EQ(read_ascii_hex_pair("fw417.a10", "fw417.a11"),
              coff_builder::expected_page_words(coff_builder::sample_firmware(), 1));
}

}  // namespace
