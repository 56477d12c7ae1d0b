#include "tools/instrument_sim/instrument.h"

#include <cstdarg>

namespace instrument_sim {

namespace {

constexpr uint8_t slaveAddress = 1;
constexpr size_t longestFrame = 513;            // Modbus ASCII's own limit
constexpr size_t longestStrayModbusFrame = 20;  // a loader's request, in loader mode

bool looksLikeModbus(const std::vector<uint8_t>& burst) {
    return burst.size() >= 3 && burst.size() <= longestStrayModbusFrame && burst.front() == ':' &&
           burst[burst.size() - 2] == '\r' && burst.back() == '\n';
}

}  // namespace

bool EventLog::open(const std::string& path) {
    file_ = std::fopen(path.c_str(), "a");
    return file_ != nullptr;
}

EventLog::~EventLog() {
    if (file_ != nullptr) std::fclose(file_);
}

void EventLog::write(const char* format, ...) {
    if (file_ == nullptr) return;
    va_list args;
    va_start(args, format);
    std::vfprintf(file_, format, args);
    va_end(args);
    std::fputc('\n', file_);
    std::fflush(file_);
}

Instrument::Instrument(const Options& options, PacedLine& line, EventLog& log)
    : options_(options), line_(line), log_(log), compatibility_(options.compatibility) {
    registers_[6] = options.register6;
}

void Instrument::enterLoaderMode() {
    loaderMode_ = true;
    inFrame_ = false;
    log_.write("loader mode");
}

int Instrument::run() {
    if (options_.loaderMode) enterLoaderMode();
    const auto timeout = std::chrono::seconds(options_.timeoutS);
    const auto gap = std::chrono::milliseconds(options_.gapMs);
    auto lastDone = Clock::now();
    uint8_t byte = 0;
    Clock::time_point arrival;

    for (;;) {
        if (!line_.receive(byte, arrival, lastDone + timeout)) {
            log_.write("timeout");
            return exitTimeout;
        }
        if (!loaderMode_) {
            bool frameDone = false;
            modbusByte(byte, frameDone);
            if (frameDone) lastDone = Clock::now();
            continue;
        }
        // The loader marks nothing: a sector is whatever arrives before a pause.
        std::vector<uint8_t> burst{byte};
        while (line_.receive(byte, arrival, arrival + gap)) burst.push_back(byte);
        if (int status = loaderBurst(burst); status >= 0) return status;
        lastDone = Clock::now();
    }
}

void Instrument::modbusByte(uint8_t byte, bool& frameDone) {
    if (byte == ':') {  // a start character always begins a new frame
        frame_.assign(1, ':');  // not = ":", which trips a false -Wrestrict in GCC 12 at -O2
        inFrame_ = true;
        return;
    }
    if (!inFrame_) return;
    frame_ += static_cast<char>(byte);
    if (byte == '\n') {
        inFrame_ = false;
        frameDone = true;
        modbusFrame(frame_);
    } else if (frame_.size() > longestFrame) {
        inFrame_ = false;
    }
}

void Instrument::modbusFrame(const std::string& frame) {
    auto message = decodeFrame(frame);
    if (!message) {
        log_.write("modbus bad frame");
        return;
    }
    const std::vector<uint8_t>& m = *message;
    if (m[0] != slaveAddress) {
        log_.write("modbus other address=%u", m[0]);
        return;
    }
    uint8_t function = m[1];
    auto exception = [&](uint8_t code) {
        log_.write("modbus exception function=%u code=%u", function, code);
        modbusReply({slaveAddress, static_cast<uint8_t>(function | 0x80), code});
    };
    if (function != 3 && function != 6) return exception(1);
    if (m.size() != 6) return exception(3);

    auto registerNumber = static_cast<uint16_t>(m[2] << 8 | m[3]);
    auto operand = static_cast<uint16_t>(m[4] << 8 | m[5]);
    if (function == 3) {
        log_.write("modbus read register=%u count=%u", registerNumber, operand);
        if (operand < 1 || operand > 16) return exception(3);
        if (registerNumber + operand > 0x10000) return exception(2);
        std::vector<uint8_t> reply{slaveAddress, 3, static_cast<uint8_t>(2 * operand)};
        for (unsigned i = 0; i < operand; ++i) {
            uint16_t value = registers_[static_cast<uint16_t>(registerNumber + i)];
            reply.push_back(static_cast<uint8_t>(value >> 8));
            reply.push_back(static_cast<uint8_t>(value));
        }
        return modbusReply(reply);
    }

    log_.write("modbus write register=%u value=%u", registerNumber, operand);
    // Register 6 names the order's register; a write to it moves the order.
    bool order = registerNumber == static_cast<uint16_t>(registers_[6] + 1) && operand == 1;
    registers_[registerNumber] = operand;
    // Logged before the echo goes out, so whoever reads the echo finds the switch logged.
    if (order) enterLoaderMode();
    modbusReply(m);  // the loader does not wait for it
}

void Instrument::modbusReply(const std::vector<uint8_t>& message) {
    if (options_.silentModbus) return;
    line_.send(encodeFrame(message, options_.garbleModbus ? 1 : 0));
}

int Instrument::loaderBurst(const std::vector<uint8_t>& burst) {
    if (burst.size() == 2 && burst[0] == 'G' && burst[1] == 'O') return finish();
    if (looksLikeModbus(burst)) {
        log_.write("modbus ignored in loader mode");
        return -1;
    }

    ++receptions_;
    ++receptionsOfThis_;
    Sector sector = parseSector(burst);
    if (sector.wellFormed && !compatibility_) compatibility_ = sector.compatibility;
    bool compatible = sector.wellFormed && sector.compatibility == *compatibility_;
    bool good = sector.wellFormed && sector.sumOk && compatible;
    bool refused = receptionsOfThis_ <= options_.refuseFirst &&
                   (!options_.refuseSector || *options_.refuseSector == sectorNumber_);
    bool hangup = options_.hangupAfter && receptions_ >= *options_.hangupAfter;

    const char* answer = good && !refused ? "G" : "B";
    if (options_.garbleAnswer) answer = "X";
    if (hangup || options_.silentLoader) answer = "none";

    if (sector.wellFormed) {
        char compatibilityText[8] = "bad";
        if (compatible) {
            std::snprintf(compatibilityText, sizeof compatibilityText, "0x%04X",
                          sector.compatibility);
        }
        log_.write("sector %u address=0x%08X words=%zu sum=%s compatibility=%s answer=%s",
                   sectorNumber_, sector.address, sector.data.size(), sector.sumOk ? "ok" : "bad",
                   compatibilityText, answer);
    } else {
        log_.write("sector %u bytes=%zu malformed answer=%s", sectorNumber_, burst.size(), answer);
    }
    if (hangup) {
        log_.write("hangup");
        return exitHangup;
    }

    if (answer[0] == 'G') {
        for (size_t i = 0; i < sector.data.size(); ++i) {
            image_[sector.address + static_cast<uint32_t>(i)] = sector.data[i];
        }
        ++sectorNumber_;
        receptionsOfThis_ = 0;
    }
    if (answer[0] != 'n') line_.send(std::string(answer) + "\r");
    return -1;
}

int Instrument::finish() {
    log_.write("go");
    if (!options_.imageOut.empty()) {
        FILE* out = std::fopen(options_.imageOut.c_str(), "w");
        if (out == nullptr) {
            std::perror(options_.imageOut.c_str());
            return exitError;
        }
        for (const auto& [address, word] : image_) {
            std::fprintf(out, "%08X %04X\n", address, word);
        }
        if (std::fclose(out) != 0) {
            std::perror(options_.imageOut.c_str());
            return exitError;
        }
    }
    log_.write("image words=%zu", image_.size());
    return exitDone;
}

}  // namespace instrument_sim
