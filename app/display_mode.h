// SPDX-License-Identifier: MIT
// The display-mode service of full-screen presentation: switches one display to the existing mode
// nearest the camera size and later puts the former mode back. Qt-free.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

// A mode's size in pixels.
struct ModeSize {
    int width = 0, height = 0;
};

// The index in `modes` of the mode nearest width x height: among the modes at least that large in
// both directions the one with the smallest |dw| + |dh|; only where none is that large, the
// nearest of all. A tie goes to `current` (the mode in force) if it is one of the tied, else to the
// earlier mode. -1 for an empty list.
int nearest_mode(const std::vector<ModeSize>& modes, int width, int height, int current = -1);

// A display's rectangle in the desktop's global coordinates (pixels, y downward).
struct DisplayBounds {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const DisplayBounds&) const = default;
};

struct ModeSwitch {
    int16_t status = 0;    // 0 when the display was switched, otherwise the failure's code
    DisplayBounds bounds;  // the display's bounds after the attempt (unchanged on failure)
};

class DisplayModes {
public:
    virtual ~DisplayModes() = default;
    // Switches the display whose bounds hold the centre of `display` to the mode of its output
    // nearest width x height (32 bits per pixel where the display has a choice); modes are never
    // made up. Where that mode is the one in force, nothing is switched and status is 0. On failure
    // the display is left as it was.
    virtual ModeSwitch switchToMode(const DisplayBounds& display, int width, int height) = 0;
    // Puts back the mode in force before the last successful switch; nothing when there was none.
    virtual void restore() = 0;
};

// The service on the X server named by displayName (null: $DISPLAY), over a connection of its own.
// Null when there is no such server or it lacks RandR 1.2.
std::unique_ptr<DisplayModes> open_xrandr_display_modes(const char* displayName = nullptr);
