// SPDX-License-Identifier: MIT
#include <cstdio>
#include <vector>

#include "av_camera.h"
#include "render_io.h"

namespace {

constexpr int kMaxSide = 8192;  // pixels; the largest input picture the render tool takes

// Every picture of a file, device or libavfilter source, in order, as fast as it decodes.
class AvFrameSource : public FrameSource {
public:
    explicit AvFrameSource(std::unique_ptr<AvInput> in)
        : in_(std::move(in)), w_(in_->width()), h_(in_->height()), outW_(w_), outH_(h_) {}
    int width() const override { return w_; }
    int height() const override { return h_; }
    long long frameCount() const override { return in_->frameCount(); }
    double frameTime() const override { return frame_.time; }
    std::string error() const override { return error_; }
    bool setPictureSize(int width, int height) override {
        in_->setOutputSize(width, height);
        outW_ = width;
        outH_ = height;
        return true;
    }

    Read read(uint8_t* dst, int rowBytes) override {
        switch (in_->read(frame_)) {
            case AvInput::Read::End:
                return Read::End;
            case AvInput::Read::Error:
                error_ = in_->error();
                return Read::Error;
            case AvInput::Read::Frame:
                break;
        }
        // A picture whose size changed mid-stream is scaled to the stream's first size.
        if (!scaler_.scale(frame_.pixels.data(), frame_.width, frame_.height, frame_.rowBytes, dst,
                           outW_, outH_, rowBytes)) {
            error_ = in_->name() + ": cannot scale picture " + std::to_string(frame_.number + 1) +
                     " of " + std::to_string(frame_.width) + " x " + std::to_string(frame_.height) +
                     " pixels";
            return Read::Error;
        }
        return Read::Frame;
    }

private:
    std::unique_ptr<AvInput> in_;
    int w_, h_;
    int outW_, outH_;  // pixels of the frames read gives
    ArgbFrame frame_;
    ArgbScaler scaler_;
    std::string error_;
};

// Whether the file starts with text only: no control byte but tab, line ends, form feed and
// escape. Every video container has binary bytes in its first few kilobytes.
bool looks_like_text(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    unsigned char buf[4096];
    const size_t n = std::fread(buf, 1, sizeof buf, f);
    std::fclose(f);
    if (n == 0) return false;
    for (size_t i = 0; i < n; ++i) {
        const unsigned char c = buf[i];
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != 0x1B) return false;
        if (c == 0x7F) return false;
    }
    return true;
}

}  // namespace

std::unique_ptr<FrameSource> open_frame_source(const std::string& input, int rawWidth,
                                               int rawHeight, std::string& error) {
    if (rawWidth > 0) return open_raw_source(input, rawWidth, rawHeight, error);
    if (input == "-") {
        error = "standard input: give the size of the raw input frames with --raw-size WxH";
        return nullptr;
    }
    if (looks_like_text(input)) {
        error = input +
                ": a text file, not a video (for raw A, R, G, B frames give their size "
                "with --raw-size WxH)";
        return nullptr;
    }
    int status = 0;
    std::unique_ptr<AvInput> in = AvInput::open(input, false, status, error);
    if (!in) {
        // A file that no demuxer recognises is most likely raw frames given without their size.
        if (status == kUnrecognisedInput)
            error += " (for raw A, R, G, B frames give their size with --raw-size WxH)";
        return nullptr;
    }
    if (in->findStreamInfo() != 0 || in->openVideo() != 0) {
        error = in->error();
        return nullptr;
    }
    if (in->width() > kMaxSide || in->height() > kMaxSide) {
        error = input + ": pictures of " + std::to_string(in->width()) + " x " +
                std::to_string(in->height()) + " pixels are larger than " +
                std::to_string(kMaxSide) + " x " + std::to_string(kMaxSide);
        return nullptr;
    }
    return std::make_unique<AvFrameSource>(std::move(in));
}
