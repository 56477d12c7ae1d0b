// A run context in a scratch directory, for tests that open input files and
// parse command files.
#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "converter/driver/input_files.h"
#include "converter/driver/run_context.h"
#include "tests/support/test_support.h"

namespace command_input_test {

class CommandInputTest : public ::testing::Test {
  protected:
    // Opens name as the driver does; false when a fatal message ended the run.
    bool open(const std::string& name) {
        try {
            romcvt::open_input_file(run_, name);
            return true;
        } catch (const romcvt::FatalStop& stop) {
            EXPECT_EQ(stop.exit_status, 255);
            return false;
        }
    }

    // Writes rom.cmd and parses it; returns the console text.
    std::string parse(const std::string& content) {
        test_support::write_file("rom.cmd", content);
        EXPECT_TRUE(open("rom.cmd"));
        return console();
    }

    std::string console() const { return out_.str(); }

    // A file that starts with a COFF mark.
    static void write_coff(const std::string& name) {
        test_support::write_bytes(name, {0xC2, 0x00, 0x01, 0x02});
    }

    test_support::ScratchDir dir_;
    std::ostringstream out_, err_;
    std::istringstream in_;
    romcvt::RunContext run_{out_, err_, in_};
};

}  // namespace command_input_test
