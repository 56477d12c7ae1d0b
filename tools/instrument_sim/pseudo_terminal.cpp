#include "tools/instrument_sim/pseudo_terminal.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace instrument_sim {

namespace {

std::string systemError(const std::string& what) { return what + ": " + std::strerror(errno); }

}  // namespace

PseudoTerminal::~PseudoTerminal() { close(); }

bool PseudoTerminal::open(std::string& error) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0) {
        error = systemError("posix_openpt");
        return false;
    }
    if (grantpt(master_) != 0 || unlockpt(master_) != 0) {
        error = systemError("grantpt/unlockpt");
        return false;
    }
    const char* name = ptsname(master_);
    if (name == nullptr) {
        error = systemError("ptsname");
        return false;
    }
    device_ = name;
    // Not blocking: the serve loop waits in poll and must be able to give up.
    int flags = fcntl(master_, F_GETFL);
    if (flags < 0 || fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0 ||
        fcntl(master_, F_SETFD, FD_CLOEXEC) != 0) {
        error = systemError("fcntl");
        return false;
    }

    slave_ = ::open(device_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0) {
        error = systemError("open " + device_);
        return false;
    }
    termios settings{};
    if (tcgetattr(slave_, &settings) != 0) {
        error = systemError("tcgetattr");
        return false;
    }
    // Raw before anyone opens it: an echoing slave would bounce our answers
    // back to us as if the loader had sent them.
    cfmakeraw(&settings);
    if (tcsetattr(slave_, TCSANOW, &settings) != 0) {
        error = systemError("tcsetattr");
        return false;
    }
    return true;
}

bool PseudoTerminal::link(const std::string& path, std::string& error) {
    struct stat old {};
    if (lstat(path.c_str(), &old) == 0) {
        if (!S_ISLNK(old.st_mode)) {
            error = path + " exists and is not a symlink";
            return false;
        }
        if (unlink(path.c_str()) != 0) {
            error = systemError("unlink " + path);
            return false;
        }
    }
    if (symlink(device_.c_str(), path.c_str()) != 0) {
        error = systemError("symlink " + path);
        return false;
    }
    link_ = path;
    return true;
}

void PseudoTerminal::close() {
    if (!link_.empty()) {
        // Another simulator may have taken the path over since; leave its link alone.
        char target[PATH_MAX];
        ssize_t n = readlink(link_.c_str(), target, sizeof target - 1);
        if (n >= 0 && std::string(target, static_cast<size_t>(n)) == device_) {
            unlink(link_.c_str());
        }
        link_.clear();
    }
    if (slave_ >= 0) ::close(slave_);
    if (master_ >= 0) ::close(master_);
    slave_ = master_ = -1;
}

}  // namespace instrument_sim
