#include "converter/output/debug_writer.h"

namespace romcvt {

namespace {

constexpr size_t kLineLimit = 68;

class DebugWriter final : public PieceWriter<DebugWriter> {
  public:
    void begin_file(OutputFile& file) override { file.stream.write("*** FILE HEADER ***\r\n", 21); }

    void start_record(OutputFile& file, uint32_t address) override {
        if (!file.line_empty()) end_record(file);
        file.append("ADDR:", 5);
        file.line_end += put_hex_lower(file.line + file.line_end, address, 8);
        file.append(": DATA:", 7);
    }

    void end_record(OutputFile& file) override {
        file.append(":END:\r\n", 7);
        file.write_line();
    }

    void end_file(OutputFile& file) override { file.stream.write("*** FILE FOOTER ***\r\n", 21); }

  private:
    friend class PieceWriter<DebugWriter>;

    void add_piece(OutputFile& file, const uint8_t* data, size_t byte_count, uint32_t address) {
        if (file.line_end >= kLineLimit) end_record(file);
        if (file.line_empty()) start_record(file, address);
        file.line_end += hex_encode(file.line + file.line_end, data, byte_count);
        file.append(' ');
    }
};

}  // namespace

std::unique_ptr<FormatWriter> make_debug_writer(const WriterParams&) {
    return std::make_unique<DebugWriter>();
}

}  // namespace romcvt
