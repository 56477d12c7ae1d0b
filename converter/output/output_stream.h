// A write-only file with a large buffer of its own: records are appended
// with memcpy and reach the disk in big writes.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace romcvt {

class OutputStream {
  public:
    OutputStream() = default;
    ~OutputStream() { close(); }
    OutputStream(const OutputStream&) = delete;
    OutputStream& operator=(const OutputStream&) = delete;

    // Creates or truncates the file; false when it cannot be opened.
    [[nodiscard]] bool open(const std::string& name);
    bool is_open() const { return file_ != nullptr; }

    void write(const char* text, size_t length) {
        if (length > kBufferSize - used_) {
            flush();
            if (length >= kBufferSize) {
                std::fwrite(text, 1, length, file_);
                return;
            }
        }
        std::memcpy(buffer_.get() + used_, text, length);
        used_ += length;
    }
    void write(std::string_view text) { write(text.data(), text.size()); }
    void put(char c) { write(&c, 1); }

    void flush();
    void close();

  private:
    static constexpr size_t kBufferSize = 1 << 18;
    std::FILE* file_ = nullptr;
    std::unique_ptr<char[]> buffer_;
    size_t used_ = 0;
};

}  // namespace romcvt
