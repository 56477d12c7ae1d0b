// The download engine: runs the converter, reads the image facts, and does
// a whole firmware download (handshake, sectors with an answer each, "GO"),
// reporting progress through DownloadListener and honouring CancelEvent.
// Knows nothing of any GUI toolkit.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "loader/engine/cancel_event.h"
#include "loader/engine/image_files.h"
#include "loader/engine/serial_port.h"

namespace flashup {

// Where progress leaves the engine; called on the download's thread.
class DownloadListener {
public:
    virtual ~DownloadListener() = default;
    // Percentage of the image sent so far, 0 to 100.
    virtual void downloadProgress(uint32_t percent) = 0;
    // The download is over (result() tells how); the last call it makes.
    virtual void downloadFinished(bool goSent) { (void)goSent; }
};

enum DownloadResult : int32_t {
    kResultSuccess = 0,
    kResultPortFailed = 10,
    kResultImageFailed = 20,
    kResultSectorRefused = 30,
    kResultCancelled = 40,
};

class Downloader {
public:
    // Runs the converter in the working directory, opens the two image
    // files and checks them; result() is 20 when they are missing or
    // unfit to send.
    Downloader();
    // Closes and deletes "LSB.tmp" and "MSB.tmp", whatever happened.
    ~Downloader();
    Downloader(const Downloader&) = delete;
    Downloader& operator=(const Downloader&) = delete;

    // The whole transfer; true only when "GO" was sent.
    bool download(DownloadListener& listener);

    int32_t result() const { return result_; }
    const char* resultText() const;
    static const char* resultText(int32_t result);

    uint16_t compatibility() const { return compatibility_; }
    uint32_t totalSize() const { return totalSize_; }

    // Set before download(): a port name such as "COM3" or a device path.
    void setPortName(const std::string& name) { portName_ = name; }
    const std::string& portName() const { return portName_; }

    // Signalled by another thread to cancel; tested while an answer is
    // awaited.
    CancelEvent& cancelEvent() { return cancelEvent_; }

    static constexpr uint32_t kDownloadBaud = 38400;
    static constexpr uint32_t kHandshakeBaud = 115200;

private:
    bool sendSector();
    void sendGo();
    bool pollCancel();

    ImageFiles image_;
    std::vector<uint8_t> sectorBytes_;  // the sector as sent, for big-endian hosts
    uint32_t totalSize_ = 0;
    uint16_t compatibility_ = 0xFFFF;
    bool cancelled_ = false;
    int32_t result_ = kResultSuccess;
    SerialPort port_;
    CancelEvent cancelEvent_;
    std::string portName_ = "COM1";
};

}  // namespace flashup
