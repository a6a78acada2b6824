// SPDX-License-Identifier: MIT
// Frame delivery through the real grabber: generated clips and libavfilter sources as cameras.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

#include "QTMovie.h"
#include "av_camera.h"
#include "camera_test_support.h"
#include "clip_writer.h"
#include "frame_history.h"
#include "ingest.h"
#include "pipeline_state.h"
#include "seq_grabber.h"

namespace {

constexpr uint8_t kSentinel = 0xAB;

// Fills the camera buffer with the sentinel byte.
void fill_sentinel(LiveCamera& cam) {
    std::memset(cam.s.srcData, kSentinel,
                static_cast<size_t>(cam.s.LargeSrcRowBytes) * cam.s.LargeHeight);
}

// The picture number n of the default pattern that `buffer` (w x h at stride rowBytes) holds,
// or -1.
int pattern_number(const uint8_t* buffer, int rowBytes, int w, int h, int frames) {
    for (int n = 0; n < frames; ++n) {
        const std::vector<uint8_t> p = pattern_picture(n, w, h);
        bool same = true;
        for (int y = 0; y < h && same; ++y)
            same = std::memcmp(buffer + static_cast<size_t>(y) * rowBytes,
                               p.data() + 4 * static_cast<size_t>(y) * w,
                               4 * static_cast<size_t>(w)) == 0;
        if (same) return n;
    }
    return -1;
}

// Bytes outside the top-left w x h corner of the camera buffer that differ from the sentinel.
int touched_outside(const PipelineState& s, const std::vector<uint8_t>& buf, int w, int h) {
    int touched = 0;
    for (int y = 0; y < s.LargeHeight; ++y)
        for (int b = 0; b < s.LargeSrcRowBytes; ++b)
            if ((y >= h || b >= 4 * w) &&
                buf[static_cast<size_t>(y) * s.LargeSrcRowBytes + b] != kSentinel)
                ++touched;
    return touched;
}

}  // namespace

TEST(Delivery, SameSizeArgbFrameArrivesByteForByte) {
    TempDir dir;
    ClipSettings clip;
    clip.path = dir.path("argb.mov");
    clip.width = 64;
    clip.height = 48;
    clip.frames = 8;
    ASSERT_EQ(write_clip(clip), "");

    ErrorSpy spy;
    LiveCamera cam;
    ASSERT_TRUE(cam.start(clip.path, kFullSize));
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(idle_until_delivery(cam.c, cam.view));
        EXPECT_GE(pattern_number(cam.view.lastBuffer.data(), cam.s.LargeSrcRowBytes, 64, 48, 8), 0)
            << "delivery " << i << " is not one of the clip's pictures, byte for byte";
    }
    EXPECT_TRUE(alerts().empty());
}

TEST(Delivery, HalfSizeFillsTopLeftCornerWithFullStride) {
    TempDir dir;
    ClipSettings clip;
    clip.path = dir.path("argb.mov");
    clip.width = 64;
    clip.height = 48;
    clip.frames = 4;
    ASSERT_EQ(write_clip(clip), "");

    LiveCamera cam;
    ASSERT_TRUE(cam.start(clip.path, kHalfSize));
    ASSERT_EQ(cam.s.Width, 32);
    ASSERT_EQ(cam.s.Height, 24);
    fill_sentinel(cam);
    ASSERT_TRUE(idle_until_delivery(cam.c, cam.view));
    const std::vector<uint8_t>& buf = cam.view.lastBuffer;
    EXPECT_EQ(touched_outside(cam.s, buf, 32, 24), 0);

    // The corner holds one of the clip's pictures scaled as the scaler scales it.
    ArgbScaler scaler;
    bool matched = false;
    for (int n = 0; n < 4 && !matched; ++n) {
        const std::vector<uint8_t> p = pattern_picture(n, 64, 48);
        std::vector<uint8_t> half(32 * 24 * 4);
        ASSERT_TRUE(scaler.scale(p.data(), 64, 48, 256, half.data(), 32, 24, 128));
        matched = true;
        for (int y = 0; y < 24 && matched; ++y)
            matched = std::memcmp(buf.data() + y * cam.s.LargeSrcRowBytes, half.data() + y * 128,
                                  128) == 0;
    }
    EXPECT_TRUE(matched);
}

TEST(Delivery, ResizeWhilePreviewingDrawsAtTheNewBounds) {
    ErrorSpy spy;
    LiveCamera cam;
    ASSERT_TRUE(cam.start("lavfi:testsrc2=size=640x480:rate=60", kHalfSize));
    ASSERT_TRUE(idle_until_delivery(cam.c, cam.view));

    setup_size_params(cam.s, kFullSize, true);  // stop, bounds 640 x 480, start preview
    EXPECT_TRUE(cam.grabber().previewing());
    fill_sentinel(cam);
    ASSERT_TRUE(idle_until_delivery(cam.c, cam.view));
    EXPECT_EQ(touched_outside(cam.s, cam.view.lastBuffer, 640, 480), 0);
    int untouched = 0;
    for (uint8_t b : cam.view.lastBuffer) untouched += b == kSentinel;
    EXPECT_LT(untouched, 640 * 480 / 8) << "the full-size frame covers the buffer";

    setup_size_params(cam.s, kHalfSize, true);
    fill_sentinel(cam);
    ASSERT_TRUE(idle_until_delivery(cam.c, cam.view));
    EXPECT_EQ(touched_outside(cam.s, cam.view.lastBuffer, 320, 240), 0);
    EXPECT_TRUE(alerts().empty());
}

TEST(Delivery, StopActsAtOnceEvenWithAFramePending) {
    LiveCamera cam;
    ASSERT_TRUE(cam.start("lavfi:testsrc2=size=160x120:rate=200"));
    ASSERT_TRUE(idle_until_delivery(cam.c, cam.view));
    // Wait until a picture is decoded and not taken, then stop.
    ASSERT_TRUE(
        cam.reader().waitDecoded(cam.reader().stats().decoded + 1, std::chrono::seconds(20)));
    EXPECT_EQ(cam.grabber().stop(), 0);
    const int before = cam.view.count;
    for (int i = 0; i < 5; ++i) camera_idle(cam.c);
    EXPECT_EQ(cam.view.count, before);
    EXPECT_EQ(cam.grabber().startPreview(), 0);
    EXPECT_TRUE(idle_until_delivery(cam.c, cam.view));
}

TEST(Delivery, BoundsOutsideTheBufferAreRefused) {
    ErrorSpy spy;
    LiveCamera cam;
    ASSERT_TRUE(cam.start("lavfi:testsrc2=size=320x240:rate=30"));
    Rect16 tooWide;
    tooWide.bottom = 240;
    tooWide.right = 321;
    EXPECT_EQ(cam.grabber().setChannelBounds(tooWide), kParamErr);
    Rect16 oneRowTooTall;
    oneRowTooTall.bottom = 241;
    oneRowTooTall.right = 320;
    EXPECT_EQ(cam.grabber().setChannelBounds(oneRowTooTall), kParamErr);
    Rect16 whole;
    whole.bottom = 240;
    whole.right = 320;
    EXPECT_EQ(cam.grabber().setChannelBounds(whole), 0);
    Rect16 half;
    half.bottom = 120;
    half.right = 160;
    ASSERT_EQ(cam.grabber().setChannelBounds(half), 0);
    Rect16 empty;
    EXPECT_EQ(cam.grabber().setChannelBounds(empty), kParamErr);
    // A working size the buffer cannot hold is reported and leaves the old bounds in force.
    cam.s.Width = 400;
    change_camera_size(cam.s, true);
    ASSERT_EQ(alerts().size(), 1u);
    EXPECT_EQ(alerts()[0], "SGSetChannelBounds -50");
    EXPECT_EQ(cam.c.theVideoChannel->bounds, (Rect16{0, 0, 120, 160}));
}

TEST(Delivery, PictureSizeChangeMidStreamIsScaledToTheBounds) {
    TempDir dir;
    ClipSettings a;
    a.path = dir.path("a.ts");
    a.codec = "mpeg2video";
    a.pixelFormat = "yuv420p";
    a.width = 320;
    a.height = 240;
    a.frames = 6;
    ClipSettings b = a;
    b.path = dir.path("b.ts");
    b.width = 640;
    b.height = 360;
    ASSERT_EQ(write_clip(a), "");
    ASSERT_EQ(write_clip(b), "");
    const std::string joined = dir.path("ab.ts");
    {
        std::ofstream out(joined, std::ios::binary);
        for (const std::string& p : {a.path, b.path}) {
            std::ifstream in(p, std::ios::binary);
            out << in.rdbuf();
        }
    }
    // The render tool reads every picture, so both sizes certainly pass through.
    int status = 0;
    std::string error;
    std::unique_ptr<AvInput> in = AvInput::open(joined, false, status, error);
    ASSERT_TRUE(in) << error;
    ASSERT_EQ(in->findStreamInfo(), 0);
    ASSERT_EQ(in->openVideo(), 0);
    ArgbFrame f;
    bool sawLarge = false;
    while (in->read(f) == AvInput::Read::Frame) sawLarge = sawLarge || f.width == 640;
    ASSERT_TRUE(sawLarge);

    // Live: every delivery stays inside the 160 x 120 corner, whatever the picture's size.
    LiveCamera cam;
    ASSERT_TRUE(cam.start(joined));
    ASSERT_EQ(cam.s.Width, 160);
    for (int i = 0; i < 12; ++i) {
        fill_sentinel(cam);
        ASSERT_TRUE(idle_until_delivery(cam.c, cam.view));
        ASSERT_EQ(touched_outside(cam.s, cam.view.lastBuffer, 160, 120), 0) << "delivery " << i;
    }
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

TEST(GrabComplete, WithoutTheDoneFlagNothingIsIngested) {
    LiveCamera cam;
    ASSERT_TRUE(cam.start("lavfi:testsrc2=size=160x120:rate=30"));
    ViewState v;
    IngestingReceiver ingest(cam.s, v);
    v.count = 2;  // past the two dropped deliveries of the launch

    // Outside an idle call no picture is complete: done stays 0 and the view sees nothing.
    uint8_t done = 1;
    EXPECT_EQ(MyGrabCompleteFunction(cam.c.theVideoChannel, 0, &done, &ingest), 0);
    EXPECT_EQ(done, 0);
    EXPECT_EQ(v.count, 2);
    EXPECT_EQ(cam.s.Depth, 0);

    // A failing status skips the ingestion too.
    done = 1;
    EXPECT_EQ(MyGrabCompleteFunction(nullptr, 0, &done, &ingest), kParamErr);
    EXPECT_EQ(v.count, 2);

    // Inside the idle call the same callback ingests the picture.
    ASSERT_TRUE(install_grab_complete(cam.c, &ingest));
    CameraReader& r = cam.reader();
    const long long taken = r.stats().taken;
    for (int i = 0; i < 1000 && r.stats().taken == taken; ++i) {
        camera_idle(cam.c);
        r.waitDecoded(r.stats().decoded + 1, std::chrono::milliseconds(50));
    }
    EXPECT_EQ(v.count, 3);
    EXPECT_EQ(cam.s.Depth, 1);
    EXPECT_EQ(cam.s.SFIndex, 1);
}

TEST(Reader, SlowConsumerGetsOnlyTheNewestPictures) {
    TempDir dir;
    ClipSettings clip;
    clip.path = dir.path("fast.mov");
    clip.width = 32;
    clip.height = 16;
    clip.frames = 1000;
    clip.fps = 200;
    ASSERT_EQ(write_clip(clip), "");

    LiveCamera cam;
    ASSERT_TRUE(cam.start(clip.path, kFullSize));
    CameraReader& r = cam.reader();
    int last = -1, deliveries = 0, skips = 0;
    while (deliveries < 8) {
        // The consumer is slow: three pictures are decoded before each idle call.
        ASSERT_TRUE(r.waitDecoded(r.stats().decoded + 3, std::chrono::seconds(20)));
        const int before = cam.view.count;
        camera_idle(cam.c);
        ASSERT_EQ(cam.view.count, before + 1);
        const int n =
            pattern_number(cam.view.lastBuffer.data(), cam.s.LargeSrcRowBytes, 32, 16, 1000);
        ASSERT_GE(n, 0);
        if (n <= last) break;  // the clip started over; stop before mixing passes
        skips += last >= 0 && n - last > 1;
        last = n;
        ++deliveries;
    }
    const CameraReader::Stats st = r.stats();
    EXPECT_GE(deliveries, 2);
    EXPECT_EQ(skips, deliveries - 1) << "every delivery skips the pictures decoded meanwhile";
    EXPECT_GE(st.dropped, 2 * st.taken - 2) << "stale pictures are dropped, not queued";
    EXPECT_LE(st.decoded - st.taken - st.dropped, 1) << "at most one picture waits";
}

TEST(Reader, NoPictureIsDeliveredTwice) {
    LiveCamera cam;
    ASSERT_TRUE(cam.start("lavfi:testsrc2=size=64x48:rate=100:duration=0.05"));
    CameraReader& r = cam.reader();
    // The source ends after five pictures; the newest of them is delivered once, then nothing.
    r.waitDecoded(1000, std::chrono::seconds(20));
    ASSERT_TRUE(r.finished());
    camera_idle(cam.c);
    EXPECT_EQ(cam.view.count, 1);
    EXPECT_EQ(r.stats().taken, 1);
    EXPECT_EQ(r.stats().decoded, 5);
    EXPECT_EQ(SGIdle(cam.c.theSeqGrabber.get()), kCameraEndedErr);
    // The next tick finds the input ended: the camera is lost, and nothing more is delivered.
    for (int i = 0; i < 3; ++i) camera_idle(cam.c);
    EXPECT_EQ(cam.view.count, 1);
    EXPECT_TRUE(cam.c.cameraLost);
}

TEST(Reader, VideoFileStartsOverAtItsEnd) {
    TempDir dir;
    ClipSettings clip;
    clip.path = dir.path("short.mov");
    clip.width = 32;
    clip.height = 16;
    clip.frames = 3;
    clip.fps = 100;
    ASSERT_EQ(write_clip(clip), "");
    LiveCamera cam;
    ASSERT_TRUE(cam.start(clip.path, kFullSize));
    std::vector<int> seen;
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(idle_until_delivery(cam.c, cam.view));
        seen.push_back(
            pattern_number(cam.view.lastBuffer.data(), cam.s.LargeSrcRowBytes, 32, 16, 3));
    }
    int wraps = 0;
    for (size_t i = 1; i < seen.size(); ++i) wraps += seen[i] <= seen[i - 1];
    EXPECT_GE(wraps, 2) << "ten deliveries of a three-picture clip";
    EXPECT_FALSE(cam.reader().finished());
}

TEST(Reader, CloseJoinsTheThreadAndEndsDelivery) {
    LiveCamera cam;
    ASSERT_TRUE(cam.start("demo"));
    ASSERT_TRUE(idle_until_delivery(cam.c, cam.view));
    close_camera(cam.c);
    close_camera(cam.c);
    const int before = cam.view.count;
    camera_idle(cam.c);
    EXPECT_EQ(cam.view.count, before);
    EXPECT_FALSE(cam.grabber().previewing());
}

// A 64 x 48 clip of PNG pictures, each picture a packet of its own.
ClipSettings png_clip(const std::string& path, int frames, int fps) {
    ClipSettings clip;
    clip.path = path;
    clip.codec = "png";
    clip.pixelFormat = "rgba";
    clip.width = 64;
    clip.height = 48;
    clip.frames = frames;
    clip.fps = fps;
    return clip;
}

class DamagedClip : public ::testing::Test {
protected:
    void SetUp() override {
        clip = png_clip(dir.path("clip.nut"), 20, 100);
        ASSERT_EQ(write_clip(clip), "");
        std::ifstream in(clip.path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    std::string save(const std::string& name, const std::vector<char>& data) {
        const std::string p = dir.path(name);
        std::ofstream(p, std::ios::binary)
            .write(data.data(), static_cast<std::streamsize>(data.size()));
        return p;
    }
    std::string corrupt() {
        std::vector<char> d = bytes;
        for (size_t i = d.size() / 2; i < d.size() / 2 + 300; ++i) d[i] = static_cast<char>(i * 37);
        return save("corrupt.nut", d);
    }
    // The pictures from the 5th to the 14th overwritten: ten bad pictures in a row.
    std::string run_of_bad() {
        std::vector<char> d = bytes;
        const std::string png = "\x89PNG";
        std::vector<size_t> starts;
        for (auto i = std::search(d.begin(), d.end(), png.begin(), png.end()); i != d.end();
             i = std::search(i + 1, d.end(), png.begin(), png.end()))
            starts.push_back(static_cast<size_t>(i - d.begin()));
        if (starts.size() < 15) return "";
        // The first half of each picture's PNG data, so that the container stays readable.
        for (size_t k = 4; k < 14; ++k)
            for (size_t i = starts[k]; i < starts[k] + (starts[k + 1] - starts[k]) / 2; ++i)
                d[i] = static_cast<char>(i * 37);
        return save("bad-run.nut", d);
    }
    std::string truncated() {
        return save("truncated.nut",
                    std::vector<char>(bytes.begin(), bytes.begin() + bytes.size() * 6 / 10));
    }
    TempDir dir;
    ClipSettings clip;
    std::vector<char> bytes;
};

TEST_F(DamagedClip, LiveCameraSkipsBadPicturesAndKeepsPlaying) {
    for (const std::string& path : {corrupt(), truncated(), run_of_bad()}) {
        ASSERT_FALSE(path.empty());
        ErrorSpy spy;
        LiveCamera cam;
        ASSERT_TRUE(cam.start(path)) << path;
        for (int i = 0; i < 25; ++i)
            ASSERT_TRUE(idle_until_delivery(cam.c, cam.view)) << path << " " << i;
        EXPECT_TRUE(alerts().empty());
    }
}

TEST_F(DamagedClip, LiveFileWithNothingDecodableEndsTheReader) {
    // Everything from the first picture's PNG signature on is overwritten.
    std::vector<char> d = bytes;
    const std::string png = "\x89PNG";
    const auto first = std::search(d.begin(), d.end(), png.begin(), png.end());
    ASSERT_NE(first, d.end());
    for (auto i = first; i != d.end(); ++i) *i = static_cast<char>((i - d.begin()) * 37);
    ErrorSpy spy;
    LiveCamera cam;
    ASSERT_TRUE(cam.start(save("garbage.nut", d)));
    // The reader gives up instead of starting over forever.
    EXPECT_FALSE(cam.reader().waitDecoded(1, std::chrono::seconds(20)));
    EXPECT_TRUE(cam.reader().finished());
    EXPECT_EQ(SGIdle(cam.c.theSeqGrabber.get()), kCameraEndedErr);
    EXPECT_EQ(cam.view.count, 0);
    EXPECT_TRUE(alerts().empty());
}

TEST_F(DamagedClip, HeaderOnlyFileCannotBeOpened) {
    ErrorSpy spy;
    PipelineState s;
    CaptureState c;
    c.cameraSource = save("header.nut", std::vector<char>(bytes.begin(), bytes.begin() + 40));
    EXPECT_FALSE(setup_camera(s, c));
    ASSERT_EQ(alerts().size(), 1u);
    EXPECT_EQ(alerts()[0], "OpenDefaultComponent SeqGrabComponentType");
}

TEST_F(DamagedClip, RenderModeStopsAtTheBadPictureNamingTheInput) {
    for (const std::string& path : {corrupt(), truncated()}) {
        int status = 0;
        std::string error;
        std::unique_ptr<AvInput> in = AvInput::open(path, false, status, error);
        ASSERT_TRUE(in);
        ASSERT_EQ(in->findStreamInfo(), 0);
        ASSERT_EQ(in->openVideo(), 0);
        ArgbFrame f;
        int good = 0;
        AvInput::Read r;
        while ((r = in->read(f)) == AvInput::Read::Frame) ++good;
        EXPECT_EQ(r, AvInput::Read::Error) << path;
        EXPECT_GT(good, 0);
        EXPECT_LT(good, 20);
        EXPECT_NE(in->status(), 0);
        EXPECT_EQ(
            in->error().rfind(path + ": cannot decode picture " + std::to_string(good + 1), 0), 0u)
            << in->error();
    }
}

// Files and libavfilter graphs play at their own frame rate, not as fast as they decode: 10
// pictures a second give about 10 in a second (generous bounds for a loaded machine).
TEST(Reader, FilesAndGraphsArePacedAtTheirFrameRate) {
    TempDir dir;
    const ClipSettings clip = png_clip(dir.path("slow.nut"), 100, 10);
    ASSERT_EQ(write_clip(clip), "");
    for (const std::string& source :
         {clip.path, std::string("lavfi:testsrc2=size=64x48:rate=10")}) {
        ErrorSpy spy;
        LiveCamera cam;
        ASSERT_TRUE(cam.start(source)) << source;
        ASSERT_TRUE(cam.reader().waitDecoded(1, std::chrono::seconds(20))) << source;
        std::this_thread::sleep_for(std::chrono::seconds(1));
        const long long decoded = cam.reader().stats().decoded;
        EXPECT_GE(decoded, 3) << source;
        EXPECT_LE(decoded, 25) << source;
    }
}

TEST(Reader, AnInterruptedInputEndsItsReads) {
    int status = 0;
    std::string error;
    std::unique_ptr<AvInput> in = AvInput::open("lavfi:testsrc2=size=64x48", true, status, error);
    ASSERT_TRUE(in) << error;
    ASSERT_EQ(in->findStreamInfo(), 0);
    ASSERT_EQ(in->openVideo(), 0);
    ArgbFrame f;
    ASSERT_EQ(in->read(f), AvInput::Read::Frame);
    in->interrupt();
    EXPECT_EQ(in->read(f), AvInput::Read::End);
}
