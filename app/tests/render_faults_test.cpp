// SPDX-License-Identifier: MIT
// `wobblescope render`: clips of the test pattern in, pictures and movies out, the inputs and
// options it refuses, and, the program run as a child process, a signal or a full disk in the
// middle of a run.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "clip_writer.h"
#include "movie_reader.h"
#include "render_tool.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

struct RenderRun {
    int status = -1;  // exit status, or 128 + the signal that ended it
    std::string said;
};

// Whether the main thread of a child is blocked reading its standard input: the system call it
// sleeps in is read on descriptor 0. A sleeping state alone does not say so, since the program
// also sleeps while its output thread finishes a write.
bool reading_standard_input(pid_t pid) {
    std::ifstream syscall("/proc/" + std::to_string(pid) + "/syscall");
    std::string number, fd;
    syscall >> number >> fd;
    return number == std::to_string(SYS_read) && fd == "0x0";
}

// A thread of the child other than its main one that does not block `signal`; 0 if none.
pid_t thread_taking(pid_t pid, int signal) {
    for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task")) {
        const pid_t tid = std::stoi(task.path().filename().string());
        std::ifstream status(task.path() / "status");
        for (std::string line; tid != pid && std::getline(status, line);) {
            if (line.rfind("SigBlk:", 0) == 0 &&
                !((std::stoull(line.substr(7), nullptr, 16) >> (signal - 1)) & 1))
                return tid;
        }
    }
    return 0;
}

// Runs `wobblescope render args...` with `input` on its standard input. With a signal given, the
// input pipe stays open: once the program has read all of it and waits for more, it gets the
// signal, sent to the process or, with `toWorker`, to one of its other threads. A program still
// running 15 s later is killed.
RenderRun render(const std::vector<std::string>& args, const std::string& input, int signal = 0,
                 bool toWorker = false) {
    int in[2], err[2];
    if (pipe(in) != 0 || pipe(err) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(err[1], 2);
        close(in[1]);
        close(err[0]);
        std::vector<char*> argv{const_cast<char*>(WOBBLESCOPE_BIN), const_cast<char*>("render")};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(WOBBLESCOPE_BIN, argv.data());
        _exit(127);
    }
    close(in[0]);
    close(err[1]);
    std::atomic<bool> ended{false};
    std::thread writer([&] {
        for (size_t done = 0; done < input.size();) {
            const ssize_t n = write(in[1], input.data() + done, input.size() - done);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        if (!signal) {
            close(in[1]);
            return;
        }
        // All read and the program waiting for the next frame: then the signal.
        for (int unread = 1; unread > 0 || !reading_standard_input(pid);) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            if (ioctl(in[1], FIONREAD, &unread) != 0) unread = 0;
        }
        const pid_t worker = toWorker ? thread_taking(pid, signal) : 0;
        EXPECT_TRUE(worker || !toWorker) << "no thread but the main one takes the signal";
        worker ? syscall(SYS_tgkill, pid, worker, signal) : kill(pid, signal);
        for (int i = 0; i < 1500 && !ended; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!ended) kill(pid, SIGKILL);
    });
    RenderRun r;
    char buf[4096];
    while (const ssize_t n = read(err[0], buf, sizeof buf)) {
        if (n < 0) break;
        r.said.append(buf, static_cast<size_t>(n));
    }
    ended = true;
    writer.join();
    if (signal) close(in[1]);
    close(err[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

// n frames of the test pattern, w x h A, R, G, B pixels, back to back.
std::string frames(int w, int h, int n) {
    std::string out;
    for (int k = 0; k < n; ++k) {
        const Bytes b = pattern_picture(k, w, h);
        out.append(b.begin(), b.end());
    }
    return out;
}

Bytes read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

std::string tag(uint32_t t) {
    return {static_cast<char>(t >> 24), static_cast<char>(t >> 16), static_cast<char>(t >> 8),
            static_cast<char>(t)};
}

class RenderFaults : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/wobble-render-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string path(const std::string& name) const { return dir + "/" + name; }
    std::string write(const std::string& name, const std::string& bytes) const {
        std::ofstream(path(name), std::ios::binary) << bytes;
        return path(name);
    }
    // Runs `wobblescope render args...` in this process; returns its exit status, keeps what it
    // said.
    int run(std::vector<std::string> args) {
        args.insert(args.begin(), "render");
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        ::testing::internal::CaptureStderr();
        const int status = render_main(static_cast<int>(argv.size()), argv.data());
        said = ::testing::internal::GetCapturedStderr();
        return status;
    }
    // Raw frames of the test pattern in a file of their own; returns its path.
    std::string clip(int w, int h, int n) const {
        return write(std::to_string(w) + "x" + std::to_string(h) + ".argb", frames(w, h, n));
    }
    std::string dir, said;
};

struct PictureCase {
    const char* name;
    int w, h;
    bool half, mirror;
    friend void PrintTo(const PictureCase& c, std::ostream* os) { *os << c.name; }
};

class RenderPicture : public RenderFaults, public ::testing::WithParamInterface<PictureCase> {};

}  // namespace

// The plain picture of frame k is drawn by the pass of frame k, from the fourth frame on: each
// pixel the mean of its block of camera pixels (2 x 2 at half size, halves rounded up, a last
// odd row and column left out), mirrored when asked. Widths around the groups of four.
TEST_P(RenderPicture, IsTheInputFrameAsShown) {
    const PictureCase& c = GetParam();
    const int s = c.half ? 2 : 1, w = c.w / s, h = c.h / s;
    ASSERT_EQ(0, run({"--raw-size", std::to_string(c.w) + "x" + std::to_string(c.h), "--effect",
                      "normal", "--size", c.half ? "half" : "full", "--mirror",
                      c.mirror ? "on" : "off", "--quiet", clip(c.w, c.h, 6), path("out.rgb")}))
        << said;
    const Bytes got = read(path("out.rgb"));
    ASSERT_EQ(got.size(), 3u * w * h * 3);
    int wrong = 0;
    for (int k = 0; k < 3; ++k) {
        const Bytes f = pattern_picture(k + 3, c.w, c.h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                for (int ch = 0; ch < 3; ++ch) {
                    const int sx = c.mirror ? w - 1 - x : x;
                    int sum = 0;
                    for (int dy = 0; dy < s; ++dy)
                        for (int dx = 0; dx < s; ++dx)
                            sum += f[((y * s + dy) * c.w + sx * s + dx) * 4 + 1 + ch];
                    wrong += got[((k * h + y) * w + x) * 3 + ch] != (sum + s * s / 2) / (s * s);
                }
    }
    EXPECT_EQ(wrong, 0);
}

INSTANTIATE_TEST_SUITE_P(Sizes, RenderPicture,
                         ::testing::Values(PictureCase{"Full22", 22, 5, false, false},
                                           PictureCase{"Full22Mirrored", 22, 5, false, true},
                                           PictureCase{"Half11", 11, 9, true, false},
                                           PictureCase{"Half107Mirrored", 107, 9, true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(RenderFaults, ExposureOfAWhiteClipBrightensByFives) {
    const std::string in = write("white.argb", std::string(6 * 8 * 4 * 4, '\xff'));
    ASSERT_EQ(0, run({"--raw-size=8x4", "--effect=exposure", "--size=full", "--quiet", in,
                      path("e.rgb")}))
        << said;
    const Bytes got = read(path("e.rgb"));
    ASSERT_EQ(got.size(), 3u * 8 * 4 * 3);
    EXPECT_EQ(got[0], 5);
    EXPECT_EQ(got[8 * 4 * 3], 10);
    EXPECT_EQ(got[2 * 8 * 4 * 3 + 17], 15);
}

// The seed alone fixes the pictures: the same file on one or three threads and with the scalar
// kernels; the random effects change with another seed.
TEST_F(RenderFaults, TheSeedAloneFixesThePictures) {
    const std::string in = clip(90, 37, 10);
    for (const auto& [effect, size] : {std::pair{"wave", "half"}, std::pair{"delay", "full"},
                                       std::pair{"scatter", "full"}, std::pair{"paint", "half"}}) {
        SCOPED_TRACE(effect);
        const auto pictures = [&](std::vector<std::string> args) {
            for (std::string a : {"--raw-size", "90x37", "--effect", effect, "--size", size})
                args.push_back(a);
            args.insert(args.end(), {in, path("out.rgb")});
            EXPECT_EQ(run(args), 0) << said;
            return read(path("out.rgb"));
        };
        const Bytes one = pictures({"--threads", "1", "--seed", "9"});
        ASSERT_EQ(one.size(), size[0] == 'f' ? 7u * 90 * 37 * 3 : 7u * 45 * 18 * 3);
        EXPECT_TRUE(pictures({"--threads", "3", "--seed", "9"}) == one);
        EXPECT_TRUE(pictures({"--scalar", "--seed", "9"}) == one);
        if (effect[0] == 'w' || effect[0] == 's') {
            EXPECT_FALSE(pictures({"--seed", "10"}) == one);
        }
    }
}

namespace {

struct SizeCase {
    const char* name;
    int rawW, rawH;
    std::vector<std::string> args;
    const char* output;
    int w, h;  // of the pictures written
    friend void PrintTo(const SizeCase& c, std::ostream* os) { *os << c.name; }
};

class RenderSize : public RenderFaults, public ::testing::WithParamInterface<SizeCase> {};

}  // namespace

// Four frames of five rendered: one picture, at the working size the options give.
TEST_P(RenderSize, PicturesHaveTheWorkingSize) {
    const SizeCase& c = GetParam();
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"--raw-size", std::to_string(c.rawW) + "x" + std::to_string(c.rawH),
                             "--frames", "4", clip(c.rawW, c.rawH, 5), path(c.output)});
    ASSERT_EQ(run(args), 0) << said;
    EXPECT_NE(said.find("4 frames in, 1 pictures of " + std::to_string(c.w) + " x " +
                          std::to_string(c.h) + " written"),
              std::string::npos)
        << said;
}

INSTANTIATE_TEST_SUITE_P(
    Options, RenderSize,
    ::testing::Values(SizeCase{"TallerThan480", 960, 540, {"--size", "full"}, "o.rgb", 853, 480},
                      SizeCase{"Half", 960, 540, {}, "o.rgb", 426, 240},
                      SizeCase{"Lines300", 960, 540, {"--max-height=300", "--size=full"}, "o.rgb",
                               533, 300},
                      SizeCase{"Native", 960, 540, {"--max-height", "native", "--size", "full"},
                               "o.rgb", 960, 540},
                      SizeCase{"H264OfFourByTwo", 8, 4, {"--codec", "avc1"}, "o.mov", 4, 2},
                      SizeCase{"WideMovie", 4100, 2, {"--size", "full", "--effect", "normal"},
                               "o.mov", 4100, 2}),
    [](const auto& info) { return std::string(info.param.name); });

// Each compressor by its code, Photo-JPEG by default; the frames are timed by the input in
// 600ths: the first three frames draw nothing, the first picture lasts 40, and at 25 frames per
// second the others 24.
TEST_F(RenderFaults, MoviesAreTimedByTheInputInEachCompressor) {
    for (std::string codec : {"", "avc1", "apcn", "rle", "png", "raw"}) {
        SCOPED_TRACE(codec);
        std::vector<std::string> args{"--frames", "8", "lavfi:testsrc2=size=128x96:rate=25",
                                      path("m" + codec + ".mov")};
        if (!codec.empty()) args.insert(args.begin(), {"--codec", codec});
        const int status = run(args);
        if (status != 0 && said.find("is missing") != std::string::npos) continue;
        ASSERT_EQ(status, 0) << said;
        const MovieInfo m = read_movie(args.back());
        ASSERT_EQ(m.error, "");
        EXPECT_EQ(tag(m.codecTag), codec.empty() ? "jpeg" : (codec + "  ").substr(0, 4));
        EXPECT_EQ(m.timeBaseDen, 600);
        EXPECT_EQ(m.title, "screenMovie");
        EXPECT_EQ(m.durations, (std::vector<int64_t>{40, 24, 24, 24, 24}));
    }
}

namespace {

struct Refusal {
    const char* name;
    std::vector<std::string> args;  // {clip}, {tall}, {partial}, {text}, {rgb}, {mov} are replaced
    const char* says;
    friend void PrintTo(const Refusal& c, std::ostream* os) { *os << c.name; }
};

class RenderRefusal : public RenderFaults, public ::testing::WithParamInterface<Refusal> {};

}  // namespace

// Bad options and inputs end with status 2 and say why; the outputs there were stay as they
// were, and no OUTPUT.part is left.
TEST_P(RenderRefusal, SaysWhyAndKeepsTheOldOutput) {
    const std::string in = clip(8, 4, 6);
    std::vector<std::string> args;
    for (std::string a : GetParam().args) {
        if (a == "{clip}") a = in;
        if (a == "{tall}") a = clip(2, 8192, 1);
        if (a == "{partial}") a = write("partial.argb", frames(8, 4, 5) + std::string(17, 'x'));
        if (a == "{text}") a = write("notes.txt", "Shopping list\n\tmilk\n\teggs\n");
        if (a == "{rgb}" || a == "{mov}") a = write("old." + a.substr(1, 3), "old");
        args.push_back(a);
    }
    EXPECT_EQ(run(args), 2) << said;
    EXPECT_NE(said.find(GetParam().says), std::string::npos) << said;
    const Bytes old{'o', 'l', 'd'};
    for (const std::string& out : {path("old.rgb"), path("old.mov")}) {
        EXPECT_EQ(fs::exists(out) ? read(out) : old, old);
        EXPECT_FALSE(fs::exists(out + ".part"));
    }
    EXPECT_EQ(fs::file_size(in), 4u * 8 * 4 * 6);
}

const char* const kLavfi = "lavfi:testsrc2=size=64x48:rate=30";
INSTANTIATE_TEST_SUITE_P(
    Cases, RenderRefusal,
    ::testing::Values(
        Refusal{"MissingFile", {"--raw-size", "8x4", "/nonexistent/clip.argb", "{rgb}"}, "cannot open"},
        Refusal{"PartialFrame", {"--raw-size", "8x4", "{partial}", "{rgb}"}, "partial frame of 17 bytes"},
        Refusal{"NoSize", {"{clip}", "{rgb}"}, "--raw-size"},
        Refusal{"ZeroSize", {"--raw-size", "0x4", "{clip}", "{rgb}"}, "--raw-size wants WxH"},
        Refusal{"HugeSize", {"--raw-size", "9000x4", "{clip}", "{rgb}"}, "--raw-size wants WxH"},
        Refusal{"MissingValue", {"{clip}", "{rgb}", "--raw-size"}, "--raw-size wants WxH"},
        Refusal{"UnknownEffect", {"--raw-size", "8x4", "--effect", "sparkle", "{clip}", "{rgb}"}, "unknown effect"},
        Refusal{"EffectOutOfRange", {"--raw-size", "8x4", "--effect", "7", "{clip}", "{rgb}"}, "unknown effect"},
        Refusal{"UnknownOption", {"--raw-size", "8x4", "--speed", "{clip}", "{rgb}"}, "unknown option"},
        Refusal{"BadSize", {"--raw-size", "8x4", "--size", "quarter", "{clip}", "{rgb}"}, "full or half"},
        Refusal{"MaxHeightWord", {"--raw-size", "8x4", "--max-height", "tall", "{clip}", "{rgb}"}, "or native"},
        Refusal{"MaxHeightTooTall", {"--raw-size", "8x4", "--max-height", "4320", "{clip}", "{rgb}"}, "from 2 to 2160"},
        Refusal{"MaxHeightOne", {"--raw-size", "8x4", "--max-height", "1", "{clip}", "{rgb}"}, "from 2 to 2160"},
        Refusal{"BadMirror", {"--raw-size", "8x4", "--mirror", "yes", "{clip}", "{rgb}"}, "on or off"},
        Refusal{"BadSeed", {"--raw-size", "8x4", "--seed", "12ab", "{clip}", "{rgb}"}, "--seed"},
        Refusal{"NoThreads", {"--raw-size", "8x4", "--threads", "0", "{clip}", "{rgb}"}, "--threads wants"},
        Refusal{"TooManyThreads", {"--raw-size", "8x4", "--threads=65", "{clip}", "{rgb}"}, "from 1 to 64"},
        Refusal{"MissingOutput", {"--raw-size", "8x4", "{clip}"}, "INPUT and OUTPUT"},
        Refusal{"WrongOutputKind", {"--raw-size", "8x4", "{clip}", "{clip}.txt"}, "OUTPUT must end in"},
        Refusal{"UncreatableOutput", {"--raw-size", "8x4", "{clip}", "{clip}/out.rgb"}, "cannot create"},
        Refusal{"UncreatableMovie", {"--raw-size", "8x4", "{clip}", "{clip}/out.mov"}, "cannot create"},
        Refusal{"OutputIsTheInput", {"--raw-size", "8x4", "{clip}", "{clip}"}, "OUTPUT names the input file"},
        Refusal{"NoPictureDrawn", {"--frames", "3", "--raw-size", "8x4", "{clip}", "{rgb}"}, "no picture was drawn"},
        Refusal{"EmptyInput", {"--raw-size", "8x4", "/dev/null", "{rgb}"}, "no picture was drawn"},
        Refusal{"NoPictureForAMovie", {"--frames", "2", kLavfi, "{mov}"}, "no picture was drawn"},
        Refusal{"ZeroWorkingWidth", {"--raw-size", "2x8192", "{tall}", "{rgb}"}, "give a working size of 0 x 240"},
        Refusal{"TooSmallForH264", {"--raw-size", "2x4", "--codec", "avc1", "{tall}", "{mov}"}, "at least 2 x 2 pixels"},
        Refusal{"TextInput", {"{text}", "{rgb}"}, "a text file, not a video"},
        Refusal{"UnknownCompressor", {"--codec", "cvid", kLavfi, "{mov}"}, "unknown compressor 'cvid'"},
        Refusal{"UnknownQuality", {"--quality", "superb", kLavfi, "{mov}"}, "unknown quality 'superb'"},
        Refusal{"NoLosslessJpeg", {"--quality", "lossless", kLavfi, "{mov}"}, "has no lossless quality"},
        Refusal{"CompressorForRgb", {"--codec", "png", kLavfi, "{rgb}"}, "apply to movie outputs only"},
        Refusal{"NotALoopbackDevice", {"--frames", "5", kLavfi, "v4l2:/dev/null"}, "/dev/null: not a V4L2 device; load the v4l2loopback module: sudo modprobe"},
        Refusal{"LoopIntoAFile", {"--loop", kLavfi, "{rgb}"}, "--loop applies to virtual camera outputs"}),
    [](const auto& info) { return std::string(info.param.name); });

namespace {

struct SignalCase {
    const char* name;
    int signal;
    const char* output;
    bool toWorker;  // delivered to a thread other than the one reading the input
    friend void PrintTo(const SignalCase& c, std::ostream* os) { *os << c.name; }
};

class RenderInterrupted : public RenderFaults, public ::testing::WithParamInterface<SignalCase> {};

}  // namespace

// Six frames in, three pictures drawn, then the signal: the three are kept under OUTPUT.part.
TEST_P(RenderInterrupted, KeepsThePicturesSoFarInOutputPart) {
    const SignalCase& c = GetParam();
    const std::string out = path(c.output);
    const RenderRun r = render({"--quiet", "--threads", "2", "--raw-size", "16x8", "--effect",
                                "normal", "-", out},
                               frames(16, 8, 6), c.signal, c.toWorker);
    EXPECT_EQ(r.status, 128 + c.signal) << r.said;
    EXPECT_NE(r.said.find("interrupted after 3 pictures; they are in " + out + ".part"),
              std::string::npos)
        << r.said;
    EXPECT_FALSE(fs::exists(out));
    if (fs::path(out).extension() == ".rgb") {
        EXPECT_EQ(read(out + ".part").size(), 3u * 8 * 4 * 3);
    } else {
        std::string error;
        EXPECT_EQ(decode_movie(out + ".part", error), 3) << error;
        EXPECT_EQ(read_movie(out + ".part").durations, (std::vector<int64_t>{40, 40, 40}));
    }
}

INSTANTIATE_TEST_SUITE_P(Signals, RenderInterrupted,
                         ::testing::Values(SignalCase{"SigintRgb", SIGINT, "out.rgb", false},
                                           SignalCase{"SigtermRgb", SIGTERM, "out.rgb", false},
                                           SignalCase{"SigintMovie", SIGINT, "out.mov", false},
                                           SignalCase{"SigtermMovie", SIGTERM, "out.mov", false},
                                           SignalCase{"SigtermToAWorker", SIGTERM, "out.rgb", true},
                                           SignalCase{"SigintToAWorker", SIGINT, "out.mov", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(RenderFaults, ASignalBeforeAnyPictureLeavesNothing) {
    const RenderRun r =
        render({"--quiet", "--raw-size", "16x8", "-", path("out.mov")}, frames(16, 8, 2), SIGTERM);
    EXPECT_EQ(r.status, 128 + SIGTERM);
    EXPECT_NE(r.said.find("no output written"), std::string::npos) << r.said;
    EXPECT_FALSE(fs::exists(path("out.mov.part")));
}

// A disk that fills up mid-run (a file size limit): the write error is said, and neither the
// output nor its temporary file is left.
TEST_F(RenderFaults, AFullDiskFailsTheRunAndLeavesNothing) {
    const std::string out = path("out.rgb");
    const std::string cmd = "ulimit -f 100; trap '' XFSZ; exec " + std::string(WOBBLESCOPE_BIN) +
                            " render --quiet --raw-size 64x48 --size full " + clip(64, 48, 40) +
                            " " + out + " 2>" + path("said.txt");
    const int status = std::system(("sh -c \"" + cmd + "\"").c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2);
    const Bytes said = read(path("said.txt"));
    EXPECT_NE(std::string(said.begin(), said.end()).find("write error"), std::string::npos);
    EXPECT_FALSE(fs::exists(out));
    EXPECT_FALSE(fs::exists(out + ".part"));
}
