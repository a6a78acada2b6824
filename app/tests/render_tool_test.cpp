// SPDX-License-Identifier: MIT
// `wobblescope render` end to end: generated clips in, pictures out, and its bad inputs.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "render_tool.h"

namespace {

using Bytes = std::vector<uint8_t>;

class RenderTool : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/wobble-render-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }

    std::string path(const std::string& name) const { return dir + "/" + name; }

    // Random A, R, G, B frames.
    std::vector<Bytes> clip(int w, int h, int frames, unsigned seed) {
        std::mt19937 rng(seed);
        std::vector<Bytes> f(frames, Bytes(4 * static_cast<size_t>(w) * h));
        for (Bytes& b : f)
            for (uint8_t& v : b) v = static_cast<uint8_t>(rng());
        return f;
    }
    std::string write_clip(const std::string& name, const std::vector<Bytes>& frames) {
        std::ofstream out(path(name), std::ios::binary);
        for (const Bytes& b : frames) out.write(reinterpret_cast<const char*>(b.data()), b.size());
        return path(name);
    }
    static Bytes read(const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
    static bool exists(const std::string& p) {
        struct stat st;
        return stat(p.c_str(), &st) == 0;
    }
    // Runs the tool in this process; returns its exit status and keeps what it said.
    int run(std::vector<std::string> args) {
        args.insert(args.begin(), "render");
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::testing::internal::CaptureStderr();
        const int status = render_main(static_cast<int>(args.size()), argv.data());
        said = ::testing::internal::GetCapturedStderr();
        return status;
    }

    std::string dir, said;
};

// The plain picture of frame k is drawn by the pass of frame k: output pictures are the input
// frames from the fourth on, red, green and blue, mirrored when asked.
TEST_F(RenderTool, PlainPictureReproducesTheInputFrames) {
    const int w = 22, h = 5;
    const auto frames = clip(w, h, 8, 1);
    const std::string in = write_clip("in.argb", frames);
    for (bool mirror : {false, true}) {
        const std::string out = path(mirror ? "m.rgb" : "p.rgb");
        ASSERT_EQ(0, run({"--raw-size", "22x5", "--effect", "normal", "--size", "full", "--mirror",
                          mirror ? "on" : "off", "--quiet", in, out}))
            << said;
        const Bytes pictures = read(out);
        ASSERT_EQ(pictures.size(), 5u * w * h * 3);
        for (int k = 3; k < 8; ++k)
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    for (int c = 0; c < 3; ++c) {
                        const int sx = mirror ? w - 1 - x : x;
                        ASSERT_EQ(pictures[(((k - 3) * h + y) * w + x) * 3 + c], frames[k][(y * w + sx) * 4 + 1 + c])
                            << "frame " << k << " x " << x << " y " << y;
                    }
    }
}

TEST_F(RenderTool, ExposureOfAWhiteClipBrightensByFives) {
    std::vector<Bytes> frames(6, Bytes(4 * 8 * 4, 255));
    const std::string in = write_clip("white.argb", frames);
    ASSERT_EQ(0, run({"--raw-size=8x4", "--effect=exposure", "--size=full", "--quiet", in, path("e.rgb")})) << said;
    const Bytes pictures = read(path("e.rgb"));
    ASSERT_EQ(pictures.size(), 3u * 8 * 4 * 3);
    EXPECT_EQ(pictures[0], 5);
    EXPECT_EQ(pictures[8 * 4 * 3], 10);
    EXPECT_EQ(pictures[2 * 8 * 4 * 3 + 17], 15);
}

TEST_F(RenderTool, ScalarAndVectorKernelsWriteTheSameFile) {
    const std::string in = write_clip("in.argb", clip(106, 60, 12, 2));
    for (const char* effect : {"wave", "exposure", "trace", "delay", "scatter", "paint"}) {
        for (const char* size : {"full", "half"}) {
            ASSERT_EQ(0, run({"--raw-size", "106x60", "--effect", effect, "--size", size, "--seed", "77", "--quiet",
                              in, path("v.rgb")}))
                << said;
            ASSERT_EQ(0, run({"--raw-size", "106x60", "--effect", effect, "--size", size, "--seed", "77", "--quiet",
                              "--scalar", in, path("s.rgb")}))
                << said;
            const Bytes v = read(path("v.rgb"));
            const size_t picture = std::string(size) == "full" ? 106 * 60 * 3 : 53 * 30 * 3;
            ASSERT_EQ(v.size(), 9 * picture) << effect << " " << size;
            ASSERT_TRUE(v == read(path("s.rgb"))) << effect << " " << size;
        }
    }
}

TEST_F(RenderTool, SeedFixesTheRandomEffects) {
    const std::string in = write_clip("in.argb", clip(16, 8, 10, 3));
    for (const char* effect : {"scatter", "wave"}) {
        ASSERT_EQ(0, run({"--raw-size", "16x8", "--effect", effect, "--seed", "5", "--quiet", in, path("a.rgb")}));
        ASSERT_EQ(0, run({"--raw-size", "16x8", "--effect", effect, "--seed", "5", "--quiet", in, path("b.rgb")}));
        ASSERT_EQ(0, run({"--raw-size", "16x8", "--effect", effect, "--seed", "6", "--quiet", in, path("c.rgb")}));
        EXPECT_TRUE(read(path("a.rgb")) == read(path("b.rgb"))) << effect;
        EXPECT_FALSE(read(path("a.rgb")) == read(path("c.rgb"))) << effect;
    }
}

TEST_F(RenderTool, TallCameraIsScaledTo480LinesAndFramesCanBeLimited) {
    const std::string in = write_clip("hd.argb", clip(1280, 720, 5, 4));
    ASSERT_EQ(0, run({"--raw-size", "1280x720", "--effect", "trace", "--size", "full", in, path("f.rgb")})) << said;
    EXPECT_EQ(read(path("f.rgb")).size(), 2u * 853 * 480 * 3);
    EXPECT_NE(said.find("853 x 480"), std::string::npos) << said;
    ASSERT_EQ(0, run({"--raw-size", "1280x720", "--frames", "4", "--quiet", in, path("h.rgb")})) << said;
    EXPECT_EQ(read(path("h.rgb")).size(), 1u * 426 * 240 * 3);
}

TEST_F(RenderTool, HelpDocumentsEveryOption) {
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(0, run({"--help"}));
    const std::string help = ::testing::internal::GetCapturedStdout();
    for (const char* option : {"--raw-size", "--effect", "--size", "--mirror", "--seed", "--frames", "--threads", "--quiet",
                               "--scalar", "normal", "wave", "exposure", "trace", "delay", "scatter", "paint"})
        EXPECT_NE(help.find(option), std::string::npos) << option;
}

struct BadCase {
    const char* name;
    std::vector<std::string> args;  // {in} and {out} are replaced
    const char* says;
};
void PrintTo(const BadCase& c, std::ostream* os) { *os << c.name; }

class RenderToolBadInput : public RenderTool, public ::testing::WithParamInterface<BadCase> {};

TEST_P(RenderToolBadInput, FailsWithAClearMessageAndWritesNothing) {
    const std::string in = write_clip("in.argb", clip(8, 4, 6, 5));
    {
        std::ofstream partial(path("partial.argb"), std::ios::binary);
        partial << std::string(4 * 8 * 4 * 5 + 17, 'x');
    }
    std::vector<std::string> args;
    for (std::string a : GetParam().args) {
        if (a == "{in}") a = in;
        if (a == "{partial}") a = path("partial.argb");
        if (a == "{out}") a = path("out.rgb");
        args.push_back(a);
    }
    EXPECT_NE(0, run(args));
    EXPECT_NE(said.find(GetParam().says), std::string::npos) << said;
    EXPECT_FALSE(exists(path("out.rgb")));
    EXPECT_FALSE(exists(path("out.rgb.part")));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RenderToolBadInput,
    ::testing::Values(
        BadCase{"MissingFile", {"--raw-size", "8x4", "/nonexistent/clip.argb", "{out}"}, "cannot open"},
        BadCase{"PartialFrame", {"--raw-size", "8x4", "{partial}", "{out}"}, "partial frame of 17 bytes"},
        BadCase{"NoSize", {"{in}", "{out}"}, "--raw-size"},
        BadCase{"ZeroSize", {"--raw-size", "0x4", "{in}", "{out}"}, "--raw-size wants WxH"},
        BadCase{"HugeSize", {"--raw-size", "9000x4", "{in}", "{out}"}, "--raw-size wants WxH"},
        BadCase{"TextSize", {"--raw-size", "wide", "{in}", "{out}"}, "--raw-size wants WxH"},
        BadCase{"UnknownEffect", {"--raw-size", "8x4", "--effect", "sparkle", "{in}", "{out}"}, "unknown effect"},
        BadCase{"EffectOutOfRange", {"--raw-size", "8x4", "--effect", "7", "{in}", "{out}"}, "unknown effect"},
        BadCase{"UnknownOption", {"--raw-size", "8x4", "--speed", "{in}", "{out}"}, "unknown option"},
        BadCase{"BadSize", {"--raw-size", "8x4", "--size", "quarter", "{in}", "{out}"}, "full or half"},
        BadCase{"BadMirror", {"--raw-size", "8x4", "--mirror", "yes", "{in}", "{out}"}, "on or off"},
        BadCase{"BadSeed", {"--raw-size", "8x4", "--seed", "12ab", "{in}", "{out}"}, "--seed"},
        BadCase{"MissingOutput", {"--raw-size", "8x4", "{in}"}, "INPUT and OUTPUT"},
        BadCase{"WrongOutputKind", {"--raw-size", "8x4", "{in}", "{in}.txt"}, "OUTPUT must end in"},
        BadCase{"NoThreads", {"--raw-size", "8x4", "--threads", "0", "{in}", "{out}"}, "--threads wants"},
        BadCase{"TooManyThreads", {"--raw-size", "8x4", "--threads=65", "{in}", "{out}"}, "from 1 to 64"},
        BadCase{"TextThreads", {"--raw-size", "8x4", "--threads", "two", "{in}", "{out}"}, "--threads wants"},
        BadCase{"MissingValue", {"{in}", "{out}", "--raw-size"}, "--raw-size wants WxH"}),
    [](const auto& info) { return info.param.name; });

// An output that cannot be created (its directory is a file, which stops root as well).
TEST_F(RenderTool, UncreatableOutputFailsCleanly) {
    const std::string in = write_clip("in.argb", clip(8, 4, 6, 5));
    EXPECT_NE(0, run({"--raw-size", "8x4", in, in + "/out.rgb"}));
    EXPECT_NE(said.find("cannot create"), std::string::npos) << said;
}

TEST_F(RenderTool, TheProgramDispatchesTheSubcommand) {
    const std::string in = write_clip("in.argb", clip(8, 4, 6, 6));
    const std::string cmd = std::string(WOBBLESCOPE_BIN) + " render --raw-size 8x4 --quiet " + in + " " +
                            path("bin.rgb") + " 2>/dev/null";
    EXPECT_EQ(0, std::system(cmd.c_str()));
    EXPECT_EQ(read(path("bin.rgb")).size(), 3u * 4 * 2 * 3);
    const std::string bad = std::string(WOBBLESCOPE_BIN) + " render --raw-size 8x4 --effect 9 " + in + " " +
                            path("x.rgb") + " 2>/dev/null";
    EXPECT_NE(0, std::system(bad.c_str()));
}

}  // namespace
