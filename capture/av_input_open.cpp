// SPDX-License-Identifier: MIT
// Opening a camera source with libavformat and libavdevice: what a source text names, the
// cameras found, and why an input could not be opened.
#include <locale.h>
#include <sys/stat.h>

#include <clocale>
#include <cstdarg>
#include <cstring>
#include <mutex>

#include "av_camera.h"
#include "av_input_impl.h"
#include "error_msg.h"
#include "v4l2_devices.h"

extern "C" {
#include <libavdevice/avdevice.h>
}

namespace {

struct DeviceListFreer {
    void operator()(AVDeviceInfoList* l) const { avdevice_free_list_devices(&l); }
};
using DeviceListPtr = std::unique_ptr<AVDeviceInfoList, DeviceListFreer>;

// The device formats of the platform, in the order they are tried. V4L2 devices are found by
// list_v4l2_devices, which names them by their card.
const char* const kDeviceFormats[] = {"v4l2", "avfoundation", "dshow"};

thread_local std::string t_firstLogError;

void log_callback(void* avcl, int level, const char* fmt, va_list vl) {
    if (level > AV_LOG_ERROR) return;
    if (t_firstLogError.empty()) {
        char line[512] = {};
        int printPrefix = 0;
        va_list copy;
        va_copy(copy, vl);
        av_log_format_line2(nullptr, level, fmt, copy, line, sizeof line, &printPrefix);
        va_end(copy);
        t_firstLogError = line;
        while (!t_firstLogError.empty() &&
               (t_firstLogError.back() == '\n' || t_firstLogError.back() == ' '))
            t_firstLogError.pop_back();
    }
    av_log_default_callback(avcl, level, fmt, vl);
}

std::string device_source_text(const std::string& format, const std::string& device) {
    if (format == "dshow") return "dshow:video=" + device;
    return format + ":" + device;
}

bool has_prefix(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

std::vector<CameraInfo> list_devices() {
    std::vector<CameraInfo> out;
#if defined(__linux__)
    for (const V4l2Device& d : list_v4l2_devices()) out.push_back({d.path, d.card});
#endif
    for (const char* name : kDeviceFormats) {
        if (std::strcmp(name, "v4l2") == 0) continue;
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

// Why opening failed, in plain words: FFmpeg's own words for the status, ours where FFmpeg's
// would mislead, and the filter graph's complaint for a libavfilter source.
std::string open_failure_words(const CameraSource& src, int status) {
    if (src.device && status == AVERROR(ENOTTY)) return our_words("not a video device");
    if (src.format == "lavfi" && !last_av_log_error().empty()) return last_av_log_error();
    return av_error_text(status);
}

}  // namespace

std::string av_error_text(int status) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(status, buf, sizeof buf);
    return buf;
}

std::string last_av_log_error() {
    return t_firstLogError;
}

void clear_av_log_error() {
    t_firstLogError.clear();
}

CNumericScope::CNumericScope() {
    locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    if (!c) return;
    c_ = c;
    before_ = uselocale(c);
}

CNumericScope::~CNumericScope() {
    if (!c_) return;
    uselocale(static_cast<locale_t>(before_));
    freelocale(static_cast<locale_t>(c_));
}

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
        av_log_set_callback(log_callback);
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
        why = our_words("no camera found");
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
    // A named pipe is a stream: it cannot start over, and its end is the camera going away.
    struct stat st {};
    out.file = !(::stat(source.c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
    return true;
}

std::vector<CameraInfo> list_cameras() {
    av_enter_movies();
    std::vector<CameraInfo> out = list_devices();
    out.push_back({"demo", "built-in moving test scene, 640 x 480 at 30 frames per second"});
    return out;
}

AvInput::AvInput() : impl_(std::make_unique<Impl>()) {}
AvInput::~AvInput() = default;

std::unique_ptr<AvInput> AvInput::open(const std::string& source, bool live, int& status,
                                       std::string& error, int maxHeight) {
    av_enter_movies();
    std::unique_ptr<AvInput> in(new AvInput());
    Impl& d = *in->impl_;
    d.live = live;
    std::string why;
    if (!resolve_camera_source(source, d.src, why)) {
        status = AVERROR(ENODEV);
        error = why;
        return nullptr;
    }
    // The default camera is named by the device it resolved to.
    d.name = source.empty() ? d.src.url : source;
    if (!d.frame || !d.pkt) {
        status = AVERROR(ENOMEM);
        error = d.name + ": " + av_error_text(status);
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
#if defined(__linux__)
    if (d.src.format == "v4l2" && maxHeight > 0) {
        if (const auto mode = choose_camera_mode(list_v4l2_modes(d.src.url), maxHeight)) {
            const std::string size =
                std::to_string(mode->width) + "x" + std::to_string(mode->height);
            av_dict_set(&opts, "input_format", mode->inputFormat.c_str(), 0);
            av_dict_set(&opts, "video_size", size.c_str(), 0);
            av_dict_set(&opts, "framerate", std::to_string(mode->fps).c_str(), 0);
        }
    }
#endif
    av::DictPtr optsOwner(opts);
    AVFormatContext* ctx = avformat_alloc_context();
    if (!ctx) {
        status = AVERROR(ENOMEM);
        error = d.name + ": " + av_error_text(status);
        return nullptr;
    }
    // Reads give up when interrupt() is called; a device never blocks, so shutdown is prompt.
    ctx->interrupt_callback = AVIOInterruptCB{&Impl::interrupted_cb, &d};
    if (d.src.device) ctx->flags |= AVFMT_FLAG_NONBLOCK;
    opts = optsOwner.release();
    int r;
    {
        const CNumericScope cNumbers;
        clear_av_log_error();
        r = avformat_open_input(&ctx, d.src.url.c_str(), format, &opts);  // frees ctx on failure
    }
    optsOwner.reset(opts);
    if (r < 0) {
        status = r;
        error = d.name + ": " + open_failure_words(d.src, r);
        return nullptr;
    }
    d.fmt.reset(ctx);
    status = 0;
    return in;
}

void AvInput::interrupt() {
    impl_->interrupted = true;
}
