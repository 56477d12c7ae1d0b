// Download benchmark: the sample firmware through the converter and the
// engine into the simulated instrument emulating a 38400 bd line. Prints
// the total time, the time of the sector phase, and how close the sector
// phase comes to the line's physical minimum (every byte sent and received
// at 10 bits a byte).
//
//   download_bench ROMCVT MAKE_COFF INSTRUMENT_SIM
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "loader/engine/downloader.h"
#include "loader/engine/trace.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr double kBaud = 38400;

int run(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_t child = 0;
    if (posix_spawn(&child, args[0], nullptr, nullptr, args.data(), environ) != 0) return -1;
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Counts what goes over the line and when the sector phase starts and ends.
class Meter final : public flashup::DownloadListener {
public:
    void sectorStarts(unsigned long words) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (sectors_ == 0) firstSector_ = Clock::now();
        ++sectors_;
        bytesSent_ += 2 * words;
        bytesReceived_ += 2;  // "G" and its second byte
    }
    void downloadProgress(uint32_t percent) override {
        if (percent == 100) goSent_ = Clock::now();
    }
    double sectorSeconds() const {
        return std::chrono::duration<double>(goSent_ - firstSector_).count();
    }
    double minimumSeconds() const { return (bytesSent_ + 2 + bytesReceived_) * 10.0 / kBaud; }
    unsigned long sectors() const { return sectors_; }
    unsigned long bytes() const { return bytesSent_ + 2 + bytesReceived_; }

private:
    std::mutex mutex_;
    Clock::time_point firstSector_{};
    Clock::time_point goSent_{};
    unsigned long sectors_ = 0;
    unsigned long bytesSent_ = 0;
    unsigned long bytesReceived_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: download_bench ROMCVT MAKE_COFF INSTRUMENT_SIM\n");
        return 2;
    }
    fs::path work = fs::temp_directory_path() / ("flashup-bench-" + std::to_string(getpid()));
    fs::create_directories(work);
    fs::copy_file(argv[1], work / "romcvt");
    if (run({argv[2], "sample", (work / "fw417.out").string()}) != 0) return 1;
    fs::current_path(work);

    // The simulated instrument on its own pseudo-terminal, pacing the line.
    int ready[2];
    if (pipe(ready) != 0) return 1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ready[1], STDOUT_FILENO);
    std::string sim = argv[3];
    std::vector<std::string> simArgs = {sim, "--link", (work / "port").string(), "--baud", "38400"};
    std::vector<char*> simArgv;
    for (std::string& arg : simArgs) simArgv.push_back(arg.data());
    simArgv.push_back(nullptr);
    pid_t simPid = 0;
    if (posix_spawn(&simPid, sim.c_str(), &actions, nullptr, simArgv.data(), environ) != 0) {
        std::fprintf(stderr, "cannot start the simulated instrument\n");
        return 1;
    }
    close(ready[1]);
    char line[256] = {};
    if (read(ready[0], line, sizeof line - 1) <= 0) return 1;

    Meter meter;
    flashup::setTraceSink([&meter](std::string_view text) {
        // "Sending sector number %u, try %u (%lu words)"
        size_t at = text.find("Sending sector number");
        if (at == std::string_view::npos) return;
        size_t open = text.find('(', at);
        if (open != std::string_view::npos) meter.sectorStarts(std::strtoul(text.data() + open + 1, nullptr, 10));
    });

    Clock::time_point start = Clock::now();
    bool ok = false;
    int32_t result = 0;
    {
        flashup::Downloader downloader;
        downloader.setPortName((work / "port").string());
        ok = downloader.download(meter);
        result = downloader.result();
    }
    double total = std::chrono::duration<double>(Clock::now() - start).count();
    int simStatus = 0;
    waitpid(simPid, &simStatus, 0);
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(work);
    if (!ok) {
        std::fprintf(stderr, "download failed with result %d\n", result);
        return 1;
    }

    double sectors = meter.sectorSeconds();
    double minimum = meter.minimumSeconds();
    std::printf("sample firmware to the simulated instrument at 38400 bd\n");
    std::printf("  sectors:                     %lu (%lu bytes on the line)\n", meter.sectors(),
                meter.bytes());
    std::printf("  total time:                  %.3f s (converter, handshake and pauses included)\n",
                total);
    std::printf("  sector phase:                %.3f s\n", sectors);
    std::printf("  physical minimum:            %.3f s\n", minimum);
    std::printf("  sector phase / minimum:      %.4f (goal: at most 1.03)\n", sectors / minimum);
    return 0;
}
