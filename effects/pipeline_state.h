// SPDX-License-Identifier: MIT
// The live pipeline's process-wide state: camera geometry, the history ring, the float planes,
// the output bitmaps and the wave phases. One instance lives in main; tests build their own.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int kHistorySlots = 60;
constexpr int kMaxCameraHeight = 480;  // lines; taller cameras are scaled down to this

// Size codes of setup_size_params.
constexpr int kFullSize = 0;
constexpr int kHalfSize = 1;

class Grabber;
class RowPool;

// An output bitmap: 4 bytes per pixel, red, green, blue and one byte that is never shown.
// Rows start on 16-byte boundaries; rowBytes is a multiple of 16.
struct OutputBitmap {
    uint8_t* data = nullptr;
    int width = 0, height = 0;                  // pixels
    int rowBytes = 0;                           // bytes
    float displayWidth = 0, displayHeight = 0;  // size the picture is drawn at
};

struct PipelineState {
    // Camera geometry, fixed once the camera is set up.
    int LargeWidth = 0, LargeHeight = 0, LargeSrcRowBytes = 0;
    uint8_t* srcData = nullptr;  // camera buffer, A, R, G, B per pixel
    Grabber* grabber = nullptr;  // re-bounded on every size change; may be null
    RowPool* pool = nullptr;     // threads of the render pass; null runs it on the caller alone

    // Working size.
    int Width = 0, Height = 0, srcRowBytes = 0;
    int planeWidth = 0;  // Width rounded up to whole quads: the row length of every float plane

    // History ring, camera byte order. All slots live in one block owned by slot 0; the rows of
    // one slot lie ringRowBytes apart (the slots' rows may be interleaved).
    uint8_t** sourceFrames = nullptr;
    size_t ringRowBytes = 0;  // bytes
    int SFIndex = 0, Depth = 0;  // next slot; slots in use

    // Four float planes in one 16-byte-aligned block, zeroed at every size change.
    float *fBuffer = nullptr, *fBuffer1 = nullptr, *fBuffer2 = nullptr, *fBuffer3 = nullptr;
    size_t planeFloats = 0;        // floats in one plane: 3 * planeWidth * Height
    float* hnalalaaxc = nullptr;   // per-column table of the wave, planeWidth floats

    // Output of the current pass.
    OutputBitmap largeBitmap, smallBitmap;
    OutputBitmap* bitmap = nullptr;  // the bitmap in use
    uint8_t* base = nullptr;         // advanced row by row by the wave step
    int rowBytes = 0;

    // Wave phases in tenths of a degree, and the last pass's wave parameters.
    int Oc11 = 0, Oc12 = 0, Oc21 = 0, Oc22 = 0;
    float Theta = 0, Phi = 0, TT = 0;
};

// The view's own state that the ingestion and the render pass keep.
struct ViewState {
    uint32_t frameTime[20] = {};  // ms, from current_time_ms
    int timeFrames = 0;           // valid entries in frameTime
    int frameTimeIndex = 0;       // entry written next
    int count = 0;                // deliveries seen, the dropped ones included
    int currentSize = 0;          // size code in force
    bool mirrorMode = true;
};

// The controls' states as a render pass reads them.
struct Controls {
    bool effectEnabled = true;  // the effect matrix is enabled
    int selectedRow = 0, selectedColumn = 0;  // -1 where nothing is selected
    int sizeSwitchState = 0;    // 1 asks for full size
};

// Quad-planar float index of channel c of pixel (x, y) in a colour plane.
inline size_t plane_index(const PipelineState& s, int x, int y, int c) {
    return 3 * (static_cast<size_t>(y) * s.planeWidth + (x & ~3)) + 4 * c + (x & 3);
}

// Byte offset of row y within a history slot.
inline size_t ring_row(const PipelineState& s, int y) { return static_cast<size_t>(y) * s.ringRowBytes; }
// Row y of history slot k.
inline uint8_t* slot_row(const PipelineState& s, int k, int y) { return s.sourceFrames[k] + ring_row(s, y); }

// The slot that the latest ingestion wrote.
inline int newest_slot(const PipelineState& s) { return (s.SFIndex + kHistorySlots - 1) % kHistorySlots; }
