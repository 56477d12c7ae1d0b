// Diagnostic output of the download engine: a level byte and a printf-style
// text. Level 0 writes nothing; other levels go to standard output in one
// write, or to the sink a test or a front end installed.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

namespace flashup {

// Returns the number of characters formatted (0 for level 0). Texts are cut
// at 1023 characters.
int trace(uint8_t level, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Replaces where trace text goes; an empty function restores standard
// output. Safe to call while other threads trace: calls to the sink are
// serialised, and the old sink is no longer called once this returns. A
// sink must not call trace itself.
using TraceSink = std::function<void(std::string_view text)>;
void setTraceSink(TraceSink sink);

}  // namespace flashup
