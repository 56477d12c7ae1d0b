// Conversions between target address units and bytes. An address unit is
// 16 bits, or one byte where the memory width is one byte.
#pragma once

#include <cstdint>

namespace romcvt {

inline uint32_t to_bytes(uint32_t count, int32_t unit) {
    return unit > 1 ? count * 2 : count * static_cast<uint32_t>(unit);
}

inline uint32_t from_bytes(uint32_t count, int32_t unit) {
    return unit > 1 ? count / 2 : count / static_cast<uint32_t>(unit);
}

// Address units spanned by section data that starts offset_words 16-bit
// COFF words into its section, for a data width and a memory width in
// bytes. Every COFF word yields two bytes of data, or one for 8-bit data.
// For 8- and 16-bit widths this is offset * (dw / mw) or offset / (mw / dw);
// unlike those ratios it stays consistent for wider words, where one
// address unit is still 16 bits.
inline uint32_t physical_offset(uint32_t offset_words, int32_t data_width, int32_t mem_width) {
    uint64_t bytes = data_width < 2 ? offset_words : uint64_t{offset_words} * 2;
    uint64_t units = mem_width > 1 ? bytes / 2 : bytes / static_cast<uint64_t>(mem_width);
    return static_cast<uint32_t>(units);
}

}  // namespace romcvt
