// SPDX-License-Identifier: MIT
// The render tool's command line.
#pragma once

#include <string>

#include "pipeline_state.h"
#include "render_io.h"

struct RenderOptions {
    std::string input, output;
    int rawWidth = 0, rawHeight = 0;
    int effect = 1;
    int size = kHalfSize;
    bool mirror = true;
    bool haveSeed = false;
    long seed = 0;
    long long frames = -1;
    bool scalar = false;
    bool quiet = false;
    bool loop = false;
    int threads = 0;  // --threads; 0 for the default, the CPUs the process may use
    SinkOptions sink;
};

// Says "wobblescope render: message" on standard error and returns the usage error status, 2.
int render_fail(const std::string& message);

// Reads the command line after "render". Returns -1 when the tool is to run, else the exit
// status (0 after --help, 2 after a message on standard error).
int parse_render_options(int argc, char** argv, RenderOptions& o);
