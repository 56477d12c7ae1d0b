#include "loader/engine/serial_port.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "tests/loader/engine/line_fixtures.h"

namespace {

using engine_test::PseudoTerminal;
using engine_test::TraceCapture;
using flashup::SerialPort;
using Clock = std::chrono::steady_clock;

long long millisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

std::string bytesOf(const uint8_t* data, uint32_t count) {
    return std::string(reinterpret_cast<const char*>(data), count);
}

class SerialPortTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(device.ready()); }

    PseudoTerminal device;
    TraceCapture traces;
};

TEST_F(SerialPortTest, OpenAndCloseWithTheirMessages) {
    SerialPort port;
    EXPECT_FALSE(port.isOpen());
    ASSERT_TRUE(port.open(device.path(), 38400));
    EXPECT_TRUE(port.isOpen());

    // A second open leaves the open port alone, silently.
    EXPECT_FALSE(port.open(device.path(), 115200));
    EXPECT_TRUE(port.isOpen());
    const uint8_t probe[] = {'o', 'k'};
    EXPECT_EQ(port.write(probe, 2), 2u);
    EXPECT_EQ(device.receive(2), "ok");

    EXPECT_TRUE(port.close());
    EXPECT_FALSE(port.isOpen());
    EXPECT_TRUE(device.peerClosed());
    EXPECT_EQ(traces.text(), "");  // "opened" and "closed" are level 0

    EXPECT_FALSE(port.close());
    EXPECT_EQ(traces.text(), "Close RSS32 Error (line 368) !!!!\n");

    // Closed ports open again.
    EXPECT_TRUE(port.open(device.path(), 115200));
}

TEST_F(SerialPortTest, LineSettingsAreRawEightNoneOneWithoutFlowControl) {
    SerialPort port;
    ASSERT_TRUE(port.open(device.path(), 115200));
    termios settings{};
    ASSERT_TRUE(device.lineSettings(settings));
    EXPECT_EQ(cfgetospeed(&settings), static_cast<speed_t>(B115200));
    EXPECT_EQ(settings.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), static_cast<tcflag_t>(CS8));
    EXPECT_EQ(settings.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(settings.c_iflag & (IXON | IXOFF | IXANY | ICRNL | INLCR | IGNCR | ISTRIP), 0u);
    EXPECT_EQ(settings.c_oflag & OPOST, 0u);
    EXPECT_EQ(settings.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(settings.c_cc[VSTART], 0x28);
    EXPECT_EQ(settings.c_cc[VSTOP], 0x29);
    ASSERT_TRUE(port.close());

    ASSERT_TRUE(port.open(device.path(), 38400));
    ASSERT_TRUE(device.lineSettings(settings));
    EXPECT_EQ(cfgetospeed(&settings), static_cast<speed_t>(B38400));
}

TEST_F(SerialPortTest, OpenFailuresNameTheirStepAndLeaveThePortClosed) {
    struct Case {
        std::string name;
        uint32_t baudRate;
        const char* trace;
    } cases[] = {
        {"/dev/no-such-serial-device", 38400, "Open RS232 Error (line 238) !!!!\n"},
        {"/dev/null", 38400, "Open RS232 Error (line 238) !!!!\n"},  // not a terminal
        {device.path(), 12345, "Open RS232 Error (line 302) !!!!\n"},
        {device.path(), 0, "Open RS232 Error (line 302) !!!!\n"},
    };
    for (const Case& c : cases) {
        traces.clear();
        SerialPort port;
        EXPECT_FALSE(port.open(c.name, c.baudRate)) << c.name << " " << c.baudRate;
        EXPECT_FALSE(port.isOpen());
        EXPECT_EQ(traces.text(), c.trace) << c.name << " " << c.baudRate;
    }
    // The refused opens released the device.
    SerialPort port;
    EXPECT_TRUE(port.open(device.path(), 38400));
}

TEST_F(SerialPortTest, DeviceHeldByAnotherPortIsRefused) {
    SerialPort first;
    SerialPort second;
    ASSERT_TRUE(first.open(device.path(), 38400));
    EXPECT_FALSE(second.open(device.path(), 38400));
    EXPECT_EQ(traces.text(), "Open RS232 Error (line 238) !!!!\n");
    EXPECT_TRUE(first.isOpen());

    // Given back, the device opens again, also from another port.
    EXPECT_TRUE(first.close());
    EXPECT_TRUE(second.open(device.path(), 38400));
}

TEST_F(SerialPortTest, ClosedPortReadsAndWritesNothingSilently) {
    SerialPort port;
    uint8_t buffer[4] = {1, 2, 3, 4};
    EXPECT_EQ(port.write(buffer, 4), 0u);
    EXPECT_EQ(port.read(buffer, 4, 1), 0u);
    EXPECT_FALSE(port.discardInput());
    { SerialPort destroyedClosed; }
    EXPECT_EQ(traces.text(), "");
}

TEST_F(SerialPortTest, EveryByteValueCrossesUnchangedBothWays) {
    SerialPort port;
    ASSERT_TRUE(port.open(device.path(), 38400));
    uint8_t all[256];
    for (int i = 0; i < 256; ++i) all[i] = static_cast<uint8_t>(i);
    // NUL, XON, XOFF, CR, LF, the "(" and ")" set as XON/XOFF characters and
    // 0xFF are the bytes a cooked line would eat or change.
    EXPECT_EQ(port.write(all, 256), 256u);
    EXPECT_EQ(device.receive(256), bytesOf(all, 256));

    ASSERT_TRUE(device.send(all, 256));
    uint8_t received[256] = {};
    EXPECT_EQ(port.read(received, 256, 20), 256u);
    EXPECT_EQ(bytesOf(received, 256), bytesOf(all, 256));
    EXPECT_EQ(traces.text(), "");
}

TEST_F(SerialPortTest, ReadGathersPiecesAndReturnsOnceAllArrived) {
    SerialPort port;
    ASSERT_TRUE(port.open(device.path(), 38400));
    // Bytes that came before the call are returned first.
    ASSERT_TRUE(device.send(":01"));
    std::thread sender([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        device.send("0302");
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        device.send("ABCD");
    });
    uint8_t buffer[11] = {};
    auto start = Clock::now();
    uint32_t got = port.read(buffer, 11, 50);
    long long elapsed = millisecondsSince(start);
    sender.join();
    EXPECT_EQ(got, 11u);
    EXPECT_EQ(bytesOf(buffer, got), ":010302ABCD");
    EXPECT_LT(elapsed, 2500) << "the read should not wait for its time-out";
}

TEST_F(SerialPortTest, ReadWithoutTimeOutWaitsForEveryByte) {
    SerialPort port;
    ASSERT_TRUE(port.open(device.path(), 38400));
    std::thread sender([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        device.send("G");
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        device.send("O");
    });
    uint8_t buffer[2] = {};
    auto start = Clock::now();
    uint32_t got = port.read(buffer, 2, 0);
    long long elapsed = millisecondsSince(start);
    sender.join();
    EXPECT_EQ(got, 2u);
    EXPECT_EQ(bytesOf(buffer, got), "GO");
    EXPECT_GE(elapsed, 500);
}

TEST_F(SerialPortTest, ShortReadReturnsWhatCameWhenTheTotalTimeOutEnds) {
    SerialPort port;
    ASSERT_TRUE(port.open(device.path(), 38400));
    struct Case {
        const char* sent;
        uint32_t expected;
    } cases[] = {{"", 0}, {"G", 1}};
    for (const Case& c : cases) {
        if (*c.sent != '\0') {
            ASSERT_TRUE(device.send(c.sent));
        }
        uint8_t buffer[2] = {};
        auto start = Clock::now();
        uint32_t got = port.read(buffer, 2, 10);
        long long elapsed = millisecondsSince(start);
        EXPECT_EQ(got, c.expected) << '"' << c.sent << '"';
        EXPECT_EQ(bytesOf(buffer, got), c.sent);
        EXPECT_GE(elapsed, 900);
        EXPECT_LT(elapsed, 3000);
    }
    EXPECT_EQ(traces.text(), "");  // the time-out message is level 0
}

TEST_F(SerialPortTest, WhatWasWrittenJustBeforeClosingArrives) {
    const std::string frame = ":010601000001F7\r\n";
    std::string block(3000, '\0');
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 7);
    {
        SerialPort port;
        ASSERT_TRUE(port.open(device.path(), 115200));
        port.write(reinterpret_cast<const uint8_t*>(block.data()),
                   static_cast<uint32_t>(block.size()));
        port.write(reinterpret_cast<const uint8_t*>(frame.data()),
                   static_cast<uint32_t>(frame.size()));
        auto start = Clock::now();
        EXPECT_TRUE(port.close());
        // Nobody has read anything yet: closing must not wait on that.
        EXPECT_LT(millisecondsSince(start), 3000);
    }
    EXPECT_EQ(device.receive(block.size() + frame.size()), block + frame);

    // The destructor closes the same way.
    {
        SerialPort port;
        ASSERT_TRUE(port.open(device.path(), 115200));
        port.write(reinterpret_cast<const uint8_t*>(frame.data()),
                   static_cast<uint32_t>(frame.size()));
    }
    EXPECT_TRUE(device.peerClosed());
    EXPECT_EQ(device.receive(frame.size()), frame);
}

TEST_F(SerialPortTest, InputIsDiscardedOnOpenAndOnRequest) {
    SerialPort port;
    ASSERT_TRUE(port.open(device.path(), 38400));
    ASSERT_TRUE(device.send("stale"));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(port.discardInput());
    ASSERT_TRUE(device.send("G"));
    uint8_t buffer[1] = {};
    EXPECT_EQ(port.read(buffer, 1, 20), 1u);
    EXPECT_EQ(buffer[0], 'G');
}

TEST_F(SerialPortTest, LineThatWentAwayFailsReadsAndWrites) {
    SerialPort port;
    ASSERT_TRUE(port.open(device.path(), 38400));
    device.closeDevice();
    uint8_t buffer[2] = {'G', 'O'};
    auto start = Clock::now();
    EXPECT_EQ(port.read(buffer, 2, 0), 0u);  // would wait forever on a live, silent line
    EXPECT_LT(millisecondsSince(start), 3000);
    EXPECT_EQ(port.write(buffer, 2), 0u);
    EXPECT_EQ(traces.text(), "RS232 READ ERROR (line 111)\nRS232 WRITE ERROR (line 183)\n");
}

TEST(SerialDevicePath, PortNamesMapToDevices) {
    struct Case {
        const char* name;
        const char* path;
    } cases[] = {
        {"COM1", "/dev/ttyS0"},
        {"COM3", "/dev/ttyS2"},
        {"com8", "/dev/ttyS7"},
        {"Com12", "/dev/ttyS11"},
        {"COM0", "/dev/COM0"},
        {"COM01", "/dev/COM01"},
        {"COM", "/dev/COM"},
        {"COM1a", "/dev/COM1a"},
        {"ttyUSB0", "/dev/ttyUSB0"},
        {"/dev/pts/7", "/dev/pts/7"},
        {"./COM1", "./COM1"},
        {"/tmp/a very long/device name/ttyVirtual0", "/tmp/a very long/device name/ttyVirtual0"},
    };
    for (const Case& c : cases) EXPECT_EQ(flashup::serialDevicePath(c.name), c.path) << c.name;
}

}  // namespace
