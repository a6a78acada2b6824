// SPDX-License-Identifier: MIT
// A camera that goes away and comes back, and a camera replaced by another while running.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <condition_variable>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>

#include "QTMovie.h"
#include "camera_test_support.h"
#include "clip_writer.h"
#include "frame_history.h"
#include "pipeline_state.h"
#include "seq_grabber.h"

namespace {

using Clock = std::chrono::steady_clock;


// Writes a clip into a named pipe each time it is told to, as a camera that is plugged in.
class PipeCamera {
public:
    explicit PipeCamera(const std::string& path, std::vector<char> clip)
        : path_(path), clip_(std::move(clip)), thread_([this] { run(); }) {}
    ~PipeCamera() {
        {
            std::lock_guard<std::mutex> lk(m_);
            quit_ = true;
            cv_.notify_all();
        }
        // A writer waiting for a reader is let go by opening the pipe here.
        const int fd = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK);
        thread_.join();
        if (fd >= 0) ::close(fd);
    }
    void plugIn() {
        std::lock_guard<std::mutex> lk(m_);
        ++plugs_;
        cv_.notify_all();
    }

private:
    void run() {
        for (int written = 0;; ++written) {
            {
                std::unique_lock<std::mutex> lk(m_);
                cv_.wait(lk, [&] { return quit_ || plugs_ > written; });
                if (quit_) return;
            }
            const int fd = ::open(path_.c_str(), O_WRONLY);  // waits for the camera to open it
            if (fd < 0) return;
            size_t done = 0;
            while (done < clip_.size()) {
                const ssize_t n = ::write(fd, clip_.data() + done, clip_.size() - done);
                if (n <= 0) break;
                done += static_cast<size_t>(n);
            }
            ::close(fd);  // the camera's input ends: unplugged
        }
    }
    std::string path_;
    std::vector<char> clip_;
    std::mutex m_;
    std::condition_variable cv_;
    int plugs_ = 0;
    bool quit_ = false;
    std::thread thread_;
};

}  // namespace

TEST(CameraLoss, PipeThatEndsAndIsWrittenAgainResumesByItself) {
    TempDir dir;
    ClipSettings clip;
    clip.path = dir.path("clip.nut");
    clip.width = 32;
    clip.height = 16;
    clip.frames = 6;
    clip.fps = 50;
    ASSERT_EQ(write_clip(clip), "");
    std::ifstream in(clip.path, std::ios::binary);
    const std::string pipe = dir.path("camera");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    PipeCamera camera(pipe, std::vector<char>(std::istreambuf_iterator<char>(in), {}));

    ErrorSpy spy;
    LiveCamera cam;
    camera.plugIn();
    ASSERT_TRUE(cam.start(pipe));
    ASSERT_TRUE(cam.tickUntil([&] { return cam.view.count > 0; }));
    ASSERT_TRUE(cam.tickUntil([&] { return cam.c.cameraLost; })) << "the end of the pipe";
    EXPECT_EQ(cam.s.grabber, nullptr);
    const int before = cam.view.count;
    const int depth = cam.s.Depth;
    // While it is gone, size changes resize the pipeline and nothing else.
    setup_size_params(cam.s, kFullSize, true);
    EXPECT_EQ(cam.s.Width, 32);

    camera.plugIn();
    ASSERT_TRUE(cam.tickUntil([&] { return !cam.c.cameraLost && cam.view.count > before; }));
    EXPECT_EQ(cam.s.grabber, cam.c.theSeqGrabber.get());
    EXPECT_EQ(cam.c.theVideoChannel->bounds, (Rect16{0, 0, 16, 32})) << "drawn at working size";
    EXPECT_LE(depth, cam.view.count);
    EXPECT_TRUE(ErrorSpy::calls().empty()) << "reopening shows no alert";
}

TEST(CameraLoss, TwoSecondsWithoutAPictureIsALostCamera) {
    TempDir dir;
    const std::string pipe = dir.path("camera");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    // A camera that gives a few pictures, then nothing while its cable stays in.
    ClipSettings clip;
    clip.path = dir.path("clip.nut");
    clip.width = 32;
    clip.height = 16;
    clip.frames = 60;  // enough for the stream information to be read before the stall
    clip.fps = 1000;
    ASSERT_EQ(write_clip(clip), "");
    std::ifstream in(clip.path, std::ios::binary);
    const std::vector<char> bytes(std::istreambuf_iterator<char>(in), {});
    int writer = -1;
    std::thread plug([&] {
        writer = ::open(pipe.c_str(), O_WRONLY);
        if (writer >= 0) {
            EXPECT_EQ(::write(writer, bytes.data(), bytes.size()), ssize_t(bytes.size()));
        }
    });
    LiveCamera cam;
    ASSERT_TRUE(cam.start(pipe));
    plug.join();
    ASSERT_TRUE(cam.tickUntil([&] { return cam.view.count > 0; }));
    // Each tick is taken to come two seconds after the last picture.
    for (int i = 0; i < 100 && !cam.c.cameraLost; ++i) {
        camera_idle_at(cam.c, cam.c.lastPicture + kCameraSilence);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(cam.c.cameraLost);
    EXPECT_EQ(cam.c.theSeqGrabber, nullptr) << "the silent camera is let go";
    EXPECT_EQ(cam.s.grabber, nullptr);
    // The same source is opened again a second later, not before.
    const Clock::time_point lost = cam.c.nextReopen - kReopenInterval;
    camera_idle_at(cam.c, lost + kReopenInterval - std::chrono::milliseconds(1));
    EXPECT_EQ(cam.c.reopen, nullptr);
    camera_idle_at(cam.c, lost + kReopenInterval);
    EXPECT_NE(cam.c.reopen, nullptr);
    ::close(writer);  // lets the stalled reader end
}

TEST(CameraSwitch, FailingSourceKeepsTheOldCameraAndAWorkingOneReplacesIt) {
    ErrorSpy spy;
    LiveCamera cam;
    ASSERT_TRUE(cam.start("lavfi:testsrc2=size=64x48:rate=30"));
    ASSERT_TRUE(cam.tickUntil([&] { return cam.view.count > 0; }));

    EXPECT_FALSE(switch_camera(cam.s, cam.c, "/dev/video9", kHalfSize));
    ASSERT_EQ(ErrorSpy::calls().size(), 1u);
    EXPECT_EQ(ErrorSpy::calls()[0].cause, "/dev/video9: No such file or directory");
    EXPECT_EQ(cam.c.cameraSource, "lavfi:testsrc2=size=64x48:rate=30");
    EXPECT_EQ(cam.s.LargeWidth, 64);
    int before = cam.view.count;
    EXPECT_TRUE(cam.tickUntil([&] { return cam.view.count > before; })) << "the old one goes on";

    ASSERT_TRUE(switch_camera(cam.s, cam.c, "demo", kFullSize));
    EXPECT_EQ(cam.s.LargeWidth, 640);
    EXPECT_EQ(cam.s.Width, 640);
    EXPECT_EQ(cam.s.largeBitmap.width, 640);
    EXPECT_EQ(cam.s.Depth, 0) << "the ring is emptied";
    EXPECT_EQ(cam.s.grabber, cam.c.theSeqGrabber.get());
    before = cam.view.count;
    EXPECT_TRUE(cam.tickUntil([&] { return cam.view.count > before; }));
    EXPECT_EQ(ErrorSpy::calls().size(), 1u);
}
