// SPDX-License-Identifier: MIT
// The unshown fourth byte of the output pixels, made harmless for drawing.
#pragma once

#include <cstdint>

// Sets byte 3 of the first `width` pixels of every row to 0xFF, so that a painter that reads the
// byte as alpha draws the pixel opaque. Bytes 0 to 2 are left as they are.
void make_pixels_opaque(uint8_t* data, int rowBytes, int width, int height);
