// SPDX-License-Identifier: MIT
// Shared test helpers: a pipeline that owns its memory, frame builders, and a spy for error_msg.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "grabber.h"
#include "pipeline_state.h"

namespace testkit {

// A fresh directory under the system's temporary directory for one test's files, removed with
// everything in it by the destructor.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    // `name` in the directory; an absolute name stands as it is.
    std::string path(const std::string& name) const;

private:
    std::string dir_;
};

constexpr uint8_t kSentinel = 0xA5;  // byte 3 of every output pixel before a pass
constexpr int kGuardBytes = 64;      // guard bytes after the last output row

// A pipeline at a fixed camera size, with its camera buffer and output bitmaps, that frees
// everything it holds. `size` is kFullSize or kHalfSize.
class Pipeline {
public:
    Pipeline(int largeWidth, int largeHeight, int size = kFullSize, Grabber* grabber = nullptr);
    ~Pipeline();
    Pipeline(const Pipeline&) = delete;
    Pipeline& operator=(const Pipeline&) = delete;

    PipelineState s;
    ViewState v;

    // Fills the camera buffer with random bytes.
    void random_camera(std::mt19937& rng);
    // Stores the camera buffer into the ring as the ingestion does, skipping the two dropped
    // deliveries.
    void deliver();
    // Fills the ring with random frames and sets SFIndex and Depth as a ring that has taken
    // `depth` frames would have them.
    void random_ring(std::mt19937& rng, int depth);
    // Fills the colour planes with random values in [0, 255] and the rest with random floats.
    void random_planes(std::mt19937& rng);
    // Output bitmap filled with random RGB, byte 3 set to the sentinel, guards behind it.
    void random_output(std::mt19937& rng);
    // Ring, planes, output and wave phases from one seed: equal seeds, equal pipelines.
    void randomise(unsigned seed, int depth);
    // Pixel x of row y of history slot k: A, R, G, B.
    uint8_t* slot_pixel(int k, int x, int y) { return slot_row(s, k, y) + 4 * x; }
    // Points base and rowBytes at the bitmap in use, as a render pass does.
    void begin_pass();

    // Channel c of output pixel (x, y) of the bitmap in use.
    uint8_t out(int x, int y, int c) const;
    // True when every guard byte after the bitmap is untouched.
    bool guards_intact() const;
    // Output bytes of the working size, R, G, B, byte 3 for each pixel.
    std::vector<uint8_t> output_bytes() const;

private:
    std::vector<uint8_t> camera_;
};

// Records error_msg calls while alive.
class ErrorSpy {
public:
    ErrorSpy();
    ~ErrorSpy();
    struct Call {
        std::string message;
        int16_t code;
        std::string cause;  // the alert's second part, "" when it has none
        std::string text;   // the whole alert as shown
    };
    static std::vector<Call>& calls() {
        static std::vector<Call> c;
        return c;
    }
};

// A grabber that records the calls made to it and fails where asked.
class RecordingGrabber : public Grabber {
public:
    int16_t stop() override { return call("stop", stopStatus); }
    int16_t setChannelBounds(const Rect16& b) override {
        return lastBounds = b, call("bounds", boundsStatus);
    }
    int16_t startPreview() override { return call("start", startStatus); }

    std::vector<std::string> calls;
    Rect16 lastBounds;
    int16_t stopStatus = 0, boundsStatus = 0, startStatus = 0;

private:
    int16_t call(const char* name, int16_t status) { return calls.push_back(name), status; }
};

}  // namespace testkit
