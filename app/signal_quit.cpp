// SPDX-License-Identifier: MIT
#include "signal_quit.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The pipe from the handlers to the event loop: [0] written by the handler, [1] read by the
// loop. Process-wide because a signal handler has nothing else to reach it by.
int g_pipe[2] = {-1, -1};
struct sigaction g_former[3];

extern "C" void on_quit_signal(int sig) {
    const int saved = errno;
    const char number = static_cast<char>(sig);
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[0], &number, 1);
    errno = saved;
}

}  // namespace

QuitSignals::QuitSignals(std::function<void(int)> quitFn, QObject* parent)
    : QObject(parent), quit(std::move(quitFn)) {
    if (g_pipe[0] >= 0) return;  // another instance holds the signals
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_pipe) != 0) {
        g_pipe[0] = g_pipe[1] = -1;
        return;
    }
    notifier = new QSocketNotifier(g_pipe[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &QuitSignals::readSignal);
    struct sigaction sa {};
    sa.sa_handler = on_quit_signal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART | SA_RESETHAND;
    for (int i = 0; i < 3; ++i) ::sigaction(kSignals[i], &sa, &g_former[i]);
}

QuitSignals::~QuitSignals() {
    if (!notifier) return;
    for (int i = 0; i < 3; ++i) ::sigaction(kSignals[i], &g_former[i], nullptr);
    delete notifier;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

void QuitSignals::readSignal() {
    char number = 0;
    while (::read(g_pipe[1], &number, 1) == 1)
        if (quit) quit(number);
}
