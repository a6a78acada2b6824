// SPDX-License-Identifier: MIT
// `wobblescope render` with the inputs the camera layer opens.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

extern "C" {
#include <libswscale/swscale.h>
}

#include <random>

#include "QTMovie.h"
#include "av_camera.h"
#include "camera_test_support.h"
#include "clip_writer.h"
#include "frame_history.h"
#include "render_io.h"
#include "render_tool.h"

namespace {

struct RenderRun {
    int status = -1;
    std::string err;
};

RenderRun render(std::vector<std::string> args) {
    args.insert(args.begin(), "render");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    RenderRun run;
    testing::internal::CaptureStderr();
    run.status = render_main(static_cast<int>(args.size()), argv.data());
    run.err = testing::internal::GetCapturedStderr();
    return run;
}

std::vector<uint8_t> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST(RenderInput, GeneratedFileGivesEveryPictureInOrder) {
    TempDir dir;
    ClipSettings clip;
    clip.path = dir.path("clip.mov");
    clip.width = 64;
    clip.height = 48;
    clip.frames = 12;
    ASSERT_EQ(write_clip(clip), "");

    std::string error;
    std::unique_ptr<FrameSource> src = open_frame_source(clip.path, 0, 0, error);
    ASSERT_TRUE(src) << error;
    EXPECT_EQ(src->width(), 64);
    EXPECT_EQ(src->height(), 48);
    EXPECT_EQ(src->frameCount(), 12);
    std::vector<uint8_t> frame(64 * 48 * 4);
    for (int n = 0; n < 12; ++n) {
        ASSERT_EQ(src->read(frame.data(), 256), FrameSource::Read::Frame) << n;
        EXPECT_EQ(frame, pattern_picture(n, 64, 48)) << "picture " << n;
        EXPECT_NEAR(src->frameTime(), n / 25.0, 1e-9);
    }
    EXPECT_EQ(src->read(frame.data(), 256), FrameSource::Read::End);

    // The plain picture at full size, unmirrored: the R, G, B of every input picture from the
    // fourth on (the first three draw nothing).
    const std::string out = dir.path("out.rgb");
    RenderRun run = render(
        {"--quiet", "--effect", "normal", "--mirror", "off", "--size", "full", clip.path, out});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<uint8_t> rgb = read_file(out);
    ASSERT_EQ(rgb.size(), 9u * 64 * 48 * 3);
    for (int k = 0; k < 9; ++k) {
        const std::vector<uint8_t> p = pattern_picture(k + 3, 64, 48);
        int wrong = 0;
        for (size_t i = 0; i < 64 * 48; ++i)
            for (int c = 0; c < 3; ++c) wrong += rgb[(k * 64 * 48 + i) * 3 + c] != p[4 * i + 1 + c];
        EXPECT_EQ(wrong, 0) << "picture " << k;
    }
}

TEST(RenderInput, LavfiSourcesWithAndWithoutAnEnd) {
    TempDir dir;
    const std::string out = dir.path("out.rgb");
    RenderRun run = render({"--quiet", "lavfi:testsrc2=size=160x120:rate=25:duration=2", out});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(read_file(out).size(), 47u * 80 * 60 * 3);  // 50 frames, half size

    run = render({"--quiet", "--frames", "20", "--size", "full",
                  "lavfi:testsrc2=size=1280x720:rate=30", out});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(read_file(out).size(), 17u * 853 * 480 * 3);  // scaled to 480 lines

    run = render({"--frames", "5", "demo", out});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(read_file(out).size(), 2u * 320 * 240 * 3);
    EXPECT_NE(run.err.find("5 frames in, 2 pictures of 320 x 240"), std::string::npos) << run.err;
}

TEST(RenderInput, ProgressShowsTheTotalWhenKnown) {
    TempDir dir;
    ClipSettings clip;
    clip.path = dir.path("long.mov");
    clip.width = 640;
    clip.height = 480;
    clip.frames = 60;
    ASSERT_EQ(write_clip(clip), "");
    // The progress line is rewritten at most four times a second, so only the final summary is
    // certain; the total appears whenever a line is shown.
    RenderRun run = render({"--effect", "paint", clip.path, dir.path("out.rgb")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("60 frames in, 57 pictures"), std::string::npos) << run.err;
    if (run.err.find("\r") != std::string::npos) {
        EXPECT_NE(run.err.find(" of 60,"), std::string::npos) << run.err;
    }
}

TEST(RenderInput, BadInputsGiveAClearMessageAndNoOutput) {
    TempDir dir;
    const std::string out = dir.path("out.rgb");
    std::ofstream(dir.path("notes.txt")) << "not a video\n";

    struct Case {
        std::string input, message;
    } cases[] = {
        {dir.path("missing.mov"),
         dir.path("missing.mov") + ": No such file or directory"},
        {dir.path("notes.txt"), dir.path("notes.txt") + ": a text file, not a video"},
        {"lavfi:sine=frequency=440:duration=1",
         "lavfi:sine=frequency=440:duration=1: has no video stream"},
        {"lavfi:nosuchsource", "lavfi:nosuchsource: No such filter: 'nosuchsource'"},
        {"-", "standard input: give the size of the raw input frames with --raw-size WxH"},
    };
    for (const Case& c : cases) {
        RenderRun run = render({"--quiet", c.input, out});
        EXPECT_NE(run.status, 0) << c.input;
        EXPECT_NE(run.err.find("wobblescope render: " + c.message), std::string::npos) << run.err;
        EXPECT_FALSE(std::filesystem::exists(out));
    }
}

TEST(RenderInput, DecodeErrorStopsWithTheInputNamed) {
    TempDir dir;
    ClipSettings clip;
    clip.path = dir.path("clip.nut");
    clip.codec = "png";
    clip.pixelFormat = "rgba";
    clip.frames = 20;
    ASSERT_EQ(write_clip(clip), "");
    std::vector<uint8_t> d = read_file(clip.path);
    for (size_t i = d.size() / 2; i < d.size() / 2 + 300; ++i) d[i] = static_cast<uint8_t>(i * 37);
    const std::string bad = dir.path("bad.nut");
    std::ofstream(bad, std::ios::binary)
        .write(reinterpret_cast<const char*>(d.data()), static_cast<std::streamsize>(d.size()));

    const std::string out = dir.path("out.rgb");
    RenderRun run = render({"--quiet", bad, out});
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.err.find("wobblescope render: " + bad + ": cannot decode picture "),
              std::string::npos)
        << run.err;
    EXPECT_FALSE(std::filesystem::exists(out));
    EXPECT_FALSE(std::filesystem::exists(out + ".part"));
}

TEST(RenderInput, RawFramesStillWork) {
    TempDir dir;
    const std::string raw = dir.path("in.argb");
    {
        std::ofstream f(raw, std::ios::binary);
        for (int n = 0; n < 5; ++n) {
            const std::vector<uint8_t> p = pattern_picture(n, 16, 8);
            f.write(reinterpret_cast<const char*>(p.data()),
                    static_cast<std::streamsize>(p.size()));
        }
    }
    RenderRun run =
        render({"--quiet", "--raw-size", "16x8", "--size", "full", raw, dir.path("o.rgb")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(read_file(dir.path("o.rgb")).size(), 2u * 16 * 8 * 3);
}

// The render tool and the live camera deliver the same bytes: a still clip larger than the
// camera size, at half size, through both.
TEST(RenderInput, RenderToolDeliversWhatTheLiveCameraDelivers) {
    TempDir dir;
    ClipSettings clip;
    clip.path = dir.path("still.mkv");
    clip.codec = "ffv1";
    clip.pixelFormat = "yuv420p";
    clip.width = 1280;
    clip.height = 720;
    clip.frames = 5;
    clip.paint = [](int, uint8_t* argb, int rowBytes, int w, int h) {
        paint_pattern(0, argb, rowBytes, w, h);
    };
    ASSERT_EQ(write_clip(clip), "");

    const std::string out = dir.path("out.rgb");
    RenderRun run = render({"--quiet", "--effect", "normal", "--mirror", "off", clip.path, out});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<uint8_t> rgb = read_file(out);
    ASSERT_EQ(rgb.size(), 2u * 426 * 240 * 3);

    PipelineState s;
    CaptureState c;
    CountingReceiver view(s);
    c.cameraSource = clip.path;
    ASSERT_TRUE(setup_camera(s, c));
    ASSERT_TRUE(create_output_bitmaps(s));
    setup_size_params(s, kHalfSize, false);
    ASSERT_TRUE(install_grab_complete(c, &view));
    ASSERT_TRUE(start_camera(c));
    ASSERT_TRUE(idle_until_delivery(c, view));
    close_camera(c);
    // Lossless pictures of a still: every frame decodes to the same bytes.
    int wrong = 0;
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 426; ++x)
            for (int ch = 0; ch < 3; ++ch)
                wrong +=
                    rgb[((426 * 240) + y * 426 + x) * 3 + ch] !=
                    view.lastBuffer[static_cast<size_t>(y) * s.LargeSrcRowBytes + 4 * x + 1 + ch];
    EXPECT_EQ(wrong, 0);
    release_pipeline(s);
}

// A decoded picture of twice the working size is converted at its own size and reduced by the
// mean of each 2 x 2 block: the half-size pictures of a lossless clip are the means of its
// full-size ones.
TEST(RenderInput, HalfSizeOfAVideoIsTheMeanOfItsFullSizePictures) {
    TempDir dir;
    ClipSettings clip;
    clip.path = dir.path("clip.mkv");
    clip.codec = "ffv1";
    clip.pixelFormat = "yuv420p";
    clip.width = 70;
    clip.height = 46;
    clip.frames = 5;
    ASSERT_EQ(write_clip(clip), "");
    const std::string full = dir.path("full.rgb"), half = dir.path("half.rgb");
    for (const auto& [size, out] : {std::pair{"full", full}, std::pair{"half", half}}) {
        const RenderRun run = render(
            {"--quiet", "--effect", "normal", "--mirror", "off", "--size", size, clip.path, out});
        ASSERT_EQ(run.status, 0) << run.err;
    }
    const std::vector<uint8_t> f = read_file(full), h = read_file(half);
    ASSERT_EQ(f.size(), 2u * 70 * 46 * 3);
    ASSERT_EQ(h.size(), 2u * 35 * 23 * 3);
    int wrong = 0;
    for (int k = 0; k < 2; ++k)
        for (int y = 0; y < 23; ++y)
            for (int x = 0; x < 35; ++x)
                for (int c = 0; c < 3; ++c) {
                    const auto at = [&](int dx, int dy) {
                        return f[((k * 46 + 2 * y + dy) * 70 + 2 * x + dx) * 3 + c];
                    };
                    const int mean = (at(0, 0) + at(1, 0) + at(0, 1) + at(1, 1) + 2) >> 2;
                    wrong += h[((k * 23 + y) * 35 + x) * 3 + c] != mean;
                }
    EXPECT_EQ(wrong, 0);
}

// The scaler cuts its output over threads: the bytes are those of one libswscale pass with the
// same filter on one thread.
TEST(Scaling, ThreadedScalingGivesTheBytesOfOnePass) {
    const int sw = 1280, sh = 720, dw = 853, dh = 480;
    std::vector<uint8_t> src(4 * sw * sh), ours(4 * dw * dh), one(4 * dw * dh);
    std::mt19937 rng(5);
    for (uint8_t& b : src) b = static_cast<uint8_t>(rng());
    ArgbScaler scaler;
    ASSERT_TRUE(scaler.scale(src.data(), sw, sh, 4 * sw, ours.data(), dw, dh, 4 * dw));
    SwsContext* c = sws_getContext(sw, sh, AV_PIX_FMT_ARGB, dw, dh, AV_PIX_FMT_ARGB,
                                   SWS_BILINEAR | SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP,
                                   nullptr, nullptr, nullptr);
    ASSERT_NE(c, nullptr);
    const uint8_t* const in[4] = {src.data()};
    const int inStride[4] = {4 * sw};
    uint8_t* const out[4] = {one.data()};
    const int outStride[4] = {4 * dw};
    EXPECT_EQ(sws_scale(c, in, inStride, 0, sh, out, outStride), dh);
    sws_freeContext(c);
    EXPECT_TRUE(ours == one);
}
