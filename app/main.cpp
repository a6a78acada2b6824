// SPDX-License-Identifier: MIT
// wobblescope: the window on the live camera, or `wobblescope render ...` without a window.
#include <cstdio>
#include <cstring>

#include "render_tool.h"
#ifndef WOBBLE_NO_GUI
#include "window_main.h"
#endif

int main(int argc, char** argv) {
    // The render tool runs without any window system.
    if (argc > 1 && std::strcmp(argv[1], "render") == 0) return render_main(argc - 1, argv + 1);
#ifdef WOBBLE_NO_GUI
    if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
        std::puts("wobblescope " WOBBLE_VERSION);
        return 0;
    }
    std::fputs("wobblescope: this build has no window (built without Qt Widgets); use\n"
               "  wobblescope render [OPTIONS] INPUT OUTPUT   (see wobblescope render --help)\n",
               argc > 1 && std::strcmp(argv[1], "--help") == 0 ? stdout : stderr);
    return argc > 1 && std::strcmp(argv[1], "--help") == 0 ? 0 : 2;
#else
    return window_main(argc, argv);
#endif
}
