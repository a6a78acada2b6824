// SPDX-License-Identifier: MIT
#include "av_camera.h"

#include "av_owners.h"

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavdevice/avdevice.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace {

struct DeviceListFreer {
    void operator()(AVDeviceInfoList* l) const { avdevice_free_list_devices(&l); }
};
using DeviceListPtr = std::unique_ptr<AVDeviceInfoList, DeviceListFreer>;
using FormatPtr = av::InputPtr;
using av::CodecPtr;
using av::FramePtr;
using av::PacketPtr;
using av::SwsPtr;

constexpr double kDefaultInterval = 1.0 / 30;  // seconds between pictures of unknown rate
// Live pictures skipped in a row before the input counts as failed.
constexpr int kMaxBadInARow = 300;

// Both conversions (decoded picture to A, R, G, B, and A, R, G, B to the channel bounds) use
// the same filter with full chroma resolution, so the live view and the render tool produce the
// same bytes.
constexpr int kSwsFlags = SWS_BILINEAR | SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP;

std::string av_error_text(int status) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(status, buf, sizeof buf);
    return buf;
}

// The device formats of the platform, in the order they are tried.
const char* const kDeviceFormats[] = {"v4l2", "avfoundation", "dshow"};

std::string device_source_text(const std::string& format, const std::string& device) {
    if (format == "v4l2") return device;  // a path under /dev/
    if (format == "dshow") return "dshow:video=" + device;
    return format + ":" + device;
}

bool has_prefix(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

std::vector<CameraInfo> list_devices() {
    std::vector<CameraInfo> out;
    for (const char* name : kDeviceFormats) {
        const AVInputFormat* format = av_find_input_format(name);
        if (!format) continue;
        AVDeviceInfoList* raw = nullptr;
        const int n = avdevice_list_input_sources(format, nullptr, nullptr, &raw);
        DeviceListPtr list(raw);
        if (n <= 0 || !list) continue;
        for (int i = 0; i < list->nb_devices; ++i) {
            const AVDeviceInfo* d = list->devices[i];
            bool video = d->nb_media_types == 0;
            for (int m = 0; m < d->nb_media_types; ++m)
                video = video || d->media_types[m] == AVMEDIA_TYPE_VIDEO;
            if (!video || !d->device_name) continue;
            out.push_back({device_source_text(name, d->device_name),
                           d->device_description ? d->device_description : d->device_name});
        }
    }
    return out;
}

}  // namespace

const char* const kDemoGraph =
    "gradients=s=640x480:r=30:speed=0.015:c0=0x3050a0:c1=0xe07030:c2=0x30b070:c3=0xf0e060:"
    "nb_colors=4,format=gbrp[g];testsrc2=s=640x480:r=30,format=gbrp[t];"
    "[g][t]blend=all_mode=softlight,format=argb";

const int kUnrecognisedInput = AVERROR_INVALIDDATA;

int av_enter_movies() {
    static std::once_flag once;
    std::call_once(once, [] {
        avdevice_register_all();
        av_log_set_level(AV_LOG_ERROR);
    });
    return 0;
}

bool resolve_camera_source(const std::string& source, CameraSource& out, std::string& why) {
    out = CameraSource{};
    if (source.empty()) {
        for (const CameraInfo& cam : list_devices())
            return resolve_camera_source(cam.source, out, why);
#if defined(__APPLE__)
        out.format = "avfoundation";
        out.url = "default";
        out.device = true;
        return true;
#else
        why = "no camera found";
        return false;
#endif
    }
    if (source == "demo") {
        out.format = "lavfi";
        out.url = kDemoGraph;
        return true;
    }
    if (has_prefix(source, "lavfi:")) {
        out.format = "lavfi";
        out.url = source.substr(6);
        return true;
    }
    for (const char* name : kDeviceFormats) {
        const std::string prefix = std::string(name) + ":";
        if (has_prefix(source, prefix.c_str())) {
            out.format = name;
            out.url = source.substr(prefix.size());
            out.device = true;
            return true;
        }
    }
    if (has_prefix(source, "/dev/")) {
        out.format = "v4l2";
        out.url = source;
        out.device = true;
        return true;
    }
    out.url = source;
    out.file = true;
    return true;
}

std::vector<CameraInfo> list_cameras() {
    av_enter_movies();
    std::vector<CameraInfo> out = list_devices();
    out.push_back({"demo", "built-in moving test scene, 640 x 480 at 30 frames per second"});
    return out;
}

// ---- AvInput ----

struct AvInput::Impl {
    static int interrupted_cb(void* opaque) {
        return static_cast<const Impl*>(opaque)->interrupted.load() ? 1 : 0;
    }

    std::atomic<bool> interrupted{false};
    std::string name;
    CameraSource src;
    bool live = false;
    FormatPtr fmt;
    CodecPtr dec;
    FramePtr frame = FramePtr(av_frame_alloc());
    PacketPtr pkt = PacketPtr(av_packet_alloc());
    SwsPtr sws;
    int stream = -1;
    bool flushing = false;       // the demuxer ended; the decoder is being drained
    long long decoded = 0;       // pictures since opening
    long long passPictures = 0;  // pictures since the last start-over
    int badInARow = 0;           // live: failed packets and pictures since the last good picture
    int64_t firstPts = AV_NOPTS_VALUE;
    int status = 0;
    std::string error;

    // A live input skips a picture it cannot decode, but not endlessly. Returns false (with the
    // failure recorded) when the input is not live or has failed too often in a row.
    bool skipBad(int code) {
        if (live && ++badInARow <= kMaxBadInARow) return true;
        fail(code, live ? "cannot decode " + std::to_string(badInARow - 1) + " pictures in a row"
                        : "cannot decode picture " + std::to_string(decoded + 1));
        return false;
    }

    int fail(int code, const std::string& what) {
        status = code;
        error = name + ": " + what + (code < 0 ? ": " + av_error_text(code) : std::string());
        return code;
    }

    // Goes back to the first picture; false when the input cannot seek.
    bool startOver() {
        const int64_t ts = fmt->start_time != AV_NOPTS_VALUE ? fmt->start_time : 0;
        if (av_seek_frame(fmt.get(), -1, ts, AVSEEK_FLAG_BACKWARD) < 0 &&
            avformat_seek_file(fmt.get(), -1, INT64_MIN, ts, INT64_MAX, 0) < 0)
            return false;
        avcodec_flush_buffers(dec.get());
        flushing = false;
        passPictures = 0;
        return true;
    }

    bool convert(ArgbFrame& out) {
        const AVFrame* f = frame.get();
        if (f->width <= 0 || f->height <= 0) {
            fail(AVERROR_INVALIDDATA, "picture " + std::to_string(decoded) + " has no size");
            return false;
        }
        out.width = f->width;
        out.height = f->height;
        out.rowBytes = 4 * f->width;
        out.pixels.resize(static_cast<size_t>(out.rowBytes) * out.height);
        if (f->format == AV_PIX_FMT_ARGB) {
            for (int y = 0; y < f->height; ++y)
                std::memcpy(out.pixels.data() + static_cast<size_t>(y) * out.rowBytes,
                            f->data[0] + static_cast<ptrdiff_t>(y) * f->linesize[0], out.rowBytes);
        } else {
            sws.reset(sws_getCachedContext(
                sws.release(), f->width, f->height, static_cast<AVPixelFormat>(f->format), f->width,
                f->height, AV_PIX_FMT_ARGB, kSwsFlags, nullptr, nullptr, nullptr));
            if (!sws) {
                const char* pf = av_get_pix_fmt_name(static_cast<AVPixelFormat>(f->format));
                fail(AVERROR(ENOSYS), std::string("cannot convert pictures of pixel format ") +
                                          (pf ? pf : "unknown"));
                return false;
            }
            uint8_t* dst[4] = {out.pixels.data(), nullptr, nullptr, nullptr};
            const int dstStride[4] = {out.rowBytes, 0, 0, 0};
            sws_scale(sws.get(), f->data, f->linesize, 0, f->height, dst, dstStride);
        }
        int64_t pts = f->best_effort_timestamp;
        if (pts != AV_NOPTS_VALUE) {
            if (firstPts == AV_NOPTS_VALUE) firstPts = pts;
            out.time =
                static_cast<double>(pts - firstPts) * av_q2d(fmt->streams[stream]->time_base);
        } else {
            out.time = -1;
        }
        out.number = decoded++;
        ++passPictures;
        badInARow = 0;
        return true;
    }
};

AvInput::AvInput() : impl_(std::make_unique<Impl>()) {}
AvInput::~AvInput() = default;

std::unique_ptr<AvInput> AvInput::open(const std::string& source, bool live, int& status,
                                       std::string& error) {
    av_enter_movies();
    std::unique_ptr<AvInput> in(new AvInput());
    Impl& d = *in->impl_;
    d.name = source.empty() ? std::string("default camera") : source;
    d.live = live;
    std::string why;
    if (!resolve_camera_source(source, d.src, why)) {
        status = AVERROR(ENODEV);
        error = d.name + ": " + why;
        return nullptr;
    }
    if (!d.frame || !d.pkt) {
        status = AVERROR(ENOMEM);
        error = d.name + ": out of memory";
        return nullptr;
    }
    const AVInputFormat* format = nullptr;
    if (!d.src.format.empty()) {
        format = av_find_input_format(d.src.format.c_str());
        if (!format) {
            status = AVERROR_DEMUXER_NOT_FOUND;
            error = d.name + ": this FFmpeg has no " + d.src.format + " input";
            return nullptr;
        }
    }
    AVDictionary* opts = nullptr;
    if (d.src.format == "avfoundation") av_dict_set(&opts, "framerate", "30", 0);
    av::DictPtr optsOwner(opts);
    AVFormatContext* ctx = avformat_alloc_context();
    if (!ctx) {
        status = AVERROR(ENOMEM);
        error = d.name + ": out of memory";
        return nullptr;
    }
    // Reads give up when interrupt() is called; a device never blocks, so shutdown is prompt.
    ctx->interrupt_callback = AVIOInterruptCB{&Impl::interrupted_cb, &d};
    if (d.src.device) ctx->flags |= AVFMT_FLAG_NONBLOCK;
    opts = optsOwner.release();
    const int r =
        avformat_open_input(&ctx, d.src.url.c_str(), format, &opts);  // frees ctx on failure
    optsOwner.reset(opts);
    if (r < 0) {
        status = r;
        error = d.name + ": cannot open: " + av_error_text(r);
        return nullptr;
    }
    d.fmt.reset(ctx);
    status = 0;
    return in;
}

void AvInput::interrupt() {
    impl_->interrupted = true;
}

int AvInput::findStreamInfo() {
    Impl& d = *impl_;
    const int r = avformat_find_stream_info(d.fmt.get(), nullptr);
    return r < 0 ? d.fail(r, "cannot read the stream information") : 0;
}

int AvInput::openVideo() {
    Impl& d = *impl_;
    const AVCodec* codec = nullptr;
    const int idx = av_find_best_stream(d.fmt.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (idx == AVERROR_STREAM_NOT_FOUND) {
        d.fail(idx, "");
        d.error = d.name + ": has no video stream";
        return idx;
    }
    if (idx < 0 || !codec)
        return d.fail(idx < 0 ? idx : AVERROR_DECODER_NOT_FOUND, "has no decoder for its video");
    CodecPtr dec(avcodec_alloc_context3(codec));
    if (!dec) return d.fail(AVERROR(ENOMEM), "out of memory");
    AVStream* st = d.fmt->streams[idx];
    int r = avcodec_parameters_to_context(dec.get(), st->codecpar);
    if (r < 0) return d.fail(r, "cannot set up the video decoder");
    dec->pkt_timebase = st->time_base;
    r = avcodec_open2(dec.get(), codec, nullptr);
    if (r < 0) return d.fail(r, "cannot open the video decoder");
    if (dec->width <= 0 || dec->height <= 0)
        return d.fail(AVERROR_INVALIDDATA, "video has no picture size");
    for (unsigned i = 0; i < d.fmt->nb_streams; ++i)
        if (static_cast<int>(i) != idx) d.fmt->streams[i]->discard = AVDISCARD_ALL;
    d.stream = idx;
    d.dec = std::move(dec);
    return 0;
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

// ---- ArgbScaler ----

struct ArgbScaler::Impl {
    SwsPtr sws;
};

ArgbScaler::ArgbScaler() : impl_(std::make_unique<Impl>()) {}
ArgbScaler::~ArgbScaler() = default;

bool ArgbScaler::scale(const uint8_t* src, int sw, int sh, int srcRowBytes, uint8_t* dst, int dw,
                       int dh, int dstRowBytes) {
    if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0 || !src || !dst) return false;
    if (sw == dw && sh == dh) {
        for (int y = 0; y < dh; ++y)
            std::memcpy(dst + static_cast<ptrdiff_t>(y) * dstRowBytes,
                        src + static_cast<ptrdiff_t>(y) * srcRowBytes, 4 * static_cast<size_t>(dw));
        return true;
    }
    impl_->sws.reset(sws_getCachedContext(impl_->sws.release(), sw, sh, AV_PIX_FMT_ARGB, dw, dh,
                                          AV_PIX_FMT_ARGB, kSwsFlags, nullptr, nullptr, nullptr));
    if (!impl_->sws) return false;
    const uint8_t* const srcPlanes[4] = {src, nullptr, nullptr, nullptr};
    const int srcStride[4] = {srcRowBytes, 0, 0, 0};
    uint8_t* const dstPlanes[4] = {dst, nullptr, nullptr, nullptr};
    const int dstStride[4] = {dstRowBytes, 0, 0, 0};
    return sws_scale(impl_->sws.get(), srcPlanes, srcStride, 0, sh, dstPlanes, dstStride) == dh;
}

// ---- CameraReader ----

struct CameraReader::Impl {
    std::unique_ptr<AvInput> input;
    int width = 0, height = 0;
    std::thread thread;
    mutable std::mutex m;
    mutable std::condition_variable cv;
    bool running = false;  // start()ed and not stop()ped
    bool quit = false;
    bool ended = false;
    bool fresh = false;  // latest holds a picture not taken yet
    bool repace = true;  // the next picture sets a new pacing origin
    ArgbFrame latest;
    Stats stats;
    int status = 0;
    std::string error;

    void run() {
        ArgbFrame back;
        std::chrono::steady_clock::time_point origin;
        double originTime = 0, lastTime = -1;
        for (;;) {
            {
                std::unique_lock<std::mutex> lk(m);
                cv.wait(lk, [&] { return quit || running; });
                if (quit) return;
            }
            const AvInput::Read r = input->read(back);
            if (r != AvInput::Read::Frame) {
                std::lock_guard<std::mutex> lk(m);
                ended = true;
                if (r == AvInput::Read::Error) {
                    status = input->status();
                    error = input->error();
                }
                cv.notify_all();
                return;
            }
            if (input->paced()) {
                // Pictures without timestamps follow one another at the stream's frame rate.
                if (back.time < 0)
                    back.time = (lastTime < 0 ? 0 : lastTime) + input->frameInterval();
                // Show each picture at its own time after the first; start again after a
                // start-over, a restart of the preview, or a gap of more than a second.
                const auto now = std::chrono::steady_clock::now();
                bool rebase;
                {
                    std::lock_guard<std::mutex> lk(m);
                    rebase = repace;
                    repace = false;
                }
                const double ahead =
                    originTime + std::chrono::duration<double>(now - origin).count();
                if (rebase || back.time < lastTime || back.time - ahead > 1.0 ||
                    ahead - back.time > 1.0) {
                    origin = now;
                    originTime = back.time;
                }
                lastTime = back.time;
                const auto due =
                    origin + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                 std::chrono::duration<double>(back.time - originTime));
                std::unique_lock<std::mutex> lk(m);
                if (cv.wait_until(lk, due, [&] { return quit; })) return;
            }
            std::lock_guard<std::mutex> lk(m);
            if (quit) return;
            if (!running) continue;  // stopped meanwhile: the picture is dropped
            ++stats.decoded;
            if (fresh) ++stats.dropped;
            std::swap(latest, back);
            fresh = true;
            cv.notify_all();
        }
    }
};

CameraReader::CameraReader(std::unique_ptr<AvInput> input) : impl_(std::make_unique<Impl>()) {
    impl_->width = input->width();
    impl_->height = input->height();
    impl_->input = std::move(input);
}

CameraReader::~CameraReader() {
    shutdown();
}

void CameraReader::start() {
    Impl& d = *impl_;
    std::lock_guard<std::mutex> lk(d.m);
    if (d.quit) return;
    d.running = true;
    d.repace = true;
    if (!d.thread.joinable()) d.thread = std::thread([this] { impl_->run(); });
    d.cv.notify_all();
}

void CameraReader::stop() {
    Impl& d = *impl_;
    std::lock_guard<std::mutex> lk(d.m);
    d.running = false;
    d.fresh = false;
}

bool CameraReader::takeNewest(ArgbFrame& frame) {
    Impl& d = *impl_;
    std::lock_guard<std::mutex> lk(d.m);
    if (!d.fresh || !d.running) return false;
    std::swap(frame, d.latest);
    d.fresh = false;
    ++d.stats.taken;
    return true;
}

void CameraReader::shutdown() {
    Impl& d = *impl_;
    {
        std::lock_guard<std::mutex> lk(d.m);
        d.quit = true;
        d.running = false;
        d.fresh = false;
        d.cv.notify_all();
    }
    d.input->interrupt();
    if (d.thread.joinable()) d.thread.join();
}

CameraReader::Stats CameraReader::stats() const {
    std::lock_guard<std::mutex> lk(impl_->m);
    return impl_->stats;
}

bool CameraReader::waitDecoded(long long decoded, std::chrono::milliseconds timeout) const {
    Impl& d = *impl_;
    std::unique_lock<std::mutex> lk(d.m);
    return d.cv.wait_for(lk, timeout, [&] { return d.stats.decoded >= decoded || d.ended; }) &&
           d.stats.decoded >= decoded;
}

bool CameraReader::finished() const {
    std::lock_guard<std::mutex> lk(impl_->m);
    return impl_->ended;
}

int CameraReader::status() const {
    std::lock_guard<std::mutex> lk(impl_->m);
    return impl_->status;
}

std::string CameraReader::error() const {
    std::lock_guard<std::mutex> lk(impl_->m);
    return impl_->error;
}

int CameraReader::width() const {
    return impl_->width;
}
int CameraReader::height() const {
    return impl_->height;
}
