// SPDX-License-Identifier: MIT
// While alive, no file of this process may grow past a number of bytes: the disk seems full.
// Writes past the cap fail with EFBIG instead of raising SIGXFSZ.
#pragma once

#include <sys/resource.h>

#include <csignal>

class FileSizeCap {
public:
    explicit FileSizeCap(rlim_t bytes) {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigaction(SIGXFSZ, &ignore, &oldAction_);
        getrlimit(RLIMIT_FSIZE, &saved_);
        const rlimit capped{bytes, saved_.rlim_max};
        setrlimit(RLIMIT_FSIZE, &capped);
    }
    ~FileSizeCap() { setrlimit(RLIMIT_FSIZE, &saved_); sigaction(SIGXFSZ, &oldAction_, nullptr); }
    FileSizeCap(const FileSizeCap&) = delete;
    FileSizeCap& operator=(const FileSizeCap&) = delete;

private:
    struct sigaction oldAction_ {};
    rlimit saved_{};
};
