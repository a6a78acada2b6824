// SPDX-License-Identifier: MIT
// The V4L2 cameras of this machine, named by their cards, and a watch on the device directory
// that notices cameras plugged in and out. Plain Linux calls; no FFmpeg, no Qt.
#pragma once

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
