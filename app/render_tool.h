// SPDX-License-Identifier: MIT
#pragma once

// `wobblescope render ...`: argv[0] is "render". Returns the process exit status.
int render_main(int argc, char** argv);
