#include "converter/output/tektronix_writer.h"

namespace romcvt {

namespace {

constexpr size_t kLineLimit = 79;
constexpr size_t kDataStart = 15;  // "%LL6CC8AAAAAAAA"

class TektronixWriter final : public PieceWriter<TektronixWriter> {
  public:
    explicit TektronixWriter(const WriterParams& params)
        : entry_point_address_(params.entry_point_address) {}

    void begin_file(OutputFile&) override {}

    void start_record(OutputFile& file, uint32_t address) override {
        if (!file.line_empty()) end_record(file);
        open_record(file, '6', address);
    }

    void end_record(OutputFile& file) override {
        put_hex(file.line + 1, static_cast<uint32_t>(file.line_end - 1), 2);
        file.line[4] = '0';
        file.line[5] = '0';
        uint32_t sum = 0;
        for (size_t i = 1; i < file.line_end; ++i) {
            sum += kHexValues.value[static_cast<uint8_t>(file.line[i])];
        }
        put_hex(file.line + 4, sum & 0xFF, 2);
        file.append("\r\n", 2);
        file.write_line();
    }

    void end_file(OutputFile& file) override {
        open_record(file, '8', entry_point_address_);
        end_record(file);
    }

  private:
    friend class PieceWriter<TektronixWriter>;

    void add_piece(OutputFile& file, const uint8_t* data, size_t byte_count, uint32_t address) {
        if (file.line_end >= kLineLimit) end_record(file);
        if (file.line_empty()) open_record(file, '6', address);
        file.line_end += hex_encode(file.line + file.line_end, data, byte_count);
        file.record_address = address;
    }

    static void open_record(OutputFile& file, char type, uint32_t address) {
        char* out = file.line;
        out[0] = '%';
        out[1] = '0';
        out[2] = '0';
        out[3] = type;
        out[4] = '0';
        out[5] = '0';
        out[6] = '8';
        put_hex(out + 7, address, 8);
        file.line_end = kDataStart;
        file.record_address = address;
    }

    uint32_t entry_point_address_;
};

}  // namespace

std::unique_ptr<FormatWriter> make_tektronix_writer(const WriterParams& params) {
    return std::make_unique<TektronixWriter>(params);
}

}  // namespace romcvt
