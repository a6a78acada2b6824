// SPDX-License-Identifier: MIT
#include "opaque_pixels.h"

#include <bit>
#include <cstddef>
#include <cstring>

void make_pixels_opaque(uint8_t* data, int rowBytes, int width, int height) {
    static_assert(std::endian::native == std::endian::little);
    constexpr uint32_t kByte3 = 0xFFu << 24;  // byte 3 of a pixel read as one word
    for (int y = 0; y < height; ++y) {
        uint8_t* row = data + static_cast<size_t>(y) * rowBytes;
        for (int x = 0; x < width; ++x) {
            uint32_t px;
            std::memcpy(&px, row + 4 * x, 4);
            px |= kByte3;
            std::memcpy(row + 4 * x, &px, 4);
        }
    }
}
