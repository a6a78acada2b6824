// SPDX-License-Identifier: MIT
// `wobblescope render`: clips of the test pattern in, pictures and movies out, the inputs and
// options it refuses, and, the program run as a child process, a signal or a full disk in the
// middle of a run.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "clip_writer.h"
#include "movie_reader.h"
#include "testkit.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

struct RenderRun {
    int status = -1;  // exit status, or 128 + the signal that ended it
    std::string said;
};

// Whether the main thread of a child sleeps in a read of its standard input. A sleeping state
// alone does not say so: the program also sleeps while its output thread finishes a write.
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

// Runs `wobblescope render args...` with `input` (at most a pipe's buffer) on its standard
// input and files up to `fileLimit` bytes. With a signal given, the input pipe stays open: once
// the program has read all of it and waits for more, it gets the signal, sent to the process or,
// with `toWorker`, to one of its other threads; a program silent for 15 s after it is killed.
RenderRun render(const std::vector<std::string>& args, const std::string& input = "",
                 int signal = 0, bool toWorker = false, rlim_t fileLimit = RLIM_INFINITY) {
    int in[2], err[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(err[1], 2);
        const rlimit limit{fileLimit, fileLimit};
        setrlimit(RLIMIT_FSIZE, &limit);
        std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails instead
        std::vector<char*> argv{const_cast<char*>(WOBBLESCOPE_BIN), const_cast<char*>("render")};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(WOBBLESCOPE_BIN, argv.data());
        _exit(127);
    }
    close(in[0]);
    close(err[1]);
    EXPECT_EQ(write(in[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
    for (int unread = 1; signal && (unread > 0 || !reading_standard_input(pid));) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (ioctl(in[1], FIONREAD, &unread) != 0) unread = 0;
    }
    const pid_t worker = toWorker ? thread_taking(pid, signal) : 0;
    EXPECT_TRUE(worker || !toWorker) << "no thread but the main one takes the signal";
    if (signal) worker ? syscall(SYS_tgkill, pid, worker, signal) : kill(pid, signal);
    if (!signal) close(in[1]);
    RenderRun r;
    char buf[4096];
    pollfd said{err[0], POLLIN, 0};
    for (ssize_t n = 1; n > 0;) {
        if (poll(&said, 1, signal ? 15000 : -1) == 0) kill(pid, SIGKILL);
        if ((n = read(err[0], buf, sizeof buf)) > 0) r.said.append(buf, static_cast<size_t>(n));
    }
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
    for (int k = 0; k < n; ++k)
        for (const uint8_t b : pattern_picture(k, w, h)) out += static_cast<char>(b);
    return out;
}

Bytes read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

class RenderFaults : public ::testing::Test {
protected:
    std::string path(const std::string& name) const { return dir.path(name); }
    std::string write(const std::string& name, const std::string& bytes) const {
        std::ofstream(path(name), std::ios::binary) << bytes;
        return path(name);
    }
    // Raw frames of the test pattern in a file of their own; returns its path.
    std::string clip(int w, int h, int n) const {
        return write(std::to_string(w) + "x" + std::to_string(h) + ".argb", frames(w, h, n));
    }
    testkit::TempDir dir;
};

struct PictureCase {
    const char* name;
    int w, h;
    bool half, mirror;
    friend void PrintTo(const PictureCase& c, std::ostream* os) { *os << c.name; }
};

class RenderPicture : public RenderFaults, public ::testing::WithParamInterface<PictureCase> {};

struct Said {
    const char* name;
    // Words; inputs {clip} (8 x 4, 6 frames), {big} (960 x 540, 4 frames), {wide} (4100 x 2,
    // 4 frames), {tall} (2 x 8192), {partial}, {text}, {lavfi}; old outputs {rgb}, {mov}; {o.EXT}
    // a new output.
    const char* args;
    int status;
    const char* says;
    friend void PrintTo(const Said& c, std::ostream* os) { *os << c.name; }
};

class RenderSays : public RenderFaults, public ::testing::WithParamInterface<Said> {};

struct SignalCase {
    const char* name;
    int signal;
    const char* output;
    bool toWorker;  // delivered to a thread other than the one reading the input
    int frames;     // given before the signal; the first three draw nothing
    friend void PrintTo(const SignalCase& c, std::ostream* os) { *os << c.name; }
};

class RenderInterrupted : public RenderFaults, public ::testing::WithParamInterface<SignalCase> {};

}  // namespace

// The plain picture of frame k is drawn by the pass of frame k, from the fourth frame on: each
// pixel the mean of its block of camera pixels (2 x 2 at half size, halves rounded up, a last
// odd row and column left out), mirrored when asked. Widths around the groups of four.
TEST_P(RenderPicture, IsTheInputFrameAsShown) {
    const PictureCase& c = GetParam();
    const int s = c.half ? 2 : 1, w = c.w / s, h = c.h / s;
    const RenderRun r = render({"--raw-size", std::to_string(c.w) + "x" + std::to_string(c.h),
                                "--effect", "normal", "--size", c.half ? "half" : "full",
                                "--mirror", c.mirror ? "on" : "off", clip(c.w, c.h, 6),
                                path("out.rgb")});
    ASSERT_EQ(r.status, 0) << r.said;
    const Bytes got = read(path("out.rgb"));
    ASSERT_EQ(got.size(), 3u * w * h * 3);
    int wrong = 0;
    for (int i = 0; i < static_cast<int>(got.size()); ++i) {
        const int ch = i % 3, x = i / 3 % w, y = i / 3 / w % h, k = i / 3 / w / h;
        const int sx = c.mirror ? w - 1 - x : x;
        const Bytes f = pattern_picture(k + 3, c.w, c.h);
        int sum = 0;
        for (int d = 0; d < s * s; ++d)
            sum += f[((y * s + d / s) * c.w + sx * s + d % s) * 4 + 1 + ch];
        wrong += got[i] != (sum + s * s / 2) / (s * s);
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
    const std::string out = path("e.rgb");
    ASSERT_EQ(render({"--raw-size=8x4", "--effect=exposure", "--size=full", in, out}).status, 0);
    const Bytes got = read(out);
    ASSERT_EQ(got.size(), 3u * 8 * 4 * 3);
    // A byte of each of the three pictures.
    EXPECT_EQ(Bytes({got[0], got[8 * 4 * 3], got[2 * 8 * 4 * 3 + 17]}), Bytes({5, 10, 15}));
}

// The seed alone fixes the pictures of a random effect: the same on one or three threads and
// with the scalar kernels; another seed changes them.
TEST_F(RenderFaults, TheSeedAloneFixesThePictures) {
    const std::string in = clip(90, 37, 10);
    const auto pictures = [&](std::vector<std::string> args) {
        args.insert(args.end(), {"--raw-size", "90x37", "--effect", "scatter", in, path("o.rgb")});
        EXPECT_EQ(render(args).status, 0);
        return read(path("o.rgb"));
    };
    const Bytes one = pictures({"--threads", "1", "--seed", "9"});
    ASSERT_EQ(one.size(), 7u * 45 * 18 * 3);
    EXPECT_TRUE(pictures({"--threads", "3", "--seed", "9"}) == one);
    EXPECT_TRUE(pictures({"--scalar", "--seed", "9"}) == one);
    EXPECT_FALSE(pictures({"--seed", "10"}) == one);
}

// Each compressor by its code, Photo-JPEG by default; the frames are timed by the input in
// 600ths: the first three frames draw nothing, the first picture lasts 40, and at 25 frames per
// second the others 24. The rest of the movie's form is the movie writer's, tested with it.
TEST_F(RenderFaults, MoviesAreTimedByTheInputInEachCompressor) {
    for (std::string codec : {"", "avc1", "apcn", "rle", "png", "raw"}) {
        SCOPED_TRACE(codec);
        std::vector<std::string> args{"--frames", "8", "lavfi:testsrc2=size=128x96:rate=25",
                                      path("m" + codec + ".mov")};
        if (!codec.empty()) args.insert(args.begin(), {"--codec", codec});
        const RenderRun r = render(args);
        if (r.status != 0 && r.said.find("is missing") != std::string::npos) continue;
        ASSERT_EQ(r.status, 0) << r.said;
        const MovieInfo m = read_movie(args.back());
        ASSERT_EQ(m.error, "");
        const std::string tag = codec.empty() ? "jpeg" : (codec + "  ").substr(0, 4);
        EXPECT_EQ(m.codecTag,
                  static_cast<uint32_t>(tag[0] << 24 | tag[1] << 16 | tag[2] << 8 | tag[3]));
        EXPECT_EQ(m.durations, (std::vector<int64_t>{40, 24, 24, 24, 24}));
    }
}

// A run says what it wrote: four frames give one picture, at the working size the options give.
// Bad options and inputs end with status 2 and say why; the outputs there were stay as they
// were, and no OUTPUT.part is left.
TEST_P(RenderSays, WhatItWroteOrWhyNot) {
    const std::string in = clip(8, 4, 6);
    std::vector<std::string> args;
    std::istringstream words(GetParam().args);
    for (std::string a; words >> a; args.push_back(a)) {
        if (a.rfind("{clip}", 0) == 0) a = in + a.substr(6);
        if (a == "{big}") a = clip(960, 540, 4);
        if (a == "{wide}") a = clip(4100, 2, 4);
        if (a == "{tall}") a = clip(2, 8192, 1);
        if (a == "{partial}") a = write("partial.argb", frames(8, 4, 5) + std::string(17, 'x'));
        if (a == "{text}") a = write("notes.txt", "Shopping list\n\tmilk\n\teggs\n");
        if (a == "{lavfi}") a = "lavfi:testsrc2=size=64x48:rate=30";
        if (a == "{rgb}" || a == "{mov}") a = write("old." + a.substr(1, 3), "old");
        if (a[0] == '{') a = path(a.substr(1, a.size() - 2));
    }
    const RenderRun r = render(args);
    EXPECT_EQ(r.status, GetParam().status) << r.said;
    EXPECT_NE(r.said.find(GetParam().says), std::string::npos) << r.said;
    EXPECT_EQ(fs::file_size(in), 4u * 8 * 4 * 6);
    const Bytes old{'o', 'l', 'd'};
    for (const std::string& out : {path("old.rgb"), path("old.mov")}) {
        EXPECT_EQ(fs::exists(out) ? read(out) : old, old);
        EXPECT_FALSE(fs::exists(out + ".part"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RenderSays,
    ::testing::Values(
        Said{"TallerThan480", "--size full --raw-size 960x540 {big} {o.rgb}", 0,
             "4 frames in, 1 pictures of 853 x 480 written"},
        Said{"HalfByDefault", "--raw-size 960x540 {big} {o.rgb}", 0, "426 x 240"},
        Said{"Lines300", "--max-height=300 --size=full --raw-size 960x540 {big} {o.rgb}",
             0, "533 x 300"},
        Said{"Native", "--max-height=native --size full --raw-size 960x540 {big} {o.rgb}",
             0, "960 x 540"},
        Said{"H264OfFourByTwo", "--codec avc1 --frames 4 --raw-size 8x4 {clip} {o.mov}", 0,
             "4 x 2 written"},
        Said{"WideMovie", "--size full --effect normal --raw-size 4100x2 {wide} {o.mov}",
             0, "4100 x 2 written"},
        Said{"MissingFile", "--raw-size 8x4 /nonexistent/clip.argb {rgb}", 2, "cannot open"},
        Said{"PartialFrame", "--raw-size 8x4 {partial} {rgb}", 2, "partial frame of 17 bytes"},
        Said{"NoSize", "{clip} {rgb}", 2, "--raw-size"},
        Said{"ZeroSize", "--raw-size 0x4 {clip} {rgb}", 2, "--raw-size wants WxH"},
        Said{"HugeSize", "--raw-size 9000x4 {clip} {rgb}", 2, "--raw-size wants WxH"},
        Said{"MissingValue", "{clip} {rgb} --raw-size", 2, "--raw-size wants WxH"},
        Said{"UnknownEffect", "--raw-size 8x4 --effect sparkle {clip} {rgb}", 2, "unknown effect"},
        Said{"EffectOutOfRange", "--raw-size 8x4 --effect 7 {clip} {rgb}", 2, "unknown effect"},
        Said{"UnknownOption", "--raw-size 8x4 --speed {clip} {rgb}", 2, "unknown option"},
        Said{"BadSize", "--raw-size 8x4 --size quarter {clip} {rgb}", 2, "full or half"},
        Said{"MaxHeightWord", "--raw-size 8x4 --max-height tall {clip} {rgb}", 2, "or native"},
        Said{"MaxHeightTooTall", "--raw-size 8x4 --max-height 4320 {clip} {rgb}", 2, "2 to 2160"},
        Said{"MaxHeightOne", "--raw-size 8x4 --max-height 1 {clip} {rgb}", 2, "from 2 to 2160"},
        Said{"BadMirror", "--raw-size 8x4 --mirror yes {clip} {rgb}", 2, "on or off"},
        Said{"BadSeed", "--raw-size 8x4 --seed 12ab {clip} {rgb}", 2, "--seed"},
        Said{"NoThreads", "--raw-size 8x4 --threads 0 {clip} {rgb}", 2, "--threads wants"},
        Said{"TooManyThreads", "--raw-size 8x4 --threads=65 {clip} {rgb}", 2, "from 1 to 64"},
        Said{"MissingOutput", "--raw-size 8x4 {clip}", 2, "INPUT and OUTPUT"},
        Said{"WrongOutputKind", "--raw-size 8x4 {clip} {clip}.txt", 2, "OUTPUT must end in"},
        Said{"UncreatableOutput", "--raw-size 8x4 {clip} {clip}/out.rgb", 2, "cannot create"},
        Said{"UncreatableMovie", "--raw-size 8x4 {clip} {clip}/out.mov", 2, "cannot create"},
        Said{"OutputIsTheInput", "--raw-size 8x4 {clip} {clip}", 2, "OUTPUT names the input"},
        Said{"NoPictureDrawn", "--frames 3 --raw-size 8x4 {clip} {rgb}", 2, "no picture was drawn"},
        Said{"EmptyInput", "--raw-size 8x4 /dev/null {rgb}", 2, "no picture was drawn"},
        Said{"NoPictureForAMovie", "--frames 2 {lavfi} {mov}", 2, "no picture was drawn"},
        Said{"ZeroWorkingWidth", "--raw-size 2x8192 {tall} {rgb}", 2,
             "give a working size of 0 x 240"},
        Said{"TooSmallForH264", "--raw-size 2x4 --codec avc1 {tall} {mov}", 2, "at least 2 x 2"},
        Said{"TextInput", "{text} {rgb}", 2, "a text file, not a video"},
        Said{"UnknownCompressor", "--codec cvid {lavfi} {mov}", 2, "unknown compressor 'cvid'"},
        Said{"UnknownQuality", "--quality superb {lavfi} {mov}", 2, "unknown quality 'superb'"},
        Said{"NoLosslessJpeg", "--quality lossless {lavfi} {mov}", 2, "has no lossless quality"},
        Said{"CompressorForRgb", "--codec png {lavfi} {rgb}", 2, "apply to movie outputs only"},
        Said{"NotALoopbackDevice", "--frames 5 {lavfi} v4l2:/dev/null", 2,
             "/dev/null: not a V4L2 device; load the v4l2loopback module: sudo modprobe"},
        Said{"LoopIntoAFile", "--loop {lavfi} {rgb}", 2, "--loop applies to virtual camera"}),
    [](const auto& info) { return std::string(info.param.name); });

// Frames in, then the signal: the pictures drawn so far are kept under OUTPUT.part; with none
// drawn there is nothing to keep.
TEST_P(RenderInterrupted, KeepsThePicturesSoFarInOutputPart) {
    const SignalCase& c = GetParam();
    const std::string out = path(c.output), part = out + ".part";
    const RenderRun r = render({"--quiet", "--threads", "2", "--raw-size", "16x8", "--effect",
                                "normal", "-", out},
                               frames(16, 8, c.frames), c.signal, c.toWorker);
    const bool drawn = c.frames > 3;
    EXPECT_EQ(r.status, 128 + c.signal) << r.said;
    EXPECT_NE(r.said.find(drawn ? "interrupted after 3 pictures; they are in " + part
                                : "no output written"),
              std::string::npos)
        << r.said;
    EXPECT_FALSE(fs::exists(out));
    EXPECT_EQ(fs::exists(part), drawn);
    // Three pictures kept; in a movie each lasts 1/15 s, since raw input has no times.
    const bool rgb = fs::path(out).extension() == ".rgb";
    EXPECT_TRUE(!drawn || !rgb || read(part).size() == 3u * 8 * 4 * 3);
    EXPECT_TRUE(!drawn || rgb || read_movie(part).durations == std::vector<int64_t>({40, 40, 40}));
}

INSTANTIATE_TEST_SUITE_P(
    Signals, RenderInterrupted,
    ::testing::Values(SignalCase{"SigintRgb", SIGINT, "out.rgb", false, 6},
                      SignalCase{"SigtermRgb", SIGTERM, "out.rgb", false, 6},
                      SignalCase{"SigintMovie", SIGINT, "out.mov", false, 6},
                      SignalCase{"SigtermMovie", SIGTERM, "out.mov", false, 6},
                      SignalCase{"SigtermToAWorker", SIGTERM, "out.rgb", true, 6},
                      SignalCase{"SigintToAWorker", SIGINT, "out.mov", true, 6},
                      SignalCase{"SigtermBeforeAnyPicture", SIGTERM, "out.mov", false, 2}),
    [](const auto& info) { return std::string(info.param.name); });

// A disk that fills up mid-run (a file size limit): the write error is said, and neither the
// output nor its temporary file is left.
TEST_F(RenderFaults, AFullDiskFailsTheRunAndLeavesNothing) {
    const std::string out = path("out.rgb");
    const RenderRun r = render({"--quiet", "--raw-size", "64x48", "--size", "full",
                                clip(64, 48, 40), out}, "", 0, false, 100 * 1024);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.said.find("write error"), std::string::npos) << r.said;
    EXPECT_FALSE(fs::exists(out) || fs::exists(out + ".part"));
}
