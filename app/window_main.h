// SPDX-License-Identifier: MIT
// The window program: parses its command line, opens the window and runs the event loop.
#pragma once

// Returns the process's exit status.
int window_main(int argc, char** argv);
