#include "converter/output/ascii_hex_writer.h"

#include <algorithm>
#include <cstdio>

namespace romcvt {

namespace {

constexpr size_t kLineLimit = 72;  // 24 bytes of "XY " a line

class AsciiHexWriter final : public FormatWriter {
  public:
    void begin_file(OutputFile& file) override { file.stream.write("\x02\r\n", 3); }

    void start_record(OutputFile& file, uint32_t address) override {
        if (!file.line_empty()) end_record(file);
        char text[24];
        int length =
            std::snprintf(text, sizeof text, "$A%04lx,\r\n", static_cast<unsigned long>(address));
        file.stream.write(text, static_cast<size_t>(length));
    }

    void add_data(OutputFile& file, const uint8_t* data, size_t byte_count, uint32_t) override {
        append_bytes(file, data, byte_count);
    }

    // The format ignores word boundaries and addresses within a record, so
    // a run of pieces is one stream of bytes.
    void add_pieces(OutputFile& file, const uint8_t* data, size_t piece_count, size_t piece_bytes,
                    uint32_t, uint32_t) override {
        append_bytes(file, data, piece_count * piece_bytes);
    }

    void end_record(OutputFile& file) override {
        file.append("\r\n", 2);
        file.write_line();
    }

    void end_file(OutputFile& file) override { file.stream.put('\x03'); }

  private:
    void append_bytes(OutputFile& file, const uint8_t* data, size_t count) {
        size_t i = 0;
        while (i < count) {
            if (file.line_end >= kLineLimit) end_record(file);
            size_t room = (kLineLimit - file.line_end + 2) / 3;
            size_t take = std::min(room, count - i);
            char* out = file.line + file.line_end;
            for (size_t b = 0; b < take; ++b) {
                const char* digits = kHexDigits.pair[data[i + b]];
                out[0] = digits[0];
                out[1] = digits[1];
                out[2] = ' ';
                out += 3;
            }
            file.line_end += 3 * take;
            i += take;
        }
    }
};

}  // namespace

std::unique_ptr<FormatWriter> make_ascii_hex_writer(const WriterParams&) {
    return std::make_unique<AsciiHexWriter>();
}

}  // namespace romcvt
