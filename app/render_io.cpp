// SPDX-License-Identifier: MIT
#include "render_io.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

std::string errno_text() {
    return std::strerror(errno);
}

constexpr size_t kRepackSlack = 4;  // bytes repack_rgb may write past its last pixel

// The R, G, B bytes of `width` pixels of R, G, B and an unshown byte, to out. Writes up to
// kRepackSlack bytes past the last pixel, which the next row overwrites.
void repack_rgb(const uint8_t* px, int width, uint8_t* out) {
    int x = 0;
#if defined(__SSE2__)
    // Four pixels at a time: 16 bytes in, 12 out (16 stored). Each 64-bit half first closes the
    // gap between its two pixels, then the upper half moves down by two bytes.
    const __m128i keep3 = _mm_set1_epi64x(0x0000000000FFFFFF);
    const __m128i next3 = _mm_set1_epi64x(0x0000FFFFFF000000);
    const __m128i low6 = _mm_set_epi64x(0, 0x0000FFFFFFFFFFFF);
    for (; x + 4 <= width; x += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(px + 4 * x));
        const __m128i six =
            _mm_or_si128(_mm_and_si128(v, keep3), _mm_and_si128(_mm_srli_epi64(v, 8), next3));
        const __m128i twelve =
            _mm_or_si128(_mm_and_si128(six, low6), _mm_andnot_si128(low6, _mm_srli_si128(six, 2)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * x), twelve);
    }
#endif
    for (; x < width; ++x) {
        out[3 * x] = px[4 * x];
        out[3 * x + 1] = px[4 * x + 1];
        out[3 * x + 2] = px[4 * x + 2];
    }
}

class RawSource : public FrameSource {
public:
    RawSource(FILE* f, bool owned, const std::string& path, int w, int h, long long frames)
        : f_(f), owned_(owned), path_(path), w_(w), h_(h), frames_(frames) {}
    ~RawSource() override {
        if (owned_) std::fclose(f_);
    }
    int width() const override { return w_; }
    int height() const override { return h_; }
    long long frameCount() const override { return frames_; }
    std::string error() const override { return error_; }

    // Frames at the file's own size go straight to the caller: rows one after another are
    // read with one call.
    bool setPictureSize(int width, int height) override { return width == w_ && height == h_; }

    Read read(uint8_t* dst, int rowBytes) override {
        const size_t row = 4 * static_cast<size_t>(w_);
        const size_t frame = row * h_;
        if (static_cast<size_t>(rowBytes) == row) return finishRead(std::fread(dst, 1, frame, f_));
        for (int y = 0; y < h_; ++y) {
            const size_t got = std::fread(dst + static_cast<size_t>(y) * rowBytes, 1, row, f_);
            if (got != row) return finishRead(static_cast<size_t>(y) * row + got);
        }
        return Read::Frame;
    }

private:
    // The outcome of a read that got `got` bytes of the frame.
    Read finishRead(size_t got) {
        const size_t frame = 4 * static_cast<size_t>(w_) * h_;
        if (got == frame) return Read::Frame;
        if (std::ferror(f_)) {
            error_ = path_ + ": read error: " + errno_text();
            return Read::Error;
        }
        if (got == 0) return Read::End;
        error_ = path_ + ": ends with a partial frame of " + std::to_string(got) +
                 " bytes (a frame is " + std::to_string(frame) + " bytes); it was not used";
        return Read::Error;
    }

    FILE* f_;
    bool owned_;
    std::string path_;
    int w_, h_;
    long long frames_;
    std::string error_;
};

class RgbSink : public PictureSink {
public:
    RgbSink(FILE* f, std::string path, std::string temp)
        : f_(f), path_(std::move(path)), temp_(std::move(temp)) {}
    ~RgbSink() override {
        if (f_) abort();
    }
    std::string error() const override { return error_; }

    long long pictures() const override { return pictures_; }

    bool write(const uint8_t* data, int rowBytes, int width, int height, double) override {
        ++pictures_;
        const size_t size = 3 * static_cast<size_t>(width) * height;
        picture_.resize(size + kRepackSlack);
        for (int y = 0; y < height; ++y)
            repack_rgb(data + static_cast<size_t>(y) * rowBytes, width,
                       picture_.data() + 3 * static_cast<size_t>(y) * width);
        if (std::fwrite(picture_.data(), 1, size, f_) != size) {
            error_ = path_ + ": write error: " + errno_text();
            return false;
        }
        return true;
    }

    bool finish() override {
        if (pictures_ == 0) {
            abort();
            error_ = path_ + ": no picture was drawn, so there is nothing to write";
            return false;
        }
        if (!close()) {
            std::remove(temp_.c_str());
            return false;
        }
        if (std::rename(temp_.c_str(), path_.c_str()) != 0) {
            error_ = path_ + ": cannot move the finished output into place: " + errno_text();
            std::remove(temp_.c_str());
            return false;
        }
        return true;
    }

    bool finishPartial() override {
        if (pictures_ == 0 || !close()) {
            std::remove(temp_.c_str());
            return false;
        }
        return true;
    }

    void abort() override {
        if (f_) std::fclose(f_);
        f_ = nullptr;
        std::remove(temp_.c_str());
    }

private:
    bool close() {
        const bool ok = std::fflush(f_) == 0 && std::fclose(f_) == 0;
        f_ = nullptr;
        if (!ok) error_ = path_ + ": write error: " + errno_text();
        return ok;
    }

    long long pictures_ = 0;
    FILE* f_;
    std::string path_, temp_, error_;
    std::vector<uint8_t> picture_;  // one picture as written, and the repack's slack
};

}  // namespace

std::unique_ptr<FrameSource> open_raw_source(const std::string& path, int width, int height,
                                             std::string& error) {
    const long long frameBytes = 4LL * width * height;
    if (path == "-")
        return std::make_unique<RawSource>(stdin, false, "standard input", width, height, -1);
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = path + ": cannot open: " + errno_text();
        return nullptr;
    }
    struct stat st;
    if (fstat(fileno(f), &st) != 0) {
        error = path + ": cannot read: " + errno_text();
        std::fclose(f);
        return nullptr;
    }
    long long frames = -1;
    if (S_ISREG(st.st_mode)) {
        frames = st.st_size / frameBytes;
        if (st.st_size % frameBytes != 0) {
            error = path + ": " + std::to_string(st.st_size) + " bytes is not a whole number of " +
                    std::to_string(width) + " x " + std::to_string(height) + " frames (" +
                    std::to_string(frames) + " frames and a partial frame of " +
                    std::to_string(st.st_size % frameBytes) + " bytes)";
            std::fclose(f);
            return nullptr;
        }
    } else if (!S_ISFIFO(st.st_mode) && !S_ISCHR(st.st_mode)) {
        error = path + ": not a regular file";
        std::fclose(f);
        return nullptr;
    }
    return std::make_unique<RawSource>(f, true, path, width, height, frames);
}

std::unique_ptr<PictureSink> open_rgb_sink(const std::string& path, std::string& error) {
    const std::string temp = partial_name(path);
    FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) {
        error = path + ": cannot create: " + errno_text();
        return nullptr;
    }
    return std::make_unique<RgbSink>(f, path, temp);
}
