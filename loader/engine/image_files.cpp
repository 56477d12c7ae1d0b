#include "loader/engine/image_files.h"

#include <cctype>
#include <cstring>

#include "loader/engine/trace.h"

namespace flashup {

namespace {

constexpr size_t kMaxAddressDigits = 8;
constexpr uint32_t kMaxAddress = 0x7FFFFFFF;

bool isDataDigit(int c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

int digitValue(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return 0;
}

bool readWhole(std::FILE* file, std::string& text) {
    text.clear();
    if (std::fseek(file, 0, SEEK_SET) != 0) return false;
    char buffer[8192];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
    return std::ferror(file) == 0;
}

// Walks both files' texts side by side the way the sector reader will, and
// names the first place where reading them would send something wrong.
bool checkLayout(const std::string& low, const std::string& high, std::string& why) {
    if (low.size() != high.size()) {
        why = "the two image files differ in length";
        return false;
    }
    size_t i = 0;
    bool anyRecord = false;
    uint64_t sectorWords = 0;
    uint64_t totalWords = 0;
    auto fail = [&](const std::string& text) {
        why = text + " at offset " + std::to_string(i);
        return false;
    };
    while (i < low.size()) {
        char l = low[i];
        char h = high[i];
        if (l == '$') {
            if (h != '$') return fail("address records at different places");
            if (i + 1 >= low.size() || !std::isalpha(static_cast<unsigned char>(low[i + 1])) ||
                low[i + 1] != high[i + 1]) {
                return fail("address record without its letter");
            }
            size_t start = i + 2;
            size_t end = start;
            while (end < low.size() && low[end] != ',') {
                if (!std::isxdigit(static_cast<unsigned char>(low[end])) || low[end] != high[end]) {
                    return fail("malformed address record");
                }
                ++end;
            }
            if (end >= low.size() || high[end] != ',') return fail("address record without ','");
            size_t digits = end - start;
            if (digits == 0 || digits > kMaxAddressDigits) return fail("malformed address record");
            uint64_t address = 0;
            for (size_t k = start; k < end; ++k) address = address * 16 + digitValue(low[k]);
            if (address > kMaxAddress) return fail("address beyond 0x7FFFFFFF");
            anyRecord = true;
            sectorWords = 0;
            i = end + 1;
            continue;
        }
        if (isDataDigit(l)) {
            if (!isDataDigit(h)) return fail("data bytes at different places");
            if (i + 1 >= low.size() || !isDataDigit(low[i + 1]) || !isDataDigit(high[i + 1])) {
                return fail("data byte with one hex digit");
            }
            ++sectorWords;
            ++totalWords;
            if (sectorWords > ImageFiles::kMaxDataWords) {
                return fail(anyRecord ? "sector larger than 31995 words"
                                      : "data before the first address larger than 31995 words");
            }
            i += 2;
            continue;
        }
        if (l != h) return fail("the two image files differ");
        ++i;
    }
    if (totalWords == 0) {
        why = "the image holds no data";
        return false;
    }
    return true;
}

}  // namespace

ImageFiles::ImageFiles() : sectorWords_(kSectorCapacityWords) {}

ImageFiles::~ImageFiles() { close(); }

bool ImageFiles::open() {
    close();
    msbFile_ = std::fopen("MSB.tmp", "rb");
    lsbFile_ = std::fopen("LSB.tmp", "rb");
    atStart_ = true;
    return msbFile_ != nullptr && lsbFile_ != nullptr;
}

void ImageFiles::close() {
    if (msbFile_) std::fclose(msbFile_);
    if (lsbFile_) std::fclose(lsbFile_);
    msbFile_ = nullptr;
    lsbFile_ = nullptr;
}

bool ImageFiles::validate(std::string& why) {
    std::string low;
    std::string high;
    if (!lsbFile_ || !msbFile_ || !readWhole(lsbFile_, low) || !readWhole(msbFile_, high)) {
        why = "the image files cannot be read";
        rewind();
        return false;
    }
    rewind();
    return checkLayout(low, high, why);
}

uint32_t ImageFiles::measureTotalSize() {
    long noted = std::ftell(lsbFile_);
    std::fseek(lsbFile_, 0, SEEK_END);
    long size = std::ftell(lsbFile_);
    std::fseek(lsbFile_, noted, SEEK_SET);
    return size < 0 ? 0 : static_cast<uint32_t>(size);
}

uint16_t ImageFiles::readCompatibility() {
    long noted = std::ftell(lsbFile_);
    std::fseek(lsbFile_, 0, SEEK_SET);
    std::fseek(msbFile_, 0, SEEK_SET);
    uint16_t word = 0xFFFF;
    for (Pair c = readPair(); c.lsb != EOF && c.msb != EOF; c = readPair()) {
        if (c.lsb == '$') {
            // Skip the address: its digits are not data.
            while (c.lsb != EOF && c.lsb != ',') c = readPair();
            continue;
        }
        if (isDataDigit(c.lsb)) {
            Pair d = readPair();
            word = static_cast<uint16_t>(digitValue(c.msb) << 12 | digitValue(d.msb) << 8 |
                                         digitValue(c.lsb) << 4 | digitValue(d.lsb));
            break;
        }
    }
    std::fseek(lsbFile_, noted, SEEK_SET);
    std::fseek(msbFile_, noted, SEEK_SET);
    return word;
}

ImageFiles::Pair ImageFiles::readPair() { return {std::getc(lsbFile_), std::getc(msbFile_)}; }

void ImageFiles::stepBack() {
    std::fseek(lsbFile_, -1, SEEK_CUR);
    std::fseek(msbFile_, -1, SEEK_CUR);
}

bool ImageFiles::readSector(uint16_t compatibility) {
    wordCount_ = 0;
    uint32_t sum = 0;
    uint32_t address = 0;

    Pair c = readPair();
    while (c.lsb != '$') {
        if (c.lsb == EOF) {
            trace(0, "End of file\n");
            return false;
        }
        if (atStart_ && isDataDigit(c.lsb)) break;  // data at address 0 carries no record
        c = readPair();
    }
    atStart_ = false;
    trace(1, "\nSector found\n");

    if (c.lsb == '$') {
        readPair();  // the record letter
        char text[3 + kMaxAddressDigits + 1] = "0x";
        size_t length = 2;
        for (c = readPair(); c.lsb != ',' && c.lsb != EOF; c = readPair()) {
            if (length < sizeof text - 1) text[length++] = static_cast<char>(c.lsb);
        }
        text[length] = '\0';
        trace(1, "Adress %s\n", text);
        uint64_t value = 0;
        for (size_t k = 2; k < length; ++k) value = value * 16 + digitValue(text[k]);
        address = value > kMaxAddress ? kMaxAddress : static_cast<uint32_t>(value);
        c = readPair();
    }
    sectorWords_[wordCount_++] = static_cast<uint16_t>(address >> 16);
    sectorWords_[wordCount_++] = static_cast<uint16_t>(address & 0xFFFF);

    // c is the first character after the address (or the first data digit).
    while (true) {
        Pair last = c;
        if (isDataDigit(c.lsb)) {
            Pair d = readPair();
            last = d;
            if (wordCount_ < 2 + kMaxDataWords) {
                uint16_t word =
                    static_cast<uint16_t>(digitValue(c.msb) << 12 | digitValue(d.msb) << 8 |
                                          digitValue(c.lsb) << 4 | digitValue(d.lsb));
                sectorWords_[wordCount_++] = word;
                sum += word;
            }
        }
        if (last.lsb == EOF || last.lsb == '$' || last.msb == EOF) break;
        c = readPair();
    }
    stepBack();
    trace(0, "Number of words %lu\n", static_cast<unsigned long>(wordCount_));
    sectorWords_[wordCount_++] = static_cast<uint16_t>(sum & 0xFFFF);
    sectorWords_[wordCount_++] = static_cast<uint16_t>(sum >> 16);
    sectorWords_[wordCount_++] = compatibility;
    return true;
}

void ImageFiles::rewind() {
    if (lsbFile_) std::fseek(lsbFile_, 0, SEEK_SET);
    if (msbFile_) std::fseek(msbFile_, 0, SEEK_SET);
    atStart_ = true;
}

uint32_t ImageFiles::position() const {
    long at = lsbFile_ ? std::ftell(lsbFile_) : 0;
    return at < 0 ? 0 : static_cast<uint32_t>(at);
}

}  // namespace flashup
