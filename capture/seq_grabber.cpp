// SPDX-License-Identifier: MIT
#include "seq_grabber.h"

#include <climits>
#include <cstring>
#include <new>

#include "av_camera.h"

int16_t narrow_status(int status) {
    if (status == 0) return 0;
    if (status >= INT16_MIN && status <= INT16_MAX) return static_cast<int16_t>(status);
    const auto low = static_cast<int16_t>(status);
    return low != 0 ? low : static_cast<int16_t>(status < 0 ? INT16_MIN : INT16_MAX);
}

SeqGrabber::SeqGrabber() = default;

SeqGrabber::~SeqGrabber() {
    close();
}

std::shared_ptr<SeqGrabber> SeqGrabber::open(const std::string& source, std::string* why,
                                             int maxHeight) {
    int status = 0;
    std::string error;
    std::unique_ptr<AvInput> input = AvInput::open(source, true, status, error, maxHeight);
    if (!input) {
        if (why) *why = error;
        return nullptr;
    }
    std::shared_ptr<SeqGrabber> g(new SeqGrabber());
    g->input_ = std::move(input);
    return g;
}

int16_t SeqGrabber::initialize() {
    if (!input_) return kNotInitializedErr;
    if (!initialized_) {
        if (int r = input_->findStreamInfo()) return narrow_status(r);
        initialized_ = true;
    }
    return 0;
}

int16_t SeqGrabber::newChannel(uint32_t mediaType, SGChannel* out) {
    if (!out || mediaType != kVideoMediaType) return kParamErr;
    if (!initialized_ || !input_) return kNotInitializedErr;
    if (int r = input_->openVideo()) return narrow_status(r);
    if (input_->width() > INT16_MAX || input_->height() > INT16_MAX) return kParamErr;
    channel_ = std::make_unique<SGVideoChannel>();
    channel_->grabber = this;
    channel_->bounds.bottom = static_cast<int16_t>(input_->height());
    channel_->bounds.right = static_cast<int16_t>(input_->width());
    front_ = std::make_unique<ArgbFrame>();
    reader_ = std::make_unique<CameraReader>(std::move(input_));
    *out = channel_.get();
    return 0;
}

int16_t SeqGrabber::getSrcVideoBounds(SGChannel c, Rect16& r) {
    if (!validChannel(c)) return kParamErr;
    r = Rect16{};
    r.bottom = static_cast<int16_t>(reader_->height());
    r.right = static_cast<int16_t>(reader_->width());
    return 0;
}

int16_t SeqGrabber::setChannelUsage(SGChannel c, int usage) {
    if (!validChannel(c)) return kParamErr;
    if (usage != kSeqGrabPreview) return kParamErr;  // this grabber only previews
    c->usage = usage;
    return 0;
}

bool SeqGrabber::fitsWorld(const Rect16& r) const {
    if (r.top < 0 || r.left < 0 || r.bottom <= r.top || r.right <= r.left) return false;
    return !world_ || (r.bottom <= world_->bounds.bottom && r.right <= world_->bounds.right);
}

int16_t SeqGrabber::setChannelBounds(SGChannel c, const Rect16& r) {
    if (!validChannel(c)) return kParamErr;
    if (!fitsWorld(r)) return kParamErr;
    c->bounds = r;
    // The reader converts and scales each picture to the bounds in one pass.
    if (reader_) reader_->setPictureSize(r.right - r.left, r.bottom - r.top);
    return 0;
}

int16_t SeqGrabber::setChannelBounds(const Rect16& bounds) {
    return setChannelBounds(channel_.get(), bounds);
}

int16_t SeqGrabber::setGWorld(GWorld* world) {
    if (!world || !world->baseAddr || world->bounds.top != 0 || world->bounds.left != 0 ||
        world->bounds.right <= 0 || world->bounds.bottom <= 0 ||
        world->rowBytes < 4 * world->bounds.right)
        return kParamErr;
    GWorld* old = world_;
    world_ = world;
    if (channel_ && !fitsWorld(channel_->bounds)) {
        world_ = old;
        return kParamErr;
    }
    return 0;
}

int16_t SeqGrabber::setChannelRefCon(SGChannel c, void* refCon) {
    if (!validChannel(c)) return kParamErr;
    c->refCon = refCon;
    return 0;
}

int16_t SeqGrabber::getVideoBottlenecks(SGChannel c, VideoBottlenecks& b) {
    if (!validChannel(c)) return kParamErr;
    if (b.procCount < 2) return kParamErr;  // too short to hold the grab-complete entry
    const int16_t count = b.procCount;
    b = c->bottlenecks;
    b.procCount = count;
    return 0;
}

int16_t SeqGrabber::setVideoBottlenecks(SGChannel c, const VideoBottlenecks& b) {
    if (!validChannel(c)) return kParamErr;
    if (b.procCount < 2) return kParamErr;
    c->bottlenecks = b;
    return 0;
}

int16_t SeqGrabber::startPreview() {
    if (!channel_ || !reader_) return kNotInitializedErr;
    if (!world_) return kNoGWorldErr;
    if (reader_->finished()) return kCameraEndedErr;
    reader_->start();
    previewing_ = true;
    return 0;
}

int16_t SeqGrabber::stop() {
    if (reader_) reader_->stop();
    previewing_ = false;
    return 0;
}

int16_t SeqGrabber::idle() {
    if (!previewing_ || !reader_) return 0;
    if (!reader_->takeNewest(*front_)) return reader_->finished() ? kCameraEndedErr : 0;
    SGVideoChannel& c = *channel_;
    if (!fitsWorld(c.bounds)) return kParamErr;
    const int bw = c.bounds.right - c.bounds.left, bh = c.bounds.bottom - c.bounds.top;
    // A picture decoded before the bounds last changed is dropped; the next one fits.
    if (front_->width != bw || front_->height != bh) return 0;
    uint8_t* dst = world_->baseAddr + static_cast<ptrdiff_t>(c.bounds.top) * world_->rowBytes +
                   4 * static_cast<ptrdiff_t>(c.bounds.left);
    for (int y = 0; y < bh; ++y)
        std::memcpy(dst + static_cast<ptrdiff_t>(y) * world_->rowBytes,
                    front_->pixels.data() + static_cast<ptrdiff_t>(y) * front_->rowBytes,
                    4 * static_cast<size_t>(bw));
    ++drawn_;
    constexpr int16_t kBuffer = 0;  // the one offscreen world
    uint8_t done = 0;
    c.completeBuffer = kBuffer;
    const int16_t status = c.bottlenecks.grabCompleteProc
                               ? c.bottlenecks.grabCompleteProc(&c, kBuffer, &done, c.refCon)
                               : grabFrameComplete(&c, kBuffer, &done);
    c.completeBuffer = -1;
    return status;
}

int16_t SeqGrabber::grabFrameComplete(SGChannel c, int16_t bufferNum, uint8_t* done) {
    if (!validChannel(c) || !done) return kParamErr;
    *done = c->completeBuffer >= 0 && c->completeBuffer == bufferNum ? 1 : 0;
    return 0;
}

void SeqGrabber::close() {
    previewing_ = false;
    if (reader_) reader_->shutdown();
}

std::string SeqGrabber::lastError() const {
    if (reader_) return reader_->error();
    return input_ ? input_->error() : std::string();
}

int16_t SGGrabFrameComplete(SGChannel c, int16_t bufferNum, uint8_t* done) {
    if (!c || !c->grabber) return kParamErr;
    return c->grabber->grabFrameComplete(c, bufferNum, done);
}

int16_t QTNewGWorldFromPtr(std::unique_ptr<GWorld>& out, int pixelFormat, const Rect16& bounds,
                           uint8_t* baseAddr, int rowBytes) {
    if (pixelFormat != 32 || !baseAddr || bounds.top != 0 || bounds.left != 0 ||
        bounds.right <= 0 || bounds.bottom <= 0 || rowBytes < 4 * bounds.right)
        return kParamErr;
    out.reset(new (std::nothrow) GWorld{baseAddr, rowBytes, bounds});
    return out ? 0 : kMemFullErr;
}

int16_t SGIdle(SeqGrabber* g) {
    return g ? g->idle() : kParamErr;
}
