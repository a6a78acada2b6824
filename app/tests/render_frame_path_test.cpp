// SPDX-License-Identifier: MIT
// The render tool's frame path through the real program: the half-size reduction, and the
// same pictures on any number of threads.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

class RenderFramePath : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/wobble-frames-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }

    std::string path(const std::string& name) const { return dir + "/" + name; }

    // A clip of random A, R, G, B frames; returns its frames.
    std::vector<Bytes> write_clip(const std::string& name, int w, int h, int frames) {
        std::mt19937 rng(11);
        std::vector<Bytes> f(frames, Bytes(4 * static_cast<size_t>(w) * h));
        std::ofstream out(path(name), std::ios::binary);
        for (Bytes& b : f) {
            for (uint8_t& v : b) v = static_cast<uint8_t>(rng());
            out.write(reinterpret_cast<const char*>(b.data()), b.size());
        }
        return f;
    }
    static Bytes read(const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
    // `wobblescope render ARGS` as its own process; its exit status.
    static int render(const std::string& args) {
        const std::string cmd = std::string(WOBBLESCOPE_BIN) + " render --quiet " + args;
        const int status = std::system(cmd.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string dir;
};

// At half size each pixel is the mean of its 2 x 2 block of camera pixels, halves rounded up; a
// last odd column and row are left out. Widths around the four-pixel groups.
TEST_F(RenderFramePath, HalfSizeIsTheRoundedMeanOfEachBlock) {
    for (const int w : {11, 18, 107}) {
        const int h = 9, dw = w / 2, dh = h / 2;
        const std::string size = std::to_string(w) + "x" + std::to_string(h);
        const auto frames = write_clip("in.argb", w, h, 5);
        ASSERT_EQ(0, render("--raw-size " + size + " --size half --effect normal --mirror off " +
                            path("in.argb") + " " + path("half.rgb")));
        const Bytes pictures = read(path("half.rgb"));
        ASSERT_EQ(pictures.size(), 2u * dw * dh * 3) << size;
        int wrong = 0;
        for (int k = 3; k < 5; ++k)
            for (int y = 0; y < dh; ++y)
                for (int x = 0; x < dw; ++x)
                    for (int c = 0; c < 3; ++c) {
                        const Bytes& f = frames[k];
                        const auto at = [&](int dx, int dy) {
                            return f[((2 * y + dy) * w + 2 * x + dx) * 4 + 1 + c];
                        };
                        const int mean = (at(0, 0) + at(1, 0) + at(0, 1) + at(1, 1) + 2) >> 2;
                        wrong += pictures[(((k - 3) * dh + y) * dw + x) * 3 + c] != mean;
                    }
        EXPECT_EQ(wrong, 0) << size;
    }
}

// A disk that fills up mid-run (a file size limit): the write error is said, and neither the
// output nor its temporary file is left.
TEST_F(RenderFramePath, AFullDiskFailsTheRunAndLeavesNothing) {
    write_clip("in.argb", 64, 48, 40);
    const std::string out = path("out.rgb");
    const std::string cmd = "ulimit -f 100; trap '' XFSZ; exec " + std::string(WOBBLESCOPE_BIN) +
                            " render --quiet --raw-size 64x48 --size full " + path("in.argb") +
                            " " + out + " 2>" + path("said.txt");
    const int status = std::system(("sh -c \"" + cmd + "\"").c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2);
    const Bytes said = read(path("said.txt"));
    EXPECT_NE(std::string(said.begin(), said.end()).find("write error"), std::string::npos);
    EXPECT_FALSE(std::ifstream(out).good());
    EXPECT_FALSE(std::ifstream(out + ".part").good());
}

struct ThreadsCase {
    const char* name;
    const char* effect;
    const char* size;
};
void PrintTo(const ThreadsCase& c, std::ostream* os) { *os << c.name; }

class RenderThreads : public RenderFramePath,
                      public ::testing::WithParamInterface<ThreadsCase> {};

// One, two and three threads write the very same file.
TEST_P(RenderThreads, AnyNumberOfThreadsWritesTheSameFile) {
    write_clip("in.argb", 90, 37, 14);
    const std::string common = std::string("--raw-size 90x37 --seed 9 --effect ") +
                               GetParam().effect + " --size " + GetParam().size + " " +
                               path("in.argb") + " ";
    ASSERT_EQ(0, render("--threads 1 " + common + path("t1.rgb")));
    const Bytes one = read(path("t1.rgb"));
    ASSERT_FALSE(one.empty());
    for (const char* n : {"2", "3"}) {
        const std::string out = path(std::string("t") + n + ".rgb");
        ASSERT_EQ(0, render(std::string("--threads ") + n + " " + common + out));
        EXPECT_TRUE(read(out) == one) << n << " threads";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Effects, RenderThreads,
    ::testing::Values(ThreadsCase{"NormalFull", "normal", "full"},
                      ThreadsCase{"WaveHalf", "wave", "half"},
                      ThreadsCase{"DelayFull", "delay", "full"},
                      ThreadsCase{"ScatterFull", "scatter", "full"},
                      ThreadsCase{"PaintHalf", "paint", "half"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
