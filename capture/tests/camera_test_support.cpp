// SPDX-License-Identifier: MIT
#include "camera_test_support.h"

#include <fstream>
#include <iterator>

#include "av_camera.h"
#include "frame_history.h"
#include "seq_grabber.h"

std::vector<std::string> alerts() {
    std::vector<std::string> out;
    for (const ErrorSpy::Call& c : ErrorSpy::calls())
        out.push_back(c.code ? c.message + " " + std::to_string(c.code) : c.message);
    return out;
}

void CountingReceiver::MyMovieDrawingCompleteMethod() {
    ++count;
    lastBuffer.assign(s_.srcData,
                      s_.srcData + static_cast<size_t>(s_.LargeSrcRowBytes) * s_.LargeHeight);
}

bool idle_until_delivery(CaptureState& c, CountingReceiver& r, std::chrono::milliseconds timeout) {
    const int before = r.count;
    const auto end = std::chrono::steady_clock::now() + timeout;
    CameraReader* reader = c.theSeqGrabber ? c.theSeqGrabber->reader() : nullptr;
    while (std::chrono::steady_clock::now() < end) {
        camera_idle(c);
        if (r.count > before) return true;
        if (!reader || reader->finished()) return false;
        reader->waitDecoded(reader->stats().decoded + 1, std::chrono::milliseconds(50));
    }
    return false;
}

std::unique_ptr<AvInput> open_clip(const std::string& path) {
    int status = 0;
    std::string error;
    std::unique_ptr<AvInput> in = AvInput::open(path, false, status, error);
    if (in && (in->findStreamInfo() != 0 || in->openVideo() != 0)) in.reset();
    return in;
}

std::vector<char> file_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}


bool LiveCamera::start(const std::string& source, int size) {
    c.cameraSource = source;
    if (!setup_camera(s, c) || !create_output_bitmaps(s)) return false;
    setup_size_params(s, size, false);
    return install_grab_complete(c, &view) && start_camera(c);
}

LiveCamera::~LiveCamera() {
    close_camera(c);
    release_pipeline(s);
}
