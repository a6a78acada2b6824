// SPDX-License-Identifier: MIT
// Reading the render tool's input one frame ahead.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "render_io.h"

// Reads the frames of a source on a thread of its own, into two buffers in turn, so that a frame
// is read while the one before it is drawn. For sources whose reads end by themselves (files):
// a read that waits on a pipe would keep the thread, and the tool's end, waiting with it.
class ReadAhead {
public:
    // Frames of `rows` rows of rowBytes bytes each; the first read starts at once.
    ReadAhead(FrameSource& source, int rowBytes, int rows);
    ~ReadAhead();  // after the read in hand
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // The next frame's outcome; on Frame, `frame` holds its bytes until the next call and
    // `time` its time, else error() may say why.
    FrameSource::Read next(uint8_t*& frame, double& time);
    std::string error() const { return error_; }

private:
    void loop();

    FrameSource& source_;
    int rowBytes_;
    std::vector<uint8_t> buffers_[2];
    std::mutex m_;
    std::condition_variable cv_;
    int reading_ = 0;     // the buffer being read into, or read last
    bool wanted_ = true;  // a read is asked for and not yet done
    bool stop_ = false;
    FrameSource::Read result_ = FrameSource::Read::End;
    double time_ = -1;
    std::string error_;
    std::thread thread_;  // last: starts when the rest is ready
};
