// SPDX-License-Identifier: MIT
// Decoding an opened input picture by picture into A, R, G, B.
#include <chrono>
#include <thread>

#include "av_camera.h"
#include "av_input_impl.h"
#include "error_msg.h"
#include "row_pool.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

std::string our_words(const char* words) {
    return error_msg_lookup()(words);
}

int AvInput::Impl::fail(int code, const std::string& what) {
    status = code;
    error = name + ": " + what + (code < 0 ? ": " + av_error_text(code) : std::string());
    return code;
}

bool AvInput::Impl::skipBad(int code) {
    if (live && ++badInARow <= kMaxBadInARow) return true;
    fail(code, live ? "cannot decode " + std::to_string(badInARow - 1) + " pictures in a row"
                    : "cannot decode picture " + std::to_string(decoded + 1));
    return false;
}

bool AvInput::Impl::startOver() {
    const int64_t ts = fmt->start_time != AV_NOPTS_VALUE ? fmt->start_time : 0;
    if (av_seek_frame(fmt.get(), -1, ts, AVSEEK_FLAG_BACKWARD) < 0 &&
        avformat_seek_file(fmt.get(), -1, INT64_MIN, ts, INT64_MAX, 0) < 0)
        return false;
    avcodec_flush_buffers(dec.get());
    flushing = false;
    passPictures = 0;
    return true;
}

bool AvInput::Impl::convert(ArgbFrame& out) {
    const AVFrame* f = frame.get();
    if (f->width <= 0 || f->height <= 0) {
        fail(AVERROR_INVALIDDATA, "picture " + std::to_string(decoded) + " has no size");
        return false;
    }
    out.width = outWidth > 0 ? outWidth : f->width;
    out.height = outHeight > 0 ? outHeight : f->height;
    out.rowBytes = 4 * out.width;
    out.pixels.resize(static_cast<size_t>(out.rowBytes) * out.height);
    const auto pf = static_cast<AVPixelFormat>(f->format);
    if (!picture_to_argb(conversion, f->data, f->linesize, f->width, f->height, pf, out.pixels.data(),
                         out.width, out.height, out.rowBytes)) {
        const char* name = av_get_pix_fmt_name(pf);
        fail(AVERROR(ENOSYS),
             std::string("cannot convert pictures of pixel format ") + (name ? name : "unknown"));
        return false;
    }
    int64_t pts = f->best_effort_timestamp;
    if (pts != AV_NOPTS_VALUE) {
        if (firstPts == AV_NOPTS_VALUE) firstPts = pts;
        out.time = static_cast<double>(pts - firstPts) * av_q2d(fmt->streams[stream]->time_base);
    } else {
        out.time = -1;
    }
    out.number = decoded++;
    ++passPictures;
    badInARow = 0;
    return true;
}

int AvInput::findStreamInfo() {
    Impl& d = *impl_;
    const CNumericScope cNumbers;
    const int r = avformat_find_stream_info(d.fmt.get(), nullptr);
    return r < 0 ? d.fail(r, our_words("cannot read the stream information")) : 0;
}

int AvInput::openVideo() {
    Impl& d = *impl_;
    const AVCodec* codec = nullptr;
    const int idx = av_find_best_stream(d.fmt.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (idx == AVERROR_STREAM_NOT_FOUND) {
        d.fail(idx, "");
        d.error = d.name + ": " + our_words("has no video stream");
        return idx;
    }
    if (idx < 0 || !codec)
        return d.fail(idx < 0 ? idx : AVERROR_DECODER_NOT_FOUND,
                      our_words("has no decoder for its video"));
    av::CodecPtr dec(avcodec_alloc_context3(codec));
    if (!dec) return d.fail(AVERROR(ENOMEM), "out of memory");
    AVStream* st = d.fmt->streams[idx];
    int r = avcodec_parameters_to_context(dec.get(), st->codecpar);
    if (r < 0) return d.fail(r, our_words("cannot set up the video decoder"));
    dec->pkt_timebase = st->time_base;
    // Decoders give the same pictures on any number of threads. Slices only: frame threads would
    // hold back a picture per thread and report a damaged picture late or not at all.
    dec->thread_count = default_thread_count();
    dec->thread_type = FF_THREAD_SLICE;
    r = avcodec_open2(dec.get(), codec, nullptr);
    if (r < 0) return d.fail(r, our_words("cannot open the video decoder"));
    if (dec->width <= 0 || dec->height <= 0)
        return d.fail(AVERROR_INVALIDDATA, our_words("video has no picture size"));
    for (unsigned i = 0; i < d.fmt->nb_streams; ++i)
        if (static_cast<int>(i) != idx) d.fmt->streams[i]->discard = AVDISCARD_ALL;
    d.stream = idx;
    d.dec = std::move(dec);
    return 0;
}

void AvInput::setOutputSize(int width, int height) {
    impl_->outWidth = width > 0 && height > 0 ? width : 0;
    impl_->outHeight = width > 0 && height > 0 ? height : 0;
}

int AvInput::width() const {
    return impl_->dec ? impl_->dec->width : 0;
}
int AvInput::height() const {
    return impl_->dec ? impl_->dec->height : 0;
}
long long AvInput::frameCount() const {
    if (impl_->stream < 0) return -1;
    const int64_t n = impl_->fmt->streams[impl_->stream]->nb_frames;
    return n > 0 ? n : -1;
}
double AvInput::frameInterval() const {
    if (impl_->stream < 0) return kDefaultInterval;
    const AVStream* st = impl_->fmt->streams[impl_->stream];
    const AVRational rate = st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate;
    return rate.num > 0 && rate.den > 0 ? av_q2d(av_inv_q(rate)) : kDefaultInterval;
}

bool AvInput::paced() const {
    return impl_->live && !impl_->src.device;
}
const std::string& AvInput::name() const {
    return impl_->name;
}
int AvInput::status() const {
    return impl_->status;
}
const std::string& AvInput::error() const {
    return impl_->error;
}

AvInput::Read AvInput::read(ArgbFrame& out) {
    Impl& d = *impl_;
    if (!d.dec) {
        d.fail(AVERROR(EINVAL), "no video stream open");
        return Read::Error;
    }
    for (;;) {
        if (d.interrupted) return Read::End;
        int r = avcodec_receive_frame(d.dec.get(), d.frame.get());
        if (r == 0) {
            const bool ok = d.convert(out);
            av_frame_unref(d.frame.get());
            return ok ? Read::Frame : Read::Error;
        }
        if (r == AVERROR_EOF) {
            // A live file starts over, unless a whole pass gave no picture (nothing to show).
            if (d.live && d.src.file && d.passPictures > 0 && d.startOver()) continue;
            return Read::End;
        }
        if (r != AVERROR(EAGAIN)) {
            if (!d.skipBad(r)) return Read::Error;
            if (d.flushing) continue;  // the rest of the drained pictures may still be good
        } else if (d.flushing) {
            return Read::End;  // drained and still asking for input
        }
        r = av_read_frame(d.fmt.get(), d.pkt.get());
        if (r == AVERROR(EAGAIN)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            continue;
        }
        if (r < 0) {
            if (r != AVERROR_EOF && !(d.live && d.src.file)) {
                d.fail(r, "cannot read past picture " + std::to_string(d.decoded));
                return Read::Error;
            }
            // End of the input (or, for a live file, an unreadable rest): drain the decoder.
            avcodec_send_packet(d.dec.get(), nullptr);
            d.flushing = true;
            continue;
        }
        if (d.pkt->stream_index != d.stream) {
            av_packet_unref(d.pkt.get());
            continue;
        }
        r = avcodec_send_packet(d.dec.get(), d.pkt.get());
        av_packet_unref(d.pkt.get());
        if (r < 0 && r != AVERROR(EAGAIN)) {
            if (!d.skipBad(r)) return Read::Error;
        }
    }
}
