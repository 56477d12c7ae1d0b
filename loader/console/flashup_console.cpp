// flashup_console: the firmware download for scripts and machines without a
// display. Same engine as the window program:
//
//   flashup_console PORT FIRMWARE_DIR [--yes] [--verbose]
//
// Runs the converter in FIRMWARE_DIR, asks for confirmation (unless --yes),
// downloads to PORT, prints the outcome, and exits with the result code
// (0 success, 10 port, 20 image files, 30 sector refused, 40 cancelled;
// 2 for wrong arguments).
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>

#include "loader/engine/converter_runner.h"
#include "loader/engine/downloader.h"
#include "loader/engine/trace.h"

namespace {

using flashup::Downloader;

constexpr int kUsageStatus = 2;
constexpr int kBarWidth = 40;

flashup::CancelEvent* volatile interruptTarget = nullptr;

// Ctrl-C cancels the download the way the window's CANCEL does; the engine
// sees it while it waits for the instrument's answer.
extern "C" void onInterrupt(int) {
    if (flashup::CancelEvent* event = interruptTarget) event->signal();
}

class ConsoleProgress final : public flashup::DownloadListener {
public:
    explicit ConsoleProgress(bool terminal) : terminal_(terminal) {}

    void downloadProgress(uint32_t percent) override {
        // Small sectors often leave the percentage where it was.
        if (percent == last_) return;
        last_ = percent;
        if (terminal_) {
            int filled = static_cast<int>(percent) * kBarWidth / 100;
            std::printf("\r[%.*s%*s] %3u %%", filled,
                        "########################################", kBarWidth - filled, "",
                        percent);
        } else {
            std::printf("progress %u %%\n", percent);
        }
        std::fflush(stdout);
    }

    void downloadFinished(bool) override {
        if (terminal_) std::printf("\n");
    }

private:
    bool terminal_;
    uint32_t last_ = UINT32_MAX;
};

int usage() {
    std::fprintf(stderr,
                 "usage: flashup_console PORT FIRMWARE_DIR [--yes] [--verbose]\n"
                 "  PORT          COM1..COM8, a device path such as /dev/ttyUSB0, or a name in "
                 "/dev\n"
                 "  FIRMWARE_DIR  the folder with fw417.out and the converter\n"
                 "  --yes         do not ask for confirmation\n"
                 "  --verbose     show the engine's trace on standard error\n");
    return kUsageStatus;
}

bool confirmed(uint16_t compatibility) {
    std::printf("You are about to upgrade your VANTORIUM with firmware compatibility %u.%u\n"
                "The instrument's firmware will be erased and replaced. Continue? [y/N] ",
                compatibility >> 8, compatibility & 0xFF);
    std::fflush(stdout);
    std::string answer;
    if (!std::getline(std::cin, answer)) return false;
    return answer == "y" || answer == "Y" || answer == "yes";
}

}  // namespace

int main(int argc, char** argv) {
    std::string port;
    std::string directory;
    bool assumeYes = false;
    bool verbose = false;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (argument == "--yes") {
            assumeYes = true;
        } else if (argument == "--verbose") {
            verbose = true;
        } else if (!argument.empty() && argument[0] == '-') {
            return usage();
        } else if (port.empty()) {
            port = argument;
        } else if (directory.empty()) {
            directory = argument;
        } else {
            return usage();
        }
    }
    if (port.empty() || directory.empty()) return usage();

    flashup::setTraceSink([verbose](std::string_view text) {
        if (verbose) std::fwrite(text.data(), 1, text.size(), stderr);
    });

    std::error_code error;
    std::filesystem::current_path(directory, error);
    if (error) {
        std::fprintf(stderr, "Cannot use folder %s: %s\n", directory.c_str(),
                     error.message().c_str());
        return flashup::kResultImageFailed;
    }
    for (const char* required : {"fw417.out", flashup::converterFileName()}) {
        if (!std::filesystem::exists(required)) {
            std::fprintf(stderr, "Required file %s not found !\nPlease copy it in %s\n", required,
                         directory.c_str());
            return flashup::kResultImageFailed;
        }
    }

    Downloader downloader;
    if (downloader.result() == flashup::kResultImageFailed) {
        std::printf("%s\n", downloader.resultText());
        return downloader.result();
    }
    if (!assumeYes && !confirmed(downloader.compatibility())) {
        std::printf("No download: the instrument was not touched.\n");
        return flashup::kResultCancelled;
    }

    interruptTarget = &downloader.cancelEvent();
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);

    downloader.setPortName(port);
    ConsoleProgress progress(isatty(STDOUT_FILENO) != 0);
    downloader.download(progress);
    interruptTarget = nullptr;

    std::printf("%s\n", downloader.resultText());
    return downloader.result();
}
