// What the instrument does with the bytes on its line: a Modbus ASCII slave
// until the download order arrives, then the loader that takes sectors.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "tools/instrument_sim/options.h"
#include "tools/instrument_sim/paced_line.h"
#include "tools/instrument_sim/protocol.h"

namespace instrument_sim {

// Exit statuses of the program.
enum ExitStatus : int {
    exitDone = 0,
    exitError = 1,
    exitUsage = 2,
    exitHangup = 3,
    exitTimeout = 4,
};

// One line per event, flushed at once so that a test reads it while we run.
class EventLog {
  public:
    bool open(const std::string& path);
    ~EventLog();
    void write(const char* format, ...) __attribute__((format(printf, 2, 3)));

  private:
    FILE* file_ = nullptr;
};

class Instrument {
  public:
    Instrument(const Options& options, PacedLine& line, EventLog& log);

    // Serves until the download ends, the line is dropped or nothing happens
    // for the time-out; returns the exit status.
    int run();

  private:
    void modbusByte(uint8_t byte, bool& frameDone);
    void modbusFrame(const std::string& frame);
    void modbusReply(const std::vector<uint8_t>& message);
    // Returns an exit status when the burst ends the run, -1 otherwise.
    int loaderBurst(const std::vector<uint8_t>& burst);
    int finish();
    void enterLoaderMode();

    const Options& options_;
    PacedLine& line_;
    EventLog& log_;

    bool loaderMode_ = false;
    std::map<uint16_t, uint16_t> registers_;
    std::string frame_;  // Modbus characters since the last ":"
    bool inFrame_ = false;

    unsigned sectorNumber_ = 1;      // advances only when a sector is accepted
    unsigned receptionsOfThis_ = 0;  // of the current sector number, refused ones included
    unsigned receptions_ = 0;        // of any sector
    std::optional<uint16_t> compatibility_;
    std::map<uint32_t, uint16_t> image_;
};

}  // namespace instrument_sim
