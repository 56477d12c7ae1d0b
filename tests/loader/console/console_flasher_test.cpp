// The console flasher as a script would run it.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "tests/loader/support/simulated_instrument.h"
#include "tests/support/test_support.h"
#include "tools/coff_builder/coff_builder.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

struct Outcome {
    int status;
    std::string output;
};

// Runs the flasher with its output captured; arguments are fixed strings of
// the test, so a shell command line is safe here.
Outcome flash(const std::string& arguments, const std::string& input = "") {
    std::string command = std::string(FLASHUP_CONSOLE_PATH) + " " + arguments + " 2>&1";
    if (!input.empty()) command = "printf '" + input + "' | " + command;
    Outcome outcome{-1, {}};
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return outcome;
    std::array<char, 4096> buffer;
    size_t got;
    while ((got = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        outcome.output.append(buffer.data(), got);
    }
    int status = pclose(pipe);
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

class ConsoleFlasherTest : public ::testing::Test {
protected:
    void SetUp() override {
        coff_builder::write_file("fw417.out", coff_builder::sample_firmware());
        fs::copy_file(ROMCVT_PATH, "romcvt");
    }
    test_support::ScratchDir dir;
};

TEST_F(ConsoleFlasherTest, UpgradesTheInstrumentWithTheSampleFirmware) {
    test_support::SimulatedInstrument instrument(dir.path());
    Outcome outcome = flash(instrument.portPath() + " " + dir.path().string() + " --yes");
    EXPECT_EQ(outcome.status, 0) << outcome.output;
    EXPECT_NE(outcome.output.find("progress 100 %\nDownload successful.\n"), std::string::npos)
        << outcome.output;
    EXPECT_EQ(instrument.wait(10s), 0);
    EXPECT_EQ(instrument.image(), coff_builder::sample_firmware_page0_words());
    EXPECT_FALSE(fs::exists("LSB.tmp"));
    EXPECT_FALSE(fs::exists("MSB.tmp"));
}

TEST_F(ConsoleFlasherTest, NoAtTheConfirmationLeavesTheInstrumentAlone) {
    test_support::SimulatedInstrument instrument(dir.path());
    Outcome outcome = flash(instrument.portPath() + " " + dir.path().string(), "n\\n");
    EXPECT_EQ(outcome.status, 40);
    EXPECT_NE(outcome.output.find("firmware compatibility 4.17"), std::string::npos)
        << outcome.output;
    EXPECT_TRUE(instrument.logLines().empty());
    EXPECT_FALSE(fs::exists("LSB.tmp"));
}

TEST_F(ConsoleFlasherTest, ResultCodeIsTheExitStatus) {
    struct Case {
        const char* what;
        std::string arguments;
        int status;
        const char* text;
    } cases[] = {
        {"no such port", dir.path().string() + "/none " + dir.path().string() + " --yes", 10,
         "ERROR : Unable to open serial port.\n"},
        {"no firmware folder", "COM1 " + dir.path().string() + "/none --yes", 20,
         "Cannot use folder"},
        {"wrong arguments", "COM1", 2, "usage: flashup_console"},
    };
    for (const Case& c : cases) {
        Outcome outcome = flash(c.arguments);
        EXPECT_EQ(outcome.status, c.status) << c.what << "\n" << outcome.output;
        EXPECT_NE(outcome.output.find(c.text), std::string::npos) << c.what << "\n"
                                                                   << outcome.output;
    }
    fs::remove("fw417.out");
    Outcome missing = flash("COM1 " + dir.path().string() + " --yes");
    EXPECT_EQ(missing.status, 20);
    EXPECT_NE(missing.output.find("Required file fw417.out not found !"), std::string::npos);
}

}  // namespace
