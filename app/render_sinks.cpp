// SPDX-License-Identifier: MIT
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "av_movie.h"
#include "recording.h"
#include "render_io.h"
#include "render_vcam_sink.h"

namespace {

bool ends_with(const std::string& s, const char* suffix) {
    const std::string t = suffix;
    return s.size() >= t.size() && s.compare(s.size() - t.size(), t.size(), t) == 0;
}

struct QualityName {
    const char* name;
    int32_t value;
};
constexpr QualityName kQualities[] = {
    {"least", codecMinQuality}, {"low", codecLowQuality},  {"normal", codecNormalQuality},
    {"high", codecHighQuality}, {"best", codecMaxQuality}, {"lossless", codecLosslessQuality},
};

// Each picture is a frame of a QuickTime movie recorded through the live program's recording,
// with the input's times in place of the wall clock: a frame lasts from the previous input
// frame's time to its own (in 1/600 s, at least 1), the first frame 40 units as in every
// recording; without input times every frame lasts 40 units (15 frames per second).
class MovieSink : public PictureSink {
public:
    MovieSink(std::string path, std::string temp, uint32_t codecType, int32_t quality)
        : path_(std::move(path)),
          temp_(std::move(temp)),
          codecType_(codecType),
          quality_(quality) {}
    ~MovieSink() override { abort(); }
    std::string error() const override { return error_; }
    long long pictures() const override { return pictures_; }

    std::string refuseSize(int width, int height) const override {
        if (codecType_ == kH264CodecType && (width < 2 || height < 2))
            return "H.264 (avc1) needs pictures of at least 2 x 2 pixels; the working size is " +
                   std::to_string(width) + " x " + std::to_string(height) +
                   " (choose another --codec)";
        return "";
    }

    bool write(const uint8_t* data, int rowBytes, int width, int height, double time) override {
        if (!started_) {
            geometry_.Width = width;
            geometry_.Height = height;
            if (!set_compression_settings(r_, geometry_, codecType_, quality_))
                return failed("the compressor refused its settings");
            if (!setup_recording(r_, geometry_, temp_)) return failed("cannot record a movie");
            started_ = true;
        } else if (width != geometry_.Width || height != geometry_.Height) {
            return failed("the picture size changed; a movie keeps one size");
        }
        int32_t duration = kFirstFrameDuration;
        if (r_.RecMediaDuration != 0 && time >= 0 && prevTime_ >= 0) {
            const long long d =
                std::llround(time * kMovieTimeScale) - std::llround(prevTime_ * kMovieTimeScale);
            duration = static_cast<int32_t>(d < 1 ? 1 : d > INT32_MAX ? INT32_MAX : d);
        }
        prevTime_ = time;
        if (!add_timed_media_sample(r_, geometry_, data, rowBytes, duration))
            return kept("a frame could not be added to the movie");
        ++pictures_;
        return true;
    }

    bool finishPartial() override {
        if (!started_ || pictures_ == 0) {
            abort();
            return false;
        }
        started_ = false;
        keptPartial_ = true;
        if (!finish_recording(r_)) return kept("the movie could not be completed");
        return true;
    }

    bool keptPartial() const override { return keptPartial_; }

    bool finish() override {
        if (!started_) {
            abort();
            error_ = path_ + ": no picture was drawn, so there is no movie to write";
            return false;
        }
        started_ = false;
        if (!finish_recording(r_)) return kept("the movie could not be completed");
        if (std::rename(temp_.c_str(), path_.c_str()) != 0) {
            error_ = path_ + ": cannot move the finished movie into place: " + std::strerror(errno);
            std::remove(temp_.c_str());
            return false;
        }
        return true;
    }

    void abort() override {
        cancel_recording(r_);
        started_ = false;
        if (!keptPartial_) std::remove(temp_.c_str());
    }

private:
    // A failure of the recording keeps the pictures it could under OUTPUT.part, as its alert
    // said; they are not removed afterwards.
    bool kept(const std::string& why) {
        struct stat st;
        keptPartial_ = ::stat(temp_.c_str(), &st) == 0;
        return failed(why);
    }

    bool failed(const std::string& why) {
        error_ = path_ + ": " + why + " (see the error above)";
        return false;
    }

    std::string path_, temp_, error_;
    uint32_t codecType_;
    int32_t quality_;
    RecordingState r_;
    PipelineState geometry_;  // only the working size is used
    bool started_ = false, keptPartial_ = false;
    long long pictures_ = 0;
    double prevTime_ = -1;  // s
};

std::string codec_names() {
    std::string names;
    for (uint32_t t : {kJPEGCodecType, kH264CodecType, kProRes422CodecType, kAnimationCodecType,
                       kPNGCodecType, kRawCodecType})
        names += std::string(names.empty() ? "" : ", ") + find_codec_info(t)->option;
    return names;
}

std::unique_ptr<PictureSink> open_movie_sink(const std::string& path, const SinkOptions& options,
                                             std::string& error) {
    const CodecInfo* codec = find_codec_info(kJPEGCodecType);
    if (!options.codec.empty()) {
        codec = nullptr;
        for (uint32_t t : {kJPEGCodecType, kH264CodecType, kProRes422CodecType, kAnimationCodecType,
                           kPNGCodecType, kRawCodecType})
            if (options.codec == find_codec_info(t)->option) codec = find_codec_info(t);
        if (!codec) {
            error = "unknown compressor '" + options.codec + "': use " + codec_names();
            return nullptr;
        }
    }
    if (!codec_available(codec->type)) {
        error = std::string("this FFmpeg cannot write ") + codec->option + " (" + codec->name +
                ") into a movie: its encoder " + codec->encoder + " is missing";
        return nullptr;
    }
    int32_t quality = codec->hasQuality ? codecNormalQuality : codecLosslessQuality;
    if (!options.quality.empty()) {
        const QualityName* q = nullptr;
        for (const QualityName& n : kQualities)
            if (options.quality == n.name) q = &n;
        if (!q) {
            error = "unknown quality '" + options.quality +
                    "': use least, low, normal, high, best or lossless";
            return nullptr;
        }
        if (q->value == codecLosslessQuality && !codec->hasLossless) {
            error = std::string(codec->option) + " (" + codec->name + ") has no lossless quality";
            return nullptr;
        }
        // Animation, PNG and None are lossless whatever the quality asked for.
        if (codec->hasQuality) quality = q->value;
    }
    const std::string temp = partial_name(path);
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = path + ": cannot create: " + std::strerror(errno);
        return nullptr;
    }
    ::close(fd);
    return std::make_unique<MovieSink>(path, temp, codec->type, quality);
}

}  // namespace

std::unique_ptr<PictureSink> open_picture_sink(const std::string& output,
                                               const SinkOptions& options, std::string& error) {
    if (ends_with(output, ".rgb")) {
        if (!options.codec.empty() || !options.quality.empty()) {
            error = "--codec and --quality apply to movie outputs only";
            return nullptr;
        }
        return open_rgb_sink(output, error);
    }
    if (ends_with(output, ".mov")) return open_movie_sink(output, options, error);
    if (is_virtual_camera_output(output)) return open_virtual_camera_sink(output, error);
    error = output + ": OUTPUT must end in .rgb or .mov, or be pipewire:NAME or v4l2:/dev/videoN";
    return nullptr;
}
