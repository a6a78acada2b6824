// SPDX-License-Identifier: MIT
// `wobblescope render`: runs frames through the same ingestion and render pass as the live view,
// one delivery and one pass per input frame, with no window.
#include "render_tool.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "QTMovie.h"
#include "av_camera.h"
#include "frame_history.h"
#include "ingest.h"
#include "render_interrupt.h"
#include "render_options.h"
#include "render_io.h"
#include "render_pass.h"
#include "render_read_ahead.h"
#include "render_vcam_sink.h"
#include "row_pool.h"

namespace {

// Stands where the camera stands: keeps the channel bounds and draws each input frame, scaled
// to them, into the top-left corner of the camera buffer.
class RenderCamera : public Grabber {
public:
    int16_t stop() override { return 0; }
    int16_t startPreview() override { return 0; }
    int16_t setChannelBounds(const Rect16& b) override {
        bounds = b;
        return 0;
    }

    // The live camera's drawing: the same scaler, so both deliver the same bytes.
    void deliver(const PipelineState& s, const uint8_t* frame, int w, int h) {
        const int bw = bounds.right - bounds.left, bh = bounds.bottom - bounds.top;
        if (bw == w && bh == h) {
            for (int y = 0; y < h; ++y)
                std::memcpy(s.srcData + static_cast<size_t>(y) * s.LargeSrcRowBytes,
                            frame + static_cast<size_t>(y) * 4 * w, 4 * static_cast<size_t>(w));
        } else {
            scaler.scale(frame, w, h, 4 * w, s.srcData, bw, bh, s.LargeSrcRowBytes);
        }
    }

    Rect16 bounds;
    ArgbScaler scaler;
};

// Frames done (of the total when known) and frames per second on standard error, at most a few
// times a second, on one line that is rewritten.
class Progress {
public:
    Progress(bool quiet, long long total, long long limit)
        : quiet_(quiet),
          total_(limit >= 0 && (total < 0 || limit < total) ? limit : total),
          start_(std::chrono::steady_clock::now()),
          last_(start_) {}

    void update(long long done) {
        if (quiet_) return;
        const auto now = std::chrono::steady_clock::now();
        if (now - last_ < std::chrono::milliseconds(250)) return;
        last_ = now;
        print(done, now);
    }
    void done() {
        if (!quiet_ && shown_) std::fputc('\n', stderr);
    }

private:
    void print(long long done, std::chrono::steady_clock::time_point now) {
        const double secs = std::chrono::duration<double>(now - start_).count();
        const double fps = secs > 0 ? done / secs : 0;
        if (total_ >= 0)
            std::fprintf(stderr, "\rwobblescope render: frame %lld of %lld, %.1f frames/s", done,
                         total_, fps);
        else
            std::fprintf(stderr, "\rwobblescope render: frame %lld, %.1f frames/s", done, fps);
        shown_ = true;
    }

    bool quiet_;
    long long total_;
    std::chrono::steady_clock::time_point start_, last_;
    bool shown_ = false;
};

// Why the pipeline cannot draw pictures of w x h (camera rectangle cam); empty when it can.
std::string working_size_refusal(const RenderOptions& o, int w, int h, const Rect16& cam) {
    const int camW = cam.right - cam.left, camH = cam.bottom - cam.top;
    const int workW = o.size == kFullSize ? camW : camW / 2;
    const int workH = o.size == kFullSize ? camH : camH / 2;
    if (workW >= 1 && workH >= 1) return "";
    return o.input + ": pictures of " + std::to_string(w) + " x " + std::to_string(h) +
           " pixels give a working size of " + std::to_string(workW) + " x " +
           std::to_string(workH) +
           (h > camH ? " (taller than 480 lines, they are scaled to 480 lines first)" : "") +
           "; nothing could be drawn";
}

// The controls as the options set them: the effect's matrix cell, the size switch.
Controls controls_for(const RenderOptions& o) {
    Controls c;
    c.effectEnabled = o.effect != 0;
    const int mode = o.effect == 0 ? 0 : o.effect - 1;
    c.selectedRow = mode / 3;
    c.selectedColumn = mode % 3;
    c.sizeSwitchState = o.size == kFullSize ? 1 : 0;
    return c;
}

// One run: a pipeline at the input's camera size, fed one frame and one pass at a time.
class RenderRun {
public:
    RenderRun(const RenderOptions& o, FrameSource& source, PictureSink& sink, const Rect16& cam)
        : o_(o),
          source_(source),
          sink_(sink),
          pool_(o.threads > 0 ? o.threads : default_thread_count()),
          controls_(controls_for(o)) {
        camera_.bounds = cam;
        s_.grabber = &camera_;
        s_.pool = &pool_;
        set_camera_geometry(s_, cam.right - cam.left, cam.bottom - cam.top);
        cameraBuffer_.resize(static_cast<size_t>(s_.LargeSrcRowBytes) * s_.LargeHeight);
        s_.srcData = cameraBuffer_.data();
        ready_ = create_output_bitmaps(s_);
        if (!ready_) return;
        init_view_state(s_, v_, o.haveSeed ? o.seed : static_cast<long>(std::time(nullptr)));
        v_.mirrorMode = o.mirror;
        v_.currentSize = o.size;
        setup_size_params(s_, o.size, false);
        hooks_.steps = o.scalar ? ref::kEffectSteps : kEffectSteps;
        hooks_.draw = [this](const OutputBitmap& bm) {
            if (!writeFailed_ &&
                !sink_.write(bm.data, bm.rowBytes, s_.Width, s_.Height, frameTime_))
                writeFailed_ = true;
        };
    }
    ~RenderRun() { release_pipeline(s_); }
    RenderRun(const RenderRun&) = delete;
    RenderRun& operator=(const RenderRun&) = delete;

    bool ready() const { return ready_; }

    // Renders until the input ends, --frames is reached or a signal comes. Returns 0 or the
    // status of the failure it reported.
    int run() {
        const int w = source_.width(), h = source_.height();
        // A source that can scales each frame straight to the bounds, as the live camera does.
        const Rect16& b = camera_.bounds;
        const bool direct = source_.setPictureSize(b.right - b.left, b.bottom - b.top);
        const int rowBytes = direct ? s_.LargeSrcRowBytes : 4 * w;
        const int rows = direct ? s_.LargeHeight : h;
        // A file is read one frame ahead, while the frame before is drawn.
        std::unique_ptr<ReadAhead> ahead;
        if (source_.frameCount() >= 0) ahead = std::make_unique<ReadAhead>(source_, rowBytes, rows);
        std::vector<uint8_t> frame(direct || ahead ? 0 : static_cast<size_t>(rowBytes) * rows);
        Progress progress(o_.quiet, source_.frameCount(), o_.frames);
        int status = 0;
        while ((o_.frames < 0 || done < o_.frames) && !interrupt_signal()) {
            uint8_t* in = direct ? s_.srcData : frame.data();
            FrameSource::Read r;
            if (ahead) {
                r = ahead->next(in, frameTime_);
            } else {
                r = source_.read(in, rowBytes);
                frameTime_ = source_.frameTime();
            }
            if (interrupt_signal()) break;  // a read cut short by the signal
            if (r == FrameSource::Read::End) break;
            if (r == FrameSource::Read::Error) {
                status = render_fail(ahead ? ahead->error() : source_.error());
                break;
            }
            if (direct)
                s_.srcData = in;
            else
                camera_.deliver(s_, in, w, h);
            ingest_frame(s_, v_, callbacks_);
            if (render_pass(s_, v_, controls_, hooks_)) ++drawn;
            progress.update(++done);
            if (writeFailed_) {
                status = render_fail(sink_.error());
                break;
            }
        }
        s_.srcData = cameraBuffer_.data();
        progress.done();
        return status;
    }

    int width() const { return s_.Width; }
    int height() const { return s_.Height; }
    long long done = 0, drawn = 0;  // input frames; pictures drawn

private:
    const RenderOptions& o_;
    FrameSource& source_;
    PictureSink& sink_;
    RowPool pool_;
    PipelineState s_;
    ViewState v_;
    RenderCamera camera_;
    std::vector<uint8_t> cameraBuffer_;
    Controls controls_;
    RenderHooks hooks_;
    ViewCallbacks callbacks_;
    bool ready_ = false, writeFailed_ = false;
    double frameTime_ = -1;
};

// After a signal: what was drawn is kept under OUTPUT.part, never passed off as the complete
// output (a virtual camera just stops). Returns 128 + the signal's number.
int end_interrupted(const RenderOptions& o, PictureSink& sink) {
    const int sig = interrupt_signal();
    const long long pictures = sink.pictures();
    if (is_virtual_camera_output(o.output)) {
        sink.abort();
        std::fprintf(stderr, "wobblescope render: interrupted after %lld pictures shown on %s\n",
                     pictures, o.output.c_str());
    } else if (pictures > 0 && sink.finishPartial()) {
        std::fprintf(stderr, "wobblescope render: interrupted after %lld pictures; they are in %s\n",
                     pictures, partial_name(o.output).c_str());
    } else {
        sink.abort();
        if (!sink.keptPartial())
            std::fprintf(stderr,
                         "wobblescope render: interrupted before any picture was written; no "
                         "output written\n");
    }
    return 128 + sig;
}

// Completes the output after a run that ended with `status`; returns the exit status.
int end_run(const RenderOptions& o, PictureSink& sink, int status, const RenderRun& run) {
    if (status == 0 && !sink.finish()) status = render_fail(sink.error());
    if (status != 0) {
        sink.abort();
        if (sink.keptPartial())
            std::fprintf(stderr, "wobblescope render: the pictures written are kept in %s\n",
                         partial_name(o.output).c_str());
        else
            std::fprintf(stderr, "wobblescope render: no output written\n");
    } else if (!o.quiet) {
        std::fprintf(stderr,
                     "wobblescope render: %lld frames in, %lld pictures of %d x %d written to %s\n",
                     run.done, run.drawn, run.width(), run.height(), o.output.c_str());
    }
    return status;
}

std::unique_ptr<FrameSource> open_source(const RenderOptions& o, std::string& error) {
    std::unique_ptr<FrameSource> source =
        open_frame_source(o.input, o.rawWidth, o.rawHeight, error);
    if (source && o.loop)
        source = loop_frame_source(std::move(source), [&o](std::string& e) {
            return open_frame_source(o.input, o.rawWidth, o.rawHeight, e);
        });
    return source;
}

}  // namespace

int render_main(int argc, char** argv) {
    RenderOptions o;
    if (int status = parse_render_options(argc, argv, o); status >= 0) return status;
    if (o.input != "-" &&
        (same_file(o.input, o.output) || same_file(o.input, partial_name(o.output))))
        return render_fail(o.output +
                           ": OUTPUT names the input file; give the output another name");
    if (o.loop && !is_virtual_camera_output(o.output))
        return render_fail(
            "--loop applies to virtual camera outputs (pipewire:NAME, v4l2:/dev/videoN)");
    const RenderInterrupt interrupt;

    std::string error;
    std::unique_ptr<FrameSource> source = open_source(o, error);
    if (!source) return render_fail(error);
    Rect16 native;
    native.bottom = static_cast<int16_t>(source->height());
    native.right = static_cast<int16_t>(source->width());
    const Rect16 cam = camera_frame_rect(native);
    if (const std::string why = working_size_refusal(o, source->width(), source->height(), cam);
        !why.empty())
        return render_fail(why);

    std::unique_ptr<PictureSink> sink = open_picture_sink(o.output, o.sink, error);
    if (!sink) return render_fail(error);
    RenderRun run(o, *source, *sink, cam);
    if (!run.ready()) {
        sink->abort();
        return 1;
    }
    if (const std::string why = sink->refuseSize(run.width(), run.height()); !why.empty()) {
        sink->abort();
        return render_fail(why);
    }
    const int status = run.run();
    if (interrupt_signal() && status == 0) return end_interrupted(o, *sink);
    return end_run(o, *sink, status, run);
}
