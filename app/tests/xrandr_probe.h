// SPDX-License-Identifier: MIT
// Reads the X server's RandR state over a connection of the test's own.
#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <string>
#include <utility>
#include <vector>

#include "display_mode.h"

struct ServerView {
    DisplayBounds crtc;    // the first active CRTC
    std::string modeName;  // its mode's name
    int screenWidth = 0, screenHeight = 0;
    std::vector<std::string> modeNames;  // every mode the server knows
};

inline ServerView read_server() {
    ServerView v;
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) return v;
    Window root = DefaultRootWindow(dpy);
    Window r;
    int x, y;
    unsigned w, h, b, d;
    XGetGeometry(dpy, root, &r, &x, &y, &w, &h, &b, &d);
    v.screenWidth = static_cast<int>(w);
    v.screenHeight = static_cast<int>(h);
    XRRScreenResources* res = XRRGetScreenResourcesCurrent(dpy, root);
    for (int i = 0; res && i < res->nmode; ++i) v.modeNames.emplace_back(res->modes[i].name);
    for (int i = 0; res && i < res->ncrtc; ++i) {
        XRRCrtcInfo* ci = XRRGetCrtcInfo(dpy, res, res->crtcs[i]);
        if (ci && ci->mode != None && v.modeName.empty()) {
            v.crtc = {ci->x, ci->y, static_cast<int>(ci->width), static_cast<int>(ci->height)};
            for (int m = 0; m < res->nmode; ++m) {
                if (res->modes[m].id == ci->mode) v.modeName = res->modes[m].name;
            }
        }
        if (ci) XRRFreeCrtcInfo(ci);
    }
    if (res) XRRFreeScreenResources(res);
    XCloseDisplay(dpy);
    return v;
}

// Whether the server knows a mode that the program made (it must make none).
inline bool has_own_mode(const ServerView& v) {
    for (const std::string& n : v.modeNames) {
        if (n.find("wobblescope") != std::string::npos) return true;
    }
    return false;
}

// Gives the first output of the server the modes a monitor would list, over a connection of its
// own: they vanish when it is destroyed. Xvfb alone offers only its screen size.
class MonitorModes {
public:
    explicit MonitorModes(const std::vector<std::pair<int, int>>& sizes) {
        dpy = XOpenDisplay(nullptr);
        if (!dpy) return;
        Window root = DefaultRootWindow(dpy);
        XRRScreenResources* res = XRRGetScreenResourcesCurrent(dpy, root);
        if (!res || res->noutput == 0) {
            if (res) XRRFreeScreenResources(res);
            return;
        }
        output = res->outputs[0];
        XRRFreeScreenResources(res);
        for (const auto& [w, h] : sizes) {
            const std::string name = std::to_string(w) + "x" + std::to_string(h) + "-monitor";
            XRRModeInfo* info = XRRAllocModeInfo(name.c_str(), static_cast<int>(name.size()));
            info->width = w;
            info->height = h;
            info->hTotal = w + 160;
            info->vTotal = h + 23;
            info->dotClock = static_cast<unsigned long>(info->hTotal) * info->vTotal * 60;
            const RRMode mode = XRRCreateMode(dpy, root, info);
            XRRFreeModeInfo(info);
            XRRAddOutputMode(dpy, output, mode);
        }
        XSync(dpy, False);
    }
    ~MonitorModes() {
        if (dpy) XCloseDisplay(dpy);
    }
    MonitorModes(const MonitorModes&) = delete;
    MonitorModes& operator=(const MonitorModes&) = delete;

private:
    Display* dpy = nullptr;
    RROutput output = 0;
};
