#include "converter/output/motorola_writer.h"

#include "converter/driver/diagnostics.h"

namespace romcvt {

namespace {

constexpr size_t kLineLimit = 69;
constexpr uint32_t kAddressMask = 0xFFFFFF;  // every variant keeps 24 address bits

class MotorolaWriter final : public PieceWriter<MotorolaWriter> {
  public:
    MotorolaWriter(int variant, const WriterParams& params)
        : variant_(variant), diag_(params.diag) {}

    void begin_file(OutputFile& file) override { file.stream.write("S00600004844521B\r\n", 18); }

    void start_record(OutputFile& file, uint32_t address) override {
        if (!file.line_empty()) end_record(file);
        open_record(file, address);
    }

    void end_record(OutputFile& file) override {
        put_hex(file.line + 2, static_cast<uint32_t>((file.line_end - 2) / 2), 2);
        uint32_t sum = 0;
        for (size_t i = 2; i + 1 < file.line_end; i += 2) sum += hex_byte(file.line + i);
        put_hex(file.line + file.line_end, ~sum & 0xFF, 2);
        file.line_end += 2;
        file.append("\r\n", 2);
        file.write_line();
    }

    void end_file(OutputFile& file) override {
        switch (variant_) {
            case 1:
                file.stream.write("S9030000FC\r\n", 12);
                break;
            case 2:
                file.stream.write("S804000000FB\r\n", 14);
                break;
            default:
                file.stream.write("S70500000000FA\r\n", 16);
                break;
        }
    }

  private:
    friend class PieceWriter<MotorolaWriter>;

    void add_piece(OutputFile& file, const uint8_t* data, size_t byte_count, uint32_t address) {
        if (file.line_end >= kLineLimit || crosses_s1_limit(file, address)) end_record(file);
        if (file.line_empty()) open_record(file, address);
        file.line_end += hex_encode(file.line + file.line_end, data, byte_count);
        file.record_address = address;
    }

    // Data above 0FFFFh never goes into an S1 record.
    bool crosses_s1_limit(const OutputFile& file, uint32_t address) const {
        return variant_ == 1 && !file.line_empty() && file.line[1] == '1' &&
               (address & kAddressMask) > 0xFFFF;
    }

    void open_record(OutputFile& file, uint32_t address) {
        uint32_t kept = address & kAddressMask;
        if (kept != address) warn_truncated(address, kept);
        int variant = variant_;
        // An S1 record cannot carry more than 16 address bits; an S2 record
        // keeps the file readable at the right address.
        if (variant == 1 && kept > 0xFFFF) {
            warn_wide_s1(kept);
            variant = 2;
        }
        char* out = file.line;
        out[0] = 'S';
        out[1] = static_cast<char>('0' + variant);
        out[2] = '0';
        out[3] = '0';
        int digits = 2 * (variant + 1);
        put_hex(out + 4, kept, digits);
        file.line_end = 4 + static_cast<size_t>(digits);
        file.record_address = address;
    }

    void warn_truncated(uint32_t address, uint32_t kept) {
        if (truncation_reported_ || !diag_) return;
        truncation_reported_ = true;
        diag_->report(kWarning, "Motorola-S records keep 24 address bits: 0%lxh written as 0%lxh",
                      static_cast<unsigned long>(address), static_cast<unsigned long>(kept));
    }

    void warn_wide_s1(uint32_t address) {
        if (wide_s1_reported_ || !diag_) return;
        wide_s1_reported_ = true;
        diag_->report(kWarning,
                      "address 0%lxh does not fit an S1 record: S2 records written above 0FFFFh",
                      static_cast<unsigned long>(address));
    }

    int variant_;  // 1, 2 or 3: S1, S2 or S3 records
    Diagnostics* diag_;
    bool truncation_reported_ = false;
    bool wide_s1_reported_ = false;
};

}  // namespace

std::unique_ptr<FormatWriter> make_motorola_s1_writer(const WriterParams& params) {
    return std::make_unique<MotorolaWriter>(1, params);
}

std::unique_ptr<FormatWriter> make_motorola_s2_writer(const WriterParams& params) {
    return std::make_unique<MotorolaWriter>(2, params);
}

std::unique_ptr<FormatWriter> make_motorola_s3_writer(const WriterParams& params) {
    return std::make_unique<MotorolaWriter>(3, params);
}

}  // namespace romcvt
