// One RS-232 port: 8 data bits, no parity, one stop bit, no flow control,
// DTR on, RTS off, at a speed chosen when it is opened. Every blocking call
// has a total time-out; short results are reported by their count.
// The platform code lives in serial_port_posix.cpp (a Windows file would sit
// beside it); this header is the whole interface.
#pragma once

#include <cstdint>
#include <string>

namespace flashup {

class SerialPort {
  public:
    SerialPort() = default;
    // Closes the port as close() does when it is still open.
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // portName: "COM1".."COMn", a device path (anything with a slash, used
    // whole), or a name under /dev. Discards pending input and output.
    // False when the port is already open (nothing printed) or cannot be
    // opened and configured (trace "Open RS232 Error (line %d) !!!!").
    [[nodiscard]] bool open(const std::string& portName, uint32_t baudRate);

    // Sends what is still queued (waiting about a second at most), discards
    // pending input, closes. False when the port was not open (trace "Close
    // RSS32 Error") or the system reported an error on closing (trace "Close
    // RS232 Error"); the port is closed afterwards in both cases.
    bool close();

    // Discards output an earlier write left queued, sends count bytes and
    // waits until they have left, all within 30 ms per byte. Returns the
    // bytes accepted (0 when the port is not open).
    uint32_t write(const uint8_t* buffer, uint32_t count);

    // Waits for count bytes for at most timeoutTenths x 100 ms in total (0:
    // until all have arrived) and returns how many arrived (0 when the port
    // is not open). Bytes that arrived earlier are returned first.
    uint32_t read(uint8_t* buffer, uint32_t count, uint32_t timeoutTenths);

    // Drops whatever has arrived and not been read yet. False when the port
    // is not open or the driver refuses.
    bool discardInput();

    bool isOpen() const { return isOpen_; }

  private:
    intptr_t handle_ = -1;  // the platform's handle of the open device
    bool isOpen_ = false;
};

// The device a port name stands for on this platform: a name with a slash
// is a path and is kept whole; COMn is /dev/ttyS(n-1); any other name is
// looked up under /dev.
std::string serialDevicePath(const std::string& portName);

}  // namespace flashup
