#include "tests/loader/support/simulated_instrument.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace test_support {

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr const char* logName = "instrument.log";
constexpr const char* imageName = "instrument-image.txt";
constexpr const char* errorName = "instrument-stderr.txt";

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The first line the child prints, or what arrived before `timeout` or end of file.
std::string readLine(int fd, std::chrono::milliseconds timeout) {
    std::string line;
    auto deadline = Clock::now() + timeout;
    while (line.find('\n') == std::string::npos) {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd p{fd, POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
        char buffer[256];
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        line.append(buffer, static_cast<size_t>(n));
    }
    return line;
}

int decodeStatus(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

}  // namespace

SimulatedInstrument::SimulatedInstrument(const std::filesystem::path& directory,
                                         const std::vector<std::string>& options)
    : directory_(std::filesystem::absolute(directory)),
      portPath_((directory_ / "instrument").string()) {
    std::vector<std::string> args = {INSTRUMENT_SIM_PATH,
                                     "--link",
                                     portPath_,
                                     "--log",
                                     (directory_ / logName).string(),
                                     "--image-out",
                                     (directory_ / imageName).string()};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::string errorPath = (directory_ / errorName).string();
    std::string workDir = directory_.string();

    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        // Only async-signal-safe calls between fork and exec.
        int err = open(errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (chdir(workDir.c_str()) != 0 || err < 0 || dup2(out[1], 1) < 0 || dup2(err, 2) < 0) {
            _exit(127);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    std::string line = readLine(out[0], 5s);
    close(out[0]);
    if (!line.starts_with("ready ")) {
        int status = wait(1s);
        throw std::runtime_error("instrument_sim did not get ready (exit status " +
                                 std::to_string(status) + "): " + line + readFile(errorPath));
    }
}

SimulatedInstrument::~SimulatedInstrument() {
    if (pid_ <= 0) return;
    // SIGTERM first, so that it removes its link.
    kill(pid_, SIGTERM);
    auto deadline = Clock::now() + 1s;
    while (waitpid(pid_, nullptr, WNOHANG) == 0) {
        if (Clock::now() > deadline) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            break;
        }
        std::this_thread::sleep_for(5ms);
    }
}

int SimulatedInstrument::wait(std::chrono::milliseconds timeout) {
    if (pid_ <= 0) return status_;
    auto deadline = Clock::now() + timeout;
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
        if (Clock::now() > deadline) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
            ADD_FAILURE() << "instrument_sim still running after " << timeout.count()
                          << " ms; killed it";
            return status_ = -1;
        }
        std::this_thread::sleep_for(5ms);
    }
    pid_ = -1;
    return status_ = decodeStatus(status);
}

std::vector<std::string> SimulatedInstrument::logLines() const {
    std::vector<std::string> lines;
    std::ifstream in(directory_ / logName);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::map<uint32_t, uint16_t> SimulatedInstrument::image() const {
    std::map<uint32_t, uint16_t> words;
    std::ifstream in(directory_ / imageName);
    std::string address;
    std::string word;
    while (in >> address >> word) {
        words[static_cast<uint32_t>(std::stoul(address, nullptr, 16))] =
            static_cast<uint16_t>(std::stoul(word, nullptr, 16));
    }
    return words;
}

}  // namespace test_support
