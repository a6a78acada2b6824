// SPDX-License-Identifier: MIT
// A camera that goes away and comes back, one replaced by another while running, the device
// directory's watch, and what each form of the camera option names.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <thread>
#include <utility>

extern "C" {
#include <libavutil/error.h>
}

#include "QTMovie.h"
#include "av_camera.h"
#include "camera_test_support.h"
#include "clip_writer.h"
#include "frame_history.h"
#include "seq_grabber.h"
#include "v4l2_devices.h"

namespace {

// A camera plugged in at a named pipe: writes a 32 x 16 clip into it once the camera opens it,
// then closes it (unplugged) or, when silent, keeps it open without a word until destroyed.
class PipeCamera {
public:
    PipeCamera(const TempDir& dir, int frames, int fps, bool silent) : path_(dir.path("camera")) {
        ClipSettings clip;
        clip.path = dir.path("clip" + std::to_string(frames) + ".nut");
        clip.width = 32;
        clip.height = 16;
        clip.frames = frames;
        clip.fps = fps;
        EXPECT_EQ(write_clip(clip), "");
        ::mkfifo(path_.c_str(), 0600);
        thread_ = std::thread([this, bytes = file_bytes(clip.path), silent] {
            fd_ = ::open(path_.c_str(), O_WRONLY);  // waits for the camera to open it
            for (size_t done = 0; fd_ >= 0 && done < bytes.size();) {
                const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
                if (n <= 0) break;
                done += static_cast<size_t>(n);
            }
            if (!silent && fd_ >= 0) ::close(std::exchange(fd_, -1));
        });
    }
    ~PipeCamera() {
        // Lets a writer that still waits for the camera go.
        const int fd = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK);
        thread_.join();
        if (fd_ >= 0) ::close(fd_);
        if (fd >= 0) ::close(fd);
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
    int fd_ = -1;
    std::thread thread_;
};

}  // namespace

TEST(CameraLoss, PipeThatEndsAndIsWrittenAgainResumesByItself) {
    TempDir dir;
    ErrorSpy spy;
    LiveCamera cam;  // before the pipes: a camera blocked on a pipe is let go first
    {
        PipeCamera camera(dir, 6, 50, false);
        ASSERT_TRUE(cam.start(camera.path()));
        ASSERT_TRUE(cam.tickUntil([&] { return cam.view.count > 0; }));
        ASSERT_TRUE(cam.tickUntil([&] { return cam.c.cameraLost; })) << "the end of the pipe";
    }
    EXPECT_EQ(cam.s.grabber, nullptr);
    const int before = cam.view.count;
    setup_size_params(cam.s, kFullSize, true);  // while it is gone, only the pipeline changes
    PipeCamera again(dir, 6, 50, false);
    ASSERT_TRUE(cam.tickUntil([&] { return !cam.c.cameraLost && cam.view.count > before; }));
    EXPECT_EQ(cam.s.grabber, cam.c.theSeqGrabber.get());
    EXPECT_EQ(cam.c.theVideoChannel->bounds, (Rect16{0, 0, 16, 32})) << "drawn at working size";
    EXPECT_TRUE(ErrorSpy::calls().empty()) << "reopening shows no alert";
}

TEST(CameraLoss, TwoSecondsWithoutAPictureIsALostCameraTriedAgainEverySecond) {
    TempDir dir;
    LiveCamera cam;
    // Enough pictures for the stream information to be read before the camera falls silent.
    PipeCamera camera(dir, 60, 1000, true);
    ASSERT_TRUE(cam.start(camera.path()));
    ASSERT_TRUE(cam.tickUntil([&] { return cam.view.count > 0; }));
    // Each tick is taken to come two seconds after the last picture.
    for (int i = 0; i < 100 && !cam.c.cameraLost; ++i) {
        camera_idle_at(cam.c, cam.c.lastPicture + kCameraSilence);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(cam.c.cameraLost);
    EXPECT_EQ(cam.c.theSeqGrabber, nullptr) << "the silent camera is let go";
    EXPECT_EQ(cam.s.grabber, nullptr);
    const auto lost = cam.c.nextReopen - kReopenInterval;
    camera_idle_at(cam.c, lost + kReopenInterval - std::chrono::milliseconds(1));
    EXPECT_EQ(cam.c.reopen, nullptr);
    camera_idle_at(cam.c, lost + kReopenInterval);
    EXPECT_NE(cam.c.reopen, nullptr);
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
    EXPECT_EQ(cam.s.Depth, 0) << "the ring is emptied";
    EXPECT_EQ(cam.s.grabber, cam.c.theSeqGrabber.get());
    before = cam.view.count;
    EXPECT_TRUE(cam.tickUntil([&] { return cam.view.count > before; }));
    EXPECT_EQ(ErrorSpy::calls().size(), 1u);
}

// Plain files stand in for device nodes and the probe for VIDIOC_QUERYCAP (no camera here).
TEST(HotPlug, WatchSeesVideoNodesComeAndGo) {
    TempDir dir;
    const std::string root = dir.path("").substr(0, dir.path("").size() - 1);
    const V4l2Probe probe = [](const std::string& path) -> std::optional<std::string> {
        if (path.find("video7") != std::string::npos) return std::nullopt;  // a metadata node
        std::ifstream f(path);
        std::string card;
        std::getline(f, card);
        return card;
    };
    DeviceWatch watch(root);
    ASSERT_GE(watch.fd(), 0);
    EXPECT_FALSE(watch.changed());
    for (const char* node : {"video10", "video2", "video7"}) std::ofstream(dir.path(node)) << node;
    EXPECT_TRUE(watch.changed());
    std::vector<V4l2Device> found = list_v4l2_devices(root, probe);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].card, "video2");
    EXPECT_EQ(found[0].path, dir.path("video2"));
    for (const char* other : {"vide0", "video1x"}) std::ofstream(dir.path(other)) << other;
    EXPECT_FALSE(watch.changed());
    ASSERT_EQ(std::remove(dir.path("video2").c_str()), 0);
    EXPECT_TRUE(watch.changed());
    found = list_v4l2_devices(root, probe);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].card, "video10");
    EXPECT_EQ(query_v4l2_card("/dev/null"), std::nullopt);
}

TEST(CameraSource, EachFormOfTheOptionOpensWhatItNames) {
    const struct {
        const char *source, *format, *url;
        bool device, file;
    } rows[] = {
        {"lavfi:testsrc2=rate=30", "lavfi", "testsrc2=rate=30", false, false},
        {"/dev/video1", "v4l2", "/dev/video1", true, false},
        {"v4l2:/dev/video2", "v4l2", "/dev/video2", true, false},
        {"avfoundation:0", "avfoundation", "0", true, false},
        {"dshow:video=Front Camera", "dshow", "video=Front Camera", true, false},
        {"clips/walk.mp4", "", "clips/walk.mp4", false, true},
    };
    for (const auto& k : rows) {
        CameraSource src;
        std::string why;
        ASSERT_TRUE(resolve_camera_source(k.source, src, why)) << k.source;
        EXPECT_EQ(src.format + "|" + src.url, std::string(k.format) + "|" + k.url);
        EXPECT_EQ(src.device, k.device) << k.source;
        EXPECT_EQ(src.file, k.file) << k.source;
    }
    // The grabber's statuses are 16 bits: a failure never narrows to success.
    EXPECT_EQ(narrow_status(-2), -2);
    EXPECT_NE(narrow_status(-0x10000), 0);
    EXPECT_NE(narrow_status(AVERROR_STREAM_NOT_FOUND), 0);
}
