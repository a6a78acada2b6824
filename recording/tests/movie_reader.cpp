// SPDX-License-Identifier: MIT
#include "movie_reader.h"

#include "av_owners.h"

#include <cmath>
#include <cstdio>
#include <limits>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavdevice/avdevice.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

namespace {

using av::CodecPtr;
using av::FramePtr;
using av::InputPtr;
using av::PacketPtr;
using av::SwsPtr;

std::string av_text(int err) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(err, buf, sizeof buf);
    return buf;
}

InputPtr open_input(const std::string& url, const AVInputFormat* fmt, std::string& error) {
    AVFormatContext* raw = nullptr;
    int err = avformat_open_input(&raw, url.c_str(), fmt, nullptr);
    if (err < 0) {
        error = url + ": " + av_text(err);
        return nullptr;
    }
    InputPtr in(raw);
    if ((err = avformat_find_stream_info(in.get(), nullptr)) < 0) {
        error = url + ": " + av_text(err);
        return nullptr;
    }
    return in;
}

// Converts a decoded frame to packed pixels of dstFmt, honouring full-range JPEG frames.
bool convert(const AVFrame* f, AVPixelFormat dstFmt, uint8_t* dst, int dstStride) {
    bool fullRange = f->color_range == AVCOL_RANGE_JPEG;
    AVPixelFormat srcFmt = static_cast<AVPixelFormat>(f->format);
    if (srcFmt == AV_PIX_FMT_YUVJ420P) srcFmt = AV_PIX_FMT_YUV420P, fullRange = true;
    if (srcFmt == AV_PIX_FMT_YUVJ422P) srcFmt = AV_PIX_FMT_YUV422P, fullRange = true;
    if (srcFmt == AV_PIX_FMT_YUVJ444P) srcFmt = AV_PIX_FMT_YUV444P, fullRange = true;
    SwsPtr sws(sws_getContext(f->width, f->height, srcFmt, f->width,
                              f->height, dstFmt, SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT,
                              nullptr, nullptr, nullptr));
    if (!sws) return false;
    if (fullRange) {
        const int* coeffs = sws_getCoefficients(SWS_CS_ITU601);
        sws_setColorspaceDetails(sws.get(), coeffs, 1, coeffs, 1, 0, 1 << 16, 1 << 16);
    }
    uint8_t* planes[1] = {dst};
    const int strides[1] = {dstStride};
    sws_scale(sws.get(), f->data, f->linesize, 0, f->height, planes, strides);
    return true;
}

}  // namespace

int64_t MovieInfo::totalDuration() const {
    int64_t t = 0;
    for (int64_t d : durations) t += d;
    return t;
}

MovieInfo read_movie(const std::string& path) {
    MovieInfo info;
    InputPtr in = open_input(path, nullptr, info.error);
    if (!in) return info;
    info.streams = static_cast<int>(in->nb_streams);
    int video = -1;
    for (unsigned i = 0; i < in->nb_streams; ++i) {
        if (in->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
            ++info.videoStreams;
            if (video < 0) video = static_cast<int>(i);
        }
    }
    if (const AVDictionaryEntry* e = av_dict_get(in->metadata, "title", nullptr, 0))
        info.title = e->value;
    if (video < 0) return info;
    const AVStream* st = in->streams[video];
    info.timeBaseNum = st->time_base.num;
    info.timeBaseDen = st->time_base.den;
    const uint32_t tag = st->codecpar->codec_tag;  // stored little-endian: first character low
    info.codecTag = (tag & 0xFF) << 24 | (tag >> 8 & 0xFF) << 16 | (tag >> 16 & 0xFF) << 8 | tag >> 24;
    info.width = st->codecpar->width;
    info.height = st->codecpar->height;
    info.avgFrameRate = av_q2d(st->avg_frame_rate);
    info.rFrameRate = av_q2d(st->r_frame_rate);
    info.guessedFrameRate =
        av_q2d(av_guess_frame_rate(in.get(), const_cast<AVStream*>(st), nullptr));
    PacketPtr pkt(av_packet_alloc());
    int err;
    while ((err = av_read_frame(in.get(), pkt.get())) >= 0) {
        if (pkt->stream_index == video) {
            info.durations.push_back(pkt->duration);
            info.dts.push_back(pkt->dts);
            info.sync.push_back((pkt->flags & AV_PKT_FLAG_KEY) != 0);
        }
        av_packet_unref(pkt.get());
    }
    if (err != AVERROR_EOF) info.error = path + ": " + av_text(err);
    return info;
}

int decode_movie(const std::string& path, std::string& error) {
    InputPtr in = open_input(path, nullptr, error);
    if (!in) return -1;
    const int video = av_find_best_stream(in.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (video < 0) {
        error = "no video stream";
        return -1;
    }
    const AVCodec* codec = avcodec_find_decoder(in->streams[video]->codecpar->codec_id);
    CodecPtr dec(avcodec_alloc_context3(codec));
    avcodec_parameters_to_context(dec.get(), in->streams[video]->codecpar);
    dec->thread_count = 1;
    dec->err_recognition = AV_EF_EXPLODE;
    int err = avcodec_open2(dec.get(), codec, nullptr);
    if (err < 0) {
        error = av_text(err);
        return -1;
    }
    PacketPtr pkt(av_packet_alloc());
    FramePtr frame(av_frame_alloc());
    int decoded = 0, packets = 0;
    while ((err = av_read_frame(in.get(), pkt.get())) >= 0) {
        if (pkt->stream_index == video) {
            ++packets;
            if ((err = avcodec_send_packet(dec.get(), pkt.get())) < 0) {
                error = "sample " + std::to_string(packets - 1) + ": " + av_text(err);
                return -1;
            }
            while (avcodec_receive_frame(dec.get(), frame.get()) >= 0) ++decoded;
        }
        av_packet_unref(pkt.get());
    }
    if (err != AVERROR_EOF) {
        error = path + ": " + av_text(err);
        return -1;
    }
    avcodec_send_packet(dec.get(), nullptr);
    while (avcodec_receive_frame(dec.get(), frame.get()) >= 0) ++decoded;
    if (decoded != packets) error = std::to_string(packets - decoded) + " samples did not decode";
    return decoded == packets ? decoded : -1;
}

std::string ffmpeg_warnings(const std::string& path) {
    const std::string cmd = "ffmpeg -nostdin -hide_banner -v warning -i '" + path +
                            "' -f null - 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return "(no ffmpeg)";
    std::string out;
    char buf[512];
    while (size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
    const int status = pclose(p);
    if (status != 0 && out.empty()) return "(ffmpeg exit " + std::to_string(status) + ")";
    return out;
}

bool decode_movie_frame(const std::string& path, int index, std::vector<uint8_t>& rgb, int& width,
                        int& height, std::string& error) {
    InputPtr in = open_input(path, nullptr, error);
    if (!in) return false;
    const int video = av_find_best_stream(in.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (video < 0) {
        error = "no video stream";
        return false;
    }
    const AVCodec* codec = avcodec_find_decoder(in->streams[video]->codecpar->codec_id);
    CodecPtr dec(avcodec_alloc_context3(codec));
    avcodec_parameters_to_context(dec.get(), in->streams[video]->codecpar);
    dec->thread_count = 1;
    int err = avcodec_open2(dec.get(), codec, nullptr);
    if (err < 0) {
        error = av_text(err);
        return false;
    }
    PacketPtr pkt(av_packet_alloc());
    FramePtr frame(av_frame_alloc());
    int decoded = 0;
    bool draining = false;
    for (;;) {
        err = avcodec_receive_frame(dec.get(), frame.get());
        if (err >= 0) {
            if (decoded++ == index) {
                width = frame->width;
                height = frame->height;
                rgb.assign(3 * static_cast<size_t>(width) * height, 0);
                return convert(frame.get(), AV_PIX_FMT_RGB24, rgb.data(), 3 * width);
            }
            continue;
        }
        if (err != AVERROR(EAGAIN) || draining) {
            error = "frame " + std::to_string(index) + " not decoded: " + av_text(err);
            return false;
        }
        err = av_read_frame(in.get(), pkt.get());
        if (err < 0) {
            draining = true;
            avcodec_send_packet(dec.get(), nullptr);
            continue;
        }
        if (pkt->stream_index == video) avcodec_send_packet(dec.get(), pkt.get());
        av_packet_unref(pkt.get());
    }
}

double psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size() || a.empty()) return -1;
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        const double d = static_cast<double>(a[i]) - b[i];
        sum += d * d;
    }
    if (sum == 0) return std::numeric_limits<double>::infinity();
    return 10 * std::log10(255.0 * 255.0 * a.size() / sum);
}

struct FilterCamera::Impl {
    InputPtr in;
    CodecPtr dec;
    PacketPtr pkt{av_packet_alloc()};
    FramePtr frame{av_frame_alloc()};
    int stream = -1;
};

FilterCamera::FilterCamera(const std::string& graph) : impl_(std::make_unique<Impl>()) {
    avdevice_register_all();
    std::string error;
    impl_->in = open_input(graph, av_find_input_format("lavfi"), error);
    if (!impl_->in) return;
    impl_->stream = av_find_best_stream(impl_->in.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (impl_->stream < 0) return;
    const AVCodecParameters* par = impl_->in->streams[impl_->stream]->codecpar;
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    impl_->dec.reset(avcodec_alloc_context3(codec));
    avcodec_parameters_to_context(impl_->dec.get(), par);
    if (avcodec_open2(impl_->dec.get(), codec, nullptr) < 0) impl_->dec.reset();
}

FilterCamera::~FilterCamera() = default;

bool FilterCamera::ok() const { return impl_->dec != nullptr; }

bool FilterCamera::read(uint8_t* dst, int rowBytes, int width, int height) {
    Impl& m = *impl_;
    if (!m.dec) return false;
    for (;;) {
        if (avcodec_receive_frame(m.dec.get(), m.frame.get()) >= 0) {
            if (m.frame->width != width || m.frame->height != height) return false;
            return convert(m.frame.get(), AV_PIX_FMT_ARGB, dst, rowBytes);
        }
        if (av_read_frame(m.in.get(), m.pkt.get()) < 0) return false;
        if (m.pkt->stream_index == m.stream) avcodec_send_packet(m.dec.get(), m.pkt.get());
        av_packet_unref(m.pkt.get());
    }
}
