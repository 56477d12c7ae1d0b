// Reading and writing the pseudo-terminal at the speed of a real wire.
//
// A pseudo-terminal moves a whole sector at once. With a speed set, bytes
// are taken from it a few at a time and each one counts as arrived only when
// it would have on the wire (10 bits per byte), sleeping until then; so the
// loader's output queue drains at wire speed and the silence that ends a
// sector is measured in the same time. Answers leave after their wire time.
#pragma once

#include <chrono>
#include <cstdint>
#include <string_view>
#include <vector>

namespace instrument_sim {

using Clock = std::chrono::steady_clock;

class PacedLine {
  public:
    // baud 0: as fast as the pseudo-terminal goes.
    PacedLine(int fd, unsigned baud);

    // The next byte from the loader and the time it arrived; false when none
    // has arrived by `deadline`.
    bool receive(uint8_t& byte, Clock::time_point& arrival, Clock::time_point deadline);

    // Sends to the loader; nothing is reported when nobody reads.
    void send(std::string_view bytes);

  private:
    bool fill(Clock::time_point deadline);

    int fd_;
    Clock::duration byteTime_{};
    size_t chunkSize_;
    std::vector<uint8_t> chunk_;
    size_t next_ = 0;
    Clock::time_point firstArrival_{};  // of chunk_[0]
    Clock::time_point lastArrival_{};   // of the last byte taken from the line
    Clock::time_point sendFree_{};      // when our own wire is idle again
};

}  // namespace instrument_sim
