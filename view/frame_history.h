// SPDX-License-Identifier: MIT
// The history ring, the float planes, the per-column table and the output bitmaps.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pipeline_state.h"

// Frees buf if it is not null, then allocates bytes (16-byte aligned, contents undefined).
// Returns null when the allocation fails.
void* reallocF(void* buf, size_t bytes);

// Sets the working size (kFullSize or kHalfSize; any other code keeps the size), reallocates
// and clears the ring and the planes, then re-bounds the camera. An allocation failure is
// reported and ends the process.
void setup_size_params(PipelineState& s, int size, bool restart);
// The same, but an allocation that cannot be had is reported (the design's text, then the cause
// in plain words), every block of the ring and the planes is let go, the camera is not
// re-bounded, and false comes back: the caller sizes the pipeline again, smaller.
bool try_setup_size_params(PipelineState& s, int size, bool restart);

// Milliseconds since the start of the second in which it was first called.
uint32_t current_time_ms();

// Sizes the camera geometry from the camera's (possibly reduced) frame size.
void set_camera_geometry(PipelineState& s, int largeWidth, int largeHeight);

// Creates both output bitmaps for the camera size, the small one with the large one's display
// size. Reports "create large NSBitmapImageRep" or "create small NSBitmapImageRep" and returns
// false on failure.
bool create_output_bitmaps(PipelineState& s);

// Gives both bitmaps a new display size; pixels and working size stay as they are.
void set_image_size(PipelineState& s, float width, float height);

// Releases every block of the pipeline (tests and tools; the live program keeps them).
void release_pipeline(PipelineState& s);
