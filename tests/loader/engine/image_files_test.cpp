// The image reader on hand-written file pairs: what each sector holds, and
// which pairs are refused before anything would be sent.
#include "loader/engine/image_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace {

using flashup::ImageFiles;
using test_support::ScratchDir;
using test_support::write_file;

const std::string kStx = "\x02\r\n";
const std::string kEtx = "\x03";

struct Image {
    ScratchDir dir;
    ImageFiles files;
    Image(const std::string& low, const std::string& high) {
        write_file("LSB.tmp", low);
        write_file("MSB.tmp", high);
        EXPECT_TRUE(files.open());
    }
    std::vector<uint16_t> sector(uint16_t compatibility) {
        if (!files.readSector(compatibility)) return {};
        return std::vector<uint16_t>(files.sectorWords(), files.sectorWords() + files.wordCount());
    }
};

TEST(ImageFiles, ReadsTheWorkedExample) {
    Image image(kStx + "$A0080,\r\n78 9A \r\n" + kEtx, kStx + "$A0080,\r\n12 34 \r\n" + kEtx);
    std::string why;
    ASSERT_TRUE(image.files.validate(why)) << why;
    uint16_t compatibility = image.files.readCompatibility();
    EXPECT_EQ(compatibility, 0x1278);
    EXPECT_EQ(image.sector(compatibility),
              (std::vector<uint16_t>{0x0000, 0x0080, 0x1278, 0x349A, 0x4712, 0x0000, 0x1278}));
    EXPECT_TRUE(image.sector(compatibility).empty()) << "no second sector";
}

TEST(ImageFiles, TwoRecordsGiveTwoSectorsAndTheFileStandsOnTheSecond) {
    std::string low = kStx + "$A00ff,\r\n01 02 \r\n$A12345,\r\nFF \r\n" + kEtx;
    std::string high = kStx + "$A00ff,\r\n80 00 \r\n$A12345,\r\nFF \r\n" + kEtx;
    Image image(low, high);
    EXPECT_EQ(image.sector(7), (std::vector<uint16_t>{0, 0xFF, 0x8001, 0x0002, 0x8003, 0, 7}));
    EXPECT_EQ(image.files.position(), low.find("$A1")) << "back on the second '$'";
    EXPECT_EQ(image.sector(7), (std::vector<uint16_t>{0x0001, 0x2345, 0xFFFF, 0xFFFF, 0, 7}));
    EXPECT_TRUE(image.sector(7).empty());
    EXPECT_EQ(image.files.measureTotalSize(), low.size());
}

TEST(ImageFiles, SectorWithoutDataHoldsAddressSumAndCompatibility) {
    Image image(kStx + "$A0010,\r\n$A0020,\r\n05 \r\n" + kEtx,
                kStx + "$A0010,\r\n$A0020,\r\n06 \r\n" + kEtx);
    EXPECT_EQ(image.sector(9), (std::vector<uint16_t>{0, 0x10, 0, 0, 9}));
    EXPECT_EQ(image.sector(9), (std::vector<uint16_t>{0, 0x20, 0x0605, 0x0605, 0, 9}));
}

// The converter writes data at address 0 at the very start of the files
// without an address record; it is a sector at address 0, and its first
// word is the compatibility word.
TEST(ImageFiles, DataAtAddressZeroWithoutARecordIsASectorAtZero) {
    Image image(kStx + "03 04 \r\n$A0100,\r\n05 \r\n" + kEtx,
                kStx + "02 00 \r\n$A0100,\r\n00 \r\n" + kEtx);
    std::string why;
    ASSERT_TRUE(image.files.validate(why)) << why;
    uint16_t compatibility = image.files.readCompatibility();
    EXPECT_EQ(compatibility, 0x0203);
    EXPECT_EQ(image.sector(compatibility),
              (std::vector<uint16_t>{0, 0, 0x0203, 0x0004, 0x0207, 0, 0x0203}));
    EXPECT_EQ(image.sector(compatibility), (std::vector<uint16_t>{0, 0x100, 5, 5, 0, 0x0203}));
    image.files.rewind();
    EXPECT_EQ(image.sector(compatibility).at(1), 0) << "after a rewind the start counts again";
}

TEST(ImageFiles, RefusesPairsThatCannotBeSentWhole) {
    std::string big_low = kStx + "$A0000,\r\n";
    std::string big_high = big_low;
    for (int i = 0; i < 31996; ++i) {
        big_low += "11 ";
        big_high += "22 ";
    }
    struct Case {
        const char* what;
        std::string low;
        std::string high;
        std::string why;
    } cases[] = {
        {"lengths differ", kStx + "$A0,\r\n01 \r\n" + kEtx, kStx + "$A0,\r\n01 \r\n\r\n" + kEtx,
         "the two image files differ in length"},
        {"records at different places", kStx + "$A0,\r\n01 02 \r\n" + kEtx,
         kStx + "01 02 $A0,\r\n\r\n" + kEtx, "address records at different places at offset 3"},
        {"a data byte against a blank", kStx + "$A0,\r\n01 \r\n" + kEtx,
         kStx + "$A0,\r\n   \r\n" + kEtx, "data bytes at different places at offset 9"},
        {"one-digit byte", kStx + "$A0,\r\n1 \r\n" + kEtx, kStx + "$A0,\r\n1 \r\n" + kEtx,
         "data byte with one hex digit at offset 9"},
        {"record without comma", kStx + "$A0010\r\n01 \r\n" + kEtx,
         kStx + "$A0010\r\n01 \r\n" + kEtx, "malformed address record at offset 3"},
        {"record cut by the end", kStx + "$A0010", kStx + "$A0010",
         "address record without ',' at offset 3"},
        {"nine address digits", kStx + "$A000000010,\r\n01 \r\n" + kEtx,
         kStx + "$A000000010,\r\n01 \r\n" + kEtx, "malformed address record at offset 3"},
        {"address above 0x7FFFFFFF", kStx + "$A80000000,\r\n01 \r\n" + kEtx,
         kStx + "$A80000000,\r\n01 \r\n" + kEtx, "address beyond 0x7FFFFFFF at offset 3"},
        {"sector larger than the buffer", big_low, big_high,
         "sector larger than 31995 words at offset " + std::to_string(big_low.size() - 3)},
        {"no data at all", kStx + "$A0010,\r\n" + kEtx, kStx + "$A0010,\r\n" + kEtx,
         "the image holds no data"},
    };
    for (const Case& c : cases) {
        Image image(c.low, c.high);
        std::string why;
        EXPECT_FALSE(image.files.validate(why)) << c.what;
        EXPECT_EQ(why, c.why) << c.what;
    }
}

TEST(ImageFiles, SectorOfExactlyTheBufferIsAccepted) {
    std::string low = kStx + "$A0000,\r\n";
    std::string high = low;
    for (int i = 0; i < 31995; ++i) {
        low += "11 ";
        high += "22 ";
    }
    Image image(low + kEtx, high + kEtx);
    std::string why;
    ASSERT_TRUE(image.files.validate(why)) << why;
    std::vector<uint16_t> words = image.sector(1);
    ASSERT_EQ(words.size(), 32000u);
    EXPECT_EQ(words[2], 0x2211);
    EXPECT_EQ(words[31997], static_cast<uint16_t>(31995u * 0x2211u)) << "low half of the sum";
}

TEST(ImageFiles, MissingFilesDoNotOpen) {
    ScratchDir dir;
    write_file("LSB.tmp", kStx + kEtx);
    ImageFiles files;
    EXPECT_FALSE(files.open());
}

}  // namespace
