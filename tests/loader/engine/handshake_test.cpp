// The loader-mode handshake against the simulated instrument.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "loader/engine/modbus_ascii_client.h"
#include "loader/engine/serial_port.h"
#include "tests/loader/engine/line_fixtures.h"
#include "tests/loader/support/simulated_instrument.h"

namespace {

using engine_test::TraceCapture;
using test_support::SimulatedInstrument;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kHandshakeBaud = 115200;
const std::string kAttempt = "Trying to read Modbus adress to write download order(attempt ";
const std::string kNoResponse =
    "No response from the remote device (Device already in loader mode ?)\n";
const std::string kReadRegister6 = "modbus read register=6 count=1";

long long millisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

size_t countOf(const std::vector<std::string>& lines, const std::string& line) {
    return static_cast<size_t>(std::count(lines.begin(), lines.end(), line));
}

// A folder of its own for the simulator's link and log.
class HandshakeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "handshake-XXXXXX");
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }

    std::filesystem::path folder;
    TraceCapture traces;
};

TEST_F(HandshakeTest, OrderGoesToTheRegisterAfterTheOneRegister6Names) {
    struct Case {
        const char* register6;
        const char* orderLine;
    } cases[] = {
        {"0x0100", "modbus write register=257 value=1"},
        {"0xFFFF", "modbus write register=0 value=1"},  // wraps
    };
    for (const Case& c : cases) {
        traces.clear();
        std::filesystem::path own = folder / c.register6;  // a log of its own
        std::filesystem::create_directory(own);
        SimulatedInstrument instrument(own, {"--register6", c.register6});
        auto start = Clock::now();
        EXPECT_TRUE(flashup::enterLoaderMode(1, instrument.portPath(), kHandshakeBaud));
        EXPECT_GE(millisecondsSince(start), 900) << "the pause before closing";

        EXPECT_EQ(traces.text(), kAttempt + "1)\n");
        std::vector<std::string> log = instrument.logLines();
        EXPECT_EQ(log, (std::vector<std::string>{kReadRegister6, c.orderLine, "loader mode"}))
            << c.register6;

        // The port was given back: the download can open it.
        flashup::SerialPort port;
        EXPECT_TRUE(port.open(instrument.portPath(), 38400));
    }
}

TEST_F(HandshakeTest, SilentInstrumentIsAskedThreeTimesAndTheDownloadGoesOn) {
    SimulatedInstrument instrument(folder, {"--silent-modbus"});
    auto start = Clock::now();
    EXPECT_TRUE(flashup::enterLoaderMode(1, instrument.portPath(), kHandshakeBaud));
    long long elapsed = millisecondsSince(start);
    EXPECT_GE(elapsed, 3600);
    EXPECT_LT(elapsed, 8000);

    EXPECT_EQ(traces.text(),
              kAttempt + "1)\n" + kAttempt + "2)\n" + kAttempt + "3)\n" + kNoResponse);
    std::vector<std::string> log = instrument.logLines();
    EXPECT_EQ(countOf(log, kReadRegister6), 3u);
    EXPECT_EQ(countOf(log, "loader mode"), 0u);
}

TEST_F(HandshakeTest, MissingPortEndsItBeforeAnyAttempt) {
    auto start = Clock::now();
    EXPECT_FALSE(flashup::enterLoaderMode(1, (folder / "no-instrument").string(), kHandshakeBaud));
    EXPECT_LT(millisecondsSince(start), 900);
    EXPECT_EQ(traces.text(), "Open RS232 Error (line 238) !!!!\n");
}

}  // namespace
