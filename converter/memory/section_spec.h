// An entry of the section list: which COFF section is converted, where its
// data starts, with which data width, and whether it is boot-loaded.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "converter/driver/settings.h"

namespace romcvt {

struct RomRange;

enum SpecFlag : uint16_t {
    kBootLoaded = 0x01,
    kRamCinit = 0x02,
    kGapReported = 0x04,
    kMarked = 0x08,
    kMapped = 0x10,
};

struct SectionSpec {
    std::string name;
    int section = -1;  // index into the COFF section table; -1 unbound
    uint32_t paddr = kNotGiven;
    uint32_t start_address = kNotGiven;
    int32_t page = 0;
    uint32_t last_address = 0;
    int32_t data_width = -1;  // bytes; -1 not given
    RomRange* range = nullptr;
    uint16_t flags = 0;

    bool has(SpecFlag flag) const { return (flags & flag) != 0; }
    void set(SpecFlag flag) { flags |= flag; }
    void clear(SpecFlag flag) { flags &= static_cast<uint16_t>(~flag); }
};

struct SectionList {
    std::vector<std::unique_ptr<SectionSpec>> sections_list;
    // The entry a SECTIONS directive is defining; it joins sections_list
    // when complete, and is dropped when a syntax error cuts it off.
    std::unique_ptr<SectionSpec> pending_spec;
    SectionSpec* current_spec = nullptr;
    int32_t selected_count = 0;
};

}  // namespace romcvt
