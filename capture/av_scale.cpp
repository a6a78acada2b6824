// SPDX-License-Identifier: MIT
// Scaling and pixel-format conversion with libswscale.
#include <cstring>

#include "av_camera.h"
#include "av_input_impl.h"

namespace {

// Every conversion uses the same filter with full chroma resolution, so the live view and the
// render tool produce the same bytes from A, R, G, B input.
constexpr int kSwsFlags = SWS_BILINEAR | SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP;

}  // namespace

bool picture_to_argb(av::SwsPtr& sws, const uint8_t* const src[4], const int srcStride[4], int sw,
                     int sh, AVPixelFormat sf, uint8_t* dst, int dw, int dh, int dstRowBytes) {
    if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0 || !src[0] || !dst) return false;
    if (sf == AV_PIX_FMT_ARGB && sw == dw && sh == dh) {
        for (int y = 0; y < dh; ++y)
            std::memcpy(dst + static_cast<ptrdiff_t>(y) * dstRowBytes,
                        src[0] + static_cast<ptrdiff_t>(y) * srcStride[0],
                        4 * static_cast<size_t>(dw));
        return true;
    }
    sws.reset(sws_getCachedContext(sws.release(), sw, sh, sf, dw, dh, AV_PIX_FMT_ARGB, kSwsFlags,
                                   nullptr, nullptr, nullptr));
    if (!sws) return false;
    uint8_t* const dstPlanes[4] = {dst, nullptr, nullptr, nullptr};
    const int dstStride[4] = {dstRowBytes, 0, 0, 0};
    return sws_scale(sws.get(), src, srcStride, 0, sh, dstPlanes, dstStride) == dh;
}

struct ArgbScaler::Impl {
    av::SwsPtr sws;
};

ArgbScaler::ArgbScaler() : impl_(std::make_unique<Impl>()) {}
ArgbScaler::~ArgbScaler() = default;

bool ArgbScaler::scale(const uint8_t* src, int sw, int sh, int srcRowBytes, uint8_t* dst, int dw,
                       int dh, int dstRowBytes) {
    const uint8_t* const srcPlanes[4] = {src, nullptr, nullptr, nullptr};
    const int srcStride[4] = {srcRowBytes, 0, 0, 0};
    return picture_to_argb(impl_->sws, srcPlanes, srcStride, sw, sh, AV_PIX_FMT_ARGB, dst, dw, dh,
                           dstRowBytes);
}
