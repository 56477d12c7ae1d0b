// The record-writer protocol: one FormatWriter per record format, driven by
// the same five commands for every output file of a range.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "converter/output/output_stream.h"

namespace romcvt {

class Diagnostics;

inline constexpr size_t kLineCapacity = 128;
// The widest ROM word a record format takes: a record near its limit plus
// one such word must still fit in the line.
inline constexpr int32_t kMaxRecordWordBytes = 16;

// Writer state of one open output file.
struct OutputFile {
    std::string name;
    OutputStream stream;
    char line[kLineCapacity];
    size_t line_end = 0;
    uint32_t record_address = 0;
    bool address_issued = false;
    int32_t rom_width = 1;  // bytes of one ROM word in this file's range

    bool line_empty() const { return line_end == 0; }
    void append(const char* text, size_t length) {
        std::memcpy(line + line_end, text, length);
        line_end += length;
    }
    void append(char c) { line[line_end++] = c; }
    // Writes the line as it stands and empties it.
    void write_line() {
        stream.write(line, line_end);
        line_end = 0;
    }
};

// Fixed per run: what some formats put into their records besides the data.
struct WriterParams {
    int32_t line_length = 20;          // ROM words per line ("Generic")
    uint32_t entry_point_address = 0;  // termination record ("Extended Tektronix")
    Diagnostics* diag = nullptr;       // warnings about addresses a format cannot hold
};

class FormatWriter {
  public:
    virtual ~FormatWriter() = default;

    virtual void begin_file(OutputFile& file) = 0;
    // The next data does not follow the data written before; it belongs at
    // address.
    virtual void start_record(OutputFile& file, uint32_t address) = 0;
    // byte_count bytes (one ROM word, or less) that belong at address.
    virtual void add_data(OutputFile& file, const uint8_t* data, size_t byte_count,
                          uint32_t address) = 0;
    // piece_count pieces of piece_bytes each, the first at first_address and
    // each further one address_step later. Same result as add_data per
    // piece; formats override it to encode long runs without per-piece calls.
    virtual void add_pieces(OutputFile& file, const uint8_t* data, size_t piece_count,
                            size_t piece_bytes, uint32_t first_address, uint32_t address_step);
    virtual void end_record(OutputFile& file) = 0;
    virtual void end_file(OutputFile& file) = 0;
};

// Base of the writers whose work is one piece at a time: add_data and
// add_pieces both go to the derived class's add_piece, so a run of pieces
// costs no virtual call per piece and gives the same bytes as single calls.
template <class Derived>
class PieceWriter : public FormatWriter {
  public:
    void add_data(OutputFile& file, const uint8_t* data, size_t byte_count,
                  uint32_t address) override {
        static_cast<Derived*>(this)->add_piece(file, data, byte_count, address);
    }

    void add_pieces(OutputFile& file, const uint8_t* data, size_t piece_count, size_t piece_bytes,
                    uint32_t first_address, uint32_t address_step) override {
        uint32_t address = first_address;
        for (size_t i = 0; i < piece_count; ++i) {
            static_cast<Derived*>(this)->add_piece(file, data + i * piece_bytes, piece_bytes,
                                                   address);
            address += address_step;
        }
    }
};

// Two upper-case hex digits per byte, high nibble first; returns 2 * count.
size_t hex_encode(char* text, const uint8_t* data, size_t count);

// "0".."9", "A".."F" for each byte value, table driven.
struct HexDigits {
    char pair[256][2];
    HexDigits();
};
extern const HexDigits kHexDigits;

// The value of each hex digit character ("0"-"9", "A"-"F", "a"-"f"), 0 for
// any other character; checksums are taken over the encoded line.
struct HexValues {
    uint8_t value[256];
    HexValues();
};
extern const HexValues kHexValues;

// The byte encoded by two hex digits.
inline uint8_t hex_byte(const char* text) {
    return static_cast<uint8_t>(kHexValues.value[static_cast<uint8_t>(text[0])] << 4 |
                                kHexValues.value[static_cast<uint8_t>(text[1])]);
}

// Writes value as digit_count upper-case hex digits, most significant first.
inline void put_hex(char* text, uint32_t value, int digit_count) {
    for (int i = digit_count - 1; i >= 0; --i) {
        text[i] = "0123456789ABCDEF"[value & 15];
        value >>= 4;
    }
}

// Writes value in lower-case hex digits, at least min_digits of them (as
// "%0*lx" does); returns the number of digits.
inline size_t put_hex_lower(char* text, uint32_t value, int min_digits) {
    int digits = min_digits;
    while (digits < 8 && (value >> (4 * digits)) != 0) ++digits;
    for (int i = digits - 1; i >= 0; --i) {
        text[i] = "0123456789abcdef"[value & 15];
        value >>= 4;
    }
    return static_cast<size_t>(digits);
}

}  // namespace romcvt
