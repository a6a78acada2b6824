// SPDX-License-Identifier: MIT
#include "camera_feed.h"

#include <cstring>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

bool PictureMailbox::put(const uint8_t* data, int rowBytes, int width, int height) {
    int slot;
    {
        const std::lock_guard<std::mutex> hold(lock_);
        slot = 0;
        while (slot == ready_ || slot == reading_) ++slot;
    }
    // The slot is neither waiting nor being read, and only this thread puts: no lock needed.
    CameraPicture& p = slots_[slot];
    const size_t row = 4 * static_cast<size_t>(width);
    p.bytes.resize(row * height);
    for (int y = 0; y < height; ++y)
        std::memcpy(p.bytes.data() + y * row, data + static_cast<size_t>(y) * rowBytes, row);
    p.width = width;
    p.height = height;
    p.rowBytes = static_cast<int>(row);

    const std::lock_guard<std::mutex> hold(lock_);
    const bool overtaken = ready_ >= 0;
    ready_ = slot;
    return overtaken;
}

const CameraPicture* PictureMailbox::take() {
    const std::lock_guard<std::mutex> hold(lock_);
    if (ready_ < 0) return nullptr;
    reading_ = ready_;
    ready_ = -1;
    return &slots_[reading_];
}

void PictureMailbox::release() {
    const std::lock_guard<std::mutex> hold(lock_);
    reading_ = -1;
}

bool PictureMailbox::idle() const {
    const std::lock_guard<std::mutex> hold(lock_);
    return ready_ < 0 && reading_ < 0;
}

bool PictureMailbox::clear() {
    const std::lock_guard<std::mutex> hold(lock_);
    const bool had = ready_ >= 0;
    ready_ = -1;
    return had;
}

int camera_stride(CameraFormat format, int width) {
    const int bytes = format == CameraFormat::YUY2 ? 2 * ((width + 1) & ~1) : 4 * width;
    return (bytes + 3) & ~3;
}

struct PictureConverter::Impl {
    SwsContext* sws = nullptr;
};

PictureConverter::PictureConverter() : impl_(std::make_unique<Impl>()) {}

PictureConverter::~PictureConverter() {
    sws_freeContext(impl_->sws);
}

namespace {

// Same size, packed to packed: R, G, B in the asked order and X = 0xFF.
void copy_rgbx(const CameraPicture& src, bool bgr, uint8_t* dst, int dstStride) {
    for (int y = 0; y < src.height; ++y) {
        const uint8_t* s = src.bytes.data() + static_cast<size_t>(y) * src.rowBytes;
        uint8_t* d = dst + static_cast<size_t>(y) * dstStride;
        if (!bgr) {
            std::memcpy(d, s, 4 * static_cast<size_t>(src.width));
            for (int x = 0; x < src.width; ++x) d[4 * x + 3] = 0xFF;
            continue;
        }
        for (int x = 0; x < src.width; ++x, s += 4, d += 4) {
            uint32_t v;
            std::memcpy(&v, s, 4);
            // Bytes R G B X become B G R 0xFF.
            v = ((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF) | 0xFF000000u;
            std::memcpy(d, &v, 4);
        }
    }
}

// A picture at twice its size, the way the window draws a half-size picture smoothly: even
// pixels are the source pixels, odd ones the mean of their two neighbours (rounded up), across
// and down; the last column and row repeat. R, G, B in the asked order, X = 0xFF.
void double_rgbx(const CameraPicture& src, bool bgr, uint8_t* dst, int dstStride) {
    const int w = src.width, h = src.height;
    auto mean = [](uint8_t* out, const uint8_t* a, const uint8_t* b, size_t n) {
        for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>((a[i] + b[i] + 1) >> 1);
    };
    for (int y = 0; y < h; ++y) {
        const uint8_t* s = src.bytes.data() + static_cast<size_t>(y) * src.rowBytes;
        uint8_t* d = dst + static_cast<size_t>(2 * y) * dstStride;
        const int r = bgr ? 2 : 0, b = bgr ? 0 : 2;
        for (int x = 0; x < w; ++x) {
            const uint8_t* p = s + 4 * x;
            const uint8_t* q = s + 4 * (x + 1 < w ? x + 1 : x);
            uint8_t* o = d + 8 * x;
            o[r] = p[0], o[1] = p[1], o[b] = p[2], o[3] = 0xFF;
            o[4 + r] = static_cast<uint8_t>((p[0] + q[0] + 1) >> 1);
            o[5] = static_cast<uint8_t>((p[1] + q[1] + 1) >> 1);
            o[4 + b] = static_cast<uint8_t>((p[2] + q[2] + 1) >> 1);
            o[7] = 0xFF;
        }
        if (y > 0)
            mean(d - dstStride, d - 2 * static_cast<size_t>(dstStride), d,
                 8 * static_cast<size_t>(w));
    }
    uint8_t* last = dst + static_cast<size_t>(2 * h - 1) * dstStride;
    std::memcpy(last, last - dstStride, 8 * static_cast<size_t>(w));
}

AVPixelFormat av_format(CameraFormat f) {
    switch (f) {
        case CameraFormat::BGRx:
            return AV_PIX_FMT_BGR0;
        case CameraFormat::RGBx:
            return AV_PIX_FMT_RGB0;
        case CameraFormat::YUY2:
            break;
    }
    return AV_PIX_FMT_YUYV422;
}

}  // namespace

bool PictureConverter::convert(const CameraPicture& src, CameraFormat format, uint8_t* dst,
                               int dstStride, int dw, int dh) {
    if (src.width == dw && src.height == dh && format != CameraFormat::YUY2) {
        copy_rgbx(src, format == CameraFormat::BGRx, dst, dstStride);
        return true;
    }
    if (2 * src.width == dw && 2 * src.height == dh && format != CameraFormat::YUY2) {
        double_rgbx(src, format == CameraFormat::BGRx, dst, dstStride);
        return true;
    }
    impl_->sws = sws_getCachedContext(impl_->sws, src.width, src.height, AV_PIX_FMT_RGB0, dw, dh,
                                      av_format(format), SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!impl_->sws) return false;
    const uint8_t* srcPlanes[4] = {src.bytes.data(), nullptr, nullptr, nullptr};
    const int srcStrides[4] = {src.rowBytes, 0, 0, 0};
    uint8_t* dstPlanes[4] = {dst, nullptr, nullptr, nullptr};
    const int dstStrides[4] = {dstStride, 0, 0, 0};
    if (sws_scale(impl_->sws, srcPlanes, srcStrides, 0, src.height, dstPlanes, dstStrides) != dh)
        return false;
    if (format != CameraFormat::YUY2) {
        // libswscale leaves the unshown byte at 0, which some consumers take for alpha.
        for (int y = 0; y < dh; ++y) {
            uint8_t* d = dst + static_cast<size_t>(y) * dstStride;
            for (int x = 0; x < dw; ++x) d[4 * x + 3] = 0xFF;
        }
    }
    return true;
}

CameraTarget parse_camera_target(const std::string& text) {
    CameraTarget t;
    if (text.rfind("/dev/", 0) == 0) {
        t.v4l2 = true;
        t.name = text;
    } else {
        t.name = text.empty() ? kDefaultCameraName : text;
    }
    return t;
}
