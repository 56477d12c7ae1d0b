#include "converter/output/tagged_writer.h"

#include <cstring>

#include "converter/driver/diagnostics.h"

namespace romcvt {

namespace {

constexpr size_t kLineLimit = 62;
constexpr size_t kPaddedLength = 72;  // before the trailing program name

class TaggedWriter final : public FormatWriter {
  public:
    explicit TaggedWriter(const WriterParams& params) : diag_(params.diag) {}

    void begin_file(OutputFile& file) override {
        end_full_line(file);
        file.append("K0000COFFTOZQ", 13);
        file.address_issued = false;
    }

    void start_record(OutputFile& file, uint32_t address) override {
        end_full_line(file);
        if (address > 0xFFFF) warn_truncated(address);
        file.append('9');
        put_hex(file.line + file.line_end, address & 0xFFFF, 4);
        file.line_end += 4;
        file.address_issued = true;
        file.record_address = address;
    }

    void add_data(OutputFile& file, const uint8_t* data, size_t byte_count,
                  uint32_t address) override {
        end_full_line(file);
        if (!file.address_issued) start_record(file, address);
        for (size_t i = 0; i < byte_count; ++i) {
            if (i % 2 == 0) {
                end_full_line(file);
                file.append(i + 1 == byte_count ? '*' : 'B');
            }
            const char* digits = kHexDigits.pair[data[i]];
            file.append(digits, 2);
        }
        file.record_address = address;
    }

    void end_record(OutputFile& file) override {
        file.append('7');
        uint32_t sum = 0;
        for (size_t i = 0; i < file.line_end; ++i) sum += static_cast<uint8_t>(file.line[i]);
        put_hex(file.line + file.line_end, (0u - sum) & 0xFFFF, 4);
        file.line_end += 4;
        file.append('F');
        std::memset(file.line + file.line_end, ' ', kPaddedLength - file.line_end);
        file.line_end = kPaddedLength;
        file.append("COFFTOZQ\r\n", 10);
        file.write_line();
    }

    void end_file(OutputFile& file) override {
        end_full_line(file);
        file.stream.write(":\r\n", 3);
    }

  private:
    void end_full_line(OutputFile& file) {
        if (file.line_end >= kLineLimit) end_record(file);
    }

    // The load address field has four digits; the record stays as the
    // format has it, but the run says the address was cut.
    void warn_truncated(uint32_t address) {
        if (truncation_reported_ || !diag_) return;
        truncation_reported_ = true;
        diag_->report(kWarning, "ZQ-Tagged load addresses keep 16 bits: 0%lxh written as 0%lxh",
                      static_cast<unsigned long>(address),
                      static_cast<unsigned long>(address & 0xFFFF));
    }

    Diagnostics* diag_;
    bool truncation_reported_ = false;
};

}  // namespace

std::unique_ptr<FormatWriter> make_tagged_writer(const WriterParams& params) {
    return std::make_unique<TaggedWriter>(params);
}

}  // namespace romcvt
