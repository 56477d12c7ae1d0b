#include "converter/output/output_stream.h"

namespace romcvt {

bool OutputStream::open(const std::string& name) {
    close();
    // Binary mode: every line end is written explicitly as CR LF.
    file_ = std::fopen(name.c_str(), "wb");
    if (!file_) return false;
    if (!buffer_) buffer_ = std::make_unique<char[]>(kBufferSize);
    used_ = 0;
    return true;
}

void OutputStream::flush() {
    if (file_ && used_ > 0) std::fwrite(buffer_.get(), 1, used_, file_);
    used_ = 0;
}

void OutputStream::close() {
    if (!file_) return;
    flush();
    std::fclose(file_);
    file_ = nullptr;
}

}  // namespace romcvt
