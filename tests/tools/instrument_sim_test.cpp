// Plays the loader against the simulated instrument: opens its pseudo-terminal
// with plain POSIX calls, writes requests and sectors built here byte by byte,
// and checks what comes back on the line, in the event log and in the image.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "tests/loader/support/simulated_instrument.h"

namespace {

using namespace std::chrono_literals;
using test_support::SimulatedInstrument;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

// Long enough for any reply that is coming (they leave within milliseconds).
constexpr auto noReplyWait = 200ms;
constexpr auto replyWait = 3s;

constexpr const char* readRegister6 = ":010300060001F5\r\n";
constexpr const char* order257 = ":010601010001F6\r\n";  // 1 to register 0x0101

class TempDir {
  public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "instrument_sim_XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

// The loader's end of the line.
class Line {
  public:
    explicit Line(const std::string& path) {
        fd_ = open(path.c_str(), O_RDWR | O_NOCTTY);
        if (fd_ < 0) throw std::runtime_error("cannot open " + path);
        termios settings{};
        tcgetattr(fd_, &settings);
        cfmakeraw(&settings);
        tcsetattr(fd_, TCSANOW, &settings);
    }
    ~Line() { close(fd_); }
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;

    void send(const std::string& bytes) { send(std::vector<uint8_t>(bytes.begin(), bytes.end())); }
    void send(const std::vector<uint8_t>& bytes) {
        ASSERT_EQ(write(fd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

    // What arrived before `count` bytes were there or `timeout` passed.
    std::string receive(size_t count, std::chrono::milliseconds timeout) {
        std::string got;
        auto deadline = Clock::now() + timeout;
        while (got.size() < count) {
            auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            pollfd p{fd_, POLLIN, 0};
            if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
            char buffer[256];
            ssize_t n = read(fd_, buffer, std::min(sizeof buffer, count - got.size()));
            if (n <= 0) break;
            got.append(buffer, static_cast<size_t>(n));
        }
        return got;
    }

    // Sends and returns the two-byte answer to a sector.
    std::string answer(const std::vector<uint8_t>& sector,
                       std::chrono::milliseconds timeout = replyWait) {
        send(sector);
        return receive(2, timeout);
    }

  private:
    int fd_ = -1;
};

// A sector as the loader puts it on the wire: words low byte first; address
// high word first, data, 32-bit sum low word first, compatibility word.
std::vector<uint8_t> sector(uint32_t address, const std::vector<uint16_t>& data,
                            uint16_t compatibility, uint32_t sumError = 0) {
    uint32_t sum = sumError;
    for (uint16_t word : data) sum += word;
    std::vector<uint16_t> words = {static_cast<uint16_t>(address >> 16),
                                   static_cast<uint16_t>(address)};
    words.insert(words.end(), data.begin(), data.end());
    words.push_back(static_cast<uint16_t>(sum));
    words.push_back(static_cast<uint16_t>(sum >> 16));
    words.push_back(compatibility);
    std::vector<uint8_t> bytes;
    for (uint16_t word : words) {
        bytes.push_back(static_cast<uint8_t>(word));
        bytes.push_back(static_cast<uint8_t>(word >> 8));
    }
    return bytes;
}

class InstrumentSimTest : public ::testing::Test {
  protected:
    // A fresh simulator in a fresh folder, so that cases of a table share no log.
    void start(const std::vector<std::string>& options = {}) {
        line.reset();
        sim.reset();
        runDir = dir.path() / ("run" + std::to_string(++runs));
        fs::create_directory(runDir);
        sim = std::make_unique<SimulatedInstrument>(runDir, options);
        line = std::make_unique<Line>(sim->portPath());
    }
    void reopen() {
        line.reset();
        line = std::make_unique<Line>(sim->portPath());
    }
    bool logged(const std::string& text) const {
        auto lines = sim->logLines();
        return std::find(lines.begin(), lines.end(), text) != lines.end();
    }
    long countLogged(const std::string& prefix) const {
        auto lines = sim->logLines();
        return std::count_if(lines.begin(), lines.end(),
                             [&](const std::string& l) { return l.starts_with(prefix); });
    }

    TempDir dir;
    int runs = 0;
    fs::path runDir;
    std::unique_ptr<SimulatedInstrument> sim;
    std::unique_ptr<Line> line;
};

struct ModbusCase {
    const char* name;
    std::vector<std::string> options;
    std::string request;
    std::string reply;
};

TEST_F(InstrumentSimTest, AnswersModbusRequestsWithExactFrames) {
    const ModbusCase cases[] = {
        {"register 6, default", {}, readRegister6, ":0103020100F9\r\n"},
        {"register 6 set", {"--register6", "0x1234"}, readRegister6, ":0103021234B4\r\n"},
        {"register 6 all ones", {"--register6", "65535"}, readRegister6, ":010302FFFFFC\r\n"},
        {"three registers from 5", {}, ":010300050003F4\r\n", ":010306000001000000F5\r\n"},
        {"function 4: illegal function", {}, ":010400060001F4\r\n", ":0184017A\r\n"},
        {"17 registers: illegal value", {}, ":010300060011E5\r\n", ":01830379\r\n"},
        {"write: echoed", {}, ":0106000A55AAF0\r\n", ":0106000A55AAF0\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        start(c.options);
        line->send(c.request);
        EXPECT_EQ(line->receive(c.reply.size(), replyWait), c.reply);
        EXPECT_EQ(line->receive(1, noReplyWait), "") << "nothing after the frame";
    }
}

TEST_F(InstrumentSimTest, IgnoresFramesItMustNotAnswerAndStaysInStep) {
    start();
    const char* ignored[] = {
        ":010300060001f5\r\n",  // lower-case hex
        ":010300060001F4\r\n",  // wrong LRC
        ":020300060001F4\r\n",  // slave 2
        ":010300060001F5\n",    // LF without CR
        ":01030006001F5\r\n",   // odd number of characters
        "010300060001F5\r\n",   // no start character
    };
    for (const char* frame : ignored) line->send(frame);
    EXPECT_EQ(line->receive(1, noReplyWait), "");

    // A request that trickles in (and starts over at ":") is still one frame.
    line->send(":0103");
    line->send(":01030006");
    line->receive(1, 50ms);
    line->send("0001F5\r\n");
    EXPECT_EQ(line->receive(15, replyWait), ":0103020100F9\r\n");
    EXPECT_EQ(countLogged("modbus read "), 1);
}

struct OrderCase {
    std::vector<std::string> options;
    std::string order;
    std::string logLine;
};

TEST_F(InstrumentSimTest, DownloadOrderSwitchesToLoaderModeAcrossAReopen) {
    const OrderCase cases[] = {
        {{}, order257, "modbus write register=257 value=1"},
        {{"--register6", "0xFFFF"}, ":010600000001F8\r\n", "modbus write register=0 value=1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.order);
        start(c.options);
        // Not the order: another value to the right register, or 1 elsewhere.
        for (std::string other : {":010601010002F5\r\n", ":010600070001F1\r\n"}) {
            line->send(other);
            EXPECT_EQ(line->receive(other.size(), replyWait), other);
        }
        EXPECT_FALSE(logged("loader mode"));

        line->send(c.order);
        EXPECT_EQ(line->receive(c.order.size(), replyWait), c.order) << "the echo";
        EXPECT_TRUE(logged(c.logLine));
        EXPECT_TRUE(logged("loader mode"));

        // The loader closes the port and reopens it for the sectors.
        reopen();
        line->send(readRegister6);
        EXPECT_EQ(line->receive(1, noReplyWait), "");
        EXPECT_EQ(line->answer(sector(0x80, {1, 2}, 0x0411)), "G\r");
        EXPECT_TRUE(logged("modbus ignored in loader mode"));
    }
}

TEST_F(InstrumentSimTest, ObeysTheOrderWhenItsModbusRepliesAreSilentOrGarbled) {
    start({"--silent-modbus"});
    line->send(readRegister6);
    EXPECT_EQ(line->receive(1, noReplyWait), "");
    line->send(order257);
    EXPECT_EQ(line->answer(sector(0x80, {1}, 1)), "G\r");

    start({"--garble-modbus"});
    line->send(readRegister6);
    std::string reply = line->receive(15, replyWait);
    ASSERT_EQ(reply.size(), 15u);
    EXPECT_TRUE(reply.starts_with(":0103020100"));
    EXPECT_NE(reply.substr(11, 2), "F9");
    line->send(order257);
    line->receive(17, replyWait);
    EXPECT_EQ(line->answer(sector(0x80, {1}, 1)), "G\r");
}

TEST_F(InstrumentSimTest, LoaderModeAtStartIgnoresModbus) {
    start({"--loader-mode"});
    line->send(readRegister6);
    EXPECT_EQ(line->receive(1, noReplyWait), "");
    EXPECT_EQ(line->answer(sector(0x80, {1}, 9)), "G\r");
    EXPECT_EQ(sim->logLines(),
              (std::vector<std::string>{
                  "loader mode", "modbus ignored in loader mode",
                  "sector 1 address=0x00000080 words=1 sum=ok compatibility=0x0009 answer=G"}));
}

struct SectorCase {
    const char* name;
    std::vector<uint8_t> bytes;
    std::string answer;
    std::string logLine;
};

TEST_F(InstrumentSimTest, ChecksEverySector) {
    std::vector<uint8_t> odd = sector(0x80, {1, 2}, 0x0411);
    odd.push_back(0);
    std::vector<uint8_t> fourWords = sector(0x80, {}, 0x0411);
    fourWords.resize(8);
    const SectorCase cases[] = {
        {"good", sector(0x80, {0x1278, 0x349A, 0xFFFF}, 0x0411), "G\r",
         "sector 1 address=0x00000080 words=3 sum=ok compatibility=0x0411 answer=G"},
        {"no data", sector(0x12345678, {}, 0x0411), "G\r",
         "sector 1 address=0x12345678 words=0 sum=ok compatibility=0x0411 answer=G"},
        {"sum off by one", sector(0x80, {1, 2}, 0x0411, 1), "B\r",
         "sector 1 address=0x00000080 words=2 sum=bad compatibility=0x0411 answer=B"},
        {"sum off in its high word", sector(0x80, {1, 2}, 0x0411, 0x10000), "B\r",
         "sector 1 address=0x00000080 words=2 sum=bad compatibility=0x0411 answer=B"},
        {"other compatibility", sector(0x80, {1, 2}, 0x0412), "B\r",
         "sector 1 address=0x00000080 words=2 sum=ok compatibility=bad answer=B"},
        {"odd byte count", odd, "B\r", "sector 1 bytes=15 malformed answer=B"},
        {"four words", fourWords, "B\r", "sector 1 bytes=8 malformed answer=B"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        start({"--loader-mode", "--compatibility", "0x0411"});
        EXPECT_EQ(line->answer(c.bytes), c.answer);
        EXPECT_TRUE(logged(c.logLine));
    }
}

TEST_F(InstrumentSimTest, ExpectsTheFirstSectorsCompatibilityByDefault) {
    start({"--loader-mode"});
    EXPECT_EQ(line->answer(sector(0x80, {1}, 0x0411)), "G\r");
    EXPECT_EQ(line->answer(sector(0x81, {2}, 0x0412)), "B\r");
    EXPECT_EQ(line->answer(sector(0x81, {2}, 0x0411)), "G\r");
}

struct RefusalCase {
    std::vector<std::string> options;
    std::string answers;  // the first bytes of the answers to the three sectors
};

TEST_F(InstrumentSimTest, RefusesTheFirstReceptionsOfASector) {
    const RefusalCase cases[] = {
        {{"--refuse-first", "2"}, "BBG BBG BBG"},
        {{"--refuse-first", "2", "--refuse-sector", "2"}, "G BBG G"},
        {{"--refuse-first", "1", "--refuse-sector", "3"}, "G G BG"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answers);
        std::vector<std::string> options = {"--loader-mode"};
        options.insert(options.end(), c.options.begin(), c.options.end());
        start(options);
        std::string answers;
        // As the loader does: the same sector again after a "B", up to three tries.
        for (uint16_t s = 0; s < 3; ++s) {
            if (s > 0) answers += ' ';
            for (int tries = 0; tries < 3; ++tries) {
                std::string a = line->answer(sector(0x100u * s, {s, 0x5555}, 7));
                answers += a.substr(0, 1);
                if (a != "B\r") break;
            }
        }
        EXPECT_EQ(answers, c.answers);
        line->send("GO");
        EXPECT_EQ(sim->wait(5s), 0);
        EXPECT_EQ(sim->image().size(), 6u);
    }
}

TEST_F(InstrumentSimTest, GoWritesTheAcceptedImageAndEnds) {
    start({"--loader-mode"});
    EXPECT_EQ(line->answer(sector(0x80, {1, 2, 3}, 9)), "G\r");
    EXPECT_EQ(line->answer(sector(0x80, {0xDEAD}, 9, 1)), "B\r");  // refused: not kept
    EXPECT_EQ(line->answer(sector(0x81, {0xAAAA}, 9)), "G\r");     // later sector wins
    EXPECT_EQ(line->answer(sector(0xFFFFFFFF, {0x1234}, 9)), "G\r");
    line->send("GO");
    EXPECT_EQ(sim->wait(5s), 0);

    std::map<uint32_t, uint16_t> expected = {
        {0x80, 1}, {0x81, 0xAAAA}, {0x82, 3}, {0xFFFFFFFF, 0x1234}};
    EXPECT_EQ(sim->image(), expected);
    std::ifstream file(runDir / "instrument-image.txt");
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "00000080 0001\n00000081 AAAA\n00000082 0003\nFFFFFFFF 1234\n");

    auto lines = sim->logLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "go");
    EXPECT_EQ(lines.back(), "image words=4");
    EXPECT_FALSE(fs::exists(fs::symlink_status(sim->portPath()))) << "link removed";
}

TEST_F(InstrumentSimTest, HangsUpOnTheNthSector) {
    start({"--loader-mode", "--hangup-after", "2"});
    EXPECT_EQ(line->answer(sector(0x80, {1}, 9)), "G\r");
    EXPECT_EQ(line->answer(sector(0x81, {2}, 9)), "");
    EXPECT_EQ(sim->wait(5s), 3);
    EXPECT_EQ(sim->logLines().back(), "hangup");
    EXPECT_FALSE(fs::exists(fs::symlink_status(sim->portPath())));
}

struct FaultyAnswerCase {
    const char* option;
    std::string answer;
    std::chrono::milliseconds wait;
    const char* logged;
};

TEST_F(InstrumentSimTest, FaultyAnswersDoNotAdvanceTheSectorNumber) {
    const FaultyAnswerCase cases[] = {
        {"--silent-loader", "", noReplyWait, "answer=none"},
        {"--garble-answer", "X\r", replyWait, "answer=X"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.option);
        start({"--loader-mode", c.option});
        auto bytes = sector(0x80, {1}, 9);
        EXPECT_EQ(line->answer(bytes, c.wait), c.answer);
        EXPECT_EQ(line->answer(bytes, c.wait), c.answer);
        line->send("GO");
        ASSERT_EQ(sim->wait(5s), 0);  // so that the log is complete
        EXPECT_EQ(countLogged("sector 1 "), 2);
        EXPECT_EQ(countLogged("sector 2 "), 0);
        EXPECT_TRUE(sim->logLines().at(1).ends_with(c.logged));
        EXPECT_TRUE(sim->image().empty());
    }
}

TEST_F(InstrumentSimTest, EmulatedWireSpeedPacesALongSector) {
    start({"--loader-mode", "--baud", "38400"});
    std::vector<uint16_t> data(1995, 0x0F0F);
    auto bytes = sector(0x80, data, 9);
    ASSERT_EQ(bytes.size(), 4000u);  // 4000 x 10 bits at 38400 bd: 1.04 s on the wire
    auto begin = Clock::now();
    EXPECT_EQ(line->answer(bytes), "G\r");
    EXPECT_GE(Clock::now() - begin, 900ms);
}

TEST_F(InstrumentSimTest, GivesUpWhenNothingHappens) {
    start({"--timeout-s", "1"});
    EXPECT_EQ(sim->wait(10s), 4);
}

int runDirectly(std::vector<std::string> args, const fs::path& directory) {
    args.insert(args.begin(), INSTRUMENT_SIM_PATH);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
    pid_t pid = 0;
    int status = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        waitpid(pid, &status, 0);
    }
    posix_spawn_file_actions_destroy(&actions);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(InstrumentSimArguments, WrongArgumentsExitWithStatus2) {
    TempDir dir;
    const std::vector<std::string> cases[] = {
        {},
        {"--link"},
        {"--link", "port", "--unknown"},
        {"--link", "port", "--baud", "fast"},
        {"--link", "port", "--register6", "0x10000"},
        {"--link", "port", "--refuse-sector", "0"},
        {"--link", "port", "--loader-mode=yes"},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(::testing::PrintToString(args));
        EXPECT_EQ(runDirectly(args, dir.path()), 2);
        EXPECT_FALSE(fs::exists(fs::symlink_status(dir.path() / "port")));
    }
}

}  // namespace
