// SPDX-License-Identifier: MIT
// The V4L2 cameras: the mode one is opened in for each processing resolution, from the modes it
// lists, and the watch on the device directory (this machine has no camera: lists and plain files
// stand in for the devices).
#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <vector>

#include "camera_test_support.h"
#include "v4l2_devices.h"

namespace {

constexpr uint32_t kMjpg = v4l2_code("MJPG"), kYuyv = v4l2_code("YUYV"), kH264 = v4l2_code("H264");

// A USB 2 webcam as they come: raw YUYV at full rate only up to VGA, MJPEG at full rate to 1080p.
const std::vector<V4l2Mode> kWebcam = {{kYuyv, 640, 480, 30},  {kYuyv, 1280, 720, 10},
                                       {kYuyv, 1920, 1080, 5}, {kMjpg, 640, 480, 30},
                                       {kMjpg, 1280, 720, 30}, {kMjpg, 1920, 1080, 30}};

using Request = CameraModeRequest;

struct ModeCase {
    const char* name;
    std::vector<V4l2Mode> modes;
    int maxHeight;  // lines
    std::optional<CameraModeRequest> expect;
};
void PrintTo(const ModeCase& c, std::ostream* os) {
    *os << c.name;
}

class CameraMode : public ::testing::TestWithParam<ModeCase> {};

TEST_P(CameraMode, IsTheBestTheCameraListsForTheResolution) {
    EXPECT_EQ(choose_camera_mode(GetParam().modes, GetParam().maxHeight), GetParam().expect);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cameras, CameraMode, ::testing::ValuesIn(std::vector<ModeCase>{
    {"WebcamAt480TakesRawVga", kWebcam, 480, Request{"yuyv422", 640, 480, 30}},
    {"WebcamAt720TakesMjpeg", kWebcam, 720, Request{"mjpeg", 1280, 720, 30}},
    {"RawHdTooFastForUsb2", {{kYuyv, 1280, 720, 30}, {kMjpg, 1280, 720, 60}}, 720,
     Request{"mjpeg", 1280, 720, 30}},
    {"FullRateBeforeLines", {{kYuyv, 640, 480, 30}, {kYuyv, 1280, 720, 10}}, 720,
     Request{"yuyv422", 640, 480, 30}},
    {"UhdAt1080TakesTheFewestLinesThatServe", {{kMjpg, 3840, 2160, 30}, {kMjpg, 1920, 1080, 30}},
     1080, Request{"mjpeg", 1920, 1080, 30}},
    {"NoneTallEnoughTakesTheTallest", {{kMjpg, 640, 480, 30}, {kMjpg, 1280, 720, 30}}, 1080,
     Request{"mjpeg", 1280, 720, 30}},
    {"WiderAtTheSameHeight", {{kMjpg, 960, 720, 30}, {kMjpg, 1280, 720, 30}}, 720,
     Request{"mjpeg", 1280, 720, 30}},
    {"NtscRateCountsAsFull", {{kYuyv, 640, 480, 30000.0 / 1001}, {kMjpg, 1280, 720, 30}}, 480,
     Request{"yuyv422", 640, 480, 30}},
    {"NoFullRateKeepsTheLines", {{kYuyv, 640, 480, 15}, {kYuyv, 320, 240, 25}}, 480,
     Request{"yuyv422", 640, 480, 15}},
    {"NoFormatThisProgramReads", {{kH264, 1920, 1080, 30}}, 1080, std::nullopt},
    {"NoModes", {}, 480, std::nullopt}}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

}  // namespace

// The probe stands in for VIDIOC_QUERYCAP.
TEST(HotPlug, WatchSeesVideoNodesComeAndGo) {
    testkit::TempDir dir;
    const std::string root = dir.path("").substr(0, dir.path("").size() - 1);
    const V4l2Probe probe = [](const std::string& path) -> std::optional<std::string> {
        if (path.find("video7") != std::string::npos) return std::nullopt;  // a metadata node
        return path.substr(path.rfind('/') + 1);
    };
    DeviceWatch watch(root);
    ASSERT_GE(watch.fd(), 0);
    EXPECT_FALSE(watch.changed());
    for (const char* node : {"video10", "video2", "video7"}) std::ofstream(dir.path(node)) << node;
    EXPECT_TRUE(watch.changed());
    const std::vector<V4l2Device> found = list_v4l2_devices(root, probe);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].card, "video2");
    for (const char* other : {"vide0", "video1x"}) std::ofstream(dir.path(other)) << other;
    EXPECT_FALSE(watch.changed());
    ASSERT_EQ(std::remove(dir.path("video2").c_str()), 0);
    EXPECT_TRUE(watch.changed());
    EXPECT_EQ(query_v4l2_card("/dev/null"), std::nullopt);
}
