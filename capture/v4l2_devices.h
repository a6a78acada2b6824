// SPDX-License-Identifier: MIT
// The V4L2 cameras of this machine, named by their cards, and a watch on the device directory
// that notices cameras plugged in and out. Plain Linux calls; no FFmpeg, no Qt.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct V4l2Device {
    std::string path;  // "/dev/video0"
    std::string card;  // the device's own name, from VIDIOC_QUERYCAP
};

// The card name of the video capture device at path; nothing when path is no such device
// (missing, not a V4L2 node, or a node without video capture, such as a metadata node).
std::optional<std::string> query_v4l2_card(const std::string& path);

using V4l2Probe = std::function<std::optional<std::string>(const std::string& path)>;

// The capture devices among dir's video* nodes, in node number order.
std::vector<V4l2Device> list_v4l2_devices(const std::string& dir = "/dev",
                                          const V4l2Probe& probe = query_v4l2_card);

// One way a V4L2 camera can deliver pictures: a pixel format at a frame size, with the highest
// frame rate it offers there.
struct V4l2Mode {
    uint32_t pixelFormat = 0;  // V4L2 fourcc, "MJPG", "YUYV", ...
    int width = 0, height = 0;  // pixels
    double fps = 0;             // pictures per second at best
};

constexpr uint32_t v4l2_code(const char (&c)[5]) {
    return static_cast<uint32_t>(c[0]) | static_cast<uint32_t>(c[1]) << 8 |
           static_cast<uint32_t>(c[2]) << 16 | static_cast<uint32_t>(c[3]) << 24;
}

// The modes of the capture device at path (VIDIOC_ENUM_FMT, _FRAMESIZES, _FRAMEINTERVALS);
// empty when it lists none or cannot be opened. A range of sizes gives its largest and smallest.
std::vector<V4l2Mode> list_v4l2_modes(const std::string& path);

// What libavdevice's v4l2 input is asked for: its options input_format, video_size, framerate.
struct CameraModeRequest {
    std::string inputFormat;  // "mjpeg", "yuyv422", ...
    int width = 0, height = 0;  // pixels
    int fps = 0;                // pictures per second
    bool operator==(const CameraModeRequest&) const = default;
};

// The best of the modes for a processing resolution of maxHeight lines: first a full frame rate
// (30 per second), then the fewest lines that still give maxHeight (else the most there are),
// then a raw format where its data rate fits a USB 2 link (it needs no decoding and loses
// nothing), else a compressed one (MJPEG), then the higher rate and the wider picture. Nothing
// when no mode has a format this program reads.
std::optional<CameraModeRequest> choose_camera_mode(const std::vector<V4l2Mode>& modes,
                                                    int maxHeight);

// Watches dir with inotify for video* nodes created, removed or given new permissions (udev
// sets them just after the kernel creates the node). Without inotify, fd() is -1.
class DeviceWatch {
public:
    explicit DeviceWatch(const std::string& dir = "/dev");
    ~DeviceWatch();
    DeviceWatch(const DeviceWatch&) = delete;
    DeviceWatch& operator=(const DeviceWatch&) = delete;

    int fd() const { return fd_; }  // readable when events wait; never blocks
    // Reads every waiting event. True when one of them concerns a video* node.
    bool changed();

private:
    int fd_ = -1;
};
