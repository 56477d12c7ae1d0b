#include "tools/instrument_sim/paced_line.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>

namespace instrument_sim {

namespace {

using namespace std::chrono_literals;

// A byte seen this soon after its predecessor could have arrived was queued
// behind it; counting it from the moment we happened to look would let
// scheduling delays pile up into a slower wire.
constexpr auto backToBack = 1ms;

int pollMs(Clock::time_point deadline) {
    auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) return 0;
    return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
}

}  // namespace

PacedLine::PacedLine(int fd, unsigned baud) : fd_(fd) {
    if (baud == 0) {
        chunkSize_ = 4096;
    } else {
        byteTime_ = std::chrono::duration_cast<Clock::duration>(std::chrono::seconds(10)) / baud;
        // About 2 ms of wire per read: small enough that the loader's queue
        // drains smoothly, large enough not to wake for every byte.
        chunkSize_ = std::clamp<size_t>(baud / 10 / 500, 1, 4096);
    }
    chunk_.reserve(chunkSize_);
}

bool PacedLine::receive(uint8_t& byte, Clock::time_point& arrival, Clock::time_point deadline) {
    if (next_ == chunk_.size() && !fill(deadline)) return false;
    byte = chunk_[next_];
    arrival = firstArrival_ + byteTime_ * static_cast<long>(next_);
    ++next_;
    return true;
}

bool PacedLine::fill(Clock::time_point deadline) {
    chunk_.clear();
    next_ = 0;
    for (;;) {
        pollfd p{fd_, POLLIN, 0};
        int ready = poll(&p, 1, pollMs(deadline));
        if (ready < 0 && errno != EINTR) return false;
        if (ready == 0) return false;
        if (ready < 0) continue;

        chunk_.resize(chunkSize_);
        ssize_t n = read(fd_, chunk_.data(), chunk_.size());
        if (n <= 0) chunk_.clear();
        if (n > 0) {
            auto now = Clock::now();
            auto queued = lastArrival_ + byteTime_;
            firstArrival_ =
                byteTime_ > Clock::duration::zero() && now <= queued + backToBack ? queued : now;
            chunk_.resize(static_cast<size_t>(n));
            lastArrival_ = firstArrival_ + byteTime_ * (n - 1);
            std::this_thread::sleep_until(lastArrival_);
            return true;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        // EIO (no slave open) or end of file: poll keeps reporting it at once,
        // so wait a little instead of spinning.
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::min<Clock::duration>(10ms, deadline - Clock::now()));
    }
}

void PacedLine::send(std::string_view bytes) {
    while (!bytes.empty()) {
        size_t n = std::min(bytes.size(), chunkSize_);
        if (byteTime_ > Clock::duration::zero()) {
            sendFree_ = std::max(Clock::now(), sendFree_) + byteTime_ * static_cast<long>(n);
            std::this_thread::sleep_until(sendFree_);
        }
        std::string_view piece = bytes.substr(0, n);
        bytes.remove_prefix(n);
        auto giveUp = Clock::now() + 1s;
        while (!piece.empty()) {
            ssize_t written = write(fd_, piece.data(), piece.size());
            if (written > 0) {
                piece.remove_prefix(static_cast<size_t>(written));
                continue;
            }
            if (written < 0 && errno == EINTR) continue;
            // A loader that stopped reading: a real wire would lose the bytes too.
            if (written < 0 && errno != EAGAIN) return;
            if (Clock::now() >= giveUp) return;
            pollfd p{fd_, POLLOUT, 0};
            poll(&p, 1, 10);
        }
    }
}

}  // namespace instrument_sim
