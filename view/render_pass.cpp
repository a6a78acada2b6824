// SPDX-License-Identifier: MIT
#include "render_pass.h"

#include <algorithm>
#include <cstring>

#include "frame_history.h"
#include "quad.h"

int mode_index(const Controls& c) { return c.selectedRow * 3 + c.selectedColumn; }

int effect_for_mode(int modeIndex) {
    return static_cast<unsigned>(modeIndex) <= 4u ? modeIndex : 5;
}

void plain_picture(PipelineState& s) {
    const size_t n = static_cast<size_t>(std::min(s.rowBytes, s.srcRowBytes) - 1);
    const uint8_t* slot = s.sourceFrames[newest_slot(s)];
    for (int y = 0; y < s.Height; ++y) {
        std::memcpy(s.base + static_cast<size_t>(y) * s.rowBytes,
                    slot + static_cast<size_t>(y) * s.srcRowBytes + 1, n);
    }
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
    } else {
        plain_picture(s);
    }
    if (v.mirrorMode) mirror_rows(bm.data, s.rowBytes, s.Width, s.Height);
    if (h.draw) h.draw(bm);

    if (h.RecordingOn && *h.RecordingOn) {
        if (h.add_media_samples) h.add_media_samples(bm.data, s.rowBytes);
        return true;
    }
    const int newSize = c.sizeSwitchState == 1 ? kFullSize : kHalfSize;
    if (newSize != v.currentSize) {
        const int before = v.currentSize;
        v.currentSize = newSize;
        // A size whose blocks cannot be had has shown its alert; the pass goes on at the old size
        // and tries again only when the switch is next turned.
        if (!try_setup_size_params(s, newSize, true)) setup_size_params(s, before, true);
    }
    return true;
}
