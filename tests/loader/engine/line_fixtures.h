// Fixtures for engine tests on a real line: a pseudo-terminal whose master
// side the test plays as the device, and a capture of the trace text.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "loader/engine/trace.h"

namespace engine_test {

class PseudoTerminal {
  public:
    PseudoTerminal() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0) {
            const char* name = ptsname(master_);
            if (name != nullptr) path_ = name;
        }
    }
    ~PseudoTerminal() {
        if (master_ >= 0) ::close(master_);
    }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool ready() const { return !path_.empty(); }
    // The device path the loader opens.
    const std::string& path() const { return path_; }

    bool send(const std::string& bytes) { return send(bytes.data(), bytes.size()); }
    bool send(const void* bytes, size_t count) {
        return ::write(master_, bytes, count) == static_cast<ssize_t>(count);
    }

    // True once the loader's side of the line is closed.
    bool peerClosed() const {
        pollfd state{master_, 0, 0};
        return ::poll(&state, 1, 0) == 1 && (state.revents & POLLHUP) != 0;
    }

    // The device goes away: the loader's side sees a hang-up.
    void closeDevice() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }

    // The line settings as the loader's side has them (termios requests on
    // the master act on the other side).
    bool lineSettings(termios& settings) const { return ::tcgetattr(master_, &settings) == 0; }

    // What the loader sent: up to count bytes, waiting at most timeout for
    // all of them.
    std::string receive(size_t count,
                        std::chrono::milliseconds timeout = std::chrono::milliseconds(3000)) {
        std::string bytes;
        auto deadline = std::chrono::steady_clock::now() + timeout;
        while (bytes.size() < count) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            pollfd ready{master_, POLLIN, 0};
            if (::poll(&ready, 1, static_cast<int>(left.count())) <= 0) break;
            char chunk[256];
            size_t want = count - bytes.size() < sizeof chunk ? count - bytes.size() : sizeof chunk;
            ssize_t n = ::read(master_, chunk, want);
            if (n <= 0) break;  // EIO once the loader's side is closed and drained
            bytes.append(chunk, static_cast<size_t>(n));
        }
        return bytes;
    }

  private:
    int master_ = -1;
    std::string path_;
};

// Collects trace text while it lives; standard output again afterwards.
class TraceCapture {
  public:
    TraceCapture() {
        flashup::setTraceSink([this](std::string_view text) {
            std::lock_guard<std::mutex> lock(mutex_);
            text_.append(text);
        });
    }
    ~TraceCapture() { flashup::setTraceSink({}); }
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;

    std::string text() {
        std::lock_guard<std::mutex> lock(mutex_);
        return text_;
    }
    void clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        text_.clear();
    }

  private:
    std::mutex mutex_;
    std::string text_;
};

}  // namespace engine_test
