// SPDX-License-Identifier: MIT
// The render tool's interruption: SIGINT and SIGTERM stop a run after the picture in hand.
#pragma once

#include <string>

// Installs the handlers for the length of one run and puts the former ones back afterwards; made
// on the thread that reads the input. No SA_RESTART: a read waiting on standard input returns at
// once, whichever thread the signal was delivered to.
class RenderInterrupt {
public:
    RenderInterrupt();
    ~RenderInterrupt();
    RenderInterrupt(const RenderInterrupt&) = delete;
    RenderInterrupt& operator=(const RenderInterrupt&) = delete;
};

// The signal that asked the run to stop; 0 while none has come.
int interrupt_signal();

// Whether two paths name one existing file.
bool same_file(const std::string& a, const std::string& b);
