// SPDX-License-Identifier: MIT
// Helpers of the camera tests: an error_msg spy, a counting frame receiver and bounded waits.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "QTMovie.h"
#include "pipeline_state.h"
#include "testkit.h"

using testkit::ErrorSpy;
// The alerts an ErrorSpy recorded: "<message>" or "<message> <code>" when the code is not 0.
std::vector<std::string> alerts();

// Counts deliveries and keeps a copy of the camera buffer as it was at the last one.
class CountingReceiver : public FrameReceiver {
public:
    explicit CountingReceiver(const PipelineState& s) : s_(s) {}
    void MyMovieDrawingCompleteMethod() override;
    int count = 0;
    std::vector<uint8_t> lastBuffer;

private:
    const PipelineState& s_;
};

// Calls camera_idle until the receiver has seen one more delivery; false after the timeout.
bool idle_until_delivery(CaptureState& c, CountingReceiver& r,
                         std::chrono::milliseconds timeout = std::chrono::seconds(20));

class AvInput;
class CameraReader;
class SeqGrabber;

// The input at path opened as the render tool opens it (live: as the camera does), its stream
// information read and its video decoder open; null when any of it fails.
std::unique_ptr<AvInput> open_clip(const std::string& path, bool live = false);
// The bytes of the file at path.
std::vector<char> file_bytes(const std::string& path);

// A camera started as the live program starts it: set-up, bitmaps, the working size, callback,
// preview.
struct LiveCamera {
    PipelineState s;
    CaptureState c;
    CountingReceiver view{s};

    bool start(const std::string& source, int size = kHalfSize);
    SeqGrabber& grabber();
    CameraReader& reader();
    // Runs the camera timer until done() holds; false after 30 s.
    template <class F>
    bool tickUntil(F done) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end) return false;
            idle_once();
        }
        return true;
    }
    ~LiveCamera();

private:
    void idle_once();  // one camera timer tick, then 10 ms
};

// A fresh directory for one test's files, removed by the destructor.
class TempDir {
public:
    TempDir();
    ~TempDir();
    std::string path(const std::string& name) const { return dir_ + "/" + name; }

private:
    std::string dir_;
};
