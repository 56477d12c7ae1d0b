#include "converter/output/format_writer.h"

namespace romcvt {

HexDigits::HexDigits() {
    static const char digits[] = "0123456789ABCDEF";
    for (int value = 0; value < 256; ++value) {
        pair[value][0] = digits[value >> 4];
        pair[value][1] = digits[value & 15];
    }
}

const HexDigits kHexDigits;

HexValues::HexValues() {
    for (int c = 0; c < 256; ++c) value[c] = 0;
    for (int d = 0; d < 10; ++d) value['0' + d] = static_cast<uint8_t>(d);
    for (int d = 0; d < 6; ++d) {
        value['A' + d] = static_cast<uint8_t>(10 + d);
        value['a' + d] = static_cast<uint8_t>(10 + d);
    }
}

const HexValues kHexValues;

size_t hex_encode(char* text, const uint8_t* data, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        text[2 * i] = kHexDigits.pair[data[i]][0];
        text[2 * i + 1] = kHexDigits.pair[data[i]][1];
    }
    return 2 * count;
}

void FormatWriter::add_pieces(OutputFile& file, const uint8_t* data, size_t piece_count,
                              size_t piece_bytes, uint32_t first_address, uint32_t address_step) {
    uint32_t address = first_address;
    for (size_t i = 0; i < piece_count; ++i) {
        add_data(file, data + i * piece_bytes, piece_bytes, address);
        address += address_step;
    }
}

}  // namespace romcvt
