// SPDX-License-Identifier: MIT
#include "testkit.h"

#include <cstring>
#include <stdexcept>

#include "error_msg.h"
#include "frame_history.h"
#include "ingest.h"

namespace testkit {

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

void Pipeline::copy_from(const Pipeline& o) {
    const size_t slotBytes = static_cast<size_t>(s.srcRowBytes) * s.Height;
    std::memcpy(s.sourceFrames[0], o.s.sourceFrames[0], slotBytes * kHistorySlots);
    std::memcpy(s.fBuffer, o.s.fBuffer, 4 * s.planeFloats * sizeof(float));
    s.SFIndex = o.s.SFIndex;
    s.Depth = o.s.Depth;
    s.Oc11 = o.s.Oc11;
    s.Oc12 = o.s.Oc12;
    s.Oc21 = o.s.Oc21;
    s.Oc22 = o.s.Oc22;
    const size_t bytes = static_cast<size_t>(s.bitmap->rowBytes) * s.bitmap->height + kGuardBytes;
    std::memcpy(s.bitmap->data, o.s.bitmap->data, bytes);
    v = o.v;
}

void Pipeline::fill_camera(uint8_t a, uint8_t r, uint8_t g, uint8_t b) {
    for (size_t i = 0; i < camera_.size(); i += 4) {
        camera_[i] = a;
        camera_[i + 1] = r;
        camera_[i + 2] = g;
        camera_[i + 3] = b;
    }
}

void Pipeline::random_camera(std::mt19937& rng) {
    for (uint8_t& b : camera_) b = static_cast<uint8_t>(rng());
}

void Pipeline::deliver() {
    if (v.count < 2) v.count = 2;
    ViewCallbacks cb;
    cb.clock = [] { return 0u; };
    ingest_frame(s, v, cb);
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

void Pipeline::fill_slot(int k, uint8_t value) {
    for (int y = 0; y < s.Height; ++y) std::memset(slot_row(s, k, y), value, s.srcRowBytes);
}

void Pipeline::random_planes(std::mt19937& rng) {
    std::uniform_real_distribution<float> colour(0.0f, 255.0f);
    for (size_t i = 0; i < 4 * s.planeFloats; ++i) s.fBuffer[i] = colour(rng);
}

void Pipeline::random_output(std::mt19937& rng) {
    const OutputBitmap& bm = *s.bitmap;
    for (int y = 0; y < bm.height; ++y) {
        uint8_t* row = bm.data + static_cast<size_t>(y) * bm.rowBytes;
        for (int i = 0; i < bm.rowBytes; ++i) row[i] = (i & 3) == 3 ? kSentinel : static_cast<uint8_t>(rng());
    }
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
    for (int i = 0; i < kGuardBytes; ++i)
        if (g[i] != 0xEE) return false;
    return true;
}

std::vector<uint8_t> Pipeline::output_bytes() const {
    std::vector<uint8_t> b;
    b.reserve(4 * static_cast<size_t>(s.Width) * s.Height);
    for (int y = 0; y < s.Height; ++y) {
        const uint8_t* row = s.bitmap->data + static_cast<size_t>(y) * s.bitmap->rowBytes;
        b.insert(b.end(), row, row + 4 * s.Width);
    }
    return b;
}

namespace {
void spy_sink(const std::string&, const std::string&, const std::string&) {}
std::string spy_lookup(const char* key) { return key; }
}  // namespace

std::vector<ErrorSpy::Call>& ErrorSpy::calls() {
    static std::vector<Call> c;
    return c;
}

ErrorSpy::ErrorSpy() {
    calls().clear();
    set_error_msg_backend(spy_lookup, [](const std::string& title, const std::string& text,
                                         const std::string& button) {
        spy_sink(title, text, button);
        // The text is "<message>" or "<message>\n<error code> = <code>", then perhaps a blank
        // line and the cause.
        const size_t nl = text.find('\n');
        Call c{text.substr(0, nl), 0, ""};
        const size_t blank = text.find("\n\n");
        if (blank != std::string::npos) c.cause = text.substr(blank + 2);
        if (nl != std::string::npos && nl != blank) {
            const std::string codeLine = text.substr(nl + 1, blank == std::string::npos ? blank : blank - nl - 1);
            c.code = static_cast<int16_t>(std::stoi(codeLine.substr(codeLine.rfind('=') + 1)));
        }
        calls().push_back(c);
    });
}

ErrorSpy::~ErrorSpy() { set_error_msg_backend(nullptr, nullptr); }

int16_t RecordingGrabber::stop() {
    calls.push_back("stop");
    return stopStatus;
}

int16_t RecordingGrabber::setChannelBounds(const Rect16& bounds) {
    calls.push_back("bounds");
    lastBounds = bounds;
    return boundsStatus;
}

int16_t RecordingGrabber::startPreview() {
    calls.push_back("start");
    return startStatus;
}

std::string to_hex(const std::vector<uint8_t>& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string t;
    for (size_t i = 0; i < bytes.size(); ++i) {
        t += digits[bytes[i] >> 4];
        t += digits[bytes[i] & 15];
        t += (i % 32 == 31 || i + 1 == bytes.size()) ? '\n' : ' ';
    }
    return t;
}

std::vector<uint8_t> from_hex(const std::string& text) {
    std::vector<uint8_t> b;
    int nibbles = 0, value = 0;
    for (char ch : text) {
        int d = -1;
        if (ch >= '0' && ch <= '9') d = ch - '0';
        else if (ch >= 'a' && ch <= 'f') d = ch - 'a' + 10;
        if (d < 0) continue;
        value = value * 16 + d;
        if (++nibbles == 2) {
            b.push_back(static_cast<uint8_t>(value));
            nibbles = value = 0;
        }
    }
    return b;
}

}  // namespace testkit
