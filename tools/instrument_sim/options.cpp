#include "tools/instrument_sim/options.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <string_view>

namespace instrument_sim {

namespace {

// Decimal or 0x-prefixed hexadecimal; a leading 0 never means octal here,
// since register numbers are written both ways by hand.
bool parseNumber(std::string_view text, unsigned long max, unsigned long& value) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return false;
    for (char c : text) {
        bool ok = base == 16 ? std::isxdigit(static_cast<unsigned char>(c))
                             : std::isdigit(static_cast<unsigned char>(c));
        if (!ok) return false;
    }
    std::string digits(text);
    errno = 0;
    unsigned long parsed = std::strtoul(digits.c_str(), nullptr, base);
    if (errno != 0 || parsed > max) return false;
    value = parsed;
    return true;
}

}  // namespace

const char* usageText() {
    return "usage: instrument_sim --link PATH [options]\n"
           "  --register6 N        value of holding register 6 (0x0100); the download\n"
           "                       order is 1 written to register N+1\n"
           "  --loader-mode        start in loader mode (Modbus is ignored)\n"
           "  --compatibility W    compatibility word sectors must carry (the first's)\n"
           "  --refuse-first N     answer \"B\" to the first N receptions of each sector\n"
           "  --refuse-sector K    refuse only sector K (1-based)\n"
           "  --silent-modbus      never answer Modbus frames\n"
           "  --silent-loader      never answer sectors\n"
           "  --garble-modbus      answer Modbus with a wrong LRC\n"
           "  --garble-answer      answer sectors with \"X\"\n"
           "  --hangup-after N     drop the line and exit 3 on the Nth sector received\n"
           "  --baud BPS           emulate the wire speed (0: no emulation)\n"
           "  --gap-ms MS          silence that ends a sector (20)\n"
           "  --image-out FILE     write the received image on \"GO\"\n"
           "  --log FILE           append one line per event\n"
           "  --timeout-s S        exit 4 when nothing completes for S seconds (120)\n";
}

bool parseOptions(int argc, char** argv, Options& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        std::string_view value;
        bool hasInlineValue = false;
        if (auto eq = arg.find('='); arg.starts_with("--") && eq != std::string_view::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            hasInlineValue = true;
        }

        auto flag = [&](bool& target) {
            if (hasInlineValue) {
                error = std::string(arg) + " takes no value";
                return false;
            }
            target = true;
            return true;
        };
        auto takeValue = [&]() {
            if (hasInlineValue) return true;
            if (i + 1 >= argc) {
                error = std::string(arg) + " needs a value";
                return false;
            }
            value = argv[++i];
            return true;
        };
        auto number = [&](unsigned long min, unsigned long max, unsigned long& out) {
            if (!takeValue()) return false;
            if (!parseNumber(value, max, out) || out < min) {
                error = "bad value for " + std::string(arg) + ": " + std::string(value);
                return false;
            }
            return true;
        };

        unsigned long n = 0;
        bool ok = true;
        if (arg == "--link") {
            ok = takeValue();
            if (ok && value.empty()) {
                error = "--link needs a path";
                ok = false;
            }
            if (ok) options.link = value;
        } else if (arg == "--register6") {
            ok = number(0, 0xFFFF, n);
            options.register6 = static_cast<uint16_t>(n);
        } else if (arg == "--loader-mode") {
            ok = flag(options.loaderMode);
        } else if (arg == "--compatibility") {
            ok = number(0, 0xFFFF, n);
            options.compatibility = static_cast<uint16_t>(n);
        } else if (arg == "--refuse-first") {
            ok = number(0, 1000000, n);
            options.refuseFirst = static_cast<unsigned>(n);
        } else if (arg == "--refuse-sector") {
            ok = number(1, 1000000, n);
            options.refuseSector = static_cast<unsigned>(n);
        } else if (arg == "--silent-modbus") {
            ok = flag(options.silentModbus);
        } else if (arg == "--silent-loader") {
            ok = flag(options.silentLoader);
        } else if (arg == "--garble-modbus") {
            ok = flag(options.garbleModbus);
        } else if (arg == "--garble-answer") {
            ok = flag(options.garbleAnswer);
        } else if (arg == "--hangup-after") {
            ok = number(1, 1000000, n);
            options.hangupAfter = static_cast<unsigned>(n);
        } else if (arg == "--baud") {
            ok = number(0, 10000000, n);
            options.baud = static_cast<unsigned>(n);
        } else if (arg == "--gap-ms") {
            ok = number(1, 60000, n);
            options.gapMs = static_cast<unsigned>(n);
        } else if (arg == "--image-out") {
            ok = takeValue();
            options.imageOut = value;
        } else if (arg == "--log") {
            ok = takeValue();
            options.log = value;
        } else if (arg == "--timeout-s") {
            ok = number(1, 86400, n);
            options.timeoutS = static_cast<unsigned>(n);
        } else {
            error = "unknown argument: " + std::string(argv[i]);
            ok = false;
        }
        if (!ok) return false;
    }
    if (options.link.empty()) {
        error = "--link is required";
        return false;
    }
    return true;
}

}  // namespace instrument_sim
