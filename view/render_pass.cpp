// SPDX-License-Identifier: MIT
#include "render_pass.h"

#include <algorithm>
#include <cstring>

#include "frame_history.h"
#include "quad.h"
#include "row_pool.h"

int mode_index(const Controls& c) { return c.selectedRow * 3 + c.selectedColumn; }

int effect_for_mode(int modeIndex) {
    return static_cast<unsigned>(modeIndex) <= 4u ? modeIndex : 5;
}

namespace {

// Rows y0 to y1 - 1 of the plain picture: the row's bytes from byte 1 on, one byte down, read
// and written 16 at a time with the output aligned; the last few bytes by a block copy.
void plain_rows(const PipelineState& s, int newest, int y0, int y1) {
    using namespace quad;
    const size_t n = static_cast<size_t>(std::min(s.rowBytes, s.srcRowBytes) - 1);
    for (int y = y0; y < y1; ++y) {
        uint8_t* out = s.base + static_cast<size_t>(y) * s.rowBytes;
        const uint8_t* src = slot_row(s, newest, y);
        if (y + 1 < y1) prefetch_row(slot_row(s, newest, y + 1), s.srcRowBytes);
        size_t i = 0;
        if (n >= 32) {
            i4 v = loadu_pixels(src);
            // Reads bytes up to i + 31 of the row, no further than byte n.
            for (; i + 31 <= n; i += 16) {
                const i4 next = loadu_pixels(src + i + 16);
                store_pixels(out + i, bytes_from_one(v, next));
                v = next;
            }
        }
        std::memcpy(out + i, src + i + 1, n - i);
    }
}

void mirror_band(const PipelineState& s, uint8_t* data, int y0, int y1) {
    mirror_rows(data + static_cast<size_t>(y0) * s.rowBytes, s.rowBytes, s.Width, y1 - y0);
}

}  // namespace

void plain_picture(PipelineState& s) {
    const int newest = newest_slot(s);
    run_rows(s.pool, s.Height, [&](int y0, int y1) { plain_rows(s, newest, y0, y1); });
}

namespace ref {

void mirror_rows(uint8_t* data, int rowBytes, int width, int height) {
    for (int y = 0; y < height; ++y) {
        uint32_t* px = reinterpret_cast<uint32_t*>(data + static_cast<size_t>(y) * (rowBytes & ~3));
        std::reverse(px, px + width);
    }
}

}  // namespace ref

void mirror_rows(uint8_t* data, int rowBytes, int width, int height) {
    using namespace quad;
    const size_t stride = static_cast<size_t>(rowBytes & ~3);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = data + y * stride;
        int i = 0, j = width;
        // Whole quads from both ends, each reversed on the way.
        for (; j - i >= 8; i += 4, j -= 4) {
            const i4 left = loadu_pixels(row + 4 * i);
            const i4 right = loadu_pixels(row + 4 * (j - 4));
            storeu_pixels(row + 4 * i, reverse_pixels(right));
            storeu_pixels(row + 4 * (j - 4), reverse_pixels(left));
        }
        uint32_t* px = reinterpret_cast<uint32_t*>(row);
        std::reverse(px + i, px + j);
    }
}

bool render_pass(PipelineState& s, ViewState& v, const Controls& c, const RenderHooks& h) {
    if (s.Depth <= 1) return false;
    OutputBitmap& bm = *s.bitmap;
    s.rowBytes = bm.rowBytes;
    s.base = bm.data;

    if (c.effectEnabled) {
        h.steps[effect_for_mode(mode_index(c))](s);
        if (v.mirrorMode) run_rows(s.pool, s.Height, [&](int y0, int y1) { mirror_band(s, bm.data, y0, y1); });
    } else {
        // Each band mirrors the rows it has just copied.
        const int newest = newest_slot(s);
        run_rows(s.pool, s.Height, [&](int y0, int y1) {
            plain_rows(s, newest, y0, y1);
            if (v.mirrorMode) mirror_band(s, bm.data, y0, y1);
        });
    }
    if (h.draw) h.draw(bm);

    if (h.RecordingOn && *h.RecordingOn) {
        if (h.add_media_samples) h.add_media_samples(bm.data, s.rowBytes);
        return true;
    }
    const int newSize = c.sizeSwitchState == 1 ? kFullSize : kHalfSize;
    if (newSize != v.currentSize) {
        v.currentSize = newSize;
        setup_size_params(s, newSize, true);
    }
    return true;
}
