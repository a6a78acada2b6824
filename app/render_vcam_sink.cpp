// SPDX-License-Identifier: MIT
#include "render_vcam_sink.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "virtual_camera.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr double kUntimedRate = 30;  // pictures per second for inputs without times
// How long the last pictures get to reach the viewer before the node goes away.
constexpr auto kSettle = std::chrono::milliseconds(300);
constexpr const char* kPipeWirePrefix = "pipewire:";
constexpr const char* kV4l2Prefix = "v4l2:";

bool starts_with(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

class VirtualCameraSink : public PictureSink {
public:
    VirtualCameraSink(std::string output, CameraTarget target)
        : output_(std::move(output)), target_(std::move(target)) {}

    bool write(const uint8_t* data, int rowBytes, int width, int height, double time) override {
        if (!camera_ && !open(width, height)) return false;
        if (width != camera_->width() || height != camera_->height())
            return failed("the picture size changed; a camera keeps one size");
        // Due at its input time after the first picture; late pictures go at once.
        const double at = time >= 0 && firstTime_ >= 0 ? time - firstTime_ : count_ / kUntimedRate;
        if (count_ == 0) firstTime_ = time;
        std::this_thread::sleep_until(start_ + std::chrono::duration_cast<Clock::duration>(
                                                   std::chrono::duration<double>(at)));
        ++count_;
        if (const std::string why = camera_->failure(); !why.empty()) return failed(why);
        // The camera's thread takes it before the next one comes, so none is overtaken. A tool
        // may wait where the window may not: a picture dropped while a consumer still holds
        // every buffer is offered again, for up to a second.
        bool sent = false;
        for (int attempt = 0; attempt < 100 && !sent; ++attempt) {
            const long long droppedBefore = camera_->stats().dropped;
            camera_->feed(data, rowBytes, width, height);
            camera_->waitSent(1s);
            sent = camera_->stats().dropped == droppedBefore;
            if (!sent && !camera_->consumerConnected()) break;
            if (!sent) std::this_thread::sleep_for(10ms);
        }
        if (!sent) ++lost_;
        return true;
    }

    bool finish() override {
        if (!camera_) {
            error_ = output_ + ": no picture was drawn, so there was nothing to show";
            return false;
        }
        camera_->waitSent(2s);
        std::this_thread::sleep_for(kSettle);
        if (lost_ > 0)
            std::fprintf(stderr, "wobblescope render: %lld of %lld pictures were dropped by %s\n",
                         lost_, count_, output_.c_str());
        camera_.reset();
        return true;
    }

    // A camera keeps nothing to complete: an interrupted run just stops showing.
    bool finishPartial() override { return false; }
    long long pictures() const override { return count_; }
    void abort() override { camera_.reset(); }
    std::string error() const override { return error_; }

private:
    bool open(int width, int height) {
        std::string why;
        camera_ = target_.v4l2 ? open_v4l2_camera(target_.name, width, height, why)
                               : open_pipewire_camera(target_.name, width, height,
                                                      static_cast<int>(kUntimedRate), why);
        if (!camera_) return failed(why);
        if (!target_.v4l2 && !camera_->consumerConnected()) {
            std::fprintf(stderr,
                         "wobblescope render: waiting for a program to open the camera %s\n",
                         target_.name.c_str());
            while (!camera_->waitConsumer(1s))
                if (const std::string f = camera_->failure(); !f.empty()) return failed(f);
        }
        start_ = Clock::now();
        return true;
    }
    bool failed(const std::string& why) {
        error_ = output_ + ": " + why;
        return false;
    }

    std::string output_, error_;
    CameraTarget target_;
    std::unique_ptr<VirtualCamera> camera_;
    Clock::time_point start_;
    double firstTime_ = -1;  // s, input time of the first picture
    long long count_ = 0;    // pictures written
    long long lost_ = 0;     // pictures that did not go out although a consumer was there
};

// Input times go on from where the last pass ended, one picture interval later.
class LoopingSource : public FrameSource {
public:
    LoopingSource(std::unique_ptr<FrameSource> first,
                  std::function<std::unique_ptr<FrameSource>(std::string&)> reopen)
        : in_(std::move(first)), reopen_(std::move(reopen)), w_(in_->width()), h_(in_->height()) {}
    int width() const override { return w_; }
    int height() const override { return h_; }
    double frameTime() const override { return time_; }
    std::string error() const override { return error_.empty() ? in_->error() : error_; }

    Read read(uint8_t* dst, int rowBytes) override {
        Read r = in_->read(dst, rowBytes);
        if (r == Read::End && readThisPass_ > 0) {
            offset_ = time_ + interval_;
            in_ = reopen_(error_);
            if (!in_ || in_->width() != w_ || in_->height() != h_) {
                if (in_) error_ = "the input changed its size between passes";
                in_.reset();
                return Read::Error;
            }
            readThisPass_ = 0;
            r = in_->read(dst, rowBytes);
        }
        if (r != Read::Frame) return r;
        const double t = in_->frameTime();
        const double next = t >= 0 ? offset_ + t : -1;
        if (next >= 0 && time_ >= 0 && next > time_) interval_ = next - time_;
        time_ = next;
        ++readThisPass_;
        return r;
    }

private:
    std::unique_ptr<FrameSource> in_;
    std::function<std::unique_ptr<FrameSource>(std::string&)> reopen_;
    int w_, h_;
    double offset_ = 0, time_ = -1;  // s
    double interval_ = 1 / kUntimedRate;
    long long readThisPass_ = 0;
    std::string error_;
};

}  // namespace

bool is_virtual_camera_output(const std::string& output) {
    return starts_with(output, kPipeWirePrefix) || starts_with(output, kV4l2Prefix);
}

std::unique_ptr<PictureSink> open_virtual_camera_sink(const std::string& output,
                                                      std::string& error) {
    CameraTarget target;
    if (starts_with(output, kV4l2Prefix)) {
        target.v4l2 = true;
        target.name = output.substr(std::strlen(kV4l2Prefix));
        if (target.name.empty()) {
            error = output + ": give the loopback device, e.g. v4l2:/dev/video10";
            return nullptr;
        }
    } else {
        target = parse_camera_target(output.substr(std::strlen(kPipeWirePrefix)));
        target.v4l2 = false;
        std::string why;
        if (!pipewire_reachable(why)) {
            error = output + ": " + why;
            return nullptr;
        }
    }
    return std::make_unique<VirtualCameraSink>(output, target);
}

std::unique_ptr<FrameSource> loop_frame_source(
    std::unique_ptr<FrameSource> first,
    std::function<std::unique_ptr<FrameSource>(std::string& error)> reopen) {
    return std::make_unique<LoopingSource>(std::move(first), std::move(reopen));
}
