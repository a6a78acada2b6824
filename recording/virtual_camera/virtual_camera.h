// SPDX-License-Identifier: MIT
// The picture offered as a camera that other programs open: a PipeWire video source node, or a
// v4l2loopback device written through the V4L2 output API. Pictures are handed over as drawn
// (4 bytes per pixel R, G, B and one unshown byte) and scaled to the camera size and converted
// on the camera's own thread. Handing over never waits: a picture that cannot go out is dropped.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

constexpr const char* kDefaultCameraName = "wobblescope";  // node.name when none is given
constexpr const char* kCameraDescription = "Wobblescope";  // what camera lists show

// Pixel formats a consumer may choose. BGRx and RGBx carry the picture's bytes unchanged at the
// same size; YUY2 is converted (BT.601, limited range).
enum class CameraFormat { BGRx, RGBx, YUY2 };

// Where the pictures go, from `--virtual-camera[=NAME|/dev/videoN]` or a render OUTPUT.
struct CameraTarget {
    bool v4l2 = false;  // a V4L2 loopback device rather than a PipeWire node
    std::string name;   // node name or device path
};
// "" gives the PipeWire node kDefaultCameraName; a path under /dev/ a V4L2 device; anything else
// is a node name.
CameraTarget parse_camera_target(const std::string& text);

class VirtualCamera {
public:
    struct Stats {
        long long fed = 0;      // pictures handed to feed
        long long sent = 0;     // pictures that went out to a consumer or the device
        long long dropped = 0;  // pictures dropped: no consumer, no free buffer, or overtaken
    };

    virtual ~VirtualCamera() = default;

    // One picture: width x height pixels, R, G, B, X per pixel, rows rowBytes apart. The bytes
    // are copied before it returns. Never waits for the camera's thread, the daemon or a
    // consumer; false when the picture was dropped at once (nobody is watching).
    virtual bool feed(const uint8_t* data, int rowBytes, int width, int height) = 0;

    // Whether a consumer is taking pictures now (always false for a V4L2 device: the kernel
    // does not say).
    virtual bool consumerConnected() const = 0;
    // For tools that may wait: until a consumer takes pictures; false when `timeout` passes.
    virtual bool waitConsumer(std::chrono::milliseconds timeout) const = 0;
    // For tools that may wait: until the pictures fed so far have gone out or been dropped.
    virtual bool waitSent(std::chrono::milliseconds timeout) const = 0;

    // Empty while the camera works; afterwards why it stopped (the daemon went away, the
    // device failed). A stopped camera drops every picture.
    virtual std::string failure() const = 0;

    virtual Stats stats() const = 0;
    virtual CameraFormat format() const = 0;  // the format the consumer chose (BGRx before)
    int width() const { return width_; }      // the camera size, pixels; never changes
    int height() const { return height_; }

protected:
    VirtualCamera(int width, int height) : width_(width), height_(height) {}

private:
    int width_, height_;
};

// Offers a PipeWire node named `name` (media.class Video/Source) of width x height pixels at
// `rate` pictures per second, in BGRx, RGBx or YUY2 as the consumer chooses. On failure returns
// null and says why in `error`.
std::unique_ptr<VirtualCamera> open_pipewire_camera(const std::string& name, int width, int height,
                                                    int rate, std::string& error);

// Opens a v4l2loopback device for output in YUYV at width x height. A path that is not a V4L2
// output device fails with a message that names it and says how to load the module.
std::unique_ptr<VirtualCamera> open_v4l2_camera(const std::string& device, int width, int height,
                                                std::string& error);

// Whether a PipeWire daemon answers; `why` says what failed when not. Takes a few milliseconds.
bool pipewire_reachable(std::string& why);
