// SPDX-License-Identifier: MIT
// The mode a V4L2 camera is opened in for each processing resolution, from the modes it lists
// (this machine has no camera: the lists stand in for the devices).
#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "v4l2_devices.h"

namespace {

constexpr uint32_t kMjpg = v4l2_code("MJPG"), kYuyv = v4l2_code("YUYV"), kH264 = v4l2_code("H264");

// A USB 2 webcam as they come: raw YUYV at full rate only up to VGA, MJPEG at full rate to 1080p.
const std::vector<V4l2Mode> kWebcam = {
    {kYuyv, 640, 480, 30}, {kYuyv, 1280, 720, 10}, {kYuyv, 1920, 1080, 5},
    {kMjpg, 640, 480, 30}, {kMjpg, 1280, 720, 30}, {kMjpg, 1920, 1080, 30}};
const std::vector<V4l2Mode> kUhd = {{kMjpg, 3840, 2160, 30}, {kMjpg, 1920, 1080, 30}};

struct ModeCase {
    const char* name;
    std::vector<V4l2Mode> modes;
    int maxHeight;  // lines
    std::optional<CameraModeRequest> expect;
};
void PrintTo(const ModeCase& c, std::ostream* os) { *os << c.name; }

class CameraMode : public ::testing::TestWithParam<ModeCase> {};

TEST_P(CameraMode, IsTheBestTheCameraListsForTheResolution) {
    EXPECT_EQ(choose_camera_mode(GetParam().modes, GetParam().maxHeight), GetParam().expect);
}

INSTANTIATE_TEST_SUITE_P(
    Cameras, CameraMode,
    ::testing::Values(
        ModeCase{"WebcamAt480TakesRawVga", kWebcam, 480, CameraModeRequest{"yuyv422", 640, 480, 30}},
        ModeCase{"WebcamAt720TakesMjpeg", kWebcam, 720, CameraModeRequest{"mjpeg", 1280, 720, 30}},
        ModeCase{"WebcamOwnIsItsTallest", kWebcam, 2160, CameraModeRequest{"mjpeg", 1920, 1080, 30}},
        ModeCase{"RawHdTooFastForUsb2", {{kYuyv, 1280, 720, 30}, {kMjpg, 1280, 720, 60}}, 720,
                 CameraModeRequest{"mjpeg", 1280, 720, 30}},
        ModeCase{"FullRateBeforeLines", {{kYuyv, 640, 480, 30}, {kYuyv, 1280, 720, 10}}, 720,
                 CameraModeRequest{"yuyv422", 640, 480, 30}},
        ModeCase{"UhdAtOwn", kUhd, 2160, CameraModeRequest{"mjpeg", 3840, 2160, 30}},
        ModeCase{"UhdAt1080TakesTheFewestLinesThatServe", kUhd, 1080,
                 CameraModeRequest{"mjpeg", 1920, 1080, 30}},
        ModeCase{"NoneTallEnoughTakesTheTallest", {{kMjpg, 640, 480, 30}, {kMjpg, 1280, 720, 30}}, 1080,
                 CameraModeRequest{"mjpeg", 1280, 720, 30}},
        ModeCase{"WiderAtTheSameHeight", {{kMjpg, 960, 720, 30}, {kMjpg, 1280, 720, 30}}, 720,
                 CameraModeRequest{"mjpeg", 1280, 720, 30}},
        ModeCase{"NtscRateCountsAsFull", {{kYuyv, 640, 480, 30000.0 / 1001}, {kMjpg, 1280, 720, 30}}, 480,
                 CameraModeRequest{"yuyv422", 640, 480, 30}},
        ModeCase{"NoFullRateKeepsTheLines", {{kYuyv, 640, 480, 15}, {kYuyv, 320, 240, 25}}, 480,
                 CameraModeRequest{"yuyv422", 640, 480, 15}},
        ModeCase{"NoFormatThisProgramReads", {{kH264, 1920, 1080, 30}}, 1080, std::nullopt},
        ModeCase{"NoModes", {}, 480, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

