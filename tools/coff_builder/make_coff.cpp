// make_coff: writes COFF test inputs (the sample firmware, an image built from a text
// description, or a large image for benchmarks).
#include <charconv>
#include <exception>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>

#include "tools/coff_builder/coff_builder.h"
#include "tools/coff_builder/description.h"

namespace {

int usage() {
    std::cerr
        << "usage: make_coff sample OUT\n"
           "       make_coff describe DESCRIPTION OUT\n"
           "       make_coff big MIB OUT [RAW]  (MIB: 1 to 4095; RAW: the section data alone)\n";
    return 2;
}

bool parse_mebibytes(const std::string& text, uint32_t& value) {
    const char* last = text.data() + text.size();
    const auto [end, ec] = std::from_chars(text.data(), last, value);
    return ec == std::errc() && end == last && value >= 1 && value <= 4095;
}

// The section data as one little-endian byte stream, for peers that read
// raw binaries.
void write_raw_data(const std::string& path, const coff_builder::CoffImage& image) {
    std::ofstream out(path, std::ios::binary);
    std::string bytes;
    for (const coff_builder::Section& section : image.sections) {
        bytes.resize(section.words.size() * 2);
        for (size_t i = 0; i < section.words.size(); ++i) {
            bytes[2 * i] = static_cast<char>(section.words[i] & 0xFF);
            bytes[2 * i + 1] = static_cast<char>(section.words[i] >> 8);
        }
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    try {
        if (command == "sample" && argc == 3) {
            coff_builder::write_file(argv[2], coff_builder::sample_firmware());
        } else if (command == "describe" && argc == 4) {
            std::ifstream description(argv[2]);
            if (!description) {
                std::cerr << "make_coff: cannot open " << argv[2] << "\n";
                return 1;
            }
            coff_builder::write_file(argv[3],
                                     coff_builder::parse_description(description, argv[2]));
        } else if (command == "big" && (argc == 4 || argc == 5)) {
            uint32_t mebibytes = 0;
            if (!parse_mebibytes(argv[2], mebibytes)) return usage();
            coff_builder::CoffImage image = coff_builder::big_image(mebibytes);
            coff_builder::write_file(argv[3], image);
            if (argc == 5) write_raw_data(argv[4], image);
        } else {
            return usage();
        }
    } catch (const std::exception& e) {
        std::cerr << "make_coff: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
