#include "converter/output/generic_writer.h"

namespace romcvt {

namespace {

constexpr size_t kLineRoom = 99;

class GenericWriter final : public PieceWriter<GenericWriter> {
  public:
    explicit GenericWriter(const WriterParams& params)
        : line_length_(params.line_length > 0 ? static_cast<size_t>(params.line_length) : 1) {}

    void begin_file(OutputFile& file) override {
        file.stream.write("ADDRESS\tDATA\r\n-------\t----\r\n", 28);
    }

    void start_record(OutputFile& file, uint32_t address) override {
        if (!file.line_empty()) end_record(file);
        char text[16];
        size_t length = put_hex_lower(text, address, 4);
        text[length++] = '\t';
        file.stream.write(text, length);
        file.address_issued = true;
    }

    void end_record(OutputFile& file) override {
        file.append("\r\n", 2);
        file.write_line();
        file.address_issued = false;
    }

    void end_file(OutputFile&) override {}

  private:
    friend class PieceWriter<GenericWriter>;

    void add_piece(OutputFile& file, const uint8_t* data, size_t byte_count, uint32_t address) {
        const size_t w = static_cast<size_t>(file.rom_width);
        for (size_t i = 0; i < byte_count; ++i) {
            if (i % w == 0 && (file.line_end / (2 * w + 1) >= line_length_ ||
                               file.line_end + 2 * w >= kLineRoom || !file.address_issued)) {
                start_record(file, address);
            }
            file.append(kHexDigits.pair[data[i]], 2);
            if ((i + 1) % w == 0) file.append(' ');
        }
    }

    size_t line_length_;
};

}  // namespace

std::unique_ptr<FormatWriter> make_generic_writer(const WriterParams& params) {
    return std::make_unique<GenericWriter>(params);
}

}  // namespace romcvt
