#include "tools/instrument_sim/protocol.h"

namespace instrument_sim {

namespace {

constexpr char hexDigits[] = "0123456789ABCDEF";

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;  // lower case is not Modbus ASCII
}

void appendHex(std::string& out, uint8_t byte) {
    out += hexDigits[byte >> 4];
    out += hexDigits[byte & 0x0F];
}

}  // namespace

std::string encodeFrame(const std::vector<uint8_t>& message, uint8_t lrcError) {
    std::string frame = ":";
    uint8_t sum = 0;
    for (uint8_t byte : message) {
        appendHex(frame, byte);
        sum = static_cast<uint8_t>(sum + byte);
    }
    appendHex(frame, static_cast<uint8_t>(-sum + lrcError));
    frame += "\r\n";
    return frame;
}

std::optional<std::vector<uint8_t>> decodeFrame(std::string_view frame) {
    if (frame.size() < 3 || frame.front() != ':' || !frame.ends_with("\r\n")) return {};
    std::string_view hex = frame.substr(1, frame.size() - 3);
    if (hex.size() % 2 != 0 || hex.size() < 6) return {};
    std::vector<uint8_t> bytes;
    uint8_t sum = 0;
    for (size_t i = 0; i < hex.size(); i += 2) {
        int high = hexValue(hex[i]);
        int low = hexValue(hex[i + 1]);
        if (high < 0 || low < 0) return {};
        auto byte = static_cast<uint8_t>(high << 4 | low);
        bytes.push_back(byte);
        sum = static_cast<uint8_t>(sum + byte);
    }
    if (sum != 0) return {};
    bytes.pop_back();
    return bytes;
}

Sector parseSector(const std::vector<uint8_t>& burst) {
    Sector sector;
    if (burst.size() % 2 != 0 || burst.size() < 10) return sector;
    std::vector<uint16_t> words(burst.size() / 2);
    for (size_t i = 0; i < words.size(); ++i) {
        words[i] = static_cast<uint16_t>(burst[2 * i] | burst[2 * i + 1] << 8);
    }
    size_t n = words.size() - 5;
    sector.wellFormed = true;
    sector.address = uint32_t{words[0]} << 16 | words[1];
    sector.data.assign(words.begin() + 2, words.begin() + 2 + static_cast<long>(n));
    uint32_t sum = 0;
    for (uint16_t word : sector.data) sum += word;
    uint32_t sent = uint32_t{words[n + 3]} << 16 | words[n + 2];
    sector.sumOk = sum == sent;
    sector.compatibility = words[n + 4];
    return sector;
}

}  // namespace instrument_sim
