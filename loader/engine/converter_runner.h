// Runs the converter that sits in the working directory with the loader's
// fixed argument list and waits for it: no shell, no PATH look-up, nothing
// a file name could inject. The platform code is in converter_runner_posix.cpp.
#pragma once

namespace flashup {

// The converter's file name in the working directory on this platform.
const char* converterFileName();

// Runs "romcvt -a fw417.out -o LSB.tmp -o MSB.tmp" in the working directory
// and waits until it ends. Returns false when it could not be started; its
// exit status is not looked at, as the image files tell what it did.
bool runConverter();

}  // namespace flashup
