// SPDX-License-Identifier: MIT
// Scaling and pixel-format conversion with libswscale.
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "av_camera.h"
#include "av_input_impl.h"
#include "row_pool.h"

extern "C" {
#include <libavutil/opt.h>
}

namespace {

// Every conversion uses the same filter with full chroma resolution, so the live view and the
// render tool produce the same bytes from A, R, G, B input.
constexpr int kSwsFlags = SWS_BILINEAR | SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP;

// One output pixel: the mean of its 2 x 2 source pixels, byte by byte, halves rounded up.
inline void halve_pixel(const uint8_t* a, const uint8_t* b, uint8_t* out) {
    for (int k = 0; k < 4; ++k)
        out[k] = static_cast<uint8_t>((a[k] + a[k + 4] + b[k] + b[k + 4] + 2) >> 2);
}

// The owner of a lent plane frees nothing: the plane belongs to the caller.
void lend_nothing(void*, uint8_t*) {}

// A scaler with the filter above that slices its output over the threads the process may use.
av::SwsPtr make_scaler(int sw, int sh, AVPixelFormat sf, int dw, int dh) {
    av::SwsPtr c(sws_alloc_context());
    if (!c) return nullptr;
    av_opt_set_int(c.get(), "srcw", sw, 0);
    av_opt_set_int(c.get(), "srch", sh, 0);
    av_opt_set_int(c.get(), "src_format", sf, 0);
    av_opt_set_int(c.get(), "dstw", dw, 0);
    av_opt_set_int(c.get(), "dsth", dh, 0);
    av_opt_set_int(c.get(), "dst_format", AV_PIX_FMT_ARGB, 0);
    av_opt_set_int(c.get(), "sws_flags", kSwsFlags, 0);
    av_opt_set_int(c.get(), "threads", default_thread_count(), 0);
    if (sws_init_context(c.get(), nullptr, nullptr) < 0) return nullptr;
    return c;
}

}  // namespace

void halve_argb(const uint8_t* src, int sw, int sh, int srcRowBytes, uint8_t* dst,
                int dstRowBytes) {
    const int dw = sw / 2, dh = sh / 2;
    for (int y = 0; y < dh; ++y) {
        const uint8_t* a = src + static_cast<ptrdiff_t>(2 * y) * srcRowBytes;
        const uint8_t* b = a + srcRowBytes;
        uint8_t* out = dst + static_cast<ptrdiff_t>(y) * dstRowBytes;
        int x = 0;
#if defined(__SSE2__)
        // Four output pixels from eight source pixels of each row: even and odd pixels apart,
        // then the four bytes of each 2 x 2 block summed in 16 bits.
        const __m128i zero = _mm_setzero_si128(), two = _mm_set1_epi16(2);
        for (; x + 4 <= dw; x += 4) {
            const __m128i a0 = _mm_shuffle_epi32(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + 8 * x)), 0xD8);
            const __m128i a1 = _mm_shuffle_epi32(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + 8 * x + 16)), 0xD8);
            const __m128i b0 = _mm_shuffle_epi32(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + 8 * x)), 0xD8);
            const __m128i b1 = _mm_shuffle_epi32(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + 8 * x + 16)), 0xD8);
            // Pixels 0 2 | 1 3 of each half: the 64-bit halves hold the even and the odd ones.
            const __m128i ae = _mm_unpacklo_epi64(a0, a1), ao = _mm_unpackhi_epi64(a0, a1);
            const __m128i be = _mm_unpacklo_epi64(b0, b1), bo = _mm_unpackhi_epi64(b0, b1);
            __m128i lo = _mm_add_epi16(_mm_unpacklo_epi8(ae, zero), _mm_unpacklo_epi8(ao, zero));
            lo = _mm_add_epi16(
                lo, _mm_add_epi16(_mm_unpacklo_epi8(be, zero), _mm_unpacklo_epi8(bo, zero)));
            __m128i hi = _mm_add_epi16(_mm_unpackhi_epi8(ae, zero), _mm_unpackhi_epi8(ao, zero));
            hi = _mm_add_epi16(
                hi, _mm_add_epi16(_mm_unpackhi_epi8(be, zero), _mm_unpackhi_epi8(bo, zero)));
            lo = _mm_srli_epi16(_mm_add_epi16(lo, two), 2);
            hi = _mm_srli_epi16(_mm_add_epi16(hi, two), 2);
            // Every lane is at most 255 here, so the pack keeps it as it is.
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * x), _mm_packus_epi16(lo, hi));
        }
#endif
        for (; x < dw; ++x) halve_pixel(a + 8 * x, b + 8 * x, out + 4 * x);
    }
}

bool picture_to_argb(ArgbConversion& conv, const uint8_t* const src[4], const int srcStride[4],
                     int sw, int sh, AVPixelFormat sf, uint8_t* dst, int dw, int dh,
                     int dstRowBytes) {
    if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0 || !src[0] || !dst) return false;
    if (sf == AV_PIX_FMT_ARGB && sw == dw && sh == dh) {
        for (int y = 0; y < dh; ++y)
            std::memcpy(dst + static_cast<ptrdiff_t>(y) * dstRowBytes,
                        src[0] + static_cast<ptrdiff_t>(y) * srcStride[0],
                        4 * static_cast<size_t>(dw));
        return true;
    }
    if (dw == sw / 2 && dh == sh / 2) {
        if (sf == AV_PIX_FMT_ARGB) {
            halve_argb(src[0], sw, sh, srcStride[0], dst, dstRowBytes);
            return true;
        }
        conv.full.resize(4 * static_cast<size_t>(sw) * sh);
        if (!picture_to_argb(conv, src, srcStride, sw, sh, sf, conv.full.data(), sw, sh, 4 * sw))
            return false;
        halve_argb(conv.full.data(), sw, sh, 4 * sw, dst, dstRowBytes);
        return true;
    }
    if (!conv.sws || conv.sw != sw || conv.sh != sh || conv.sf != sf || conv.dw != dw ||
        conv.dh != dh) {
        conv.sws = make_scaler(sw, sh, sf, dw, dh);
        conv.sw = sw, conv.sh = sh, conv.sf = sf, conv.dw = dw, conv.dh = dh;
        if (!conv.sws) return false;
    }
    // The frames lend their planes to libswscale, which cuts the output into slices, one per
    // thread; each thread reads the input rows its slice needs, so the bytes do not change.
    if (!conv.in) conv.in.reset(av_frame_alloc());
    if (!conv.out) conv.out.reset(av_frame_alloc());
    if (!conv.lent) conv.lent.reset(av_buffer_create(nullptr, 0, lend_nothing, nullptr, 0));
    if (!conv.in || !conv.out || !conv.lent) return false;
    const auto lend = [&conv](AVFrame* f, int w, int h, AVPixelFormat format,
                              const uint8_t* const planes[4], const int strides[4]) {
        av_frame_unref(f);
        f->width = w;
        f->height = h;
        f->format = format;
        for (int i = 0; i < 4; ++i) {
            f->data[i] = const_cast<uint8_t*>(planes[i]);
            f->linesize[i] = strides[i];
        }
        f->buf[0] = av_buffer_ref(conv.lent.get());
        return f->buf[0] != nullptr;
    };
    const uint8_t* const dstPlanes[4] = {dst, nullptr, nullptr, nullptr};
    const int dstStride[4] = {dstRowBytes, 0, 0, 0};
    if (!lend(conv.in.get(), sw, sh, sf, src, srcStride) ||
        !lend(conv.out.get(), dw, dh, AV_PIX_FMT_ARGB, dstPlanes, dstStride))
        return false;
    const int r = sws_scale_frame(conv.sws.get(), conv.out.get(), conv.in.get());
    av_frame_unref(conv.in.get());
    av_frame_unref(conv.out.get());
    return r >= 0;
}

struct ArgbScaler::Impl {
    ArgbConversion conversion;
};

ArgbScaler::ArgbScaler() : impl_(std::make_unique<Impl>()) {}
ArgbScaler::~ArgbScaler() = default;

bool ArgbScaler::scale(const uint8_t* src, int sw, int sh, int srcRowBytes, uint8_t* dst, int dw,
                       int dh, int dstRowBytes) {
    const uint8_t* const srcPlanes[4] = {src, nullptr, nullptr, nullptr};
    const int srcStride[4] = {srcRowBytes, 0, 0, 0};
    return picture_to_argb(impl_->conversion, srcPlanes, srcStride, sw, sh, AV_PIX_FMT_ARGB, dst,
                           dw, dh, dstRowBytes);
}
