// SPDX-License-Identifier: MIT
#include "camera_test_support.h"

#include <filesystem>
#include <random>

#include "av_camera.h"
#include "error_msg.h"
#include "seq_grabber.h"

namespace {

std::vector<std::string> g_texts;

std::string identity(const char* key) {
    return key;
}

void record(const std::string&, const std::string& text, const std::string&) {
    g_texts.push_back(text);
}

}  // namespace

ErrorSpy::ErrorSpy() {
    g_texts.clear();
    set_error_msg_backend(identity, record);
}
ErrorSpy::~ErrorSpy() {
    set_error_msg_backend(nullptr, nullptr);
}
const std::vector<std::string>& ErrorSpy::texts() const {
    return g_texts;
}
void ErrorSpy::clear() {
    g_texts.clear();
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

TempDir::TempDir() {
    std::random_device rd;
    dir_ = (std::filesystem::temp_directory_path() /
            ("wobble-capture-" + std::to_string(rd()) + std::to_string(rd())))
               .string();
    std::filesystem::create_directories(dir_);
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}
