// SPDX-License-Identifier: MIT
#include <cstdio>
#include <cstring>

#include "render_tool.h"

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "render") == 0) return render_main(argc - 1, argv + 1);
    if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
        std::puts("wobblescope " WOBBLE_VERSION);
        return 0;
    }
    std::fputs("Usage: wobblescope render [OPTIONS] INPUT OUTPUT   (see wobblescope render --help)\n",
               argc > 1 && std::strcmp(argv[1], "--help") == 0 ? stdout : stderr);
    return argc > 1 && std::strcmp(argv[1], "--help") == 0 ? 0 : 2;
}
