#include <stdexcept>
#include <string>

#include "tools/coff_builder/coff_builder.h"

namespace coff_builder {
namespace {

Section data_section(const char* name, uint32_t address, std::vector<uint16_t> words,
                     uint16_t page = 0) {
    Section s;
    s.name = name;
    s.virtual_address = address;
    s.words = std::move(words);
    s.page = page;
    return s;
}

}  // namespace

CoffImage sample_firmware() {
    CoffImage image;
    image.magic = 0x00C2;
    image.entry_point = 0x0081;  // the code starts right after the compatibility word

    // Every run of contiguous words stays below the loader's sector capacity
    // of 31995 words, with gaps between the sections so that the image has
    // several sectors.
    std::vector<uint16_t> text = random_words(0x6000, 417);
    text[0] = kSampleCompatibilityWord;
    image.sections.push_back(data_section(".text", 0x0080, std::move(text)));

    // Records fill separate parts of .bss (0xA000..0xA7FF), one of them a few hundred
    // words long; they are loaded only through .cinit.
    image.sections.push_back(cinit_section({{0xA000, random_words(16, 11)},
                                            {0xA010, random_words(200, 12)},
                                            {0xA100, random_words(400, 13)},
                                            {0xA300, ramp_words(48, 0x7FF0)}},
                                           0xB000));
    image.sections.push_back(data_section(".const", 0x6100, random_words(0x180, 2)));
    image.sections.push_back(data_section(".econst_tables", 0x6300, ramp_words(0x100, 0xFF80)));
    image.sections.push_back(data_section(".flash_ops", 0x7000, random_words(0x2800, 5)));
    image.sections.push_back(data_section(".data", 0x0400, random_words(0x180, 4), 1));

    Section bss;
    bss.name = ".bss";
    bss.virtual_address = 0xA000;
    bss.size_in_words = 0x800;
    bss.flags = kSectionUninitialized;
    image.sections.push_back(bss);
    return image;
}

std::map<uint32_t, uint16_t> sample_firmware_page0_words() {
    return expected_page_words(sample_firmware(), 0);
}

CoffImage big_image(uint32_t mebibytes) {
    if (mebibytes < 1 || mebibytes > 4095) {
        throw std::invalid_argument("big image size must be 1 to 4095 MiB");
    }
    constexpr uint32_t kWordsPerMib = 0x80000;
    CoffImage image;
    image.entry_point = 0x0081;
    for (uint32_t i = 0; i < mebibytes; ++i) {
        std::string name = i == 0 ? ".text" : ".blk" + std::to_string(i);
        // Alternate smooth and noisy data so that record writers see both kinds.
        std::vector<uint16_t> words = i % 2 == 0
                                          ? ramp_words(kWordsPerMib, static_cast<uint16_t>(i))
                                          : random_words(kWordsPerMib, i);
        if (i == 0) words[0] = kSampleCompatibilityWord;
        image.sections.push_back(
            data_section(name.c_str(), 0x80 + i * kWordsPerMib, std::move(words)));
    }
    return image;
}

}  // namespace coff_builder
