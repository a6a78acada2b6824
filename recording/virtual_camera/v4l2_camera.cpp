// SPDX-License-Identifier: MIT
// The V4L2 camera: a v4l2loopback device set to YUYV at the camera size and written with
// write() on a thread of its own. The device is opened non-blocking: a picture it cannot take at
// once is dropped.
#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <thread>

#include "camera_feed.h"

namespace {

std::string module_hint(const std::string& device) {
    std::string nr;
    if (device.rfind("/dev/video", 0) == 0) nr = device.substr(std::strlen("/dev/video"));
    const bool number = !nr.empty() && nr.find_first_not_of("0123456789") == std::string::npos;
    return "load the v4l2loopback module: sudo modprobe v4l2loopback" +
           (number ? " video_nr=" + nr : std::string()) +
           " card_label=Wobblescope exclusive_caps=1";
}

class V4l2Camera : public VirtualCamera {
public:
    V4l2Camera(int fd, int width, int height)
        : VirtualCamera(width, height),
          fd_(fd),
          out_(static_cast<size_t>(camera_stride(CameraFormat::YUY2, width)) * height),
          thread_([this] { run(); }) {}
    ~V4l2Camera() override {
        {
            const std::lock_guard<std::mutex> hold(lock_);
            quit_ = true;
        }
        wake_.notify_one();
        thread_.join();
        ::close(fd_);
    }

    bool feed(const uint8_t* data, int rowBytes, int width, int height) override {
        ++counters_.fed;
        if (broken_) {
            ++counters_.dropped;
            return false;
        }
        if (mailbox_.put(data, rowBytes, width, height)) ++counters_.dropped;
        wake_.notify_one();
        return true;
    }
    bool consumerConnected() const override { return false; }
    bool waitConsumer(std::chrono::milliseconds) const override { return true; }
    bool waitSent(std::chrono::milliseconds timeout) const override {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (!mailbox_.idle()) {
            if (std::chrono::steady_clock::now() >= end) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }
    std::string failure() const override {
        const std::lock_guard<std::mutex> hold(lock_);
        return failure_;
    }
    Stats stats() const override { return counters_.get(); }
    CameraFormat format() const override { return CameraFormat::YUY2; }

private:
    void run() {
        std::unique_lock<std::mutex> hold(lock_);
        while (!quit_) {
            const CameraPicture* p = mailbox_.take();
            if (!p) {
                wake_.wait_for(hold, std::chrono::milliseconds(100));
                continue;
            }
            hold.unlock();
            write(*p);
            mailbox_.release();
            hold.lock();
        }
    }
    void write(const CameraPicture& p) {
        const int stride = camera_stride(CameraFormat::YUY2, width());
        if (!converter_.convert(p, CameraFormat::YUY2, out_.data(), stride, width(), height())) {
            ++counters_.dropped;
            return;
        }
        const ssize_t n = ::write(fd_, out_.data(), out_.size());
        if (n == static_cast<ssize_t>(out_.size())) {
            ++counters_.sent;
            return;
        }
        ++counters_.dropped;
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
        const std::lock_guard<std::mutex> hold(lock_);
        failure_ = "writing to the V4L2 device failed: " +
                   std::string(n < 0 ? std::strerror(errno) : "short write");
        broken_ = true;
    }

    int fd_;
    std::vector<uint8_t> out_;  // one YUYV picture; writer thread only
    PictureMailbox mailbox_;
    PictureConverter converter_;
    CameraCounters counters_;
    std::atomic<bool> broken_{false};
    mutable std::mutex lock_;
    std::condition_variable wake_;
    bool quit_ = false;
    std::string failure_;
    std::thread thread_;  // last: starts once everything above exists
};

}  // namespace

std::unique_ptr<VirtualCamera> open_v4l2_camera(const std::string& device, int width, int height,
                                                std::string& error) {
    const int fd = ::open(device.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = device + ": cannot open it (" + std::strerror(errno) + "); " + module_hint(device);
        return nullptr;
    }
    auto fail = [&](const std::string& why) {
        error = device + ": " + why + "; " + module_hint(device);
        ::close(fd);
        return nullptr;
    };
    v4l2_capability cap{};
    if (::ioctl(fd, VIDIOC_QUERYCAP, &cap) < 0) return fail("not a V4L2 device");
    const uint32_t caps =
        (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
    if (!(caps & V4L2_CAP_VIDEO_OUTPUT)) return fail("not a V4L2 output device");

    v4l2_format fmt{};
    fmt.type = V4L2_BUF_TYPE_VIDEO_OUTPUT;
    fmt.fmt.pix.width = static_cast<uint32_t>(width);
    fmt.fmt.pix.height = static_cast<uint32_t>(height);
    fmt.fmt.pix.pixelformat = V4L2_PIX_FMT_YUYV;
    fmt.fmt.pix.field = V4L2_FIELD_NONE;
    fmt.fmt.pix.bytesperline = static_cast<uint32_t>(camera_stride(CameraFormat::YUY2, width));
    fmt.fmt.pix.sizeimage = fmt.fmt.pix.bytesperline * fmt.fmt.pix.height;
    fmt.fmt.pix.colorspace = V4L2_COLORSPACE_SMPTE170M;
    if (::ioctl(fd, VIDIOC_S_FMT, &fmt) < 0)
        return fail(std::string("refused the picture format (") + std::strerror(errno) + ")");
    if (fmt.fmt.pix.pixelformat != V4L2_PIX_FMT_YUYV ||
        fmt.fmt.pix.width != static_cast<uint32_t>(width) ||
        fmt.fmt.pix.height != static_cast<uint32_t>(height))
        return fail("does not take YUYV pictures of " + std::to_string(width) + " x " +
                    std::to_string(height) + " pixels");
    return std::make_unique<V4l2Camera>(fd, width, height);
}
