// SPDX-License-Identifier: MIT
#include "v4l2_devices.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <tuple>
#include <utility>

#if defined(__linux__)
#include <linux/videodev2.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#endif

namespace {

bool is_video_node(const char* name) {
    if (std::strncmp(name, "video", 5) != 0 || !name[5]) return false;
    for (const char* p = name + 5; *p; ++p)
        if (*p < '0' || *p > '9') return false;
    return true;
}

}  // namespace

std::optional<std::string> query_v4l2_card(const std::string& path) {
#if defined(__linux__)
    const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    v4l2_capability cap{};
    const int r = ::ioctl(fd, VIDIOC_QUERYCAP, &cap);
    ::close(fd);
    if (r < 0) return std::nullopt;
    const uint32_t caps =
        (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
    if (!(caps & (V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_VIDEO_CAPTURE_MPLANE))) return std::nullopt;
    const char* card = reinterpret_cast<const char*>(cap.card);
    return std::string(card, strnlen(card, sizeof cap.card));
#else
    (void)path;
    return std::nullopt;
#endif
}

std::vector<V4l2Device> list_v4l2_devices(const std::string& dir, const V4l2Probe& probe) {
    std::vector<std::pair<int, std::string>> nodes;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (const dirent* e = ::readdir(d))
            if (is_video_node(e->d_name)) nodes.emplace_back(std::atoi(e->d_name + 5), e->d_name);
        ::closedir(d);
    }
    std::sort(nodes.begin(), nodes.end());
    std::vector<V4l2Device> out;
    for (const auto& [number, name] : nodes) {
        const std::string path = dir + "/" + name;
        if (std::optional<std::string> card = probe(path))
            out.push_back({path, card->empty() ? name : *card});
    }
    return out;
}

DeviceWatch::DeviceWatch(const std::string& dir) {
#if defined(__linux__)
    fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0) return;
    constexpr uint32_t kEvents =
        IN_CREATE | IN_DELETE | IN_ATTRIB | IN_MOVED_FROM | IN_MOVED_TO | IN_ONLYDIR;
    if (::inotify_add_watch(fd_, dir.c_str(), kEvents) < 0) {
        ::close(fd_);
        fd_ = -1;
    }
#else
    (void)dir;
#endif
}

DeviceWatch::~DeviceWatch() {
    if (fd_ >= 0) ::close(fd_);
}

bool DeviceWatch::changed() {
    bool video = false;
#if defined(__linux__)
    if (fd_ < 0) return false;
    alignas(inotify_event) char buf[4096];
    for (;;) {
        const ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n <= 0) break;
        for (ssize_t i = 0; i < n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buf + i);
            if (e->len > 0 && is_video_node(e->name)) video = true;
            if (e->mask & IN_Q_OVERFLOW) video = true;  // events were lost: look again
            i += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
        }
    }
#endif
    return video;
}

namespace {

struct FormatInfo {
    uint32_t code;
    const char* ffmpegName;
    double rawBytesPerPixel;  // 0 for a compressed format
};

const FormatInfo kFormats[] = {
    {v4l2_code("MJPG"), "mjpeg", 0},   {v4l2_code("JPEG"), "mjpeg", 0},
    {v4l2_code("YUYV"), "yuyv422", 2}, {v4l2_code("UYVY"), "uyvy422", 2},
    {v4l2_code("NV12"), "nv12", 1.5},  {v4l2_code("YU12"), "yuv420p", 1.5},
    {v4l2_code("RGB3"), "rgb24", 3},   {v4l2_code("BGR3"), "bgr24", 3},
};

constexpr double kFullRate = 29.0;     // pictures per second: 30, or the 29.97 of some cameras
constexpr double kUsb2Rate = 40e6;     // bytes per second a USB 2 camera link carries in practice

const FormatInfo* format_info(uint32_t code) {
    for (const FormatInfo& f : kFormats)
        if (f.code == code) return &f;
    return nullptr;
}

// How a mode ranks for the target height; a smaller tuple is better.
struct Rank {
    int slow, tooShort, lines, format;
    double rate;
    int narrow;
    bool operator<(const Rank& o) const {
        return std::tie(slow, tooShort, lines, format, rate, narrow) <
               std::tie(o.slow, o.tooShort, o.lines, o.format, o.rate, o.narrow);
    }
};

Rank rank_of(const V4l2Mode& m, const FormatInfo& f, int target) {
    const double rate = std::min(m.fps, 30.0);
    const bool covers = m.height >= target;
    const bool rawFits = f.rawBytesPerPixel > 0 &&
                         f.rawBytesPerPixel * m.width * m.height * rate <= kUsb2Rate;
    return {m.fps >= kFullRate ? 0 : 1, covers ? 0 : 1, covers ? m.height : -m.height,
            rawFits ? 0 : (f.rawBytesPerPixel > 0 ? 2 : 1), -rate, -m.width};
}

}  // namespace

std::optional<CameraModeRequest> choose_camera_mode(const std::vector<V4l2Mode>& modes,
                                                    int maxHeight) {
    int tallest = 0;
    for (const V4l2Mode& m : modes)
        if (format_info(m.pixelFormat) && m.width > 0) tallest = std::max(tallest, m.height);
    const int target = std::min(maxHeight, tallest);
    const V4l2Mode* best = nullptr;
    Rank bestRank{};
    for (const V4l2Mode& m : modes) {
        const FormatInfo* f = format_info(m.pixelFormat);
        if (!f || m.width <= 0 || m.height <= 0 || m.fps <= 0) continue;
        const Rank r = rank_of(m, *f, target);
        if (!best || r < bestRank) {
            best = &m;
            bestRank = r;
        }
    }
    if (!best) return std::nullopt;
    return CameraModeRequest{format_info(best->pixelFormat)->ffmpegName, best->width,
                             best->height, static_cast<int>(std::lround(std::min(best->fps, 30.0)))};
}

std::vector<V4l2Mode> list_v4l2_modes(const std::string& path) {
    std::vector<V4l2Mode> out;
#if defined(__linux__)
    const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return out;
    auto best_rate = [fd](uint32_t format, int w, int h) {
        double best = 0;
        v4l2_frmivalenum iv{};
        iv.pixel_format = format;
        iv.width = static_cast<uint32_t>(w);
        iv.height = static_cast<uint32_t>(h);
        for (iv.index = 0; ::ioctl(fd, VIDIOC_ENUM_FRAMEINTERVALS, &iv) == 0; ++iv.index) {
            const v4l2_fract f = iv.type == V4L2_FRMIVAL_TYPE_DISCRETE ? iv.discrete
                                                                       : iv.stepwise.min;
            if (f.numerator) best = std::max(best, static_cast<double>(f.denominator) / f.numerator);
            if (iv.type != V4L2_FRMIVAL_TYPE_DISCRETE) break;
        }
        return best;
    };
    v4l2_fmtdesc fmt{};
    fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    for (fmt.index = 0; ::ioctl(fd, VIDIOC_ENUM_FMT, &fmt) == 0; ++fmt.index) {
        v4l2_frmsizeenum fs{};
        fs.pixel_format = fmt.pixelformat;
        for (fs.index = 0; ::ioctl(fd, VIDIOC_ENUM_FRAMESIZES, &fs) == 0; ++fs.index) {
            if (fs.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
                const int w = static_cast<int>(fs.discrete.width);
                const int h = static_cast<int>(fs.discrete.height);
                out.push_back({fmt.pixelformat, w, h, best_rate(fmt.pixelformat, w, h)});
                continue;
            }
            for (const auto& [w, h] : {std::pair(fs.stepwise.max_width, fs.stepwise.max_height),
                                       std::pair(fs.stepwise.min_width, fs.stepwise.min_height)})
                out.push_back({fmt.pixelformat, static_cast<int>(w), static_cast<int>(h),
                               best_rate(fmt.pixelformat, static_cast<int>(w),
                                         static_cast<int>(h))});
            break;
        }
    }
    ::close(fd);
#else
    (void)path;
#endif
    return out;
}
