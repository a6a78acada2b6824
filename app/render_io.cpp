// SPDX-License-Identifier: MIT
#include "render_io.h"

#include <pthread.h>
#include <sys/stat.h>

#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

std::string errno_text() {
    return std::strerror(errno);
}

// SIGINT and SIGTERM go to the main thread, whose read they cut short, and never cut short a
// write of this thread.
void block_stop_signals() {
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);
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

// Writes one buffer at a time to a file on a thread of its own, so that a picture is written
// while the next one is drawn.
class BackgroundWriter {
public:
    explicit BackgroundWriter(FILE* f) : f_(f), thread_([this] { loop(); }) {}
    ~BackgroundWriter() {  // after the write in hand
        {
            const std::lock_guard<std::mutex> lock(m_);
            stop_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }
    BackgroundWriter(const BackgroundWriter&) = delete;
    BackgroundWriter& operator=(const BackgroundWriter&) = delete;

    // Waits for the write before, then writes the first `size` bytes of buf, which it takes in
    // exchange for a buffer of its own. Returns the errno of a failed write so far, else 0.
    int submit(std::vector<uint8_t>& buf, size_t size) {
        std::unique_lock<std::mutex> lock(m_);
        cv_.wait(lock, [this] { return !busy_; });
        if (err_) return err_;
        std::swap(buf, pending_);
        size_ = size;
        busy_ = true;
        cv_.notify_all();
        return 0;
    }
    // Waits until all is written; the errno of a failed write, else 0.
    int drain() {
        std::unique_lock<std::mutex> lock(m_);
        cv_.wait(lock, [this] { return !busy_; });
        return err_;
    }

private:
    void loop() {
        block_stop_signals();
        std::unique_lock<std::mutex> lock(m_);
        for (;;) {
            cv_.wait(lock, [this] { return busy_ || stop_; });
            if (!busy_) return;
            lock.unlock();
            errno = 0;
            const bool ok = std::fwrite(pending_.data(), 1, size_, f_) == size_;
            const int e = ok ? 0 : errno ? errno : EIO;
            lock.lock();
            if (!err_) err_ = e;
            busy_ = false;
            cv_.notify_all();
        }
    }

    FILE* f_;
    std::mutex m_;
    std::condition_variable cv_;
    std::vector<uint8_t> pending_;
    size_t size_ = 0;    // bytes of pending_ to write
    bool busy_ = false;  // pending_ is being written
    bool stop_ = false;
    int err_ = 0;
    std::thread thread_;  // last: starts when the rest is ready
};

class RgbSink : public PictureSink {
public:
    RgbSink(FILE* f, std::string path, std::string temp)
        : f_(f),
          path_(std::move(path)),
          temp_(std::move(temp)),
          writer_(std::make_unique<BackgroundWriter>(f)) {}
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
        if (const int e = writer_->submit(picture_, size)) {
            error_ = path_ + ": write error: " + std::strerror(e);
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
        writer_.reset();
        if (f_) std::fclose(f_);
        f_ = nullptr;
        std::remove(temp_.c_str());
    }

private:
    bool close() {
        const int e = writer_->drain();
        writer_.reset();
        const bool ok = e == 0 && std::fflush(f_) == 0 && std::fclose(f_) == 0;
        if (e) {
            std::fclose(f_);
            errno = e;
        }
        f_ = nullptr;
        if (!ok) error_ = path_ + ": write error: " + errno_text();
        return ok;
    }

    long long pictures_ = 0;
    FILE* f_;
    std::string path_, temp_, error_;
    std::vector<uint8_t> picture_;  // the picture being repacked, and the repack's slack
    std::unique_ptr<BackgroundWriter> writer_;
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
