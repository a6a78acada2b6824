// SPDX-License-Identifier: MIT
// The display-mode service of full-screen presentation: switches one display to the mode nearest
// the camera size and later puts the former mode back. Qt-free.
#pragma once

#include <cstdint>
#include <memory>

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
    // Switches the display whose bounds hold the centre of `display` to the mode nearest
    // width x height (32 bits per pixel where the display has a choice). On failure the display is
    // left as it was.
    virtual ModeSwitch switchToMode(const DisplayBounds& display, int width, int height) = 0;
    // Puts back the mode in force before the last successful switch; nothing when there was none.
    virtual void restore() = 0;
};

// The service on the X server named by displayName (null: $DISPLAY), over a connection of its own,
// which it keeps, since a mode it creates lives only as long as that connection. Null when there
// is no such server or it lacks RandR 1.2.
std::unique_ptr<DisplayModes> open_xrandr_display_modes(const char* displayName = nullptr);
