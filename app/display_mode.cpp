// SPDX-License-Identifier: MIT
// XRandR: the display's CRTC is set to a mode of the camera size, made on this service's own
// connection when the output has none, and the screen is resized to hold the new layout. The
// former CRTC configuration and screen size are kept for restore().
#include "display_mode.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// Codes of failures that are not X errors or RandR statuses.
constexpr int16_t kNoSuchDisplay = -1;   // no active CRTC holds the display's centre
constexpr int16_t kScreenTooLarge = -2;  // the new layout exceeds the screen's largest size

constexpr int kRefreshHz = 60;

// The first X error seen while the handler is installed. Xlib gives handlers no context, so the
// slot lives here; every X call runs on the main thread.
int& captured_x_error() {
    static int code = 0;
    return code;
}

int capture_x_error(Display*, XErrorEvent* e) {
    if (captured_x_error() == 0) captured_x_error() = e->error_code;
    return 0;
}

// Routes X errors into captured_x_error() for its lifetime and puts the former handler back.
class ErrorTrap {
public:
    explicit ErrorTrap(Display* dpy) : dpy(dpy) {
        XSync(dpy, False);
        captured_x_error() = 0;
        former = XSetErrorHandler(capture_x_error);
    }
    ~ErrorTrap() {
        XSync(dpy, False);
        XSetErrorHandler(former);
    }
    // The first error since the trap was set (or since the last call), after a round trip.
    int check() {
        XSync(dpy, False);
        const int code = captured_x_error();
        captured_x_error() = 0;
        return code;
    }

private:
    Display* dpy;
    XErrorHandler former = nullptr;
};

struct Rect {
    int x, y, w, h;
};

bool holds(const Rect& r, int px, int py) {
    return px >= r.x && px < r.x + r.w && py >= r.y && py < r.y + r.h;
}

// The CRTC's size on the screen for a mode of w x h under its rotation.
Rect crtc_rect(int x, int y, unsigned w, unsigned h, Rotation rotation) {
    if (rotation & (RR_Rotate_90 | RR_Rotate_270)) std::swap(w, h);
    return {x, y, static_cast<int>(w), static_cast<int>(h)};
}

const XRRModeInfo* find_mode(const XRRScreenResources* res, RRMode id) {
    for (int i = 0; i < res->nmode; ++i) {
        if (res->modes[i].id == id) return &res->modes[i];
    }
    return nullptr;
}

class XrandrDisplayModes final : public DisplayModes {
public:
    XrandrDisplayModes(Display* dpy) : dpy(dpy), root(DefaultRootWindow(dpy)) {}
    ~XrandrDisplayModes() override {
        restore();
        XCloseDisplay(dpy);
    }

    ModeSwitch switchToMode(const DisplayBounds& display, int width, int height) override;
    void restore() override;

private:
    struct Former {
        bool active = false;
        RRCrtc crtc = 0;
        RRMode mode = 0;
        int x = 0, y = 0;
        Rotation rotation = RR_Rotate_0;
        std::vector<RROutput> outputs;
        int screenWidth = 0, screenHeight = 0;  // pixels
        int screenMmWidth = 0, screenMmHeight = 0;
        RROutput output = 0;  // where a created mode was added
        RRMode created = 0;   // the mode this service made, 0 when it used an existing one
    };

    void screenSize(int* w, int* h) const {
        Window r;
        int x, y;
        unsigned uw = 0, uh = 0, border, depth;
        XGetGeometry(dpy, root, &r, &x, &y, &uw, &uh, &border, &depth);
        *w = static_cast<int>(uw);
        *h = static_cast<int>(uh);
    }
    // Millimetres for a screen of w x h pixels at the screen's present resolution (96 dpi when the
    // server reports no physical size).
    void screenMm(int w, int h, int* mmw, int* mmh) const {
        const int scr = DefaultScreen(dpy);
        const int pw = DisplayWidth(dpy, scr), ph = DisplayHeight(dpy, scr);
        const int mw = DisplayWidthMM(dpy, scr), mh = DisplayHeightMM(dpy, scr);
        *mmw = (pw > 0 && mw > 0) ? std::max(1, w * mw / pw) : std::max(1, w * 254 / 960);
        *mmh = (ph > 0 && mh > 0) ? std::max(1, h * mh / ph) : std::max(1, h * 254 / 960);
    }
    RRMode createMode(int width, int height);
    void dropCreated(RROutput output, RRMode mode);

    Display* dpy;
    Window root;
    Former former;
};

RRMode XrandrDisplayModes::createMode(int width, int height) {
    const std::string name = std::to_string(width) + "x" + std::to_string(height) + "-wobblescope";
    XRRModeInfo* info = XRRAllocModeInfo(name.c_str(), static_cast<int>(name.size()));
    if (!info) return 0;
    // Reduced-blanking timings at 60 Hz.
    info->width = width;
    info->height = height;
    info->hSyncStart = width + 48;
    info->hSyncEnd = width + 80;
    info->hTotal = width + 160;
    info->vSyncStart = height + 3;
    info->vSyncEnd = height + 7;
    info->vTotal = height + 23;
    info->dotClock = static_cast<unsigned long>(info->hTotal) * info->vTotal * kRefreshHz;
    info->modeFlags = RR_HSyncPositive | RR_VSyncNegative;
    const RRMode mode = XRRCreateMode(dpy, root, info);
    XRRFreeModeInfo(info);
    return mode;
}

void XrandrDisplayModes::dropCreated(RROutput output, RRMode mode) {
    if (!mode) return;
    if (output) XRRDeleteOutputMode(dpy, output, mode);
    XRRDestroyMode(dpy, mode);
}

ModeSwitch XrandrDisplayModes::switchToMode(const DisplayBounds& display, int width, int height) {
    restore();
    ModeSwitch result;
    result.bounds = display;
    ErrorTrap trap(dpy);

    XRRScreenResources* res = XRRGetScreenResourcesCurrent(dpy, root);
    if (!res) {
        result.status = kNoSuchDisplay;
        return result;
    }
    const int cx = display.x + display.width / 2, cy = display.y + display.height / 2;
    XRRCrtcInfo* crtc = nullptr;
    RRCrtc crtcId = 0;
    std::vector<Rect> others;  // every other active CRTC, for the new screen size
    for (int i = 0; i < res->ncrtc; ++i) {
        XRRCrtcInfo* ci = XRRGetCrtcInfo(dpy, res, res->crtcs[i]);
        if (!ci) continue;
        const Rect r = crtc_rect(ci->x, ci->y, ci->width, ci->height, ci->rotation);
        if (ci->mode != None && ci->noutput > 0) {
            if (!crtc && holds(r, cx, cy)) {
                crtc = ci;
                crtcId = res->crtcs[i];
                continue;
            }
            others.push_back(r);
        }
        XRRFreeCrtcInfo(ci);
    }
    if (!crtc) {
        XRRFreeScreenResources(res);
        result.status = kNoSuchDisplay;
        return result;
    }

    Former f;
    f.crtc = crtcId;
    f.mode = crtc->mode;
    f.x = crtc->x;
    f.y = crtc->y;
    f.rotation = crtc->rotation;
    f.outputs.assign(crtc->outputs, crtc->outputs + crtc->noutput);
    screenSize(&f.screenWidth, &f.screenHeight);
    screenMm(f.screenWidth, f.screenHeight, &f.screenMmWidth, &f.screenMmHeight);
    result.bounds = {crtc->x, crtc->y, static_cast<int>(crtc->width),
                     static_cast<int>(crtc->height)};

    // The nearest mode is one of exactly the camera size: the current one, another mode of the
    // output, or one made here.
    RRMode mode = 0;
    const XRRModeInfo* current = find_mode(res, crtc->mode);
    if (current && static_cast<int>(current->width) == width &&
        static_cast<int>(current->height) == height) {
        mode = crtc->mode;
    }
    XRROutputInfo* out = XRRGetOutputInfo(dpy, res, f.outputs[0]);
    for (int i = 0; out && !mode && i < out->nmode; ++i) {
        const XRRModeInfo* m = find_mode(res, out->modes[i]);
        if (m && static_cast<int>(m->width) == width && static_cast<int>(m->height) == height) {
            mode = m->id;
        }
    }
    if (out) XRRFreeOutputInfo(out);
    int status = 0;
    if (!mode) {
        mode = createMode(width, height);
        status = trap.check();
        if (!status && mode) {
            f.created = mode;
            f.output = f.outputs[0];
            XRRAddOutputMode(dpy, f.output, mode);
            status = trap.check();
        } else if (!status) {
            status = kNoSuchDisplay;
        }
    }

    // The screen must hold every CRTC after the switch.
    const Rect target = crtc_rect(crtc->x, crtc->y, width, height, crtc->rotation);
    int newW = target.x + target.w, newH = target.y + target.h;
    for (const Rect& r : others) {
        newW = std::max(newW, r.x + r.w);
        newH = std::max(newH, r.y + r.h);
    }
    int minW = 0, minH = 0, maxW = 0, maxH = 0;
    XRRGetScreenSizeRange(dpy, root, &minW, &minH, &maxW, &maxH);
    newW = std::max(newW, minW);
    newH = std::max(newH, minH);
    if (!status && (newW > maxW || newH > maxH)) status = kScreenTooLarge;

    bool grown = false;
    if (!status && (newW > f.screenWidth || newH > f.screenHeight)) {
        const int gw = std::max(newW, f.screenWidth), gh = std::max(newH, f.screenHeight);
        int mmw, mmh;
        screenMm(gw, gh, &mmw, &mmh);
        XRRSetScreenSize(dpy, root, gw, gh, mmw, mmh);
        status = trap.check();
        grown = status == 0;
    }
    if (!status) {
        const Status s =
            XRRSetCrtcConfig(dpy, res, crtcId, CurrentTime, crtc->x, crtc->y, mode, crtc->rotation,
                             f.outputs.data(), static_cast<int>(f.outputs.size()));
        const int err = trap.check();
        status = err ? err : s;
    }
    if (!status && (newW != f.screenWidth || newH != f.screenHeight)) {
        int mmw, mmh;
        screenMm(newW, newH, &mmw, &mmh);
        XRRSetScreenSize(dpy, root, newW, newH, mmw, mmh);
        trap.check();  // the CRTC is switched; a screen left larger than needed is harmless
    }
    XRRFreeCrtcInfo(crtc);
    XRRFreeScreenResources(res);

    if (status) {
        if (grown) {
            XRRSetScreenSize(dpy, root, f.screenWidth, f.screenHeight, f.screenMmWidth,
                             f.screenMmHeight);
        }
        dropCreated(f.output, f.created);
        trap.check();
        result.status = static_cast<int16_t>(status);
        return result;
    }

    f.active = true;
    former = std::move(f);
    // Read the CRTC back: the server's word on where the display now is.
    res = XRRGetScreenResourcesCurrent(dpy, root);
    if (res) {
        if (XRRCrtcInfo* ci = XRRGetCrtcInfo(dpy, res, former.crtc)) {
            const Rect r = crtc_rect(ci->x, ci->y, ci->width, ci->height, ci->rotation);
            result.bounds = {r.x, r.y, r.w, r.h};
            XRRFreeCrtcInfo(ci);
        }
        XRRFreeScreenResources(res);
    }
    return result;
}

void XrandrDisplayModes::restore() {
    if (!former.active) return;
    Former f = std::move(former);
    former = Former{};
    ErrorTrap trap(dpy);
    int w = 0, h = 0;
    screenSize(&w, &h);
    if (f.screenWidth > w || f.screenHeight > h) {
        int mmw, mmh;
        screenMm(std::max(w, f.screenWidth), std::max(h, f.screenHeight), &mmw, &mmh);
        XRRSetScreenSize(dpy, root, std::max(w, f.screenWidth), std::max(h, f.screenHeight), mmw,
                         mmh);
        trap.check();
    }
    if (XRRScreenResources* res = XRRGetScreenResourcesCurrent(dpy, root)) {
        XRRSetCrtcConfig(dpy, res, f.crtc, CurrentTime, f.x, f.y, f.mode, f.rotation,
                         f.outputs.data(), static_cast<int>(f.outputs.size()));
        trap.check();
        XRRFreeScreenResources(res);
    }
    screenSize(&w, &h);
    if (w != f.screenWidth || h != f.screenHeight) {
        XRRSetScreenSize(dpy, root, f.screenWidth, f.screenHeight, f.screenMmWidth,
                         f.screenMmHeight);
        trap.check();
    }
    dropCreated(f.output, f.created);
    trap.check();
}

}  // namespace

std::unique_ptr<DisplayModes> open_xrandr_display_modes(const char* displayName) {
    Display* dpy = XOpenDisplay(displayName);
    if (!dpy) return nullptr;
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!XRRQueryExtension(dpy, &eventBase, &errorBase) || !XRRQueryVersion(dpy, &major, &minor) ||
        major < 1 || (major == 1 && minor < 2)) {
        XCloseDisplay(dpy);
        return nullptr;
    }
    return std::make_unique<XrandrDisplayModes>(dpy);
}
