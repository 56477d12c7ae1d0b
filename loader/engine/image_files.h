// The pair of ASCII-Hex image files the converter writes: "LSB.tmp" with the
// low byte and "MSB.tmp" with the high byte of every 16-bit word, read in
// lockstep, one character from each file per step, sector by sector.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace flashup {

class ImageFiles {
public:
    // Two address words and three trailing words take the rest.
    static constexpr uint32_t kSectorCapacityWords = 32000;
    static constexpr uint32_t kMaxDataWords = kSectorCapacityWords - 5;

    ImageFiles();
    ~ImageFiles();
    ImageFiles(const ImageFiles&) = delete;
    ImageFiles& operator=(const ImageFiles&) = delete;

    // Opens "MSB.tmp", then "LSB.tmp", in the working directory. False when
    // either is missing; one that opened stays open until close().
    [[nodiscard]] bool open();
    void close();

    // Checks the whole image before anything is sent: both files have the
    // same layout, every address record is "$", a letter, 1 to 8 hex digits
    // up to 0x7FFFFFFF and ",", every data byte is two upper-case hex
    // digits, every sector fits the buffer, and there is at least one data
    // word. Leaves both files at their beginning. On failure, why names the
    // first fault.
    [[nodiscard]] bool validate(std::string& why);

    // Size of "LSB.tmp" in bytes.
    uint32_t measureTotalSize();
    // The first data word of the image, wherever it stands (0xFFFF when
    // there is none).
    uint16_t readCompatibility();
    // The next sector into the buffer; false at the end of the image.
    [[nodiscard]] bool readSector(uint16_t compatibility);

    // Both files back to their beginning.
    void rewind();
    // Position of "LSB.tmp" in bytes.
    uint32_t position() const;

    const uint16_t* sectorWords() const { return sectorWords_.data(); }
    uint32_t wordCount() const { return wordCount_; }

private:
    struct Pair {
        int lsb;
        int msb;
    };
    Pair readPair();
    void stepBack();

    std::FILE* msbFile_ = nullptr;
    std::FILE* lsbFile_ = nullptr;
    std::vector<uint16_t> sectorWords_;
    uint32_t wordCount_ = 0;
    // No sector was read since the files were opened or rewound: data met
    // before any address record is a sector at address 0.
    bool atStart_ = true;
};

}  // namespace flashup
