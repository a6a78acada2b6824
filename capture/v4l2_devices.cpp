// SPDX-License-Identifier: MIT
#include "v4l2_devices.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

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
