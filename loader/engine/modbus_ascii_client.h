// A minimal Modbus ASCII master (Read Holding Registers for one register,
// Write Single Register) and the handshake that switches the instrument
// into its loader.
#pragma once

#include <cstdint>
#include <string>

#include "loader/engine/serial_port.h"

namespace flashup {

class ModbusAsciiClient {
  public:
    // Stores the slave address, opens the port; the port's result.
    [[nodiscard]] bool open(uint8_t slaveAddress, const std::string& portName, uint32_t baudRate);
    bool close();

    // False on no reply within 1000 ms, a malformed frame, another slave's
    // reply, an exception reply or a reply too short to hold the value.
    // Input left over from an earlier reply is discarded before the request
    // goes out.
    [[nodiscard]] bool readHoldingRegister(uint16_t registerAddress, uint16_t& value);
    // With waitForReply, value receives the value the slave echoed.
    [[nodiscard]] bool writeSingleRegister(uint16_t registerAddress, uint16_t& value,
                                           bool waitForReply);

    // Frame routines, public for tests.
    static void toHexPair(char out[2], uint8_t byte);
    [[nodiscard]] static bool fromHexPair(uint8_t& out, const char in[2]);
    // The length message bytes at the start of buffer become the ASCII frame
    // (":", hex pairs, LRC, CR LF) in place; length becomes 2n + 5. buffer
    // must hold 2n + 5 bytes.
    static void buildFrame(uint8_t* buffer, uint16_t& length);
    // Validates and decodes a received frame in place; length becomes the
    // number of decoded bytes, LRC included.
    [[nodiscard]] static bool checkFrame(uint8_t* buffer, uint16_t& length);

  private:
    // Sends one six-byte request and, unless replyCharacters is 0, reads
    // that many characters back into reply and checks the frame, the slave
    // address and the exception bit; decoded receives the decoded count.
    // reply must hold the 20-byte frame buffer.
    [[nodiscard]] bool transact(uint8_t function, uint16_t first, uint16_t second,
                                uint32_t replyCharacters, uint8_t* reply, uint16_t& decoded);

    uint8_t slaveAddress_ = 1;
    SerialPort port_;
};

// Reads holding register 6 of the slave (up to three attempts) and writes 1
// to the register after the value read, without waiting for a reply; then
// waits 1000 ms and closes the port. False only when the port cannot be
// opened or closed: an instrument already in its loader does not answer.
bool enterLoaderMode(uint8_t slaveAddress, const std::string& portName, uint32_t baudRate);

}  // namespace flashup
