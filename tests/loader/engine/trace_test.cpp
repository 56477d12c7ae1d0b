#include "loader/engine/trace.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "tests/loader/engine/line_fixtures.h"

namespace {

using engine_test::TraceCapture;

TEST(Trace, LevelZeroWritesNothing) {
    TraceCapture traces;
    EXPECT_EQ(flashup::trace(0, "RS232 READ TIMEOUT\n"), 0);
    EXPECT_EQ(traces.text(), "");
}

TEST(Trace, FormatsAndReturnsTheLength) {
    TraceCapture traces;
    EXPECT_EQ(flashup::trace(1, "Open RS232 Error (line %d) !!!!\n", 238), 33);
    EXPECT_EQ(flashup::trace(255, "%s=%u\n", "sector", 7u), 9);
    EXPECT_EQ(traces.text(), "Open RS232 Error (line 238) !!!!\nsector=7\n");
}

TEST(Trace, LongTextIsCutAt1023Characters) {
    TraceCapture traces;
    std::string longText(2000, 'x');
    EXPECT_EQ(flashup::trace(1, "%s", longText.c_str()), 1023);
    EXPECT_EQ(traces.text(), longText.substr(0, 1023));
}

TEST(Trace, WithoutSinkGoesToStandardOutput) {
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    int savedOutput = ::dup(STDOUT_FILENO);
    ASSERT_GE(savedOutput, 0);
    ::dup2(pipeEnds[1], STDOUT_FILENO);
    int length = flashup::trace(1, "Sending sector number %u, try %u\n", 3u, 2u);
    ::dup2(savedOutput, STDOUT_FILENO);
    ::close(savedOutput);
    ::close(pipeEnds[1]);
    char text[64] = {};
    ssize_t got = ::read(pipeEnds[0], text, sizeof text);
    ::close(pipeEnds[0]);
    EXPECT_EQ(length, 31);
    EXPECT_EQ(std::string(text, got > 0 ? static_cast<size_t>(got) : 0),
              "Sending sector number 3, try 2\n");
}

TEST(Trace, ClosedStandardOutputIsIgnored) {
    int savedOutput = ::dup(STDOUT_FILENO);
    ASSERT_GE(savedOutput, 0);
    ::close(STDOUT_FILENO);
    int length = flashup::trace(1, "nobody reads this\n");
    ::dup2(savedOutput, STDOUT_FILENO);
    ::close(savedOutput);
    EXPECT_EQ(length, 18);
}

}  // namespace
