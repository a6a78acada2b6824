// SPDX-License-Identifier: MIT
// One render pass: compose the picture of the selected effect (or the plain picture), mirror
// it, draw it, and hand it to the recording or apply a pending size change.
#pragma once

#include <cstdint>
#include <functional>

#include "effects.h"
#include "pipeline_state.h"

struct RenderHooks {
    std::function<void(const OutputBitmap&)> draw;  // draws the bitmap into the view
    const uint8_t* RecordingOn = nullptr;           // nonzero while a movie is recorded
    std::function<bool(const uint8_t* data, int rowBytes)> add_media_samples;
    const EffectStep* steps = kEffectSteps;         // ref::kEffectSteps runs the scalar twins
};

// The mode index of the controls: row * 3 + column of the selected cell.
int mode_index(const Controls& c);
// The effect that a mode index selects: 0 to 4 as they are, anything else motion paint (5).
int effect_for_mode(int modeIndex);

// Returns true when the pass composed and drew a picture (the ring held two frames or more).
bool render_pass(PipelineState& s, ViewState& v, const Controls& c, const RenderHooks& h);

// The plain picture: the newest frame's red, green and blue, one block copy per row.
void plain_picture(PipelineState& s);

// Reverses the first `width` pixels of every row; byte 3 travels with its pixel.
void mirror_rows(uint8_t* data, int rowBytes, int width, int height);
namespace ref {
void mirror_rows(uint8_t* data, int rowBytes, int width, int height);
}
