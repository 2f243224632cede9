#pragma once
// Little-endian integers appended to a byte vector, as both file formats we write store them.

#include <cstdint>
#include <vector>

namespace datagen {

inline void appendLE16(std::vector<uint8_t>& out, uint16_t x) {
    out.push_back(static_cast<uint8_t>(x));
    out.push_back(static_cast<uint8_t>(x >> 8));
}

inline void appendLE32(std::vector<uint8_t>& out, uint32_t x) {
    appendLE16(out, static_cast<uint16_t>(x));
    appendLE16(out, static_cast<uint16_t>(x >> 16));
}

}  // namespace datagen
