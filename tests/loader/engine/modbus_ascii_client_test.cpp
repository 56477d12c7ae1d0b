#include "loader/engine/modbus_ascii_client.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tests/loader/engine/line_fixtures.h"

namespace {

using engine_test::PseudoTerminal;
using engine_test::TraceCapture;
using flashup::ModbusAsciiClient;

constexpr size_t kRequestLength = 17;

std::string framed(std::vector<uint8_t> bytes) {
    uint16_t length = static_cast<uint16_t>(bytes.size());
    bytes.resize(2 * bytes.size() + 5);
    ModbusAsciiClient::buildFrame(bytes.data(), length);
    return std::string(bytes.begin(), bytes.begin() + length);
}

TEST(ModbusFrame, BuildFrameGivesTheExactCharacters) {
    struct Case {
        std::vector<uint8_t> bytes;
        const char* frame;
    } cases[] = {
        {{0x01, 0x03, 0x00, 0x06, 0x00, 0x01}, ":010300060001F5\r\n"},
        {{0x01, 0x06, 0x01, 0x00, 0x00, 0x01}, ":010601000001F7\r\n"},
        {{0xFF, 0x10}, ":FF10F1\r\n"},
        {{0x00}, ":0000\r\n"},
    };
    for (const Case& c : cases) EXPECT_EQ(framed(c.bytes), c.frame);
}

TEST(ModbusFrame, HexPairs) {
    char pair[2];
    ModbusAsciiClient::toHexPair(pair, 0xA5);
    EXPECT_EQ(std::string(pair, 2), "A5");
    ModbusAsciiClient::toHexPair(pair, 0x0F);
    EXPECT_EQ(std::string(pair, 2), "0F");

    struct Case {
        const char* text;
        bool valid;
        uint8_t value;
    } cases[] = {
        {"00", true, 0x00}, {"9F", true, 0x9F}, {"FA", true, 0xFA}, {"af", false, 0},
        {"Af", false, 0},   {"G0", false, 0},   {" 1", false, 0},   {"0\r", false, 0},
    };
    for (const Case& c : cases) {
        uint8_t value = 0x55;
        EXPECT_EQ(ModbusAsciiClient::fromHexPair(value, c.text), c.valid) << c.text;
        if (c.valid) {
            EXPECT_EQ(value, c.value) << c.text;
        }
    }
}

TEST(ModbusFrame, CheckFrameAcceptsOnlyWholeFramesWithAZeroSum) {
    struct Case {
        const char* text;
        bool valid;
        std::vector<uint8_t> decoded;  // LRC included
    } cases[] = {
        {":010300060001F5\r\n", true, {0x01, 0x03, 0x00, 0x06, 0x00, 0x01, 0xF5}},
        {":0183027A\r\n", true, {0x01, 0x83, 0x02, 0x7A}},  // 11 characters, the minimum
        {":00000000\r\n", true, {0x00, 0x00, 0x00, 0x00}},
        {":000000\r\n", false, {}},           // 9 characters
        {":010300060001f5\r\n", false, {}},   // lower case
        {":010300060001F6\r\n", false, {}},   // LRC one off
        {":010300060001F5A\r\n", false, {}},  // odd: the last pair takes the CR
        {"010300060001F5\r\n", false, {}},    // no colon
        {":010300060001F5\n\r", false, {}},   // LF CR
        {":010300060001F5\r\r", false, {}},
        {":0103000G0001F5\r\n", false, {}},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> buffer(c.text, c.text + std::strlen(c.text));
        uint16_t length = static_cast<uint16_t>(buffer.size());
        ASSERT_EQ(ModbusAsciiClient::checkFrame(buffer.data(), length), c.valid) << c.text;
        if (!c.valid) continue;
        ASSERT_EQ(length, c.decoded.size()) << c.text;
        EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + length), c.decoded);
    }
}

// Plays the slave on the device side: for each reply, waits for one
// request, keeps it, then sends the reply.
class ScriptedSlave {
  public:
    ScriptedSlave(PseudoTerminal& device, std::vector<std::string> replies)
        : thread_([this, &device, replies] {
              for (const std::string& reply : replies) {
                  requests_.push_back(device.receive(kRequestLength));
                  if (!reply.empty()) device.send(reply);
              }
          }) {}
    // Waits until the script has run.
    const std::vector<std::string>& requests() {
        if (thread_.joinable()) thread_.join();
        return requests_;
    }
    ~ScriptedSlave() {
        if (thread_.joinable()) thread_.join();
    }

  private:
    std::vector<std::string> requests_;
    std::thread thread_;
};

class ModbusClientTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(device.ready());
        ASSERT_TRUE(client.open(1, device.path(), 115200));
    }

    PseudoTerminal device;
    TraceCapture traces;
    ModbusAsciiClient client;
};

TEST_F(ModbusClientTest, ReadHoldingRegisterAcceptsOnlyAGoodReplyFromItsSlave) {
    struct Case {
        const char* reply;
        bool accepted;
        uint16_t value;
    } cases[] = {
        {":010302ABCD82\r\n", true, 0xABCD}, {":010302FFFFFC\r\n", true, 0xFFFF},
        {":020302ABCD81\r\n", false, 0},  // another slave
        {":010302abcd82\r\n", false, 0},  // lower case
        {":010302ABCD83\r\n", false, 0},  // bad LRC
        {":0183027A\r\n", false, 0},      // exception reply, then the time-out
        {":010300FC\r\n", false, 0},      // a sound frame without the value
    };
    for (const Case& c : cases) {
        ScriptedSlave slave(device, {c.reply});
        uint16_t value = 0x1234;
        EXPECT_EQ(client.readHoldingRegister(6, value), c.accepted) << c.reply;
        EXPECT_EQ(value, c.accepted ? c.value : 0x1234) << c.reply;
        EXPECT_EQ(slave.requests(), std::vector<std::string>{":010300060001F5\r\n"});
    }
    EXPECT_EQ(traces.text(), "");
}

TEST_F(ModbusClientTest, LeftoversOfALongReplyDoNotSpoilTheNextOne) {
    ScriptedSlave slave(device, {"XXXX:010302ABCD82\r\n", ":0103020005F5\r\n"});
    uint16_t value = 0;
    EXPECT_FALSE(client.readHoldingRegister(6, value));
    EXPECT_TRUE(client.readHoldingRegister(6, value));
    EXPECT_EQ(value, 5);
}

TEST_F(ModbusClientTest, WriteSingleRegisterTakesTheEchoedValue) {
    ScriptedSlave slave(device, {":010600071234AC\r\n", ":0183027A\r\n"});
    uint16_t value = 1;
    EXPECT_TRUE(client.writeSingleRegister(7, value, true));
    EXPECT_EQ(value, 0x1234);
    value = 1;
    EXPECT_FALSE(client.writeSingleRegister(7, value, true));
    EXPECT_EQ(slave.requests(),
              (std::vector<std::string>{":010600070001F1\r\n", ":010600070001F1\r\n"}));
}

TEST_F(ModbusClientTest, WriteWithoutReplyReturnsAtOnce) {
    uint16_t value = 1;
    EXPECT_TRUE(client.writeSingleRegister(0x0100, value, false));
    EXPECT_EQ(value, 1);
    EXPECT_EQ(device.receive(kRequestLength), ":010601000001F7\r\n");
}

TEST_F(ModbusClientTest, SlaveAddressGoesIntoRequestsAndIsRequiredInReplies) {
    ASSERT_TRUE(client.close());
    ASSERT_TRUE(client.open(2, device.path(), 115200));
    ScriptedSlave slave(device, {":020302ABCD81\r\n", ":010302ABCD82\r\n"});
    uint16_t value = 0;
    EXPECT_TRUE(client.readHoldingRegister(6, value));
    EXPECT_EQ(value, 0xABCD);
    EXPECT_FALSE(client.readHoldingRegister(6, value));
    EXPECT_EQ(slave.requests(),
              (std::vector<std::string>{":020300060001F4\r\n", ":020300060001F4\r\n"}));
}

}  // namespace
