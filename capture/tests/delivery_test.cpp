// SPDX-License-Identifier: MIT
// Pictures from the decoder through the reader thread and the grabber into the camera buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <thread>
#include <tuple>

extern "C" {
#include <libswscale/swscale.h>
}

#include "QTMovie.h"
#include "av_camera.h"
#include "camera_test_support.h"
#include "clip_writer.h"
#include "frame_history.h"
#include "ingest.h"
#include "seq_grabber.h"

using namespace std::chrono_literals;

namespace {

constexpr uint8_t kSentinel = 0xAB;

// Whether the camera buffer at the last delivery holds picture (w x h) in its top-left corner
// and the sentinel everywhere else.
bool buffer_holds(const LiveCamera& cam, const std::vector<uint8_t>& picture, int w, int h) {
    const size_t rowBytes = cam.s.LargeSrcRowBytes;
    for (size_t y = 0; y < static_cast<size_t>(cam.s.LargeHeight); ++y)
        for (size_t b = 0; b < rowBytes; ++b)
            if (cam.view.lastBuffer[y * rowBytes + b] !=
                (y < size_t(h) && b < 4u * w ? picture[y * 4 * w + b] : kSentinel))
                return false;
    return true;
}

// A receiver that runs the real ingestion, as the view does.
class IngestingReceiver : public FrameReceiver {
public:
    IngestingReceiver(PipelineState& s, ViewState& v) : s_(s), v_(v) {}
    void MyMovieDrawingCompleteMethod() override { ingest_frame(s_, v_, {}); }

private:
    PipelineState& s_;
    ViewState& v_;
};

}  // namespace

// Full size gives the clip's pictures byte for byte; half size scales them into the top-left
// corner of the buffer, rows a full stride apart, and touches nothing else.
TEST(Delivery, PicturesReachTheCameraBufferAtTheWorkingSize) {
    TempDir dir;
    ClipSettings clip;  // 64 x 48
    clip.path = dir.path("clip.mov");
    clip.frames = 8;
    ASSERT_EQ(write_clip(clip), "");
    ErrorSpy spy;
    LiveCamera cam;
    ASSERT_TRUE(cam.start(clip.path, kHalfSize));
    ArgbScaler scaler;
    for (const auto& [size, w, h] : {std::tuple{kFullSize, 64, 48}, std::tuple{kHalfSize, 32, 24}}) {
        setup_size_params(cam.s, size, true);  // stop, new bounds, start the preview
        ASSERT_TRUE(cam.grabber().previewing());
        std::memset(cam.s.srcData, kSentinel, size_t(cam.s.LargeSrcRowBytes) * cam.s.LargeHeight);
        for (int i = 0; i < 3; ++i) {
            ASSERT_TRUE(idle_until_delivery(cam.c, cam.view));
            bool found = false;
            for (int n = 0; n < clip.frames && !found; ++n) {
                std::vector<uint8_t> p = pattern_picture(n, 64, 48), scaled(4 * w * h);
                ASSERT_TRUE(scaler.scale(p.data(), 64, 48, 256, scaled.data(), w, h, 4 * w));
                found = buffer_holds(cam, w == 64 ? p : scaled, w, h);
            }
            EXPECT_TRUE(found) << "delivery " << i << " at " << w << " x " << h;
        }
    }
    close_camera(cam.c);
    close_camera(cam.c);
    const int before = cam.view.count;
    camera_idle(cam.c);
    EXPECT_EQ(cam.view.count, before) << "nothing after the camera is closed";
    EXPECT_TRUE(alerts().empty());
}

TEST(Delivery, BoundsOutsideTheBufferAreRefused) {
    ErrorSpy spy;
    LiveCamera cam;
    ASSERT_TRUE(cam.start("lavfi:testsrc2=size=320x240:rate=30"));
    const struct {
        int16_t bottom, right, status;
    } rows[] = {{240, 321, kParamErr}, {241, 320, kParamErr}, {0, 0, kParamErr},
                {240, 320, 0},         {120, 160, 0}};
    for (const auto& r : rows)
        EXPECT_EQ(cam.grabber().setChannelBounds(Rect16{0, 0, r.bottom, r.right}), r.status)
            << r.right << " x " << r.bottom;
    // A working size the buffer cannot hold is reported and leaves the old bounds in force.
    cam.s.Width = 400;
    change_camera_size(cam.s, true);
    EXPECT_EQ(alerts(), std::vector<std::string>{"SGSetChannelBounds -50"});
    EXPECT_EQ(cam.c.theVideoChannel->bounds, (Rect16{0, 0, 120, 160}));
}

TEST(GrabComplete, WithoutTheDoneFlagNothingIsIngested) {
    LiveCamera cam;
    ASSERT_TRUE(cam.start("lavfi:testsrc2=size=160x120:rate=30"));
    ViewState v;
    IngestingReceiver ingest(cam.s, v);
    v.count = 2;  // past the two dropped deliveries of the launch
    // Outside an idle call no picture is complete; a failing status skips the ingestion too.
    uint8_t done = 1;
    EXPECT_EQ(MyGrabCompleteFunction(cam.c.theVideoChannel, 0, &done, &ingest), 0);
    EXPECT_EQ(done, 0);
    EXPECT_EQ(MyGrabCompleteFunction(nullptr, 0, &done, &ingest), kParamErr);
    EXPECT_EQ(v.count, 2);
    EXPECT_EQ(cam.s.Depth, 0);
    // Inside the idle call the same callback ingests the picture.
    ASSERT_TRUE(install_grab_complete(cam.c, &ingest));
    CameraReader& r = cam.reader();
    for (int i = 0; i < 1000 && r.stats().taken == 0; ++i) {
        camera_idle(cam.c);
        r.waitDecoded(r.stats().decoded + 1, 50ms);
    }
    EXPECT_EQ(v.count, 3);
    EXPECT_EQ(cam.s.Depth, 1);
}

// Read once through, a clip gives its pictures in order with their times; the reader thread
// keeps only the newest one, hands it out once, and none decoded before a stop.
TEST(Reader, KeepsOnlyTheNewestPictureAndNoneFromBeforeAStop) {
    TempDir dir;
    ClipSettings clip;  // 64 x 48 at 25 per second
    clip.path = dir.path("clip.mov");
    clip.frames = 5;
    ASSERT_EQ(write_clip(clip), "");
    std::unique_ptr<AvInput> in = open_clip(clip.path);
    ASSERT_TRUE(in);
    EXPECT_EQ(in->frameCount(), 5);
    ArgbFrame f;
    for (int n = 0; n < 5; ++n) {
        ASSERT_EQ(in->read(f), AvInput::Read::Frame);
        EXPECT_EQ(f.pixels, pattern_picture(n, 64, 48)) << n;
        EXPECT_NEAR(f.time, n / 25.0, 1e-9);
    }
    EXPECT_EQ(in->read(f), AvInput::Read::End);

    for (const bool restart : {false, true}) {
        CameraReader reader(open_clip(clip.path));
        reader.start();
        reader.waitDecoded(6, 20s);  // the whole clip, then its end
        ASSERT_TRUE(reader.finished());
        if (restart) {
            reader.stop();
            EXPECT_FALSE(reader.takeNewest(f)) << "stopped";
            reader.start();
            EXPECT_FALSE(reader.takeNewest(f)) << "the picture decoded before the stop";
            continue;
        }
        ASSERT_TRUE(reader.takeNewest(f));
        EXPECT_EQ(f.pixels, pattern_picture(4, 64, 48));
        EXPECT_FALSE(reader.takeNewest(f)) << "handed out twice";
        EXPECT_EQ(reader.stats().dropped, 4);
    }
}

// Files and libavfilter graphs play at their own frame rate, not as fast as they decode: 10
// pictures a second give about 10 in a second (generous bounds for a loaded machine).
TEST(Reader, FilesAndGraphsArePacedAtTheirFrameRate) {
    TempDir dir;
    ClipSettings clip;
    clip.path = dir.path("slow.mov");
    clip.frames = 100;
    clip.fps = 10;
    ASSERT_EQ(write_clip(clip), "");
    for (const std::string& source : {clip.path, std::string("lavfi:testsrc2=size=64x48:rate=10")}) {
        LiveCamera cam;
        ASSERT_TRUE(cam.start(source)) << source;
        ASSERT_TRUE(cam.reader().waitDecoded(1, 20s)) << source;
        std::this_thread::sleep_for(1s);
        const long long decoded = cam.reader().stats().decoded;
        EXPECT_GE(decoded, 3) << source;
        EXPECT_LE(decoded, 25) << source;
    }
}

// A picture of twice the asked size is converted at its own size and reduced by the mean of
// each 2 x 2 block: the half-size pictures of a lossless clip are the means of its full-size ones.
TEST(Scaling, HalfSizeIsTheMeanOfEachBlock) {
    TempDir dir;
    ClipSettings clip;
    clip.path = dir.path("clip.mkv");
    clip.codec = "ffv1";
    clip.pixelFormat = "yuv420p";
    clip.width = 70;
    clip.height = 46;
    clip.frames = 3;
    ASSERT_EQ(write_clip(clip), "");
    std::unique_ptr<AvInput> full = open_clip(clip.path), half = open_clip(clip.path);
    ASSERT_TRUE(full && half);
    half->setOutputSize(35, 23);
    ArgbFrame f, h;
    while (full->read(f) == AvInput::Read::Frame) {
        ASSERT_EQ(half->read(h), AvInput::Read::Frame);
        ASSERT_EQ(h.rowBytes, 4 * 35);
        int wrong = 0;
        for (int y = 0; y < 23; ++y)
            for (int b = 0; b < 4 * 35; ++b) {
                const auto at = [&](int dx, int dy) {
                    return f.pixels[(2 * y + dy) * f.rowBytes + 8 * (b / 4) + 4 * dx + b % 4];
                };
                wrong += h.pixels[y * h.rowBytes + b] !=
                         ((at(0, 0) + at(1, 0) + at(0, 1) + at(1, 1) + 2) >> 2);
            }
        EXPECT_EQ(wrong, 0);
    }
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
    const int inStride[4] = {4 * sw}, outStride[4] = {4 * dw};
    uint8_t* const out[4] = {one.data()};
    EXPECT_EQ(sws_scale(c, in, inStride, 0, sh, out, outStride), dh);
    sws_freeContext(c);
    EXPECT_TRUE(ours == one);
}
