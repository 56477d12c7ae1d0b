// The two languages the instrument speaks on its line: Modbus ASCII frames in
// normal operation and the loader's sectors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace instrument_sim {

// ":" + two upper-case hex characters per byte + LRC + CR LF. A non-zero
// `lrcError` is added to the LRC, to imitate a corrupted reply.
std::string encodeFrame(const std::vector<uint8_t>& message, uint8_t lrcError = 0);

// The message bytes of a frame (LRC removed), or nothing when the frame is
// not ":" hex-pairs CR LF in upper case with a zero byte sum, or is shorter
// than address + function + LRC.
std::optional<std::vector<uint8_t>> decodeFrame(std::string_view frame);

struct Sector {
    bool wellFormed = false;  // an even byte count of at least five words
    uint32_t address = 0;
    std::vector<uint16_t> data;
    bool sumOk = false;
    uint16_t compatibility = 0;
};

// Splits a burst into the sector's fields: address (high word first), data,
// 32-bit sum (low word first), compatibility word; every word low byte first.
Sector parseSector(const std::vector<uint8_t>& burst);

}  // namespace instrument_sim
