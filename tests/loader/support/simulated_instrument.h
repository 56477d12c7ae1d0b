// Runs instrument_sim, the simulated instrument, for a test: the loader (or a
// test playing the loader) opens portPath() as it would a real serial port.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace test_support {

class SimulatedInstrument {
  public:
    // Starts instrument_sim in `directory` with `options` (e.g. {"--loader-mode"})
    // plus --link, --log and --image-out pointing at files in that directory;
    // returns once it is ready. Throws std::runtime_error with its error output
    // when it does not get ready within 5 seconds.
    SimulatedInstrument(const std::filesystem::path& directory,
                        const std::vector<std::string>& options = {});
    // Kills the simulator if it still runs.
    ~SimulatedInstrument();
    SimulatedInstrument(const SimulatedInstrument&) = delete;
    SimulatedInstrument& operator=(const SimulatedInstrument&) = delete;

    // The symlink to open as the serial port.
    const std::string& portPath() const { return portPath_; }

    // Exit status once the simulator has ended (0 download complete, 2 bad
    // arguments, 3 hang-up fault, 4 its own time-out, 128 + N for signal N).
    // When `timeout` passes first it is killed, the test fails, and -1 is returned.
    int wait(std::chrono::milliseconds timeout);

    // The event lines logged so far.
    std::vector<std::string> logLines() const;

    // The image written on "GO": word address to word. Empty before that.
    std::map<uint32_t, uint16_t> image() const;

  private:
    std::filesystem::path directory_;
    std::string portPath_;
    pid_t pid_ = -1;
    int status_ = -1;
};

}  // namespace test_support
