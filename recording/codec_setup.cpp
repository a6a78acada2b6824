// SPDX-License-Identifier: MIT
// The compressor types, their encoders' set-up and the compressor's settings.
#include <climits>

#include "av_common.h"
#include "row_pool.h"

extern "C" {
#include <libavutil/log.h>
#include <libavutil/opt.h>
}

namespace {

constexpr CodecInfo kCodecs[] = {
    {kJPEGCodecType, "Photo-JPEG", "jpeg", "mjpeg", true, false, false},
    {kH264CodecType, "H.264", "avc1", "libx264", true, true, true},
    {kProRes422CodecType, "Apple ProRes 422", "apcn", "prores_ks", true, false, false},
    {kAnimationCodecType, "Animation", "rle", "qtrle", false, true, true},
    {kPNGCodecType, "PNG", "png", "png", false, true, false},
    {kRawCodecType, "None", "raw", "rawvideo", false, true, false},
};

// Quality steps: least, low, normal, high, best.
int quality_step(int32_t q) {
    if (q >= codecMaxQuality) return 4;
    if (q >= codecHighQuality) return 3;
    if (q >= codecNormalQuality) return 2;
    if (q >= codecLowQuality) return 1;
    return 0;
}

AVRational frame_rate(const SCTemporalSettings& t) {
    AVRational r{15, 1};
    if (t.frameRate > 0) av_reduce(&r.num, &r.den, t.frameRate, kFixed1, INT_MAX);
    return r;
}

}  // namespace

int16_t narrow(int err) {
    if (err >= 0) return 0;
    const auto s = static_cast<int16_t>(err);
    return s < 0 ? s : static_cast<int16_t>(s | INT16_MIN);
}

const AVCodec* find_encoder(const CodecInfo& info) {
    const AVCodec* codec = avcodec_find_encoder_by_name(info.encoder);
    if (!codec) return nullptr;
    const AVOutputFormat* mov = av_guess_format("mov", nullptr, nullptr);
    if (!mov || avformat_query_codec(mov, codec->id, FF_COMPLIANCE_NORMAL) != 1) return nullptr;
    return codec;
}

void encoded_size(uint32_t type, int& w, int& h) {
    if (type == kH264CodecType) {
        w &= ~1;
        h &= ~1;
    }
}

int open_encoder(const SCSpatialSettings& sp, const SCTemporalSettings& tp, int w, int h,
                 av::CodecPtr& out, AVPixelFormat& fmt) {
    const CodecInfo* info = find_codec_info(sp.codecType);
    const AVCodec* codec = info ? find_encoder(*info) : nullptr;
    if (!codec) return AVERROR_ENCODER_NOT_FOUND;
    av::CodecPtr c(avcodec_alloc_context3(codec));
    if (!c) return AVERROR(ENOMEM);
    c->width = w;
    c->height = h;
    // Frames carry their media time: the encoder sees the pictures' real spacing, and a stream
    // that states a frame rate (H.264's timing) states the media's clock, not a guessed rate.
    c->framerate = frame_rate(tp);
    c->time_base = AVRational{1, kMediaTimeScale};
    c->sample_aspect_ratio = AVRational{1, 1};
    c->gop_size = tp.keyFrameRate > 0 ? tp.keyFrameRate : INT_MAX / 2;
    c->max_b_frames = 0;
    c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    // One packet comes out for every frame that goes in: no frame threads, no look-ahead. The
    // encoders that cut a picture into slices (Photo-JPEG, ProRes) code them on every core.
    c->thread_count = default_thread_count();
    c->thread_type = FF_THREAD_SLICE;
    const int step = quality_step(sp.spatialQuality);
    switch (sp.codecType) {
        case kJPEGCodecType: {
            static constexpr int kQscale[5] = {24, 10, 4, 3, 2};
            // Full colour resolution across a row from normal quality on: sharp coloured edges
            // lose less.
            fmt = step >= 2 ? AV_PIX_FMT_YUV422P : AV_PIX_FMT_YUV420P;
            c->color_range = AVCOL_RANGE_JPEG;
            c->flags |= AV_CODEC_FLAG_QSCALE;
            c->global_quality = FF_QP2LAMBDA * kQscale[step];
            break;
        }
        case kH264CodecType: {
            static constexpr double kCrf[5] = {40, 32, 23, 18, 12};
            fmt = AV_PIX_FMT_YUV420P;
            c->thread_count = 0;
            av_opt_set(c->priv_data, "preset", "veryfast", 0);
            av_opt_set(c->priv_data, "tune", "zerolatency", 0);
            av_opt_set(c->priv_data, "x264-params", "scenecut=0", 0);
            if (sp.spatialQuality >= codecLosslessQuality)
                av_opt_set_int(c->priv_data, "qp", 0, 0);
            else
                av_opt_set_double(c->priv_data, "crf", kCrf[step], 0);
            break;
        }
        case kProRes422CodecType: {
            static constexpr int kQuant[5] = {16, 8, 4, 3, 2};
            fmt = AV_PIX_FMT_YUV422P10LE;
            av_opt_set(c->priv_data, "profile", "standard", 0);
            c->flags |= AV_CODEC_FLAG_QSCALE;
            c->global_quality = FF_QP2LAMBDA * kQuant[step];
            break;
        }
        default:
            fmt = AV_PIX_FMT_RGB24;
            break;
    }
    c->pix_fmt = fmt;
    const int err = avcodec_open2(c.get(), codec, nullptr);
    if (err < 0) return err;
    out = std::move(c);
    return 0;
}

const CodecInfo* find_codec_info(uint32_t type) {
    for (const CodecInfo& c : kCodecs)
        if (c.type == type) return &c;
    return nullptr;
}

std::vector<CodecInfo> available_codecs() {
    std::vector<CodecInfo> out;
    for (const CodecInfo& c : kCodecs)
        if (find_encoder(c)) out.push_back(c);
    return out;
}

bool codec_available(uint32_t type) {
    const CodecInfo* info = find_codec_info(type);
    return info && find_encoder(*info);
}

VideoCompressor::VideoCompressor() : impl_(std::make_unique<Impl>()) {}
VideoCompressor::~VideoCompressor() = default;

std::unique_ptr<VideoCompressor> VideoCompressor::openDefaultComponent() {
    // The program keeps no log: the encoders' statistics stay unprinted, as the camera's do.
    av_log_set_level(AV_LOG_ERROR);
    if (available_codecs().empty()) return nullptr;
    return std::unique_ptr<VideoCompressor>(new VideoCompressor());
}

int16_t VideoCompressor::defaultPixMapSettings(PixMapHandle pm, bool) {
    if (!valid_pixmap(pm)) return paramErr;
    impl_->spatial = SCSpatialSettings{kJPEGCodecType, 0, 32, codecNormalQuality};
    impl_->temporal = SCTemporalSettings{codecMinQuality, 15 * kFixed1, 24};
    return 0;
}

int16_t VideoCompressor::setInfo(const SCSpatialSettings& spatial) {
    const CodecInfo* info = find_codec_info(spatial.codecType);
    if (!info || !find_encoder(*info)) return noCodecErr;
    if (spatial.spatialQuality < codecMinQuality || spatial.spatialQuality > codecLosslessQuality)
        return paramErr;
    if (spatial.spatialQuality == codecLosslessQuality && !info->hasLossless) return paramErr;
    impl_->spatial = spatial;
    return 0;
}

int16_t VideoCompressor::setInfo(const SCTemporalSettings& temporal) {
    if (temporal.frameRate <= 0 || temporal.keyFrameRate < 0) return paramErr;
    impl_->temporal = temporal;
    return 0;
}

void VideoCompressor::getInfo(SCSpatialSettings& spatial) const {
    spatial = impl_->spatial;
}
void VideoCompressor::getInfo(SCTemporalSettings& temporal) const {
    temporal = impl_->temporal;
}

bool VideoCompressor::inSequence() const {
    return impl_->encoder != nullptr;
}
