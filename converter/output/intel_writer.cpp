#include "converter/output/intel_writer.h"

namespace romcvt {

namespace {

constexpr size_t kLineLimit = 73;  // ":" count, address, type and 32 data bytes
constexpr size_t kDataStart = 9;   // ":LLAAAATT"

class IntelWriter final : public PieceWriter<IntelWriter> {
  public:
    void begin_file(OutputFile&) override {}

    void start_record(OutputFile& file, uint32_t address) override {
        if (!file.line_empty()) end_record(file);
        if ((file.record_address >> 16) != (address >> 16)) {
            file.append(":02000004", 9);
            put_hex(file.line + file.line_end, address >> 16, 4);
            file.line_end += 4;
            end_record(file);
        }
        char* out = file.line;
        out[0] = ':';
        out[1] = '0';
        out[2] = '0';
        put_hex(out + 3, address & 0xFFFF, 4);
        out[7] = '0';
        out[8] = '0';
        file.line_end = kDataStart;
        file.record_address = address;
    }

    void end_record(OutputFile& file) override {
        put_hex(file.line + 1, static_cast<uint32_t>((file.line_end - kDataStart) / 2), 2);
        uint32_t sum = 0;
        for (size_t i = 1; i + 1 < file.line_end; i += 2) sum += hex_byte(file.line + i);
        put_hex(file.line + file.line_end, (0u - sum) & 0xFF, 2);
        file.line_end += 2;
        file.append("\r\n", 2);
        file.write_line();
    }

    void end_file(OutputFile& file) override { file.stream.write(":00000001FF\r\n", 13); }

  private:
    friend class PieceWriter<IntelWriter>;

    void add_piece(OutputFile& file, const uint8_t* data, size_t byte_count, uint32_t address) {
        if (file.line_end >= kLineLimit) end_record(file);
        if (file.line_empty() || (file.record_address >> 16) != (address >> 16)) {
            start_record(file, address);
        }
        file.line_end += hex_encode(file.line + file.line_end, data, byte_count);
        file.record_address = address;
    }
};

}  // namespace

std::unique_ptr<FormatWriter> make_intel_writer(const WriterParams&) {
    return std::make_unique<IntelWriter>();
}

}  // namespace romcvt
