// SPDX-License-Identifier: MIT
// Pictures into the encoder: one libswscale pass from the recording pixel map straight into the
// encoder's frame, then the compressed frame; and the settings dialog's preview.
#include "av_common.h"

extern "C" {
#include <libswscale/swscale.h>
}

namespace {

// Converts A, R, G, B rows into frames of the encoder's pixel format, full range for JPEG.
av::SwsPtr make_converter(int w, int h, AVPixelFormat dst, bool fullRange) {
    av::SwsPtr sws(sws_getContext(w, h, AV_PIX_FMT_ARGB, w, h, dst,
                                  SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr,
                                  nullptr, nullptr));
    if (sws && fullRange) {
        const int* coeffs = sws_getCoefficients(SWS_CS_ITU601);
        sws_setColorspaceDetails(sws.get(), coeffs, 1, coeffs, 1, 0, 1 << 16, 1 << 16);
    }
    return sws;
}

av::FramePtr make_frame(AVPixelFormat fmt, int w, int h, int& err) {
    av::FramePtr f(av_frame_alloc());
    if (!f) {
        err = AVERROR(ENOMEM);
        return nullptr;
    }
    f->format = fmt;
    f->width = w;
    f->height = h;
    err = av_frame_get_buffer(f.get(), 0);
    if (err < 0) return nullptr;
    return f;
}

// The encoder may still hold the last frame's buffer: the next picture then goes into a fresh
// one rather than a copy of the old, since every byte is written anew.
int writable_frame(AVFrame* f) {
    if (av_frame_is_writable(f)) return 0;
    const int fmt = f->format, w = f->width, h = f->height;
    av_frame_unref(f);
    f->format = fmt;
    f->width = w;
    f->height = h;
    return av_frame_get_buffer(f, 0);
}

// The decoders' yuvj formats are plain YUV at full range; telling libswscale so keeps it quiet.
AVPixelFormat plain_yuv(AVPixelFormat f, bool& fullRange) {
    switch (f) {
        case AV_PIX_FMT_YUVJ420P:
            fullRange = true;
            return AV_PIX_FMT_YUV420P;
        case AV_PIX_FMT_YUVJ422P:
            fullRange = true;
            return AV_PIX_FMT_YUV422P;
        case AV_PIX_FMT_YUVJ444P:
            fullRange = true;
            return AV_PIX_FMT_YUV444P;
        default:
            return f;
    }
}

const uint8_t* pixmap_origin(PixMapHandle pm, const Rect16& r) {
    const PixMap& p = **pm;
    return p.baseAddr + static_cast<ptrdiff_t>(r.top - p.bounds.top) * pixmap_row_bytes(pm) +
           4 * static_cast<ptrdiff_t>(r.left - p.bounds.left);
}

// One pass of the pixel map's rectangle into the frame.
void convert(SwsContext* sws, PixMapHandle pm, const Rect16& r, AVFrame* frame, int h) {
    const uint8_t* src[1] = {pixmap_origin(pm, r)};
    const int srcStride[1] = {pixmap_row_bytes(pm)};
    sws_scale(sws, src, srcStride, 0, h, frame->data, frame->linesize);
}

}  // namespace

bool valid_pixmap(PixMapHandle pm) {
    if (!pm || !*pm) return false;
    const PixMap& p = **pm;
    return p.baseAddr && p.pixelSize == 32 && p.bounds.right > p.bounds.left &&
           p.bounds.bottom > p.bounds.top &&
           pixmap_row_bytes(pm) >= 4 * (p.bounds.right - p.bounds.left);
}

int16_t VideoCompressor::compressSequenceBegin(PixMapHandle pm, const Rect16* srcRect,
                                               ImageDescription** desc) {
    Impl& m = *impl_;
    if (m.encoder) return paramErr;
    if (!valid_pixmap(pm)) return paramErr;
    const Rect16 r = srcRect ? *srcRect : (*pm)->bounds;
    int w = r.right - r.left, h = r.bottom - r.top;
    encoded_size(m.spatial.codecType, w, h);
    if (w <= 0 || h <= 0) return paramErr;

    AVPixelFormat fmt = AV_PIX_FMT_NONE;
    av::CodecPtr enc;
    int err = open_encoder(m.spatial, m.temporal, w, h, enc, fmt);
    if (err < 0) return narrow(err);
    av::SwsPtr sws = make_converter(w, h, fmt, m.spatial.codecType == kJPEGCodecType);
    if (!sws) return narrow(AVERROR(EINVAL));
    av::FramePtr frame = make_frame(fmt, w, h, err);
    if (!frame) return narrow(err);
    av::PacketPtr packet(av_packet_alloc());
    av::ParametersPtr par(avcodec_parameters_alloc());
    if (!packet || !par) return narrow(AVERROR(ENOMEM));
    err = avcodec_parameters_from_context(par.get(), enc.get());
    if (err < 0) return narrow(err);

    m.encoder = std::move(enc);
    m.converter = std::move(sws);
    m.frame = std::move(frame);
    m.packet = std::move(packet);
    m.desc.par = std::move(par);
    m.width = w;
    m.height = h;
    m.frameIndex = 0;
    if (desc) *desc = &m.desc;
    return 0;
}

int16_t VideoCompressor::compressSequenceFrame(PixMapHandle pm, const Rect16& rect,
                                               const uint8_t** data, int32_t* size,
                                               int16_t* notSyncFlag, int64_t mediaTime) {
    Impl& m = *impl_;
    if (!m.encoder || !valid_pixmap(pm)) return paramErr;
    if (rect.right - rect.left < m.width || rect.bottom - rect.top < m.height) return paramErr;
    int err = writable_frame(m.frame.get());
    if (err < 0) return narrow(err);
    convert(m.converter.get(), pm, rect, m.frame.get(), m.height);
    // Times must rise: without a media time the frames count as 1/15 s each.
    const int64_t pts = mediaTime >= 0 ? mediaTime : m.frameIndex * 40;
    m.frame->pts = pts;
    ++m.frameIndex;
    m.frame->quality = m.encoder->global_quality;  // a fixed quantiser is read per frame
    err = avcodec_send_frame(m.encoder.get(), m.frame.get());
    if (err < 0) return narrow(err);
    av_packet_unref(m.packet.get());
    err = avcodec_receive_packet(m.encoder.get(), m.packet.get());
    if (err < 0) return narrow(err);
    *data = m.packet->data;
    *size = m.packet->size;
    *notSyncFlag = (m.packet->flags & AV_PKT_FLAG_KEY) ? 0 : 1;
    return 0;
}

int16_t VideoCompressor::compressSequenceEnd() {
    Impl& m = *impl_;
    if (!m.encoder) return 0;
    int err = avcodec_send_frame(m.encoder.get(), nullptr);
    // Every frame already gave its packet; whatever the encoder still holds is nothing.
    while (err >= 0) {
        av_packet_unref(m.packet.get());
        err = avcodec_receive_packet(m.encoder.get(), m.packet.get());
    }
    m.encoder.reset();
    m.converter.reset();
    m.frame.reset();
    m.packet.reset();
    m.desc.par.reset();
    return err == AVERROR_EOF ? 0 : narrow(err);
}

int16_t compress_preview(const SCSpatialSettings& spatial, const SCTemporalSettings& temporal,
                         PixMapHandle pm, PreviewImage& out) {
    if (!valid_pixmap(pm)) return paramErr;
    const Rect16 r = (*pm)->bounds;
    int w = r.right - r.left, h = r.bottom - r.top;
    encoded_size(spatial.codecType, w, h);
    if (w <= 0 || h <= 0) return paramErr;

    AVPixelFormat fmt = AV_PIX_FMT_NONE;
    av::CodecPtr enc;
    int err = open_encoder(spatial, temporal, w, h, enc, fmt);
    if (err < 0) return narrow(err);
    av::SwsPtr sws = make_converter(w, h, fmt, spatial.codecType == kJPEGCodecType);
    if (!sws) return narrow(AVERROR(EINVAL));
    av::FramePtr frame = make_frame(fmt, w, h, err);
    if (!frame) return narrow(err);
    convert(sws.get(), pm, r, frame.get(), h);
    frame->pts = 0;
    frame->quality = enc->global_quality;

    av::PacketPtr packet(av_packet_alloc());
    if (!packet) return narrow(AVERROR(ENOMEM));
    if ((err = avcodec_send_frame(enc.get(), frame.get())) < 0) return narrow(err);
    if ((err = avcodec_send_frame(enc.get(), nullptr)) < 0) return narrow(err);
    if ((err = avcodec_receive_packet(enc.get(), packet.get())) < 0) return narrow(err);

    const AVCodec* decoder = avcodec_find_decoder(enc->codec_id);
    if (!decoder) return narrow(AVERROR_DECODER_NOT_FOUND);
    av::CodecPtr dec(avcodec_alloc_context3(decoder));
    av::ParametersPtr par(avcodec_parameters_alloc());
    if (!dec || !par) return narrow(AVERROR(ENOMEM));
    if ((err = avcodec_parameters_from_context(par.get(), enc.get())) < 0) return narrow(err);
    if ((err = avcodec_parameters_to_context(dec.get(), par.get())) < 0) return narrow(err);
    dec->thread_count = 1;
    if ((err = avcodec_open2(dec.get(), decoder, nullptr)) < 0) return narrow(err);
    if ((err = avcodec_send_packet(dec.get(), packet.get())) < 0) return narrow(err);
    avcodec_send_packet(dec.get(), nullptr);
    av::FramePtr decoded(av_frame_alloc());
    if (!decoded) return narrow(AVERROR(ENOMEM));
    if ((err = avcodec_receive_frame(dec.get(), decoded.get())) < 0) return narrow(err);

    bool fullRange = decoded->color_range == AVCOL_RANGE_JPEG;
    const AVPixelFormat decodedFormat =
        plain_yuv(static_cast<AVPixelFormat>(decoded->format), fullRange);
    av::SwsPtr back(sws_getContext(decoded->width, decoded->height, decodedFormat, decoded->width,
                                   decoded->height, AV_PIX_FMT_RGBA,
                                   SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr,
                                   nullptr, nullptr));
    if (!back) return narrow(AVERROR(EINVAL));
    if (fullRange) {
        const int* coeffs = sws_getCoefficients(SWS_CS_ITU601);
        sws_setColorspaceDetails(back.get(), coeffs, 1, coeffs, 1, 0, 1 << 16, 1 << 16);
    }
    out.width = decoded->width;
    out.height = decoded->height;
    out.rowBytes = 4 * out.width;
    out.rgbx.assign(static_cast<size_t>(out.rowBytes) * out.height, 0xFF);
    uint8_t* dst[1] = {out.rgbx.data()};
    const int dstStride[1] = {out.rowBytes};
    sws_scale(back.get(), decoded->data, decoded->linesize, 0, decoded->height, dst, dstStride);
    out.compressedBytes = packet->size;
    return 0;
}
