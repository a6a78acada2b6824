// SPDX-License-Identifier: MIT
#include "clip_writer.h"

#include <memory>

#include "av_owners.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

void paint_pattern(int n, uint8_t* argb, int rowBytes, int width, int height) {
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = argb + static_cast<size_t>(y) * rowBytes + 4 * x;
            p[0] = 255;
            p[1] = static_cast<uint8_t>(x * 7 + n * 13);
            p[2] = static_cast<uint8_t>(y * 5 + n * 3);
            p[3] = static_cast<uint8_t>(x * y + n * 17);
        }
}

std::vector<uint8_t> pattern_picture(int n, int width, int height) {
    std::vector<uint8_t> out(4 * static_cast<size_t>(width) * height);
    paint_pattern(n, out.data(), 4 * width, width, height);
    return out;
}

std::string write_clip(const ClipSettings& c) {
    AVFormatContext* raw = nullptr;
    if (avformat_alloc_output_context2(&raw, nullptr, nullptr, c.path.c_str()) < 0 || !raw)
        return "no container for " + c.path;
    const auto closer = [](AVFormatContext* f) {
        if (f->pb) avio_closep(&f->pb);
        avformat_free_context(f);
    };
    std::unique_ptr<AVFormatContext, decltype(closer)> oc(raw, closer);
    const AVCodec* codec = avcodec_find_encoder_by_name(c.codec.c_str());
    const AVPixelFormat pf = av_get_pix_fmt(c.pixelFormat.c_str());
    if (!codec || pf == AV_PIX_FMT_NONE) return "no encoder " + c.codec + " for " + c.pixelFormat;
    av::CodecPtr enc(avcodec_alloc_context3(codec));
    enc->width = c.width;
    enc->height = c.height;
    enc->pix_fmt = pf;
    enc->time_base = AVRational{1, c.fps};
    enc->framerate = AVRational{c.fps, 1};
    enc->gop_size = 5;
    if (oc->oformat->flags & AVFMT_GLOBALHEADER) enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVStream* st = avformat_new_stream(oc.get(), nullptr);
    if (!st || avcodec_open2(enc.get(), codec, nullptr) < 0 ||
        avcodec_parameters_from_context(st->codecpar, enc.get()) < 0)
        return "cannot set up the encoder " + c.codec;
    st->time_base = enc->time_base;
    st->avg_frame_rate = enc->framerate;
    if ((!(oc->oformat->flags & AVFMT_NOFILE) &&
         avio_open(&oc->pb, c.path.c_str(), AVIO_FLAG_WRITE) < 0) ||
        avformat_write_header(oc.get(), nullptr) < 0)
        return "cannot create " + c.path;

    av::FramePtr frame(av_frame_alloc());
    av::PacketPtr pkt(av_packet_alloc());
    frame->format = pf;
    frame->width = c.width;
    frame->height = c.height;
    av::SwsPtr sws(sws_getContext(c.width, c.height, AV_PIX_FMT_ARGB, c.width, c.height, pf,
                                  SWS_BILINEAR, nullptr, nullptr, nullptr));
    if (av_frame_get_buffer(frame.get(), 0) < 0 || !sws) return "no picture buffer";
    std::vector<uint8_t> argb(4 * static_cast<size_t>(c.width) * c.height);
    const uint8_t* src[4] = {argb.data()};
    const int srcStride[4] = {4 * c.width};
    // The turn after the last picture sends the end of the stream and drains the encoder.
    for (int n = 0; n <= c.frames; ++n) {
        if (n < c.frames) {
            if (av_frame_make_writable(frame.get()) < 0) return "writable frame";
            (c.paint ? c.paint : paint_pattern)(n, argb.data(), 4 * c.width, c.width, c.height);
            sws_scale(sws.get(), src, srcStride, 0, c.height, frame->data, frame->linesize);
            frame->pts = n;
        }
        if (avcodec_send_frame(enc.get(), n < c.frames ? frame.get() : nullptr) < 0)
            return "send frame";
        int r;
        while ((r = avcodec_receive_packet(enc.get(), pkt.get())) == 0) {
            av_packet_rescale_ts(pkt.get(), enc->time_base, st->time_base);
            pkt->stream_index = st->index;
            if (av_interleaved_write_frame(oc.get(), pkt.get()) < 0) return "write packet";
        }
        if (r != AVERROR(EAGAIN) && r != AVERROR_EOF) return "receive packet";
    }
    return av_write_trailer(oc.get()) < 0 ? "write trailer" : "";
}
