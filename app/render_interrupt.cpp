// SPDX-License-Identifier: MIT
#include "render_interrupt.h"

#include <pthread.h>
#include <sys/stat.h>

#include <cerrno>
#include <csignal>

namespace {

// Set only by the handler; a signal handler has nothing else to reach.
volatile std::sig_atomic_t g_interrupt = 0;
struct sigaction g_formerInt {
}, g_formerTerm{};
// The thread that reads the input and must see its read cut short.
pthread_t g_main;

// The system hands a signal sent to the process to any thread that does not block it: one of the
// render pool's, or an encoder's or decoder's own. Passed on to the main thread, it cuts short a
// read that would otherwise wait for input that never comes.
extern "C" void on_interrupt(int sig) {
    const int saved = errno;
    g_interrupt = sig;
    if (!pthread_equal(pthread_self(), g_main)) pthread_kill(g_main, sig);
    errno = saved;
}

}  // namespace

RenderInterrupt::RenderInterrupt() {
    g_interrupt = 0;
    g_main = pthread_self();
    struct sigaction sa {};
    sa.sa_handler = on_interrupt;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, &g_formerInt);
    sigaction(SIGTERM, &sa, &g_formerTerm);
}

RenderInterrupt::~RenderInterrupt() {
    sigaction(SIGINT, &g_formerInt, nullptr);
    sigaction(SIGTERM, &g_formerTerm, nullptr);
}

int interrupt_signal() {
    return g_interrupt;
}

bool same_file(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}
