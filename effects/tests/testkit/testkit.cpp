// SPDX-License-Identifier: MIT
#include "testkit.h"

#include <stdlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "error_msg.h"
#include "frame_history.h"
#include "ingest.h"

namespace testkit {

TempDir::TempDir() {
    std::string name = (std::filesystem::temp_directory_path() / "wobble-test-XXXXXX").string();
    dir_ = ::mkdtemp(name.data()) ? name : throw std::runtime_error("cannot create " + name);
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

std::string TempDir::path(const std::string& name) const {
    return std::filesystem::path(dir_) / name;
}

Pipeline::Pipeline(int largeWidth, int largeHeight, int size, Grabber* grabber) {
    s.grabber = grabber;
    set_camera_geometry(s, largeWidth, largeHeight);
    camera_.assign(static_cast<size_t>(s.LargeSrcRowBytes) * largeHeight, 0);
    s.srcData = camera_.data();
    if (!create_output_bitmaps(s)) throw std::runtime_error("bitmaps");
    // Guard bytes: the bitmaps are reallocated with room behind the last row.
    for (OutputBitmap* bm : {&s.largeBitmap, &s.smallBitmap}) {
        const size_t bytes = static_cast<size_t>(bm->rowBytes) * bm->height;
        bm->data = static_cast<uint8_t*>(reallocF(bm->data, bytes + kGuardBytes));
        std::memset(bm->data, 0, bytes);
        std::memset(bm->data + bytes, 0xEE, kGuardBytes);
    }
    v.currentSize = size;
    setup_size_params(s, size, false);
}

Pipeline::~Pipeline() {
    s.srcData = nullptr;
    release_pipeline(s);
}

void Pipeline::random_camera(std::mt19937& rng) {
    for (uint8_t& b : camera_) b = static_cast<uint8_t>(rng());
}

void Pipeline::deliver() {
    v.count = std::max(v.count, 2);
    ingest_frame(s, v, ViewCallbacks{[] { return 0u; }, {}, {}});
}

void Pipeline::random_ring(std::mt19937& rng, int depth) {
    const size_t bytes = static_cast<size_t>(s.srcRowBytes) * s.Height * kHistorySlots;
    // Four bytes a draw: the ring of a 1080-line picture is half a gigabyte.
    for (size_t i = 0; i < bytes; i += 4) {
        const uint32_t r = static_cast<uint32_t>(rng());
        std::memcpy(s.sourceFrames[0] + i, &r, bytes - i < 4 ? bytes - i : 4);
    }
    s.Depth = depth;
    s.SFIndex = depth == kHistorySlots ? static_cast<int>(rng() % kHistorySlots) : depth;
}

void Pipeline::random_planes(std::mt19937& rng) {
    std::uniform_real_distribution<float> colour(0.0f, 255.0f);
    for (size_t i = 0; i < 4 * s.planeFloats; ++i) s.fBuffer[i] = colour(rng);
}

void Pipeline::random_output(std::mt19937& rng) {
    const OutputBitmap& bm = *s.bitmap;
    for (size_t i = 0; i < static_cast<size_t>(bm.rowBytes) * bm.height; ++i)
        bm.data[i] = (i & 3) == 3 ? kSentinel : static_cast<uint8_t>(rng());
}

void Pipeline::randomise(unsigned seed, int depth) {
    std::mt19937 rng(seed);
    random_ring(rng, depth);
    random_planes(rng);
    random_output(rng);
    for (int* oc : {&s.Oc11, &s.Oc12, &s.Oc21, &s.Oc22}) *oc = static_cast<int>(rng() % 3600);
}

void Pipeline::begin_pass() {
    s.rowBytes = s.bitmap->rowBytes;
    s.base = s.bitmap->data;
}

uint8_t Pipeline::out(int x, int y, int c) const {
    return s.bitmap->data[static_cast<size_t>(y) * s.bitmap->rowBytes + 4 * x + c];
}

bool Pipeline::guards_intact() const {
    const uint8_t* g = s.bitmap->data + static_cast<size_t>(s.bitmap->rowBytes) * s.bitmap->height;
    return std::count(g, g + kGuardBytes, 0xEE) == kGuardBytes;
}

std::vector<uint8_t> Pipeline::output_bytes() const {
    std::vector<uint8_t> b;
    for (int y = 0; y < s.Height; ++y) {
        const uint8_t* row = s.bitmap->data + static_cast<size_t>(y) * s.bitmap->rowBytes;
        b.insert(b.end(), row, row + 4 * s.Width);
    }
    return b;
}

// The text is "<message>" or "<message>\n<error code> = <code>", then perhaps a blank line and
// the cause.
ErrorSpy::ErrorSpy() {
    calls().clear();
    set_error_msg_backend(
        [](const char* key) { return std::string(key); },
        [](const std::string&, const std::string& text, const std::string&) {
            const size_t blank = std::min(text.find("\n\n"), text.size());
            const size_t nl = text.find('\n');
            const int code = nl < blank ? std::stoi(text.substr(text.rfind(" = ", blank) + 3)) : 0;
            calls().push_back({text.substr(0, std::min(nl, blank)), static_cast<int16_t>(code),
                               blank < text.size() ? text.substr(blank + 2) : "", text});
        });
}

ErrorSpy::~ErrorSpy() {
    set_error_msg_backend(nullptr, nullptr);
}

}  // namespace testkit
