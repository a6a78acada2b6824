// SPDX-License-Identifier: MIT
#include "render_read_ahead.h"

#include <pthread.h>

#include <csignal>

ReadAhead::ReadAhead(FrameSource& source, int rowBytes, int rows)
    : source_(source),
      rowBytes_(rowBytes),
      buffers_{std::vector<uint8_t>(static_cast<size_t>(rowBytes) * rows),
               std::vector<uint8_t>(static_cast<size_t>(rowBytes) * rows)},
      thread_([this] { loop(); }) {}

ReadAhead::~ReadAhead() {
    {
        const std::lock_guard<std::mutex> lock(m_);
        stop_ = true;
    }
    cv_.notify_all();
    thread_.join();
}

FrameSource::Read ReadAhead::next(uint8_t*& frame, double& time) {
    std::unique_lock<std::mutex> lock(m_);
    cv_.wait(lock, [this] { return !wanted_; });
    const FrameSource::Read r = result_;
    frame = buffers_[reading_].data();
    time = time_;
    if (r == FrameSource::Read::Frame) {
        // The other buffer is free: the caller is done with the frame it held.
        reading_ = 1 - reading_;
        wanted_ = true;
        cv_.notify_all();
    }
    return r;
}

void ReadAhead::loop() {
    // SIGINT and SIGTERM go to the main thread, which acts on them between frames.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);
    std::unique_lock<std::mutex> lock(m_);
    for (;;) {
        cv_.wait(lock, [this] { return wanted_ || stop_; });
        if (stop_) return;
        uint8_t* dst = buffers_[reading_].data();
        lock.unlock();
        const FrameSource::Read r = source_.read(dst, rowBytes_);
        const double t = source_.frameTime();
        std::string why = r == FrameSource::Read::Error ? source_.error() : std::string();
        lock.lock();
        result_ = r;
        time_ = t;
        error_ = std::move(why);
        wanted_ = false;
        cv_.notify_all();
    }
}
