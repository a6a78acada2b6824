// SPDX-License-Identifier: MIT
// XRandR: the display's CRTC is set to the existing mode of its output nearest the camera size,
// and the screen is resized to hold the new layout. No mode is ever made up: a monitor may be
// unable to show timings it did not offer. The former CRTC configuration and screen size are kept
// for restore().
#include "display_mode.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

int nearest_mode(const std::vector<ModeSize>& modes, int width, int height, int current) {
    const auto large_enough = [&](const ModeSize& m) {
        return m.width >= width && m.height >= height;
    };
    const bool anyLargeEnough = std::any_of(modes.begin(), modes.end(), large_enough);
    const auto distance = [&](const ModeSize& m) {
        return std::abs(m.width - width) + std::abs(m.height - height);
    };
    int best = -1;
    for (int i = 0; i < static_cast<int>(modes.size()); ++i) {
        if (anyLargeEnough && !large_enough(modes[i])) continue;
        if (best < 0 || distance(modes[i]) < distance(modes[best])) best = i;
    }
    const bool currentTies = current >= 0 && current < static_cast<int>(modes.size()) &&
                             (!anyLargeEnough || large_enough(modes[current])) &&
                             distance(modes[current]) == distance(modes[best]);
    return currentTies ? current : best;
}

namespace {

// Codes of failures that are not X errors or RandR statuses.
constexpr int16_t kNoSuchDisplay = -1;   // no active CRTC holds the display's centre
constexpr int16_t kScreenTooLarge = -2;  // the new layout exceeds the screen's largest size
constexpr int16_t kNoMode = -3;          // the display's output offers no mode

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

struct FreeResources {
    void operator()(XRRScreenResources* r) const { XRRFreeScreenResources(r); }
};
struct FreeCrtc {
    void operator()(XRRCrtcInfo* c) const { XRRFreeCrtcInfo(c); }
};
struct FreeOutput {
    void operator()(XRROutputInfo* o) const { XRRFreeOutputInfo(o); }
};
using Resources = std::unique_ptr<XRRScreenResources, FreeResources>;
using CrtcInfo = std::unique_ptr<XRRCrtcInfo, FreeCrtc>;
using OutputInfo = std::unique_ptr<XRROutputInfo, FreeOutput>;

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

// The active CRTC whose rectangle holds (cx, cy), and the rectangles of every other active one.
struct CrtcChoice {
    RRCrtc id = 0;
    CrtcInfo info;
    std::vector<Rect> others;
};

CrtcChoice find_crtc(Display* dpy, XRRScreenResources* res, int cx, int cy) {
    CrtcChoice choice;
    for (int i = 0; i < res->ncrtc; ++i) {
        CrtcInfo ci(XRRGetCrtcInfo(dpy, res, res->crtcs[i]));
        if (!ci || ci->mode == None || ci->noutput == 0) continue;
        const Rect r = crtc_rect(ci->x, ci->y, ci->width, ci->height, ci->rotation);
        if (!choice.info && holds(r, cx, cy)) {
            choice.id = res->crtcs[i];
            choice.info = std::move(ci);
        } else {
            choice.others.push_back(r);
        }
    }
    return choice;
}

// The mode of the CRTC's first output nearest width x height; 0 when the output offers none.
const XRRModeInfo* choose_mode(Display* dpy, XRRScreenResources* res, const XRRCrtcInfo& crtc,
                               int width, int height) {
    OutputInfo out(XRRGetOutputInfo(dpy, res, crtc.outputs[0]));
    if (!out) return nullptr;
    std::vector<const XRRModeInfo*> infos;
    std::vector<ModeSize> sizes;
    int current = -1;
    for (int i = 0; i < out->nmode; ++i) {
        const XRRModeInfo* m = find_mode(res, out->modes[i]);
        if (!m) continue;
        if (m->id == crtc.mode) current = static_cast<int>(infos.size());
        infos.push_back(m);
        sizes.push_back({static_cast<int>(m->width), static_cast<int>(m->height)});
    }
    const int best = nearest_mode(sizes, width, height, current);
    return best < 0 ? nullptr : infos[best];
}

class XrandrDisplayModes final : public DisplayModes {
public:
    explicit XrandrDisplayModes(Display* dpy) : dpy(dpy), root(DefaultRootWindow(dpy)) {}
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
    };

    Former formerOf(RRCrtc id, const XRRCrtcInfo& crtc) const;
    // Sets the CRTC to `mode`, growing the screen first and fitting it afterwards. Returns 0 or
    // the failure's code; on failure the screen's size is put back.
    int applyMode(XRRScreenResources* res, const CrtcChoice& c, const XRRModeInfo& mode,
                  const Former& f, ErrorTrap& trap);
    // The screen size that holds the switched CRTC and every other one, at least the minimum.
    void neededScreen(const CrtcChoice& c, const XRRModeInfo& mode, int* w, int* h) const;
    void setScreenSize(int w, int h);
    DisplayBounds readBack(RRCrtc crtc) const;

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

    Display* dpy;
    Window root;
    Former former;
};

XrandrDisplayModes::Former XrandrDisplayModes::formerOf(RRCrtc id, const XRRCrtcInfo& crtc) const {
    Former f;
    f.crtc = id;
    f.mode = crtc.mode;
    f.x = crtc.x;
    f.y = crtc.y;
    f.rotation = crtc.rotation;
    f.outputs.assign(crtc.outputs, crtc.outputs + crtc.noutput);
    screenSize(&f.screenWidth, &f.screenHeight);
    screenMm(f.screenWidth, f.screenHeight, &f.screenMmWidth, &f.screenMmHeight);
    return f;
}

void XrandrDisplayModes::setScreenSize(int w, int h) {
    int mmw, mmh;
    screenMm(w, h, &mmw, &mmh);
    XRRSetScreenSize(dpy, root, w, h, mmw, mmh);
}

void XrandrDisplayModes::neededScreen(const CrtcChoice& c, const XRRModeInfo& mode, int* w,
                                      int* h) const {
    const XRRCrtcInfo& crtc = *c.info;
    const Rect target = crtc_rect(crtc.x, crtc.y, mode.width, mode.height, crtc.rotation);
    *w = target.x + target.w;
    *h = target.y + target.h;
    for (const Rect& r : c.others) {
        *w = std::max(*w, r.x + r.w);
        *h = std::max(*h, r.y + r.h);
    }
    int minW = 0, minH = 0, maxW = 0, maxH = 0;
    XRRGetScreenSizeRange(dpy, root, &minW, &minH, &maxW, &maxH);
    *w = std::max(*w, minW);
    *h = std::max(*h, minH);
    if (*w > maxW || *h > maxH) *w = *h = -1;
}

int XrandrDisplayModes::applyMode(XRRScreenResources* res, const CrtcChoice& c,
                                  const XRRModeInfo& mode, const Former& f, ErrorTrap& trap) {
    int newW, newH;
    neededScreen(c, mode, &newW, &newH);
    if (newW < 0) return kScreenTooLarge;
    bool grown = false;
    int status = 0;
    if (newW > f.screenWidth || newH > f.screenHeight) {
        setScreenSize(std::max(newW, f.screenWidth), std::max(newH, f.screenHeight));
        status = trap.check();
        grown = status == 0;
    }
    if (!status) {
        const XRRCrtcInfo& crtc = *c.info;
        const Status s = XRRSetCrtcConfig(dpy, res, c.id, CurrentTime, crtc.x, crtc.y, mode.id,
                                          crtc.rotation, crtc.outputs, crtc.noutput);
        const int err = trap.check();
        status = err ? err : s;
    }
    if (status) {
        if (grown) setScreenSize(f.screenWidth, f.screenHeight);
        trap.check();
        return status;
    }
    if (newW != f.screenWidth || newH != f.screenHeight) {
        setScreenSize(newW, newH);
        trap.check();  // the CRTC is switched; a screen left larger than needed is harmless
    }
    return 0;
}

DisplayBounds XrandrDisplayModes::readBack(RRCrtc id) const {
    DisplayBounds b;
    Resources res(XRRGetScreenResourcesCurrent(dpy, root));
    if (!res) return b;
    if (CrtcInfo ci{XRRGetCrtcInfo(dpy, res.get(), id)}) {
        const Rect r = crtc_rect(ci->x, ci->y, ci->width, ci->height, ci->rotation);
        b = {r.x, r.y, r.w, r.h};
    }
    return b;
}

ModeSwitch XrandrDisplayModes::switchToMode(const DisplayBounds& display, int width, int height) {
    restore();
    ModeSwitch result;
    result.bounds = display;
    ErrorTrap trap(dpy);
    Resources res(XRRGetScreenResourcesCurrent(dpy, root));
    CrtcChoice c;
    if (res)
        c = find_crtc(dpy, res.get(), display.x + display.width / 2,
                      display.y + display.height / 2);
    if (!c.info) {
        result.status = kNoSuchDisplay;
        return result;
    }
    const XRRCrtcInfo& crtc = *c.info;
    result.bounds = {crtc.x, crtc.y, static_cast<int>(crtc.width), static_cast<int>(crtc.height)};
    const XRRModeInfo* mode = choose_mode(dpy, res.get(), crtc, width, height);
    if (!mode) {
        result.status = kNoMode;
        return result;
    }
    if (mode->id == crtc.mode) return result;  // the best mode is already in force

    Former f = formerOf(c.id, crtc);
    if (const int status = applyMode(res.get(), c, *mode, f, trap)) {
        result.status = static_cast<int16_t>(status);
        return result;
    }
    f.active = true;
    former = std::move(f);
    // The server's word on where the display now is.
    const DisplayBounds after = readBack(former.crtc);
    if (after.width > 0) result.bounds = after;
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
        setScreenSize(std::max(w, f.screenWidth), std::max(h, f.screenHeight));
        trap.check();
    }
    if (Resources res{XRRGetScreenResourcesCurrent(dpy, root)}) {
        XRRSetCrtcConfig(dpy, res.get(), f.crtc, CurrentTime, f.x, f.y, f.mode, f.rotation,
                         f.outputs.data(), static_cast<int>(f.outputs.size()));
        trap.check();
    }
    screenSize(&w, &h);
    if (w != f.screenWidth || h != f.screenHeight) {
        XRRSetScreenSize(dpy, root, f.screenWidth, f.screenHeight, f.screenMmWidth,
                         f.screenMmHeight);
        trap.check();
    }
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
