// SPDX-License-Identifier: MIT
#include "av_movie.h"

#include "av_owners.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace {

// The output context owns its I/O context: both go together.
struct OutputFree {
    void operator()(AVFormatContext* c) const {
        if (c->pb && !(c->oformat->flags & AVFMT_NOFILE)) avio_closep(&c->pb);
        avformat_free_context(c);
    }
};

using CodecContextPtr = av::CodecPtr;
using av::FramePtr;
using av::PacketPtr;
using av::ParametersPtr;
using av::SwsPtr;
using OutputPtr = std::unique_ptr<AVFormatContext, OutputFree>;

// An FFmpeg status as a 16-bit status: 0 stays 0, every failure stays negative.
int16_t narrow(int err) {
    if (err >= 0) return 0;
    const auto s = static_cast<int16_t>(err);
    return s < 0 ? s : static_cast<int16_t>(s | INT16_MIN);
}

constexpr CodecInfo kCodecs[] = {
    {kJPEGCodecType, "Photo-JPEG", "jpeg", "mjpeg", true, false, false},
    {kH264CodecType, "H.264", "avc1", "libx264", true, true, true},
    {kProRes422CodecType, "Apple ProRes 422", "apcn", "prores_ks", true, false, false},
    {kAnimationCodecType, "Animation", "rle", "qtrle", false, true, true},
    {kPNGCodecType, "PNG", "png", "png", false, true, false},
    {kRawCodecType, "None", "raw", "rawvideo", false, true, false},
};

const AVCodec* find_encoder(const CodecInfo& info) {
    const AVCodec* codec = avcodec_find_encoder_by_name(info.encoder);
    if (!codec) return nullptr;
    const AVOutputFormat* mov = av_guess_format("mov", nullptr, nullptr);
    if (!mov || avformat_query_codec(mov, codec->id, FF_COMPLIANCE_NORMAL) != 1) return nullptr;
    return codec;
}

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

// H.264 at 4:2:0 wants even sizes: the odd last row or column is left out.
void encoded_size(uint32_t type, int& w, int& h) {
    if (type == kH264CodecType) {
        w &= ~1;
        h &= ~1;
    }
}

// Opens an encoder for w x h frames with these settings. Frames are timed in frames.
int open_encoder(const SCSpatialSettings& sp, const SCTemporalSettings& tp, int w, int h,
                 CodecContextPtr& out, AVPixelFormat& fmt) {
    const CodecInfo* info = find_codec_info(sp.codecType);
    const AVCodec* codec = info ? find_encoder(*info) : nullptr;
    if (!codec) return AVERROR_ENCODER_NOT_FOUND;
    CodecContextPtr c(avcodec_alloc_context3(codec));
    if (!c) return AVERROR(ENOMEM);
    const AVRational rate = frame_rate(tp);
    c->width = w;
    c->height = h;
    c->framerate = rate;
    c->time_base = av_inv_q(rate);
    c->sample_aspect_ratio = AVRational{1, 1};
    c->gop_size = tp.keyFrameRate > 0 ? tp.keyFrameRate : INT_MAX / 2;
    c->max_b_frames = 0;
    c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    // One packet comes out for every frame that goes in: no frame threads, no look-ahead.
    c->thread_count = 1;
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

// Converts A, R, G, B rows into frames of the encoder's pixel format, full range for JPEG.
SwsPtr make_converter(int w, int h, AVPixelFormat dst, bool fullRange) {
    SwsPtr sws(sws_getContext(w, h, AV_PIX_FMT_ARGB, w, h, dst,
                              SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr,
                              nullptr, nullptr));
    if (sws && fullRange) {
        const int* coeffs = sws_getCoefficients(SWS_CS_ITU601);
        sws_setColorspaceDetails(sws.get(), coeffs, 1, coeffs, 1, 0, 1 << 16, 1 << 16);
    }
    return sws;
}

FramePtr make_frame(AVPixelFormat fmt, int w, int h, int& err) {
    FramePtr f(av_frame_alloc());
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

// The decoders' yuvj formats are plain YUV at full range; telling libswscale so keeps it quiet.
AVPixelFormat plain_yuv(AVPixelFormat f, bool& fullRange) {
    switch (f) {
        case AV_PIX_FMT_YUVJ420P: fullRange = true; return AV_PIX_FMT_YUV420P;
        case AV_PIX_FMT_YUVJ422P: fullRange = true; return AV_PIX_FMT_YUV422P;
        case AV_PIX_FMT_YUVJ444P: fullRange = true; return AV_PIX_FMT_YUV444P;
        default: return f;
    }
}

bool valid_pixmap(PixMapHandle pm) {
    if (!pm || !*pm) return false;
    const PixMap& p = **pm;
    return p.baseAddr && p.pixelSize == 32 && p.bounds.right > p.bounds.left &&
           p.bounds.bottom > p.bounds.top &&
           pixmap_row_bytes(pm) >= 4 * (p.bounds.right - p.bounds.left);
}

const uint8_t* pixmap_origin(PixMapHandle pm, const Rect16& r) {
    const PixMap& p = **pm;
    return p.baseAddr + static_cast<ptrdiff_t>(r.top - p.bounds.top) * pixmap_row_bytes(pm) +
           4 * static_cast<ptrdiff_t>(r.left - p.bounds.left);
}

}  // namespace

// ---------------------------------------------------------------- compressor types

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

// ---------------------------------------------------------------- compressor

class ImageDescription {
public:
    ParametersPtr par;
};

struct VideoCompressor::Impl {
    SCSpatialSettings spatial;
    SCTemporalSettings temporal;
    // The open sequence.
    CodecContextPtr encoder;
    SwsPtr converter;
    FramePtr frame;
    PacketPtr packet;
    ImageDescription desc;
    int width = 0, height = 0;  // pixels compressed per frame
    int64_t frameIndex = 0;
};

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

void VideoCompressor::getInfo(SCSpatialSettings& spatial) const { spatial = impl_->spatial; }
void VideoCompressor::getInfo(SCTemporalSettings& temporal) const { temporal = impl_->temporal; }

bool VideoCompressor::inSequence() const { return impl_->encoder != nullptr; }

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
    CodecContextPtr enc;
    int err = open_encoder(m.spatial, m.temporal, w, h, enc, fmt);
    if (err < 0) return narrow(err);
    SwsPtr sws = make_converter(w, h, fmt, m.spatial.codecType == kJPEGCodecType);
    if (!sws) return narrow(AVERROR(EINVAL));
    FramePtr frame = make_frame(fmt, w, h, err);
    if (!frame) return narrow(err);
    PacketPtr packet(av_packet_alloc());
    ParametersPtr par(avcodec_parameters_alloc());
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
                                               int16_t* notSyncFlag) {
    Impl& m = *impl_;
    if (!m.encoder || !valid_pixmap(pm)) return paramErr;
    if (rect.right - rect.left < m.width || rect.bottom - rect.top < m.height) return paramErr;
    int err = av_frame_make_writable(m.frame.get());
    if (err < 0) return narrow(err);
    const uint8_t* src[1] = {pixmap_origin(pm, rect)};
    const int srcStride[1] = {pixmap_row_bytes(pm)};
    sws_scale(m.converter.get(), src, srcStride, 0, m.height, m.frame->data, m.frame->linesize);
    m.frame->pts = m.frameIndex++;
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

// ---------------------------------------------------------------- preview

int16_t compress_preview(const SCSpatialSettings& spatial, const SCTemporalSettings& temporal,
                         PixMapHandle pm, PreviewImage& out) {
    if (!valid_pixmap(pm)) return paramErr;
    const Rect16 r = (*pm)->bounds;
    int w = r.right - r.left, h = r.bottom - r.top;
    encoded_size(spatial.codecType, w, h);
    if (w <= 0 || h <= 0) return paramErr;

    AVPixelFormat fmt = AV_PIX_FMT_NONE;
    CodecContextPtr enc;
    int err = open_encoder(spatial, temporal, w, h, enc, fmt);
    if (err < 0) return narrow(err);
    SwsPtr sws = make_converter(w, h, fmt, spatial.codecType == kJPEGCodecType);
    if (!sws) return narrow(AVERROR(EINVAL));
    FramePtr frame = make_frame(fmt, w, h, err);
    if (!frame) return narrow(err);
    const uint8_t* src[1] = {pixmap_origin(pm, r)};
    const int srcStride[1] = {pixmap_row_bytes(pm)};
    sws_scale(sws.get(), src, srcStride, 0, h, frame->data, frame->linesize);
    frame->pts = 0;
    frame->quality = enc->global_quality;

    PacketPtr packet(av_packet_alloc());
    if (!packet) return narrow(AVERROR(ENOMEM));
    if ((err = avcodec_send_frame(enc.get(), frame.get())) < 0) return narrow(err);
    if ((err = avcodec_send_frame(enc.get(), nullptr)) < 0) return narrow(err);
    if ((err = avcodec_receive_packet(enc.get(), packet.get())) < 0) return narrow(err);

    const AVCodec* decoder = avcodec_find_decoder(enc->codec_id);
    if (!decoder) return narrow(AVERROR_DECODER_NOT_FOUND);
    CodecContextPtr dec(avcodec_alloc_context3(decoder));
    ParametersPtr par(avcodec_parameters_alloc());
    if (!dec || !par) return narrow(AVERROR(ENOMEM));
    if ((err = avcodec_parameters_from_context(par.get(), enc.get())) < 0) return narrow(err);
    if ((err = avcodec_parameters_to_context(dec.get(), par.get())) < 0) return narrow(err);
    dec->thread_count = 1;
    if ((err = avcodec_open2(dec.get(), decoder, nullptr)) < 0) return narrow(err);
    if ((err = avcodec_send_packet(dec.get(), packet.get())) < 0) return narrow(err);
    avcodec_send_packet(dec.get(), nullptr);
    FramePtr decoded(av_frame_alloc());
    if (!decoded) return narrow(AVERROR(ENOMEM));
    if ((err = avcodec_receive_frame(dec.get(), decoded.get())) < 0) return narrow(err);

    bool fullRange = decoded->color_range == AVCOL_RANGE_JPEG;
    const AVPixelFormat decodedFormat =
        plain_yuv(static_cast<AVPixelFormat>(decoded->format), fullRange);
    SwsPtr back(sws_getContext(decoded->width, decoded->height, decodedFormat, decoded->width,
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

// ---------------------------------------------------------------- movie file

struct MovieFile::Impl {
    std::string path;
    OutputPtr oc;
    AVStream* stream = nullptr;
    PacketPtr sample;  // carries each sample to the muxer; allocated while media edits are open
    bool headerWritten = false;
    int64_t mediaTime = 0;  // media units
    int64_t samples = 0;
};

MovieFile::MovieFile() : impl_(std::make_unique<Impl>()) {}
MovieFile::~MovieFile() = default;

int16_t MovieFile::createMovieFile(const std::string& path, std::unique_ptr<MovieFile>& out) {
    AVFormatContext* raw = nullptr;
    int err = avformat_alloc_output_context2(&raw, nullptr, "mov", path.c_str());
    if (err < 0 || !raw) return narrow(err < 0 ? err : AVERROR(ENOMEM));
    OutputPtr oc(raw);
    // The file protocol opens with O_TRUNC: whatever was at path is replaced.
    err = avio_open(&oc->pb, path.c_str(), AVIO_FLAG_WRITE);
    if (err < 0) return narrow(err);
    std::unique_ptr<MovieFile> m(new MovieFile());
    m->impl_->path = path;
    m->impl_->oc = std::move(oc);
    out = std::move(m);
    return 0;
}

int16_t MovieFile::newMovieTrack(Fixed width, Fixed height, int& track) {
    Impl& m = *impl_;
    if (m.stream) return paramErr;  // one track per movie
    AVStream* st = avformat_new_stream(m.oc.get(), nullptr);
    if (!st) return narrow(AVERROR(ENOMEM));
    st->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
    st->codecpar->width = width >> 16;
    st->codecpar->height = height >> 16;
    m.stream = st;
    track = st->index;
    return 0;
}

int16_t MovieFile::newTrackMedia(int track, uint32_t mediaType, int32_t timeScale, int& media) {
    Impl& m = *impl_;
    if (!m.stream || track != m.stream->index || mediaType != fourcc("vide") || timeScale <= 0)
        return paramErr;
    m.stream->time_base = AVRational{1, timeScale};
    media = track;
    return 0;
}

int16_t MovieFile::beginMediaEdits(int media) {
    Impl& m = *impl_;
    if (!m.stream || media != m.stream->index) return paramErr;
    if (!m.sample) m.sample.reset(av_packet_alloc());
    return m.sample ? 0 : memFullErr;
}

int16_t MovieFile::addMediaSample(int media, const uint8_t* data, int32_t size, int32_t duration,
                                  const ImageDescription* desc, int16_t sampleFlags) {
    Impl& m = *impl_;
    if (!m.sample || media != m.stream->index || !desc || !desc->par || size <= 0 ||
        duration <= 0)
        return paramErr;
    int err = 0;
    if (!m.headerWritten) {
        const int timeScale = m.stream->time_base.den;
        err = avcodec_parameters_copy(m.stream->codecpar, desc->par.get());
        if (err < 0) return narrow(err);
        AVDictionary* opts = nullptr;
        av_dict_set_int(&opts, "video_track_timescale", timeScale, 0);
        av::DictPtr optsOwner(opts);
        AVDictionary* raw = optsOwner.release();
        err = avformat_write_header(m.oc.get(), &raw);
        optsOwner.reset(raw);
        if (err < 0) return narrow(err);
        m.headerWritten = true;
        if (m.stream->time_base.num != 1 || m.stream->time_base.den != timeScale)
            return narrow(AVERROR(EINVAL));  // the muxer would not keep the media's scale
    }
    AVPacket* p = m.sample.get();
    p->data = const_cast<uint8_t*>(data);
    p->size = size;
    p->pts = p->dts = m.mediaTime;
    p->duration = duration;
    p->flags = sampleFlags ? 0 : AV_PKT_FLAG_KEY;
    p->stream_index = m.stream->index;
    err = av_write_frame(m.oc.get(), p);
    p->data = nullptr;
    p->size = 0;
    if (err < 0) return narrow(err);
    m.mediaTime += duration;
    ++m.samples;
    return 0;
}

int16_t MovieFile::endMediaEdits(int media) {
    Impl& m = *impl_;
    if (!m.sample || media != m.stream->index) return paramErr;
    m.sample.reset();
    if (!m.headerWritten) return 0;
    const int err = av_write_frame(m.oc.get(), nullptr);  // flushes what the muxer holds
    return narrow(err);
}

int64_t MovieFile::getMediaDuration(int) const { return impl_->mediaTime; }
int64_t MovieFile::sampleCount() const { return impl_->samples; }

int16_t MovieFile::insertMediaIntoTrack(int track, int64_t trackStart, int64_t mediaTime,
                                        int64_t duration, Fixed rate) {
    Impl& m = *impl_;
    // The muxer's edit list places the whole media from time 0 at rate 1.
    if (!m.stream || track != m.stream->index || trackStart != 0 || mediaTime != 0 ||
        rate != kFixed1 || duration != m.mediaTime)
        return paramErr;
    m.stream->duration = duration;
    return 0;
}

int16_t MovieFile::addMovieResource(const std::string& name) {
    Impl& m = *impl_;
    if (!m.headerWritten) return paramErr;
    int err = av_dict_set(&m.oc->metadata, "title", name.c_str(), 0);
    if (err < 0) return narrow(err);
    err = av_write_trailer(m.oc.get());
    if (err < 0) return narrow(err);
    avio_flush(m.oc->pb);
    return narrow(m.oc->pb->error);
}

int16_t MovieFile::closeMovieFile() {
    Impl& m = *impl_;
    if (!m.oc || !m.oc->pb) return 0;
    return narrow(avio_closep(&m.oc->pb));
}

int16_t delete_movie_file(const std::string& path) {
    if (::unlink(path.c_str()) != 0) return narrow(AVERROR(errno));
    return 0;
}
