// SPDX-License-Identifier: MIT
#include "clip_writer.h"

#include "av_owners.h"

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace {

struct OutputCloser {
    void operator()(AVFormatContext* f) const {
        if (f->pb) avio_closep(&f->pb);
        avformat_free_context(f);
    }
};

std::string drain(AVCodecContext* enc, AVFormatContext* oc, AVStream* st, AVPacket* pkt) {
    for (;;) {
        const int r = avcodec_receive_packet(enc, pkt);
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return "";
        if (r < 0) return "receive packet";
        av_packet_rescale_ts(pkt, enc->time_base, st->time_base);
        pkt->stream_index = st->index;
        if (av_interleaved_write_frame(oc, pkt) < 0) return "write packet";
    }
}

}  // namespace

void paint_pattern(int n, uint8_t* argb, int rowBytes, int width, int height) {
    for (int y = 0; y < height; ++y) {
        uint8_t* row = argb + static_cast<size_t>(y) * rowBytes;
        for (int x = 0; x < width; ++x) {
            row[4 * x] = 255;
            row[4 * x + 1] = static_cast<uint8_t>(x * 7 + n * 13);
            row[4 * x + 2] = static_cast<uint8_t>(y * 5 + n * 3);
            row[4 * x + 3] = static_cast<uint8_t>(x * y + n * 17);
        }
    }
}

std::vector<uint8_t> pattern_picture(int n, int width, int height) {
    std::vector<uint8_t> out(4 * static_cast<size_t>(width) * height);
    paint_pattern(n, out.data(), 4 * width, width, height);
    return out;
}

std::string write_clip(const ClipSettings& settings) {
    AVFormatContext* raw = nullptr;
    if (avformat_alloc_output_context2(&raw, nullptr, nullptr, settings.path.c_str()) < 0 || !raw)
        return "no container for " + settings.path;
    std::unique_ptr<AVFormatContext, OutputCloser> oc(raw);
    const AVCodec* codec = avcodec_find_encoder_by_name(settings.codec.c_str());
    if (!codec) return "no encoder " + settings.codec;
    av::CodecPtr enc(avcodec_alloc_context3(codec));
    const AVPixelFormat pf = av_get_pix_fmt(settings.pixelFormat.c_str());
    if (pf == AV_PIX_FMT_NONE) return "no pixel format " + settings.pixelFormat;
    enc->width = settings.width;
    enc->height = settings.height;
    enc->pix_fmt = pf;
    enc->time_base = AVRational{1, settings.fps};
    enc->framerate = AVRational{settings.fps, 1};
    enc->gop_size = 5;
    if (oc->oformat->flags & AVFMT_GLOBALHEADER) enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(enc.get(), codec, nullptr) < 0) return "open encoder";
    AVStream* st = avformat_new_stream(oc.get(), nullptr);
    if (!st) return "new stream";
    st->time_base = enc->time_base;
    st->avg_frame_rate = enc->framerate;
    if (avcodec_parameters_from_context(st->codecpar, enc.get()) < 0) return "parameters";
    if (!(oc->oformat->flags & AVFMT_NOFILE) &&
        avio_open(&oc->pb, settings.path.c_str(), AVIO_FLAG_WRITE) < 0)
        return "cannot create " + settings.path;
    if (avformat_write_header(oc.get(), nullptr) < 0) return "write header";

    av::FramePtr frame(av_frame_alloc());
    av::PacketPtr pkt(av_packet_alloc());
    frame->format = pf;
    frame->width = settings.width;
    frame->height = settings.height;
    if (av_frame_get_buffer(frame.get(), 0) < 0) return "frame buffer";
    av::SwsPtr sws(
        sws_getContext(settings.width, settings.height, AV_PIX_FMT_ARGB, settings.width,
                       settings.height, pf, SWS_BILINEAR, nullptr, nullptr, nullptr));
    if (!sws) return "converter";
    std::vector<uint8_t> argb(4 * static_cast<size_t>(settings.width) * settings.height);
    for (int n = 0; n < settings.frames; ++n) {
        if (av_frame_make_writable(frame.get()) < 0) return "writable frame";
        (settings.paint ? settings.paint : paint_pattern)(n, argb.data(), 4 * settings.width,
                                                          settings.width, settings.height);
        const uint8_t* src[4] = {argb.data(), nullptr, nullptr, nullptr};
        const int srcStride[4] = {4 * settings.width, 0, 0, 0};
        sws_scale(sws.get(), src, srcStride, 0, settings.height, frame->data, frame->linesize);
        frame->pts = n;
        if (avcodec_send_frame(enc.get(), frame.get()) < 0) return "send frame";
        if (std::string e = drain(enc.get(), oc.get(), st, pkt.get()); !e.empty()) return e;
    }
    avcodec_send_frame(enc.get(), nullptr);
    if (std::string e = drain(enc.get(), oc.get(), st, pkt.get()); !e.empty()) return e;
    if (av_write_trailer(oc.get()) < 0) return "write trailer";
    return "";
}
