// SPDX-License-Identifier: MIT
// A camera that goes away and comes back, and one replaced by another while running.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>
#include <utility>

#include "QTMovie.h"
#include "camera_test_support.h"
#include "clip_writer.h"
#include "frame_history.h"
#include "seq_grabber.h"

namespace {

// A camera plugged in at a named pipe: writes a 32 x 16 clip into it once the camera opens it,
// then closes it (unplugged) or, when silent, keeps it open without a word until destroyed.
struct PipeCamera {
    PipeCamera(const testkit::TempDir& dir, int frames, int fps, bool silent) : pipe(dir.path("camera")) {
        const std::string path = dir.path("clip" + std::to_string(frames) + ".nut");
        const ClipSettings clip{
            .path = path, .width = 32, .height = 16, .frames = frames, .fps = fps};
        EXPECT_EQ(write_clip(clip), "");
        ::mkfifo(pipe.c_str(), 0600);
        writer = std::thread([this, bytes = file_bytes(clip.path), silent] {
            fd = ::open(pipe.c_str(), O_WRONLY);  // waits for the camera to open it
            EXPECT_TRUE(fd < 0 || ::write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size()));
            if (!silent && fd >= 0) ::close(std::exchange(fd, -1));
        });
    }
    ~PipeCamera() {
        const int waiting = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK);  // lets a writer go
        writer.join();
        for (const int f : {fd, waiting})
            if (f >= 0) ::close(f);
    }
    std::string pipe;
    int fd = -1;
    std::thread writer;
};

}  // namespace

TEST(CameraLoss, PipeThatEndsOrFallsSilentIsLostAndReopenedByItself) {
    testkit::TempDir dir;
    ErrorSpy spy;
    LiveCamera cam;  // before the pipes: a camera blocked on a pipe is let go first
    {
        PipeCamera camera(dir, 6, 50, false);
        ASSERT_TRUE(cam.start(camera.pipe));
        ASSERT_TRUE(cam.tickUntil([&] { return cam.view.count > 0; }));
        ASSERT_TRUE(cam.tickUntil([&] { return cam.c.cameraLost; })) << "the end of the pipe";
    }
    const int before = cam.view.count;
    setup_size_params(cam.s, kFullSize, true);  // while it is gone, only the pipeline changes
    // Enough pictures for the stream information to be read before the camera falls silent.
    PipeCamera again(dir, 60, 1000, true);
    ASSERT_TRUE(cam.tickUntil([&] { return !cam.c.cameraLost && cam.view.count > before; }));
    EXPECT_EQ(cam.s.grabber, cam.c.theSeqGrabber.get());
    EXPECT_EQ(cam.c.theVideoChannel->bounds, (Rect16{0, 0, 16, 32})) << "drawn at working size";
    // Each tick is taken to come two seconds after the last picture.
    for (int i = 0; i < 100 && !cam.c.cameraLost; ++i) {
        camera_idle_at(cam.c, cam.c.lastPicture + kCameraSilence);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(cam.c.cameraLost) << "two seconds without a picture";
    EXPECT_EQ(cam.c.theSeqGrabber, nullptr);
    EXPECT_EQ(cam.s.grabber, nullptr);
    // The same source is opened again a second later, not before.
    const auto lost = cam.c.nextReopen - kReopenInterval;
    camera_idle_at(cam.c, lost + kReopenInterval - std::chrono::milliseconds(1));
    EXPECT_EQ(cam.c.reopen, nullptr);
    camera_idle_at(cam.c, lost + kReopenInterval);
    EXPECT_NE(cam.c.reopen, nullptr);
    EXPECT_TRUE(ErrorSpy::calls().empty()) << "losing and reopening show no alert";
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
    EXPECT_EQ(cam.s.Width, 640);
    EXPECT_EQ(cam.s.Depth, 0) << "the ring is emptied";
    EXPECT_EQ(cam.s.grabber, cam.c.theSeqGrabber.get());
    before = cam.view.count;
    EXPECT_TRUE(cam.tickUntil([&] { return cam.view.count > before; }));
    EXPECT_EQ(ErrorSpy::calls().size(), 1u);
}
