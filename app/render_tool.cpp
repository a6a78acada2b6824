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
#include "render_io.h"
#include "render_pass.h"
#include "render_vcam_sink.h"

namespace {

constexpr int kMaxRawSide = 8192;  // pixels

const char* const kEffectNames[7] = {"normal", "wave", "exposure", "trace",
                                     "delay",  "scatter", "paint"};

const char* const kUsage =
    "Usage: wobblescope render [OPTIONS] INPUT OUTPUT\n"
    "\n"
    "Runs every frame of INPUT through the live pipeline (one frame delivery and one render\n"
    "pass per input frame) and writes every picture that a pass draws to OUTPUT. The first\n"
    "three frames draw nothing, as in the live program.\n"
    "\n"
    "INPUT   a video file, a camera device (/dev/video0), lavfi:GRAPH (a libavfilter source;\n"
    "        give --frames when it has no end) or demo, read as fast as they decode; or raw\n"
    "        camera frames (with --raw-size), A, R, G, B bytes per pixel, top row first,\n"
    "        frames back to back; - reads standard input.\n"
    "OUTPUT  a file ending in .rgb: each picture as drawn, Width x Height x 3 bytes R, G, B,\n"
    "        top row first, appended in order; or ending in .mov: a QuickTime movie of the\n"
    "        pictures, recorded as the live program records, timed by the input: a picture\n"
    "        lasts from the previous input frame's time to its own (in 1/600 s), the first\n"
    "        one 1/15 s, as every picture of an input without times. Written under\n"
    "        OUTPUT.part and moved into place only when every frame was rendered.\n"
    "        Or pipewire:NAME or v4l2:/dev/videoN: a virtual camera that shows the pictures\n"
    "        at the input's pace; a PipeWire camera waits until a program opens it.\n"
    "\n"
    "Options:\n"
    "  --raw-size WxH     size of the raw input frames in pixels (2 to 8192 each)\n"
    "  --effect E         0 to 6 or a name: 0 normal (plain picture), 1 wave (wave time warp),\n"
    "                     2 exposure, 3 trace (motion trace), 4 delay (motion-driven delay),\n"
    "                     5 scatter (random time scatter), 6 paint (motion paint); default wave\n"
    "  --size full|half   working size; default half, as at launch\n"
    "  --mirror on|off    mirror the picture left to right; default on, as at launch\n"
    "  --seed N           seed the random generator as the view does with calendar time N;\n"
    "                     default the current time\n"
    "  --frames K         render at most K input frames\n"
    "  --codec C          movie outputs: the compressor, jpeg (Photo-JPEG, the default),\n"
    "                     avc1 (H.264), apcn (Apple ProRes 422), rle (Animation), png or\n"
    "                     raw (None, uncompressed)\n"
    "  --quality Q        movie outputs: least, low, normal (the default), high, best or\n"
    "                     lossless (avc1); rle, png and raw are always lossless\n"
    "  --loop             start the input over at its end (virtual camera outputs)\n"
    "  --scalar           use the plain scalar kernels instead of the vector ones (same bytes)\n"
    "  --quiet            no progress on standard error\n"
    "  -h, --help         this text\n"
    "\n"
    "A camera taller than 480 lines is scaled to 480 lines first, as the live camera is.\n";

struct Options {
    std::string input, output;
    int rawWidth = 0, rawHeight = 0;
    int effect = 1;
    int size = kHalfSize;
    bool mirror = true;
    bool haveSeed = false;
    long seed = 0;
    long long frames = -1;
    bool scalar = false;
    bool quiet = false;
    bool loop = false;
    SinkOptions sink;
};

int fail(const std::string& message) {
    std::fprintf(stderr, "wobblescope render: %s\n", message.c_str());
    return 2;
}

bool parse_long(const char* text, long long lo, long long hi, long long& out) {
    if (!*text) return false;
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text, &end, 10);
    if (errno || *end || v < lo || v > hi) return false;
    out = v;
    return true;
}

bool parse_size(const std::string& text, int& w, int& h) {
    const size_t x = text.find_first_of("xX");
    if (x == std::string::npos) return false;
    long long a, b;
    if (!parse_long(text.substr(0, x).c_str(), 2, kMaxRawSide, a)) return false;
    if (!parse_long(text.substr(x + 1).c_str(), 2, kMaxRawSide, b)) return false;
    w = static_cast<int>(a);
    h = static_cast<int>(b);
    return true;
}

bool parse_effect(const std::string& text, int& effect) {
    for (int i = 0; i < 7; ++i) {
        if (text == kEffectNames[i] || text == std::to_string(i)) {
            effect = i;
            return true;
        }
    }
    return false;
}

// Returns -1 when parsing succeeded, else the exit status.
int parse(int argc, char** argv, Options& o) {
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](std::string& out) {
            const size_t eq = a.find('=');
            if (a.rfind("--", 0) == 0 && eq != std::string::npos) {
                out = a.substr(eq + 1);
                return true;
            }
            if (i + 1 >= argc) return false;
            out = argv[++i];
            return true;
        };
        const std::string name = a.substr(0, a.find('='));
        std::string v;
        if (a == "-h" || a == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--scalar") {
            o.scalar = true;
        } else if (a == "--quiet") {
            o.quiet = true;
        } else if (a == "--loop") {
            o.loop = true;
        } else if (name == "--raw-size") {
            if (!value(v) || !parse_size(v, o.rawWidth, o.rawHeight))
                return fail("--raw-size wants WxH, each from 2 to " + std::to_string(kMaxRawSide) +
                            " pixels, e.g. 640x480");
        } else if (name == "--effect") {
            if (!value(v) || !parse_effect(v, o.effect))
                return fail("unknown effect '" + v +
                            "': use 0 to 6 or normal, wave, exposure, trace, delay, scatter, paint");
        } else if (name == "--size") {
            if (!value(v) || (v != "full" && v != "half"))
                return fail("--size wants full or half");
            o.size = v == "full" ? kFullSize : kHalfSize;
        } else if (name == "--mirror") {
            if (!value(v) || (v != "on" && v != "off")) return fail("--mirror wants on or off");
            o.mirror = v == "on";
        } else if (name == "--seed") {
            long long n;
            if (!value(v) || !parse_long(v.c_str(), -2147483648LL, 4294967295LL, n))
                return fail("--seed wants a whole number");
            o.seed = static_cast<long>(n);
            o.haveSeed = true;
        } else if (name == "--frames") {
            if (!value(v) || !parse_long(v.c_str(), 0, 1LL << 40, o.frames))
                return fail("--frames wants a whole number of frames, 0 or more");
        } else if (name == "--codec") {
            if (!value(v) || v.empty()) return fail("--codec wants a compressor name");
            o.sink.codec = v;
        } else if (name == "--quality") {
            if (!value(v) || v.empty()) return fail("--quality wants a quality name");
            o.sink.quality = v;
        } else if (a.size() > 1 && a[0] == '-') {
            return fail("unknown option '" + a + "' (see wobblescope render --help)");
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 2) return fail("wants INPUT and OUTPUT (see wobblescope render --help)");
    o.input = positional[0];
    o.output = positional[1];
    return -1;
}

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
        : quiet_(quiet), total_(limit >= 0 && (total < 0 || limit < total) ? limit : total),
          start_(std::chrono::steady_clock::now()), last_(start_) {}

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
            std::fprintf(stderr, "\rwobblescope render: frame %lld of %lld, %.1f frames/s", done, total_, fps);
        else
            std::fprintf(stderr, "\rwobblescope render: frame %lld, %.1f frames/s", done, fps);
        shown_ = true;
    }

    bool quiet_;
    long long total_;
    std::chrono::steady_clock::time_point start_, last_;
    bool shown_ = false;
};

}  // namespace

int render_main(int argc, char** argv) {
    Options o;
    if (int status = parse(argc, argv, o); status >= 0) return status;

    std::string error;
    std::unique_ptr<FrameSource> source = open_frame_source(o.input, o.rawWidth, o.rawHeight, error);
    if (!source) return fail(error);
    if (o.loop && !is_virtual_camera_output(o.output))
        return fail("--loop applies to virtual camera outputs (pipewire:NAME, v4l2:/dev/videoN)");
    if (o.loop)
        source = loop_frame_source(std::move(source), [&o](std::string& e) {
            return open_frame_source(o.input, o.rawWidth, o.rawHeight, e);
        });
    std::unique_ptr<PictureSink> sink = open_picture_sink(o.output, o.sink, error);
    if (!sink) return fail(error);

    const int w = source->width(), h = source->height();
    Rect16 native;
    native.bottom = static_cast<int16_t>(h);
    native.right = static_cast<int16_t>(w);
    const Rect16 cam = camera_frame_rect(native);

    PipelineState s;
    RenderCamera camera;
    camera.bounds = cam;
    s.grabber = &camera;
    set_camera_geometry(s, cam.right - cam.left, cam.bottom - cam.top);
    std::vector<uint8_t> cameraBuffer(static_cast<size_t>(s.LargeSrcRowBytes) * s.LargeHeight);
    s.srcData = cameraBuffer.data();
    if (!create_output_bitmaps(s)) return 1;

    ViewState v;
    init_view_state(s, v, o.haveSeed ? o.seed : static_cast<long>(std::time(nullptr)));
    v.mirrorMode = o.mirror;
    v.currentSize = o.size;
    setup_size_params(s, o.size, false);

    Controls controls;
    controls.effectEnabled = o.effect != 0;
    const int mode = o.effect == 0 ? 0 : o.effect - 1;
    controls.selectedRow = mode / 3;
    controls.selectedColumn = mode % 3;
    controls.sizeSwitchState = o.size == kFullSize ? 1 : 0;

    bool writeFailed = false;
    double frameTime = -1;
    RenderHooks hooks;
    hooks.steps = o.scalar ? ref::kEffectSteps : kEffectSteps;
    hooks.draw = [&](const OutputBitmap& bm) {
        if (!writeFailed && !sink->write(bm.data, bm.rowBytes, s.Width, s.Height, frameTime))
            writeFailed = true;
    };
    ViewCallbacks callbacks;

    std::vector<uint8_t> frame(4 * static_cast<size_t>(w) * h);
    long long done = 0, drawn = 0;
    int status = 0;
    Progress progress(o.quiet, source->frameCount(), o.frames);
    while (o.frames < 0 || done < o.frames) {
        const FrameSource::Read r = source->read(frame.data(), 4 * w);
        if (r == FrameSource::Read::End) break;
        if (r == FrameSource::Read::Error) {
            status = fail(source->error());
            break;
        }
        frameTime = source->frameTime();
        camera.deliver(s, frame.data(), w, h);
        ingest_frame(s, v, callbacks);
        if (render_pass(s, v, controls, hooks)) ++drawn;
        progress.update(++done);
        if (writeFailed) {
            status = fail(sink->error());
            break;
        }
    }
    progress.done();
    if (status == 0 && !sink->finish()) status = fail(sink->error());
    if (status != 0) {
        sink->abort();
        std::fprintf(stderr, "wobblescope render: no output written\n");
    } else if (!o.quiet) {
        std::fprintf(stderr, "wobblescope render: %lld frames in, %lld pictures of %d x %d written to %s\n",
                     done, drawn, s.Width, s.Height, o.output.c_str());
    }
    release_pipeline(s);
    return status;
}
