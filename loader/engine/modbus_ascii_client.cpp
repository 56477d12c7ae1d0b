#include "loader/engine/modbus_ascii_client.h"

#include <chrono>
#include <thread>

#include "loader/engine/trace.h"

namespace flashup {

namespace {

constexpr uint8_t kReadHoldingRegisters = 0x03;
constexpr uint8_t kWriteSingleRegister = 0x06;
constexpr uint8_t kExceptionBit = 0x80;
constexpr size_t kFrameBufferSize = 20;
constexpr uint16_t kRequestBytes = 6;
constexpr uint32_t kReadReplyCharacters = 15;
constexpr uint32_t kWriteReplyCharacters = 17;
constexpr uint32_t kReplyTimeoutTenths = 10;
// Decoded bytes a reply needs before its value can be taken: address,
// function, byte count, value (2), LRC; or address, function, register (2),
// value (2), LRC.
constexpr uint16_t kReadReplyMinimum = 6;
constexpr uint16_t kWriteReplyMinimum = 7;
constexpr uint16_t kMinimumFrameCharacters = 11;

constexpr uint16_t kLoaderOrderPointerRegister = 6;
constexpr uint16_t kLoaderOrderValue = 1;
constexpr int kHandshakeAttempts = 3;
constexpr auto kHandshakePause = std::chrono::milliseconds(1000);

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void putRequest(uint8_t* buffer, uint8_t slave, uint8_t function, uint16_t first, uint16_t second) {
    buffer[0] = slave;
    buffer[1] = function;
    buffer[2] = static_cast<uint8_t>(first >> 8);
    buffer[3] = static_cast<uint8_t>(first & 0xFF);
    buffer[4] = static_cast<uint8_t>(second >> 8);
    buffer[5] = static_cast<uint8_t>(second & 0xFF);
}

}  // namespace

void ModbusAsciiClient::toHexPair(char out[2], uint8_t byte) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    out[0] = kDigits[byte >> 4];
    out[1] = kDigits[byte & 0x0F];
}

bool ModbusAsciiClient::fromHexPair(uint8_t& out, const char in[2]) {
    int high = hexValue(in[0]);
    int low = hexValue(in[1]);
    if (high < 0 || low < 0) return false;
    out = static_cast<uint8_t>(high << 4 | low);
    return true;
}

void ModbusAsciiClient::buildFrame(uint8_t* buffer, uint16_t& length) {
    uint8_t sum = 0;
    // From the last byte back: byte i's characters land at 2i + 1 and
    // 2i + 2, beyond every byte not converted yet.
    for (uint16_t i = length; i-- > 0;) {
        uint8_t byte = buffer[i];
        sum = static_cast<uint8_t>(sum + byte);
        toHexPair(reinterpret_cast<char*>(buffer + 2 * i + 1), byte);
    }
    buffer[0] = ':';
    uint16_t end = static_cast<uint16_t>(2 * length + 1);
    toHexPair(reinterpret_cast<char*>(buffer + end), static_cast<uint8_t>(0 - sum));
    buffer[end + 2] = '\r';
    buffer[end + 3] = '\n';
    length = static_cast<uint16_t>(end + 4);
}

bool ModbusAsciiClient::checkFrame(uint8_t* buffer, uint16_t& length) {
    if (length < kMinimumFrameCharacters || buffer[0] != ':' || buffer[length - 1] != '\n' ||
        buffer[length - 2] != '\r') {
        return false;
    }
    uint8_t sum = 0;
    uint16_t decoded = 0;
    // An odd number of characters before CR leaves a last pair that takes
    // in the CR, which is no hex digit.
    for (uint16_t at = 1; at < length - 2; at += 2) {
        uint8_t byte;
        if (!fromHexPair(byte, reinterpret_cast<const char*>(buffer + at))) return false;
        buffer[decoded++] = byte;
        sum = static_cast<uint8_t>(sum + byte);
    }
    if (sum != 0) return false;
    length = decoded;
    return true;
}

bool ModbusAsciiClient::open(uint8_t slaveAddress, const std::string& portName, uint32_t baudRate) {
    slaveAddress_ = slaveAddress;
    return port_.open(portName, baudRate);
}

bool ModbusAsciiClient::close() { return port_.close(); }

bool ModbusAsciiClient::transact(uint8_t function, uint16_t first, uint16_t second,
                                 uint32_t replyCharacters, uint8_t* reply, uint16_t& decoded) {
    putRequest(reply, slaveAddress_, function, first, second);
    uint16_t length = kRequestBytes;
    buildFrame(reply, length);
    // Whatever is left of an earlier, longer reply would shift this reply
    // out of its frame and make every retry fail.
    port_.discardInput();
    if (port_.write(reply, length) == 0) return false;
    if (replyCharacters == 0) return true;
    decoded = static_cast<uint16_t>(port_.read(reply, replyCharacters, kReplyTimeoutTenths));
    return checkFrame(reply, decoded) && reply[0] == slaveAddress_ &&
           (reply[1] & kExceptionBit) == 0;
}

bool ModbusAsciiClient::readHoldingRegister(uint16_t registerAddress, uint16_t& value) {
    uint8_t buffer[kFrameBufferSize];
    uint16_t decoded = 0;
    if (!transact(kReadHoldingRegisters, registerAddress, 1, kReadReplyCharacters, buffer,
                  decoded) ||
        decoded < kReadReplyMinimum) {
        return false;
    }
    value = static_cast<uint16_t>(buffer[3] << 8 | buffer[4]);
    return true;
}

bool ModbusAsciiClient::writeSingleRegister(uint16_t registerAddress, uint16_t& value,
                                            bool waitForReply) {
    uint8_t buffer[kFrameBufferSize];
    uint16_t decoded = 0;
    uint32_t replyCharacters = waitForReply ? kWriteReplyCharacters : 0;
    if (!transact(kWriteSingleRegister, registerAddress, value, replyCharacters, buffer, decoded)) {
        return false;
    }
    if (!waitForReply) return true;
    if (decoded < kWriteReplyMinimum) return false;
    value = static_cast<uint16_t>(buffer[4] << 8 | buffer[5]);
    return true;
}

bool enterLoaderMode(uint8_t slaveAddress, const std::string& portName, uint32_t baudRate) {
    ModbusAsciiClient client;
    if (!client.open(slaveAddress, portName, baudRate)) return false;

    bool answered = false;
    for (uint16_t attempt = 1; attempt <= kHandshakeAttempts && !answered; ++attempt) {
        trace(1, "Trying to read Modbus adress to write download order(attempt %d)\n", attempt);
        uint16_t orderRegister = 0;
        if (client.readHoldingRegister(kLoaderOrderPointerRegister, orderRegister)) {
            answered = true;
            // The instrument may leave Modbus as soon as it has the order,
            // so no reply is awaited and the write's outcome is not judged.
            uint16_t order = kLoaderOrderValue;
            (void)client.writeSingleRegister(static_cast<uint16_t>(orderRegister + 1), order,
                                             false);
        }
    }
    if (!answered)
        trace(1, "No response from the remote device (Device already in loader mode ?)\n");

    std::this_thread::sleep_for(kHandshakePause);
    return client.close();
}

}  // namespace flashup
