// The settings record of one conversion run. Widths are held in bytes
// although options give them in bits; kNotGiven marks a numeric field that
// no option or directive set.
#pragma once

#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <optional>
#include <string>

namespace romcvt {

inline constexpr uint32_t kNotGiven = 0xFFFFFFFFu;

enum ByteOrder : int { kOrderNotSet = 0, kLeastFirst = 1, kMostFirst = 2 };
enum BootKind : int {
    kBootNone = 0,
    kBootComm = 1,
    kBootSerial = 2,
    kBootParallel = 3,
    kBootWarm = 4
};

struct FileCloser {
    void operator()(std::FILE* file) const {
        if (file) std::fclose(file);
    }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

struct ConversionSettings {
    int format = 7;  // row of the output format table: "Extended Tektronix"
    bool quiet = false;
    int verbose = 0;
    int32_t entry_point = -1;
    bool image = false;
    bool zero = false;
    bool byte_addresses = false;
    bool boot = false;
    uint32_t fill_value = 0;
    int32_t rom_width = 1;
    bool rom_width_given = false;
    int32_t mem_width = 2;
    int32_t data_width = 2;
    int32_t line_length = 20;
    int byte_order = kOrderNotSet;
    int boot_kind = kBootNone;
    bool warm_boot = false;
    int32_t boot_origin = -1;
    int32_t boot_page = 0;
    uint32_t spc = 24, spce = 3, arr = 2048, bkr = 16, tcsr = 0, trta = 1, swwsr = 0x7FFF,
             bscr = 0xF800;
    FileHandle map_stream;
    std::string map_name;
    std::deque<std::string> output_names;
    std::optional<std::string> input_name;
    FileHandle input_stream;
};

}  // namespace romcvt
