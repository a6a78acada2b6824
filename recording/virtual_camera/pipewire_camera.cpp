// SPDX-License-Identifier: MIT
// The PipeWire camera: a driving video source stream on a pw_thread_loop. The drawing thread
// only fills the mailbox and signals an event; the loop's thread dequeues a buffer (or drops the
// picture when the pool is empty or the consumer lags), converts into it, queues it and starts a
// graph cycle. A picture queued while the consumer is not ready yet waits in the stream's queue;
// a timer starts further cycles until the queue is empty, so none is stranded there.
#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <thread>

#include "camera_feed.h"
#include "viewer_watch.h"

namespace {

constexpr int kPoolMin = 2, kPoolDefault = 4, kPoolMax = 8;  // buffers
constexpr uint32_t kMaxBacklog = 2;  // buffers queued but not yet taken; more drops the picture
constexpr int64_t kRetryNs = 10'000'000;  // how often a waiting queue is pushed on

void init_pipewire_once() {
    static std::once_flag once;
    std::call_once(once, [] { pw_init(nullptr, nullptr); });
}

CameraFormat camera_format(spa_video_format f) {
    switch (f) {
        case SPA_VIDEO_FORMAT_RGBx:
            return CameraFormat::RGBx;
        case SPA_VIDEO_FORMAT_YUY2:
            return CameraFormat::YUY2;
        default:
            return CameraFormat::BGRx;
    }
}

class PipeWireCamera : public VirtualCamera {
public:
    PipeWireCamera(int width, int height) : VirtualCamera(width, height) {}
    ~PipeWireCamera() override;

    bool start(const std::string& name, int rate, std::string& error);

    bool feed(const uint8_t* data, int rowBytes, int width, int height) override;
    bool consumerConnected() const override { return streaming_.load(); }
    bool waitConsumer(std::chrono::milliseconds timeout) const override {
        // Linked is not enough: a picture sent before the viewer's node runs is lost.
        return wait_for([this] { return streaming_.load() && watch_ && watch_->running(); },
                        timeout);
    }
    bool waitSent(std::chrono::milliseconds timeout) const override {
        return wait_for([this] { return mailbox_.idle() && backlog_ == 0; }, timeout);
    }
    std::string failure() const override {
        const std::lock_guard<std::mutex> hold(failureLock_);
        return failure_;
    }
    Stats stats() const override { return counters_.get(); }
    CameraFormat format() const override { return format_.load(); }

private:
    template <class F>
    static bool wait_for(F done, std::chrono::milliseconds timeout) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (!done()) {
            if (std::chrono::steady_clock::now() >= end) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }
    void fail(const std::string& why) {
        const std::lock_guard<std::mutex> hold(failureLock_);
        if (failure_.empty()) failure_ = why;
        broken_ = true;
        streaming_ = false;
    }

    // Loop thread.
    static void onWake(void* data, uint64_t);
    static void onTimer(void* data, uint64_t);
    uint32_t queuedBuffers();
    static void onStateChanged(void* data, pw_stream_state, pw_stream_state state,
                               const char* error);
    static void onParamChanged(void* data, uint32_t id, const spa_pod* param);
    static void onCoreError(void* data, uint32_t id, int, int res, const char* message);
    void sendPicture();

    pw_thread_loop* loop_ = nullptr;
    pw_context* context_ = nullptr;
    pw_core* core_ = nullptr;
    pw_stream* stream_ = nullptr;
    spa_source* wake_ = nullptr;
    spa_source* timer_ = nullptr;
    std::unique_ptr<ViewerWatch> watch_;  // made and destroyed with the loop locked
    spa_hook streamListener_{}, coreListener_{};
    pw_stream_events streamEvents_{};
    pw_core_events coreEvents_{};

    PictureMailbox mailbox_;
    PictureConverter converter_;  // loop thread only
    CameraCounters counters_;
    std::atomic<bool> streaming_{false}, broken_{false};
    std::atomic<uint32_t> backlog_{0};  // buffers queued that no cycle has handed on yet
    std::atomic<CameraFormat> format_{CameraFormat::BGRx};
    int stride_ = 0;    // bytes per row of the negotiated format; loop thread only
    uint64_t seq_ = 0;  // loop thread only
    mutable std::mutex failureLock_;
    std::string failure_;
};

PipeWireCamera::~PipeWireCamera() {
    if (loop_) {
        pw_thread_loop_lock(loop_);
        watch_.reset();
        if (stream_) pw_stream_destroy(stream_);
        if (wake_) pw_loop_destroy_source(pw_thread_loop_get_loop(loop_), wake_);
        if (timer_) pw_loop_destroy_source(pw_thread_loop_get_loop(loop_), timer_);
        if (core_) pw_core_disconnect(core_);
        pw_thread_loop_unlock(loop_);
        pw_thread_loop_stop(loop_);
    }
    if (context_) pw_context_destroy(context_);
    if (loop_) pw_thread_loop_destroy(loop_);
}

bool PipeWireCamera::start(const std::string& name, int rate, std::string& error) {
    init_pipewire_once();
    loop_ = pw_thread_loop_new("wobblescope-camera", nullptr);
    if (!loop_) {
        error = std::string("cannot make the PipeWire thread: ") + std::strerror(errno);
        return false;
    }
    context_ = pw_context_new(pw_thread_loop_get_loop(loop_), nullptr, 0);
    if (!context_ || pw_thread_loop_start(loop_) < 0) {
        error = std::string("cannot start PipeWire: ") + std::strerror(errno);
        return false;
    }
    pw_thread_loop_lock(loop_);
    struct Unlock {
        pw_thread_loop* l;
        ~Unlock() { pw_thread_loop_unlock(l); }
    } unlock{loop_};

    core_ = pw_context_connect(context_, nullptr, 0);
    if (!core_) {
        error = std::string("no PipeWire daemon is reachable (") + std::strerror(errno) + ")";
        return false;
    }
    coreEvents_.version = PW_VERSION_CORE_EVENTS;
    coreEvents_.error = onCoreError;
    pw_core_add_listener(core_, &coreListener_, &coreEvents_, this);

    pw_properties* props = pw_properties_new(
        PW_KEY_MEDIA_CLASS, "Video/Source", PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY,
        "Capture", PW_KEY_MEDIA_ROLE, "Camera", PW_KEY_NODE_NAME, name.c_str(),
        PW_KEY_NODE_DESCRIPTION, kCameraDescription, nullptr);
    stream_ = pw_stream_new(core_, kCameraDescription, props);
    if (!stream_) {
        error = std::string("cannot make the PipeWire stream: ") + std::strerror(errno);
        return false;
    }
    streamEvents_.version = PW_VERSION_STREAM_EVENTS;
    streamEvents_.state_changed = onStateChanged;
    streamEvents_.param_changed = onParamChanged;
    pw_stream_add_listener(stream_, &streamListener_, &streamEvents_, this);
    watch_ = std::make_unique<ViewerWatch>();
    watch_->start(core_, stream_);
    wake_ = pw_loop_add_event(pw_thread_loop_get_loop(loop_), onWake, this);
    timer_ = pw_loop_add_timer(pw_thread_loop_get_loop(loop_), onTimer, this);
    timespec first{0, kRetryNs}, every{0, kRetryNs};
    pw_loop_update_timer(pw_thread_loop_get_loop(loop_), timer_, &first, &every, false);

    uint8_t buffer[1024];
    spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
    spa_rectangle size =
        SPA_RECTANGLE(static_cast<uint32_t>(width()), static_cast<uint32_t>(height()));
    spa_fraction framerate = SPA_FRACTION(static_cast<uint32_t>(rate), 1);
    const spa_pod* params[1];
    // Key and value pairs.
    // clang-format off
    params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat,
        SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video),
        SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw),
        SPA_FORMAT_VIDEO_format, SPA_POD_CHOICE_ENUM_Id(4, SPA_VIDEO_FORMAT_BGRx,
            SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_RGBx, SPA_VIDEO_FORMAT_YUY2),
        SPA_FORMAT_VIDEO_size, SPA_POD_Rectangle(&size),
        SPA_FORMAT_VIDEO_framerate, SPA_POD_Fraction(&framerate)));
    // clang-format on
    const int res = pw_stream_connect(
        stream_, PW_DIRECTION_OUTPUT, PW_ID_ANY,
        static_cast<pw_stream_flags>(PW_STREAM_FLAG_DRIVER | PW_STREAM_FLAG_MAP_BUFFERS), params,
        1);
    if (res < 0) {
        error = std::string("cannot offer the PipeWire node: ") + std::strerror(-res);
        return false;
    }
    return true;
}

bool PipeWireCamera::feed(const uint8_t* data, int rowBytes, int width, int height) {
    ++counters_.fed;
    if (!streaming_ || broken_) {
        ++counters_.dropped;
        return false;
    }
    if (mailbox_.put(data, rowBytes, width, height)) ++counters_.dropped;
    pw_loop_signal_event(pw_thread_loop_get_loop(loop_), wake_);
    return true;
}

void PipeWireCamera::onWake(void* data, uint64_t) {
    static_cast<PipeWireCamera*>(data)->sendPicture();
}

uint32_t PipeWireCamera::queuedBuffers() {
    pw_time t{};
    if (pw_stream_get_time_n(stream_, &t, sizeof t) < 0) return 0;
    backlog_ = t.queued_buffers;
    return t.queued_buffers;
}

void PipeWireCamera::onTimer(void* data, uint64_t) {
    auto* self = static_cast<PipeWireCamera*>(data);
    if (self->streaming_ && self->queuedBuffers() > 0) pw_stream_trigger_process(self->stream_);
}

void PipeWireCamera::sendPicture() {
    const CameraPicture* p = mailbox_.take();
    if (!p) return;
    pw_buffer* b =
        streaming_ && queuedBuffers() < kMaxBacklog ? pw_stream_dequeue_buffer(stream_) : nullptr;
    if (!b) {  // no consumer any more, or it lags, or every buffer is still with it
        ++counters_.dropped;
        mailbox_.release();
        return;
    }
    spa_buffer* buf = b->buffer;
    spa_data& d = buf->datas[0];
    const uint32_t bytes = static_cast<uint32_t>(stride_) * static_cast<uint32_t>(height());
    const bool fits = d.data && d.maxsize >= bytes;
    if (fits && converter_.convert(*p, format_, static_cast<uint8_t*>(d.data), stride_, width(),
                                   height())) {
        d.chunk->offset = 0;
        d.chunk->size = bytes;
        d.chunk->stride = stride_;
        d.chunk->flags = SPA_CHUNK_FLAG_NONE;
        ++counters_.sent;
    } else {
        d.chunk->size = 0;
        d.chunk->flags = SPA_CHUNK_FLAG_CORRUPTED;
        ++counters_.dropped;
    }
    if (auto* h = static_cast<spa_meta_header*>(
            spa_buffer_find_meta_data(buf, SPA_META_Header, sizeof(spa_meta_header)))) {
        timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        h->pts = SPA_TIMESPEC_TO_NSEC(&now);
        h->flags = 0;
        h->seq = seq_++;
        h->dts_offset = 0;
    }
    pw_stream_queue_buffer(stream_, b);
    pw_stream_trigger_process(stream_);
    queuedBuffers();
    mailbox_.release();  // only now: waitSent sees the picture either here or queued
}

void PipeWireCamera::onStateChanged(void* data, pw_stream_state, pw_stream_state state,
                                    const char* error) {
    auto* self = static_cast<PipeWireCamera*>(data);
    self->streaming_ = state == PW_STREAM_STATE_STREAMING;
    if (state == PW_STREAM_STATE_ERROR)
        self->fail(std::string("the PipeWire node failed: ") + (error ? error : "unknown error"));
    if (self->streaming_) return;
    self->backlog_ = 0;  // a stream that stops keeps nothing queued
    if (self->mailbox_.clear()) ++self->counters_.dropped;
}

void PipeWireCamera::onParamChanged(void* data, uint32_t id, const spa_pod* param) {
    auto* self = static_cast<PipeWireCamera*>(data);
    if (id != SPA_PARAM_Format || !param) return;
    spa_video_info_raw info{};
    if (spa_format_video_raw_parse(param, &info) < 0) return;
    const CameraFormat format = camera_format(info.format);
    self->format_ = format;
    self->stride_ = camera_stride(format, self->width());
    const int size = self->stride_ * self->height();

    uint8_t buffer[1024];
    spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
    const spa_pod* params[2];
    // Key and value pairs.
    // clang-format off
    params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers,
        SPA_PARAM_BUFFERS_buffers, SPA_POD_CHOICE_RANGE_Int(kPoolDefault, kPoolMin, kPoolMax),
        SPA_PARAM_BUFFERS_blocks, SPA_POD_Int(1),
        SPA_PARAM_BUFFERS_size, SPA_POD_Int(size),
        SPA_PARAM_BUFFERS_stride, SPA_POD_Int(self->stride_),
        SPA_PARAM_BUFFERS_dataType,
            SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemPtr) | (1 << SPA_DATA_MemFd))));
    params[1] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta,
        SPA_PARAM_META_type, SPA_POD_Id(SPA_META_Header),
        SPA_PARAM_META_size, SPA_POD_Int(sizeof(spa_meta_header))));
    // clang-format on
    pw_stream_update_params(self->stream_, params, 2);
}

void PipeWireCamera::onCoreError(void* data, uint32_t id, int, int res, const char* message) {
    // Only a lost connection is fatal; an error about an object that went away (a viewer's
    // node, say) is not.
    if (id != PW_ID_CORE || res != -EPIPE) return;
    static_cast<PipeWireCamera*>(data)->fail(std::string("the PipeWire daemon went away (") +
                                             (message ? message : std::strerror(-res)) + ")");
}

}  // namespace

std::unique_ptr<VirtualCamera> open_pipewire_camera(const std::string& name, int width, int height,
                                                    int rate, std::string& error) {
    if (width < 2 || height < 2 || rate < 1) {
        error = "a camera of " + std::to_string(width) + " x " + std::to_string(height) +
                " pixels at " + std::to_string(rate) + " pictures per second cannot be offered";
        return nullptr;
    }
    auto camera = std::make_unique<PipeWireCamera>(width, height);
    if (!camera->start(name, rate, error)) return nullptr;
    return camera;
}

bool pipewire_reachable(std::string& why) {
    init_pipewire_once();
    pw_loop* loop = pw_loop_new(nullptr);
    if (!loop) {
        why = std::string("cannot make a PipeWire loop: ") + std::strerror(errno);
        return false;
    }
    pw_context* context = pw_context_new(loop, nullptr, 0);
    pw_core* core = context ? pw_context_connect(context, nullptr, 0) : nullptr;
    if (!core) why = std::string("no PipeWire daemon is reachable (") + std::strerror(errno) + ")";
    if (core) pw_core_disconnect(core);
    if (context) pw_context_destroy(context);
    pw_loop_destroy(loop);
    return core != nullptr;
}
