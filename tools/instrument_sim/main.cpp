// instrument_sim: stands in for the instrument on a pseudo-terminal, so that
// the loader can be run and tested without one. See README.md.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "tools/instrument_sim/instrument.h"
#include "tools/instrument_sim/options.h"
#include "tools/instrument_sim/paced_line.h"
#include "tools/instrument_sim/pseudo_terminal.h"

namespace {

using namespace instrument_sim;

char linkToRemove[4096];
char ourDevice[4096];

// A killed simulator must not leave a link to a device that is gone; a link
// that a newer simulator has already taken over is not ours to remove.
void removeLinkAndDie(int signal) {
    char target[sizeof ourDevice];
    ssize_t n = readlink(linkToRemove, target, sizeof target - 1);
    if (n >= 0) {
        target[n] = '\0';
        if (std::strcmp(target, ourDevice) == 0) unlink(linkToRemove);
    }
    ::signal(signal, SIG_DFL);
    raise(signal);
}

}  // namespace

int main(int argc, char** argv) {
    ::signal(SIGPIPE, SIG_IGN);

    Options options;
    std::string error;
    if (!parseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "instrument_sim: %s\n%s", error.c_str(), usageText());
        return exitUsage;
    }

    EventLog log;
    if (!options.log.empty() && !log.open(options.log)) {
        std::fprintf(stderr, "instrument_sim: cannot open %s: %s\n", options.log.c_str(),
                     std::strerror(errno));
        return exitError;
    }

    PseudoTerminal terminal;
    if (options.link.size() >= sizeof linkToRemove) {
        std::fprintf(stderr, "instrument_sim: link path too long\n");
        return exitUsage;
    }
    if (!terminal.open(error) || !terminal.link(options.link, error)) {
        std::fprintf(stderr, "instrument_sim: %s\n", error.c_str());
        return exitError;
    }
    std::snprintf(linkToRemove, sizeof linkToRemove, "%s", options.link.c_str());
    std::snprintf(ourDevice, sizeof ourDevice, "%s", terminal.device().c_str());
    for (int s : {SIGTERM, SIGINT, SIGHUP}) ::signal(s, removeLinkAndDie);

    std::printf("ready %s\n", terminal.device().c_str());
    std::fflush(stdout);

    PacedLine line(terminal.master(), options.baud);
    Instrument instrument(options, line, log);
    int status = instrument.run();
    terminal.close();
    return status;
}
