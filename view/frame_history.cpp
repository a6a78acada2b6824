// SPDX-License-Identifier: MIT
#include "frame_history.h"

#include <sys/time.h>
#if defined(__linux__)
#include <sys/mman.h>
#endif

#include <cstdlib>
#include <cstring>

#include "grabber.h"
#include "error_msg.h"

namespace {

constexpr size_t kAlign = 16;

size_t round_up(size_t n, size_t to) { return (n + to - 1) / to * to; }

void fail(const char* what) {
    error_msg(what, 0);
    terminate_application();
}

bool make_bitmap(OutputBitmap& bm, int width, int height) {
    bm.width = width;
    bm.height = height;
    bm.rowBytes = static_cast<int>(round_up(4 * static_cast<size_t>(width), kAlign));
    size_t bytes = static_cast<size_t>(bm.rowBytes) * (height > 0 ? height : 1);
    bm.data = static_cast<uint8_t*>(reallocF(bm.data, bytes));
    if (!bm.data) return false;
    std::memset(bm.data, 0, bytes);
    return true;
}

}  // namespace

void* reallocF(void* buf, size_t bytes) {
    std::free(buf);
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    // The effects read the ring and the planes all over: on huge pages the address translations
    // stop missing.
    constexpr size_t kHugePage = 2 << 20;
    if (bytes >= kHugePage) {
        void* block = std::aligned_alloc(kHugePage, round_up(bytes, kHugePage));
        if (block) madvise(block, round_up(bytes, kHugePage), MADV_HUGEPAGE);
        return block;
    }
#endif
    return std::aligned_alloc(kAlign, round_up(bytes ? bytes : 1, kAlign));
}

void setup_size_params(PipelineState& s, int size, bool restart) {
    if (!s.sourceFrames) {
        s.sourceFrames = static_cast<uint8_t**>(std::calloc(kHistorySlots, sizeof(uint8_t*)));
        if (!s.sourceFrames) fail("memory allocation for sourceFrames");
    }
    if (size == kFullSize) {
        s.Width = s.LargeWidth;
        s.Height = s.LargeHeight;
        s.bitmap = &s.largeBitmap;
        s.srcRowBytes = s.LargeSrcRowBytes;
    } else if (size == kHalfSize) {
        s.Width = s.LargeWidth / 2;
        s.Height = s.LargeHeight / 2;
        s.bitmap = &s.smallBitmap;
        s.srcRowBytes = s.LargeSrcRowBytes / 2;
    }
    // Planes hold whole quads; the tail lanes of a row that is not a multiple of 4 are padding.
    s.planeWidth = (s.Width + 3) & ~3;
    s.planeFloats = 3 * static_cast<size_t>(s.planeWidth) * s.Height;

    const size_t planeBytes = 4 * s.planeFloats * sizeof(float);
    s.fBuffer = static_cast<float*>(reallocF(s.fBuffer, planeBytes));
    if (!s.fBuffer) fail("memory allocation for fBuffer");
    std::memset(s.fBuffer, 0, planeBytes);
    s.fBuffer1 = s.fBuffer + s.planeFloats;
    s.fBuffer2 = s.fBuffer + 2 * s.planeFloats;
    s.fBuffer3 = s.fBuffer + 3 * s.planeFloats;

    const size_t slotBytes = static_cast<size_t>(s.srcRowBytes) * s.Height;
    s.sourceFrames[0] = static_cast<uint8_t*>(reallocF(s.sourceFrames[0], slotBytes * kHistorySlots));
    if (!s.sourceFrames[0]) fail("memory allocation for sourceFrames[0 ..]");
    // Row y of every slot side by side: the random gathers of one row stay within a few hundred
    // kilobytes instead of spreading over the whole ring.
    s.ringRowBytes = static_cast<size_t>(s.srcRowBytes) * kHistorySlots;
    for (int i = 1; i < kHistorySlots; ++i) s.sourceFrames[i] = s.sourceFrames[i - 1] + s.srcRowBytes;

    s.hnalalaaxc = static_cast<float*>(reallocF(s.hnalalaaxc, s.planeWidth * sizeof(float)));
    if (!s.hnalalaaxc) fail("memory allocation for hnalalaaxc");

    s.SFIndex = 0;
    s.Depth = 0;
    change_camera_size(s, restart);
}

uint32_t current_time_ms() {
    static time_t startTime = 0;
    timeval tv;
    gettimeofday(&tv, nullptr);
    if (startTime == 0) startTime = tv.tv_sec;
    return static_cast<uint32_t>((tv.tv_sec - startTime) * 1000 + tv.tv_usec / 1000);
}

void set_camera_geometry(PipelineState& s, int largeWidth, int largeHeight) {
    s.LargeWidth = largeWidth;
    s.LargeHeight = largeHeight;
    s.LargeSrcRowBytes = 4 * largeWidth;
}

bool create_output_bitmaps(PipelineState& s) {
    if (!make_bitmap(s.largeBitmap, s.LargeWidth, s.LargeHeight)) {
        error_msg("create large NSBitmapImageRep", 0);
        return false;
    }
    if (!make_bitmap(s.smallBitmap, s.LargeWidth / 2, s.LargeHeight / 2)) {
        error_msg("create small NSBitmapImageRep", 0);
        return false;
    }
    set_image_size(s, static_cast<float>(s.LargeWidth), static_cast<float>(s.LargeHeight));
    return true;
}

void set_image_size(PipelineState& s, float width, float height) {
    s.smallBitmap.displayWidth = width;
    s.smallBitmap.displayHeight = height;
    s.largeBitmap.displayWidth = width;
    s.largeBitmap.displayHeight = height;
}

void release_pipeline(PipelineState& s) {
    if (s.sourceFrames) {
        std::free(s.sourceFrames[0]);
        std::free(s.sourceFrames);
    }
    std::free(s.fBuffer);
    std::free(s.hnalalaaxc);
    std::free(s.largeBitmap.data);
    std::free(s.smallBitmap.data);
    s = PipelineState{};
}
