// Command line of the simulated instrument.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace instrument_sim {

struct Options {
    std::string link;                       // symlink to the pseudo-terminal's device
    uint16_t register6 = 0x0100;            // the order goes to register (register6 + 1)
    bool loaderMode = false;                // start in the loader, deaf to Modbus
    std::optional<uint16_t> compatibility;  // unset: the first sector's word
    unsigned refuseFirst = 0;               // "B" to the first N receptions of a sector
    std::optional<unsigned> refuseSector;   // unset: refusals apply to every sector
    bool silentModbus = false;
    bool silentLoader = false;
    bool garbleModbus = false;
    bool garbleAnswer = false;
    std::optional<unsigned> hangupAfter;  // sector receptions before the line drops
    unsigned baud = 0;                    // 0: no wire-speed emulation
    unsigned gapMs = 20;                  // silence that ends a sector
    std::string imageOut;
    std::string log;
    unsigned timeoutS = 120;
};

// Fills `options` from argv; false with a one-line reason in `error` when the
// arguments are wrong.
bool parseOptions(int argc, char** argv, Options& options, std::string& error);

const char* usageText();

}  // namespace instrument_sim
