// SerialPort on termios. The descriptor stays non-blocking and every wait is
// a poll() against a monotonic deadline, so that a time-out is the total
// time of the call (VMIN/VTIME only time the gap between bytes) and no call
// can hang on a line where nobody reads or writes.
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <thread>

#include "loader/engine/serial_port.h"
#include "loader/engine/trace.h"

namespace flashup {

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kWriteMillisecondsPerByte = 30;
constexpr auto kCloseDrainLimit = std::chrono::milliseconds(1000);
constexpr auto kDrainPollInterval = std::chrono::milliseconds(1);
// The XON/XOFF characters the instrument's line has always been set up
// with, although software flow control stays off.
constexpr cc_t kXonCharacter = 0x28;
constexpr cc_t kXoffCharacter = 0x29;

int descriptor(intptr_t handle) { return static_cast<int>(handle); }

// Milliseconds left until deadline, rounded up so that a poll never wakes
// just before it and spins; 0 once it has passed.
int millisecondsLeft(Clock::time_point deadline) {
    auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) return 0;
    auto milliseconds = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return milliseconds > INT_MAX ? INT_MAX : static_cast<int>(milliseconds);
}

bool speedConstant(uint32_t baudRate, speed_t& speed) {
    static constexpr struct {
        uint32_t rate;
        speed_t constant;
    } kSpeeds[] = {
        {50, B50},           {75, B75},           {110, B110},         {134, B134},
        {150, B150},         {200, B200},         {300, B300},         {600, B600},
        {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
        {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
        {115200, B115200},   {230400, B230400},
#ifdef B460800
        {460800, B460800},
#endif
#ifdef B500000
        {500000, B500000},   {576000, B576000},   {921600, B921600},   {1000000, B1000000},
        {1152000, B1152000}, {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000},
        {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
#endif
    };
    for (const auto& entry : kSpeeds) {
        if (entry.rate == baudRate) {
            speed = entry.constant;
            return true;
        }
    }
    return false;
}

// A pseudo-terminal or a bare adapter has no modem lines: the ioctl then
// fails with ENOTTY or EINVAL, and the line simply runs without them.
bool setModemLine(int fd, unsigned long request, int line) {
    if (::ioctl(fd, request, &line) == 0) return true;
    return errno == ENOTTY || errno == EINVAL;
}

bool applyLineSettings(int fd, termios& settings, uint32_t baudRate) {
    speed_t speed;
    if (!speedConstant(baudRate, speed)) return false;
    cfmakeraw(&settings);
    settings.c_iflag &= ~static_cast<tcflag_t>(INPCK | IXON | IXOFF | IXANY);
    settings.c_iflag |= IGNBRK;
    settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    settings.c_cc[VSTART] = kXonCharacter;
    settings.c_cc[VSTOP] = kXoffCharacter;
    // A read takes what has arrived and returns (0 when nothing has):
    // poll() does the waiting.
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    if (cfsetispeed(&settings, speed) != 0 || cfsetospeed(&settings, speed) != 0) return false;
    if (::tcsetattr(fd, TCSANOW, &settings) != 0) return false;
    // tcsetattr succeeds when any part was taken: check the parts that
    // matter were.
    termios applied{};
    if (::tcgetattr(fd, &applied) != 0) return false;
    const tcflag_t framing = CSIZE | PARENB | CSTOPB | CRTSCTS;
    if ((applied.c_cflag & framing) != CS8 || cfgetospeed(&applied) != speed) return false;
    return setModemLine(fd, TIOCMBIS, TIOCM_DTR) && setModemLine(fd, TIOCMBIC, TIOCM_RTS);
}

// Waits until the driver has sent its output queue or deadline passes.
// TIOCOUTQ is polled rather than tcdrain() called, because tcdrain() can
// block without limit on a stalled line. A driver without TIOCOUTQ is taken
// as having nothing queued.
void drainOutput(int fd, Clock::time_point deadline) {
    while (true) {
        int queued = 0;
        if (::ioctl(fd, TIOCOUTQ, &queued) != 0 || queued <= 0) return;
        if (Clock::now() >= deadline) return;
        std::this_thread::sleep_for(kDrainPollInterval);
    }
}

// Nobody else may open the device while we hold it. The superuser could
// open a terminal another process holds exclusively; it is not shared all
// the same.
bool takeExclusively(int fd) {
#ifdef TIOCGEXCL
    int heldElsewhere = 0;
    if (::ioctl(fd, TIOCGEXCL, &heldElsewhere) == 0 && heldElsewhere != 0) return false;
#endif
    return ::ioctl(fd, TIOCEXCL) == 0;
}

// A pseudo-terminal outlives our descriptor while its other side is open,
// and would keep refusing every later open, ours included, if it stayed
// exclusive.
int releaseDevice(int fd) {
    ::ioctl(fd, TIOCNXCL);
    return ::close(fd);
}

}  // namespace

SerialPort::~SerialPort() {
    if (isOpen_) close();
}

bool SerialPort::open(const std::string& portName, uint32_t baudRate) {
    if (isOpen_) return false;

    std::string path = serialDevicePath(portName);
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 || !takeExclusively(fd)) {
        if (fd >= 0) ::close(fd);
        trace(1, "Open RS232 Error (line %d) !!!!\n", 238);
        return false;
    }
    auto fail = [fd](int step) {
        trace(1, "Open RS232 Error (line %d) !!!!\n", step);
        releaseDevice(fd);
        return false;
    };
    // Step 246 sized the driver queues; termios has no such setting and the
    // kernel's buffers serve, so that step always succeeds here.
    if (::tcflush(fd, TCIOFLUSH) != 0) return fail(254);
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0) return fail(264);
    if (!applyLineSettings(fd, settings, baudRate)) return fail(302);
    if (::tcflush(fd, TCIOFLUSH) != 0) return fail(309);

    handle_ = fd;
    isOpen_ = true;
    trace(0, "\nSerial port %s opened at %dbds\n", portName.c_str(), static_cast<int>(baudRate));
    return true;
}

bool SerialPort::close() {
    if (!isOpen_) {
        trace(1, "Close RSS32 Error (line %d) !!!!\n", 368);
        return false;
    }
    int fd = descriptor(handle_);
    // Output is drained, never discarded: discarding can drop the last frame
    // written even after a drain (seen on pseudo-terminals, where the queue
    // flushed is the peer's unread input).
    drainOutput(fd, Clock::now() + kCloseDrainLimit);
    ::tcflush(fd, TCIFLUSH);
    // Linux releases the descriptor even when close() reports an error, so
    // the port counts as closed either way: keeping the number for another
    // try could close a descriptor the process has opened since.
    int closed = releaseDevice(fd);
    handle_ = -1;
    isOpen_ = false;
    if (closed != 0) {
        trace(1, "Close RS232 Error (line %d) !!!!\n", 355);
        return false;
    }
    trace(0, "\nSerial port closed\n");
    return true;
}

// The time-outs are this call's own deadline: there are no port-wide
// time-out settings on POSIX to save and restore around it.
uint32_t SerialPort::write(const uint8_t* buffer, uint32_t count) {
    if (!isOpen_) return 0;
    int fd = descriptor(handle_);
    auto deadline =
        Clock::now() + std::chrono::milliseconds(uint64_t{count} * kWriteMillisecondsPerByte);

    // Output still queued from an earlier write that did not get out in time
    // is dropped. Only when the driver reports some: on a pseudo-terminal the
    // queue flushed is the peer's unread input, bytes that have already left.
    int queued = 0;
    if (::ioctl(fd, TIOCOUTQ, &queued) == 0 && queued > 0) ::tcflush(fd, TCOFLUSH);
    uint32_t written = 0;
    bool failed = false;
    while (written < count) {
        ssize_t n = ::write(fd, buffer + written, count - written);
        if (n > 0) {
            written += static_cast<uint32_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            failed = true;
            break;
        }
        int wait = millisecondsLeft(deadline);
        if (wait == 0) break;
        pollfd ready{fd, POLLOUT, 0};
        int polled = ::poll(&ready, 1, wait);
        if (polled < 0 && errno != EINTR) {
            failed = true;
            break;
        }
        if (polled > 0 && (ready.revents & POLLOUT) == 0) {
            failed = true;  // POLLERR, POLLHUP or POLLNVAL: the line is gone
            break;
        }
    }

    if (failed) {
        trace(1, "RS232 WRITE ERROR (line %d)\n", 183);
    } else if (written < count) {
        trace(1, "RS232 WRITE ERROR (line %d) : %lu char written instead of %lu\n", 187,
              static_cast<unsigned long>(written), static_cast<unsigned long>(count));
    }
    drainOutput(fd, deadline);
    return written;
}

// As for write, the deadline belongs to this call: nothing to restore.
uint32_t SerialPort::read(uint8_t* buffer, uint32_t count, uint32_t timeoutTenths) {
    if (!isOpen_) return 0;
    int fd = descriptor(handle_);
    bool waitForAll = timeoutTenths == 0;
    auto deadline = Clock::now() + std::chrono::milliseconds(uint64_t{timeoutTenths} * 100);

    uint32_t received = 0;
    bool failed = false;
    bool hungUp = false;
    while (received < count) {
        ssize_t n = ::read(fd, buffer + received, count - received);
        if (n > 0) {
            received += static_cast<uint32_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if ((n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) || hungUp) {
            failed = true;
            break;
        }
        int wait = waitForAll ? -1 : millisecondsLeft(deadline);
        if (wait == 0) break;
        pollfd ready{fd, POLLIN, 0};
        int polled = ::poll(&ready, 1, wait);
        if (polled < 0 && errno != EINTR) {
            failed = true;
            break;
        }
        if (polled > 0 && (ready.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            // A hung-up terminal stays readable with nothing to read: reading
            // on collects what is left, then the call fails, not spins.
            hungUp = true;
        }
    }

    if (failed) {
        trace(1, "RS232 READ ERROR (line %d)\n", 111);
    } else if (received < count) {
        trace(0, "RS232 READ TIMEOUT\n");
    }
    return received;
}

bool SerialPort::discardInput() { return isOpen_ && ::tcflush(descriptor(handle_), TCIFLUSH) == 0; }

std::string serialDevicePath(const std::string& portName) {
    if (portName.find('/') != std::string::npos) return portName;
    // COMn with n >= 1, written without leading zeros; COM1 is the first
    // on-board port, /dev/ttyS0.
    auto upper = [](char c) {
        return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    };
    bool isCom = portName.size() > 3 && portName.size() <= 8 && upper(portName[0]) == 'C' &&
                 upper(portName[1]) == 'O' && upper(portName[2]) == 'M' && portName[3] != '0';
    unsigned long number = 0;
    for (size_t i = 3; isCom && i < portName.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(portName[i]))) {
            isCom = false;
        } else {
            number = number * 10 + static_cast<unsigned long>(portName[i] - '0');
        }
    }
    if (isCom) return "/dev/ttyS" + std::to_string(number - 1);
    return "/dev/" + portName;
}

}  // namespace flashup
