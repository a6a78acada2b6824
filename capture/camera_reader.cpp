// SPDX-License-Identifier: MIT
// The reader thread: decodes an input ahead of the main thread and keeps its newest picture.
#include <condition_variable>
#include <mutex>
#include <thread>

#include "av_camera.h"

struct CameraReader::Impl {
    std::unique_ptr<AvInput> input;
    int width = 0, height = 0;
    std::thread thread;
    mutable std::mutex m;
    mutable std::condition_variable cv;
    bool running = false;  // start()ed and not stop()ped
    bool quit = false;
    bool ended = false;
    bool fresh = false;                       // latest holds a picture not taken yet
    bool repace = true;                       // the next picture sets a new pacing origin
    int pictureWidth = 0, pictureHeight = 0;  // pixels asked for; 0: the input's own size
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
                input->setOutputSize(pictureWidth, pictureHeight);
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

void CameraReader::setPictureSize(int width, int height) {
    std::lock_guard<std::mutex> lk(impl_->m);
    impl_->pictureWidth = width;
    impl_->pictureHeight = height;
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
