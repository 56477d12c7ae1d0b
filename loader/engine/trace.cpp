#include "loader/engine/trace.h"

#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <utility>

namespace flashup {

namespace {

constexpr int kTraceBufferSize = 1024;

std::mutex sinkMutex;
TraceSink currentSink;

}  // namespace

int trace(uint8_t level, const char* format, ...) {
    if (level == 0) return 0;

    char text[kTraceBufferSize];
    va_list arguments;
    va_start(arguments, format);
    int wanted = std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    if (wanted < 0) return 0;
    int length = wanted < kTraceBufferSize ? wanted : kTraceBufferSize - 1;

    // The sink is called under the lock so that once setTraceSink returns,
    // the previous sink (and whatever it captured) is no longer in use. A
    // sink must therefore not trace itself.
    std::lock_guard<std::mutex> lock(sinkMutex);
    if (currentSink) {
        currentSink(std::string_view(text, static_cast<size_t>(length)));
    } else {
        // One write call per message keeps lines from several threads whole;
        // trace output is diagnostic only, so a failed write is ignored.
        ssize_t ignored = ::write(STDOUT_FILENO, text, static_cast<size_t>(length));
        (void)ignored;
    }
    return length;
}

void setTraceSink(TraceSink sink) {
    std::lock_guard<std::mutex> lock(sinkMutex);
    currentSink = std::move(sink);
}

}  // namespace flashup
