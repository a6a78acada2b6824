// SPDX-License-Identifier: MIT
#include "render_options.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "row_pool.h"

namespace {

constexpr int kMaxRawSide = 8192;  // pixels
constexpr int kMaxThreads = 64;

const char* const kEffectNames[7] = {"normal", "wave",    "exposure", "trace",
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
    "  --threads N        render each picture on N threads, 1 to 64 (the same pictures with\n"
    "                     any number); default the number of CPUs this process may use,\n"
    "                     here {cpus}\n"
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

}  // namespace

int render_fail(const std::string& message) {
    std::fprintf(stderr, "wobblescope render: %s\n", message.c_str());
    return 2;
}

namespace {

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

// Reads the value of option `name` (the rest of `arg` after '=', or the next argument) into o.
// Returns -1 when it was taken, else the exit status.
int parse_value_option(const std::string& name, const std::string& arg, int argc, char** argv,
                       int& i, RenderOptions& o) {
    std::string v;
    const size_t eq = arg.find('=');
    if (eq != std::string::npos) {
        v = arg.substr(eq + 1);
    } else if (i + 1 < argc) {
        v = argv[++i];
    }  // a missing value is refused below, as an empty one is
    if (name == "--raw-size") {
        if (!parse_size(v, o.rawWidth, o.rawHeight))
            return render_fail("--raw-size wants WxH, each from 2 to " +
                               std::to_string(kMaxRawSide) + " pixels, e.g. 640x480");
    } else if (name == "--effect") {
        if (!parse_effect(v, o.effect))
            return render_fail(
                "unknown effect '" + v +
                "': use 0 to 6 or normal, wave, exposure, trace, delay, scatter, paint");
    } else if (name == "--size") {
        if (v != "full" && v != "half") return render_fail("--size wants full or half");
        o.size = v == "full" ? kFullSize : kHalfSize;
    } else if (name == "--mirror") {
        if (v != "on" && v != "off") return render_fail("--mirror wants on or off");
        o.mirror = v == "on";
    } else if (name == "--seed") {
        long long n;
        if (!parse_long(v.c_str(), -2147483648LL, 4294967295LL, n))
            return render_fail("--seed wants a whole number");
        o.seed = static_cast<long>(n);
        o.haveSeed = true;
    } else if (name == "--frames") {
        if (!parse_long(v.c_str(), 0, 1LL << 40, o.frames))
            return render_fail("--frames wants a whole number of frames, 0 or more");
    } else if (name == "--threads") {
        long long n;
        if (!parse_long(v.c_str(), 1, kMaxThreads, n))
            return render_fail("--threads wants a whole number of threads from 1 to " +
                               std::to_string(kMaxThreads));
        o.threads = static_cast<int>(n);
    } else if (name == "--codec") {
        if (v.empty()) return render_fail("--codec wants a compressor name");
        o.sink.codec = v;
    } else if (name == "--quality") {
        if (v.empty()) return render_fail("--quality wants a quality name");
        o.sink.quality = v;
    }
    return -1;
}

const char* const kValueOptions[] = {"--raw-size", "--effect",  "--size",  "--mirror", "--seed",
                                     "--frames",   "--threads", "--codec", "--quality"};

bool takes_value(const std::string& name) {
    for (const char* option : kValueOptions)
        if (name == option) return true;
    return false;
}

}  // namespace

int parse_render_options(int argc, char** argv, RenderOptions& o) {
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const std::string name = a.substr(0, a.find('='));
        if (a == "-h" || a == "--help") {
            std::string usage = kUsage;
            const std::string marker = "{cpus}";
            usage.replace(usage.find(marker), marker.size(), std::to_string(default_thread_count()));
            std::fputs(usage.c_str(), stdout);
            return 0;
        } else if (a == "--scalar") {
            o.scalar = true;
        } else if (a == "--quiet") {
            o.quiet = true;
        } else if (a == "--loop") {
            o.loop = true;
        } else if (takes_value(name)) {
            if (int status = parse_value_option(name, a, argc, argv, i, o); status >= 0)
                return status;
        } else if (a.size() > 1 && a[0] == '-') {
            return render_fail("unknown option '" + a + "' (see wobblescope render --help)");
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 2)
        return render_fail("wants INPUT and OUTPUT (see wobblescope render --help)");
    o.input = positional[0];
    o.output = positional[1];
    return -1;
}
