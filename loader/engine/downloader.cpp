#include "loader/engine/downloader.h"

#include <bit>
#include <chrono>
#include <cstdio>
#include <thread>

#include "loader/engine/converter_runner.h"
#include "loader/engine/modbus_ascii_client.h"
#include "loader/engine/trace.h"

namespace flashup {

namespace {

constexpr uint8_t kSlaveAddress = 1;
constexpr int kTries = 3;
constexpr int kAnswerReads = 10;
constexpr uint32_t kAnswerReadTenths = 10;

void pause(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace

Downloader::Downloader() {
    runConverter();
    if (!image_.open()) {
        result_ = kResultImageFailed;
        return;
    }
    // An image that would not arrive whole is refused here, before the
    // instrument is touched: it must never be left half-programmed by a
    // file we could have rejected.
    std::string why;
    if (!image_.validate(why)) {
        trace(1, "Image files refused: %s\n", why.c_str());
        result_ = kResultImageFailed;
        return;
    }
    result_ = kResultSuccess;
    totalSize_ = image_.measureTotalSize();
    compatibility_ = image_.readCompatibility();
}

Downloader::~Downloader() {
    image_.close();
    std::remove("MSB.tmp");
    std::remove("LSB.tmp");
}

const char* Downloader::resultText(int32_t result) {
    switch (result) {
        case kResultSuccess:
            return "Download successful.";
        case kResultPortFailed:
            return "ERROR : Unable to open serial port.";
        case kResultImageFailed:
            return "ERROR : File to download fw417.out or utility romcvt.exe is corrupted.";
        case kResultSectorRefused:
            return "ERROR : Unable to update VANTORIUM firmware.\n\nPlease verify serial port "
                   "number, optical link and firmware compatibility.";
        case kResultCancelled:
            return "Download canceled by user.";
        default:
            return "UNEXPECTED ERROR !";
    }
}

const char* Downloader::resultText() const { return resultText(result_); }

bool Downloader::download(DownloadListener& listener) {
    if (result_ == kResultImageFailed) return false;
    result_ = kResultSuccess;
    bool sent = false;

    if (enterLoaderMode(kSlaveAddress, portName_, kHandshakeBaud)) pause(1000);

    if (!port_.open(portName_, kDownloadBaud)) {
        result_ = kResultPortFailed;
    } else {
        uint32_t sector = 0;
        while (!cancelled_ && image_.readSector(compatibility_)) {
            ++sector;
            bool accepted = false;
            for (int attempt = 1; attempt <= kTries; ++attempt) {
                if (attempt > 1) pause(500);
                trace(1, "Sending sector number %u, try %u (%lu words)\n", sector,
                      static_cast<unsigned>(attempt), static_cast<unsigned long>(image_.wordCount()));
                accepted = sendSector();
                if (accepted || cancelled_) break;
            }
            if (!accepted && !cancelled_) {
                result_ = kResultSectorRefused;
                trace(1, "Download failed : max number of tries reached\n");
                break;
            }
            if (!cancelled_ && totalSize_ > 0) {
                uint64_t percent = uint64_t{image_.position()} * 100 / totalSize_;
                listener.downloadProgress(static_cast<uint32_t>(percent));
            }
        }
        if (result_ != kResultSectorRefused && !cancelled_) {
            sendGo();
            listener.downloadProgress(100);
            sent = true;
        }
        port_.close();
    }
    cancelled_ = false;
    image_.rewind();
    listener.downloadFinished(sent);
    return sent;
}

bool Downloader::sendSector() {
    const uint16_t* words = image_.sectorWords();
    uint32_t count = image_.wordCount();
    // Each word goes out low byte first: straight from the sector buffer on
    // a little-endian host, through a copy on any other.
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(words);
    if constexpr (std::endian::native != std::endian::little) {
        sectorBytes_.resize(size_t{ImageFiles::kSectorCapacityWords} * 2);
        for (uint32_t i = 0; i < count; ++i) {
            sectorBytes_[2 * i] = static_cast<uint8_t>(words[i] & 0xFF);
            sectorBytes_[2 * i + 1] = static_cast<uint8_t>(words[i] >> 8);
        }
        bytes = sectorBytes_.data();
    }
    port_.write(bytes, count * 2);

    uint8_t answer[2] = {0, 0};
    if (!pollCancel()) {
        for (int i = 0; i < kAnswerReads; ++i) {
            if (port_.read(answer, 2, kAnswerReadTenths) > 0) break;
            if (pollCancel()) break;
        }
    }
    if (result_ == kResultCancelled) return false;
    trace(0, "Remote device answer=%d\n\n", static_cast<int>(static_cast<int8_t>(answer[0])));
    if (answer[0] == 'G') {
        trace(1, "The sector has been correctly received by the remote device\n");
        return true;
    }
    if (answer[0] == 'B') {
        trace(1, "ERROR : The sector has not been correctly received by the remote device\n");
        return false;
    }
    trace(1, "No response from the remote device\n");
    return false;
}

void Downloader::sendGo() {
    const uint8_t go[2] = {'G', 'O'};
    port_.write(go, 2);
}

bool Downloader::pollCancel() {
    if (!cancelEvent_.isSignalled()) return false;
    result_ = kResultCancelled;
    cancelled_ = true;
    return true;
}

}  // namespace flashup
