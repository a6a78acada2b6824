// SPDX-License-Identifier: MIT
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "error_msg.h"
#include "recording.h"

namespace {

constexpr Fixed k72dpi = 72 * kFixed1;
constexpr int kMaxWidth = (INT32_MAX - 16) / 4;  // pixels: a row's length fits its field

void fill_pixmap(PixMap& pm, uint8_t* pixels, int rowBytes, const Rect16& bounds) {
    pm = PixMap{};
    pm.baseAddr = pixels;
    pm.rowBytes = rowBytes;
    pm.bounds = bounds;
    pm.hRes = k72dpi;
    pm.vRes = k72dpi;
    pm.pixelType = RGBDirect;
    pm.pixelSize = 32;
    pm.cmpCount = 3;
    pm.cmpSize = 8;
    pm.pixelFormat = k32ARGBPixelFormat;
}

}  // namespace

bool setup_rec_frame_pixmap(RecordingState& r, const PipelineState& s) {
    if (r.recFrameBuffer && r.RecFrameRect.right == s.Width && r.RecFrameRect.bottom == s.Height)
        return true;
    if (r.RecFrameRect.right > 0 && r.recFrameBuffer) r.recFrameBuffer.reset();

    // A size whose lines do not fit the pixel map's 16-bit bounds cannot be recorded.
    if (s.Width <= 0 || s.Height <= 0 || s.Width > kMaxWidth || s.Width > INT16_MAX ||
        s.Height > INT16_MAX) {
        r.MoviePixMap = nullptr;
        r.RecFrameRect = Rect16{};
        error_msg("setup_rec_frame_pixmap", 0);
        return false;
    }
    const int rowBytes = 4 * s.Width + 16;
    r.RecFrameRect.bottom = static_cast<int16_t>(s.Height);
    r.RecFrameRect.right = static_cast<int16_t>(s.Width);
    r.RecFramePM = PixMap{};

    const size_t bytes = static_cast<size_t>(rowBytes) * s.Height;
    // Rows of 4 x Width + 16 bytes start on 16-byte boundaries when Width is a multiple of 4.
    auto* buffer = static_cast<uint8_t*>(std::aligned_alloc(16, (bytes + 15) & ~size_t{15}));
    if (!buffer) {
        r.MoviePixMap = nullptr;
        error_msg("setup_rec_frame_pixmap", 0);
        return false;
    }
    r.recFrameBuffer = std::unique_ptr<uint8_t, void (*)(void*)>(buffer, std::free);
    fill_pixmap(r.RecFramePM, buffer, rowBytes, r.RecFrameRect);
    r.RecFramePMP = &r.RecFramePM;
    r.MoviePixMap = &r.RecFramePMP;
    return true;
}

void copy_bm_to_pm(const PipelineState& s, const uint8_t* source, int sourceRowBytes,
                   PixMapHandle pixmap) {
    uint8_t* destination = (*pixmap)->baseAddr;
    const int destinationRowBytes = pixmap_row_bytes(pixmap);
    const int n = std::min(sourceRowBytes, destinationRowBytes) - 1;
    if (n <= 0) return;
    const int rows = std::min(s.Height, (*pixmap)->bounds.bottom - (*pixmap)->bounds.top);
    for (int y = 0; y < rows; ++y) {
        std::memcpy(destination + 1, source, static_cast<size_t>(n));
        source += sourceRowBytes;
        destination += destinationRowBytes;
    }
}

int16_t new_gworld(OffscreenWorld& world, const Rect16& rect) {
    const int w = rect.right - rect.left, h = rect.bottom - rect.top;
    if (w <= 0 || h <= 0 || w > kMaxWidth - 4) return paramErr;
    const int rowBytes = (4 * w + 15) & ~15;
    world.pixels.reset(new (std::nothrow) uint8_t[static_cast<size_t>(rowBytes) * h]());
    if (!world.pixels) return memFullErr;
    fill_pixmap(world.pm, world.pixels.get(), rowBytes, rect);
    world.pmp = &world.pm;
    return 0;
}
