// The loader's working directory as a test sets it up: the firmware and the
// converter side by side, as they ship.
#pragma once

#include <filesystem>

#include "tools/coff_builder/coff_builder.h"

namespace app_test {

inline void prepareWorkingDirectory(const coff_builder::CoffImage* firmware,
                                    bool withConverter = true) {
    if (firmware) coff_builder::write_file("fw417.out", *firmware);
    if (withConverter) std::filesystem::copy_file(ROMCVT_PATH, "romcvt");
}

inline bool temporaryFilesGone() {
    return !std::filesystem::exists("LSB.tmp") && !std::filesystem::exists("MSB.tmp");
}

// A firmware whose compatibility word (its first word) is `word`.
inline coff_builder::CoffImage firmwareWithCompatibility(uint16_t word) {
    coff_builder::CoffImage image;
    image.sections.push_back(coff_builder::Section{
        .name = ".text", .virtual_address = 0x80, .words = {word, 0x1111, 0x2222}});
    return image;
}

}  // namespace app_test
