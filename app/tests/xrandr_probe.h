// SPDX-License-Identifier: MIT
// Reads the X server's RandR state over a connection of the test's own.
#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <string>
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

inline bool has_own_mode(const ServerView& v) {
    for (const std::string& n : v.modeNames) {
        if (n.find("wobblescope") != std::string::npos) return true;
    }
    return false;
}
