// SPDX-License-Identifier: MIT
// The camera tests' kit: the alerts an error_msg spy saw, a counting frame receiver, a camera
// started as the program starts it, bounded waits, clips opened for reading, a scratch directory.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
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

// The input at path opened as the render tool opens it (not live), its stream information read
// and its video decoder open; null when any of it fails.
std::unique_ptr<AvInput> open_clip(const std::string& path);
// The bytes of the file at path.
std::vector<char> file_bytes(const std::string& path);

// A camera started as the live program starts it: set-up, bitmaps, the working size, callback,
// preview.
struct LiveCamera {
    PipelineState s;
    CaptureState c;
    CountingReceiver view{s};

    bool start(const std::string& source, int size = kHalfSize);
    // Runs the camera timer (a tick every 10 ms) until done() holds; false after 30 s.
    template <class F>
    bool tickUntil(F done) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end) return false;
            camera_idle(c);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    }
    ~LiveCamera();
};

