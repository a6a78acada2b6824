// SPDX-License-Identifier: MIT
// Every kind of camera source against what the grabber makes of it, and pictures on their way
// from the decoder through the reader thread and the grabber into the camera buffer.
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstring>
#include <fstream>
#include <random>
#include <thread>

extern "C" {
#include <libswscale/swscale.h>
}

#include "QTMovie.h"
#include "av_camera.h"
#include "camera_test_support.h"
#include "clip_writer.h"
#include "frame_history.h"
#include "seq_grabber.h"

using namespace std::chrono_literals;

namespace {

// The clips of the tests: a generated one of 10 pictures, 70 x 46 (an odd number of columns at
// half size), and damaged copies of one of 20 PNG pictures, 64 x 48, one packet each.
bool write_clips(const testkit::TempDir& dir) {
    const ClipSettings plain{.path = dir.path("clip.mov"), .width = 70, .height = 46, .fps = 100};
    ClipSettings png{.path = dir.path("clip.nut"), .codec = "png", .pixelFormat = "rgba"};
    png.frames = 20;
    png.fps = 100;
    if (!write_clip(plain).empty() || !write_clip(png).empty()) return false;
    const std::vector<char> bytes = file_bytes(png.path);
    const std::string sig = "\x89PNG";
    std::vector<size_t> at;  // where each picture starts, then the end
    for (auto i = std::search(bytes.begin(), bytes.end(), sig.begin(), sig.end()); i != bytes.end();
         i = std::search(i + 1, bytes.end(), sig.begin(), sig.end()))
        at.push_back(static_cast<size_t>(i - bytes.begin()));
    at.push_back(bytes.size());
    if (at.size() != 21) return false;
    // The first `keep` bytes, with the first half of the pictures from `first` to `last` spoilt.
    const auto save = [&](const char* name, size_t keep, size_t first, size_t last) {
        std::vector<char> d(bytes.begin(), bytes.begin() + keep);
        for (size_t k = first; k < last; ++k)
            for (size_t i = at[k]; i < (at[k] + at[k + 1]) / 2; ++i)
                d[i] = static_cast<char>(i * 37);
        std::ofstream(dir.path(name), std::ios::binary).write(d.data(), std::streamsize(d.size()));
    };
    save("corrupt.nut", bytes.size(), 10, 11);
    save("truncated.nut", bytes.size() * 6 / 10, 0, 0);
    save("header.nut", 40, 0, 0);
    save("bad-run.nut", bytes.size(), 4, 14);  // ten bad pictures in a row
    save("garbage.nut", bytes.size(), 0, 20);  // nothing decodable
    return true;
}

// text with each "@" replaced by the directory of the clips, written on first use.
std::string in_clips(std::string text) {
    static const testkit::TempDir dir;
    static const bool written = write_clips(dir);
    EXPECT_TRUE(written);
    for (size_t at; (at = text.find('@')) != std::string::npos;) text.replace(at, 1, dir.path(""));
    return text;
}

struct SourceCase {
    const char* name;
    std::string source;            // "@" stands for the directory of the clips
    int width, height;             // of the camera buffer; 0 when the source cannot be opened
    std::string alert{}, cause{};  // then the alert and its cause
    const char* locale = "C";      // the user's locale while it is opened
    int pictures = 25;             // delivered in a row; 0: it ends at once, without a failure
};
void PrintTo(const SourceCase& k, std::ostream* os) {
    *os << k.name;
}

const std::string kOpen = "OpenDefaultComponent SeqGrabComponentType";
const std::string kGray = "lavfi:color=c=gray:rate=100:size=";

class Source : public ::testing::TestWithParam<SourceCase> {
protected:
    void TearDown() override { std::setlocale(LC_ALL, "C"); }
};

constexpr uint8_t kSentinel = 0xAB;

// Picture n of clip.mov at the working size: at half size each byte is the mean of its
// 2 x 2 block, halves rounded up.
std::vector<uint8_t> picture(int n, int size) {
    const std::vector<uint8_t> p = pattern_picture(n, 70, 46);
    if (size == kFullSize) return p;
    std::vector<uint8_t> half(35 * 23 * 4);
    for (size_t i = 0; i < half.size(); ++i) {
        const size_t b = i % 4, x = i / 4 % 35, y = i / 140;
        const auto at = [&](size_t dx, size_t dy) {
            return p[((2 * y + dy) * 70 + 2 * x + dx) * 4 + b];
        };
        half[i] = static_cast<uint8_t>((at(0, 0) + at(1, 0) + at(0, 1) + at(1, 1) + 2) >> 2);
    }
    return half;
}

// Whether the camera buffer at the last delivery holds `want` at the working size in its
// top-left corner and the sentinel everywhere else.
bool buffer_holds(const LiveCamera& cam, const std::vector<uint8_t>& want) {
    const size_t rowBytes = cam.s.LargeSrcRowBytes, w = cam.s.Width, h = cam.s.Height;
    for (size_t y = 0; y < static_cast<size_t>(cam.s.LargeHeight); ++y)
        for (size_t b = 0; b < rowBytes; ++b)
            if (cam.view.lastBuffer[y * rowBytes + b] !=
                (y < h && b < 4 * w ? want[y * 4 * w + b] : kSentinel))
                return false;
    return true;
}

}  // namespace

TEST_P(Source, GivesPicturesOrSaysWhyNot) {
    const SourceCase& k = GetParam();
    if (k.source.empty() && list_cameras().size() > 1) GTEST_SKIP() << "a camera is attached";
    ASSERT_NE(std::setlocale(LC_ALL, k.locale), nullptr)
        << k.locale << " is not installed; scripts/install-deps.sh generates it";
    ErrorSpy spy;
    LiveCamera cam;
    const bool opened = cam.start(in_clips(k.source));
    if (k.width == 0) {
        EXPECT_FALSE(opened);
        ASSERT_EQ(alerts(), std::vector<std::string>{k.alert});
        EXPECT_EQ(ErrorSpy::calls()[0].cause, in_clips(k.cause));
        return;
    }
    ASSERT_TRUE(opened) << ::testing::PrintToString(alerts());
    EXPECT_EQ(cam.c.theGWorld->bounds, (Rect16{0, 0, int16_t(k.height), int16_t(k.width)}));
    // Files start over at their end and skip what they cannot decode.
    for (int i = 0; i < k.pictures; ++i) ASSERT_TRUE(idle_until_delivery(cam.c, cam.view)) << i;
    // A file with nothing decodable ends instead of starting over until it fails.
    cam.c.theSeqGrabber->reader()->waitDecoded(k.pictures + 1, 20s);
    EXPECT_EQ(cam.c.theSeqGrabber->lastError(), "");
    EXPECT_TRUE(alerts().empty());
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Each, Source, ::testing::ValuesIn(std::vector<SourceCase>{
    {"Demo", "demo", 640, 480},
    {"Hd720", kGray + "1280x720", 853, 480},
    {"Uxga", kGray + "1600x1200", 640, 480},
    {"File", "@clip.mov", 70, 46},
    {"CorruptFile", "@corrupt.nut", 64, 48},
    {"TruncatedFile", "@truncated.nut", 64, 48},
    {"TenBadPicturesInARow", "@bad-run.nut", 64, 48},
    {"NothingDecodable", "@garbage.nut", 64, 48, "", "", "C", 0},
    {"DemoUnderDecimalComma", "demo", 640, 480, "", "", "de_DE.UTF-8"},
    {"DecimalGraphUnderDecimalComma", "lavfi:testsrc2=size=64x48:rate=50.5", 64, 48, "", "",
     "fr_FR.UTF-8"},
    {"MissingFile", "@missing.mov", 0, 0, kOpen, "@missing.mov: No such file or directory"},
    {"HeaderOnly", "@header.nut", 0, 0, kOpen,
     "@header.nut: Invalid data found when processing input"},
    {"MissingDevice", "v4l2:/dev/video9", 0, 0, kOpen,
     "v4l2:/dev/video9: No such file or directory"},
    {"NotADevice", "/dev/null", 0, 0, kOpen, "/dev/null: not a video device"},
    {"BadGraph", "lavfi:testsrc3", 0, 0, kOpen, "lavfi:testsrc3: No such filter: 'testsrc3'"},
    {"NoVideo", "lavfi:sine=frequency=440", 0, 0, "SGNewChannel -21496",  // 16 bits of its status
     "lavfi:sine=frequency=440: has no video stream"},
    {"NoCamera", "", 0, 0, kOpen, "no camera found"}}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// Read once through, as the render tool reads, a clip gives its pictures in order with their
// times, and a damaged one stops at its first bad picture.
TEST(SourceReadOnce, StopsAtTheFirstBadPictureNamingIt) {
    for (const std::string& path : {in_clips("@corrupt.nut"), in_clips("@truncated.nut")}) {
        std::unique_ptr<AvInput> in = open_clip(path);
        ASSERT_TRUE(in) << path;
        ArgbFrame f;
        int good = 0;
        AvInput::Read r;
        for (; (r = in->read(f)) == AvInput::Read::Frame; ++good) {
            EXPECT_EQ(f.pixels, pattern_picture(good, 64, 48)) << good;
            EXPECT_NEAR(f.time, good / 100.0, 1e-9);
        }
        EXPECT_EQ(r, AvInput::Read::Error) << path;
        EXPECT_GT(good, 0);
        EXPECT_EQ(
            in->error().rfind(path + ": cannot decode picture " + std::to_string(good + 1), 0), 0u)
            << in->error();
    }
}

// The reader thread keeps only the newest picture, hands it out once, and none decoded before
// a stop.
TEST(Reader, KeepsOnlyTheNewestPictureAndNoneFromBeforeAStop) {
    for (const bool restart : {false, true}) {
        CameraReader reader(open_clip(in_clips("@clip.mov")));  // not live
        reader.start();
        reader.waitDecoded(11, 20s);  // the whole clip, then its end
        ASSERT_TRUE(reader.finished());
        ArgbFrame f;
        if (restart) {
            reader.stop();
            reader.start();
            EXPECT_FALSE(reader.takeNewest(f)) << "the picture decoded before the stop";
        } else {
            ASSERT_TRUE(reader.takeNewest(f));
            EXPECT_EQ(f.pixels, pattern_picture(9, 70, 46));
            EXPECT_FALSE(reader.takeNewest(f)) << "handed out twice";
            EXPECT_EQ(reader.stats().dropped, 9);
        }
    }
}

// Full size gives the clip's pictures byte for byte; half size puts their 2 x 2 means in the
// top-left corner of the buffer, rows a full stride apart, and touches nothing else.
TEST(Delivery, PicturesReachTheCameraBufferAtTheWorkingSize) {
    LiveCamera cam;
    ASSERT_TRUE(cam.start(in_clips("@clip.mov"), kHalfSize));
    for (const int size : {kFullSize, kHalfSize}) {
        setup_size_params(cam.s, size, true);  // stop, new bounds, start the preview
        std::memset(cam.s.srcData, kSentinel, size_t(cam.s.LargeSrcRowBytes) * cam.s.LargeHeight);
        for (int i = 0; i < 3; ++i) {
            ASSERT_TRUE(idle_until_delivery(cam.c, cam.view));
            bool found = false;
            for (int n = 0; n < 10 && !found; ++n) found = buffer_holds(cam, picture(n, size));
            EXPECT_TRUE(found) << "delivery " << i << " at working size " << size;
        }
    }
}

// The grabber draws only inside the camera buffer, and completes a picture only inside the idle
// call; its statuses are 16 bits, and a failure never narrows to success.
TEST(Grabber, RefusesBoundsOutsideTheBufferAndCompletesNothingOutsideIdle) {
    LiveCamera cam;
    ASSERT_TRUE(cam.start("lavfi:testsrc2=size=320x240:rate=30"));
    for (const Rect16& r : {Rect16{0, 0, 240, 321}, Rect16{0, 0, 241, 320}, Rect16{}})
        EXPECT_EQ(cam.c.theSeqGrabber->setChannelBounds(r), kParamErr)
            << r.right << "x" << r.bottom;
    EXPECT_EQ(cam.c.theSeqGrabber->setChannelBounds(Rect16{0, 0, 240, 320}), 0);
    uint8_t done = 1;
    EXPECT_EQ(MyGrabCompleteFunction(cam.c.theVideoChannel, 0, &done, &cam.view), 0);
    EXPECT_EQ(done, 0);
    EXPECT_EQ(MyGrabCompleteFunction(nullptr, 0, &done, &cam.view), kParamErr);
    EXPECT_EQ(cam.view.count, 0);
    EXPECT_EQ(narrow_status(-2), -2);
    EXPECT_NE(narrow_status(-0x10000), 0);
}

// Files and libavfilter graphs play at their own frame rate, not as fast as they decode: 100
// pictures a second give about 100 in a second (generous bounds for a loaded machine).
TEST(Reader, FilesAndGraphsArePacedAtTheirFrameRate) {
    for (const std::string& source : {in_clips("@clip.nut"), std::string(kGray + "64x48")}) {
        LiveCamera cam;
        ASSERT_TRUE(cam.start(source)) << source;
        ASSERT_TRUE(cam.c.theSeqGrabber->reader()->waitDecoded(1, 20s)) << source;
        std::this_thread::sleep_for(1s);
        const long long decoded = cam.c.theSeqGrabber->reader()->stats().decoded;
        EXPECT_GE(decoded, 30) << source;
        EXPECT_LE(decoded, 250) << source;
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
                                   SWS_BILINEAR | SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP, nullptr,
                                   nullptr, nullptr);
    ASSERT_NE(c, nullptr);
    const uint8_t* const in[4] = {src.data()};
    const int inStride[4] = {4 * sw}, outStride[4] = {4 * dw};
    uint8_t* const out[4] = {one.data()};
    EXPECT_EQ(sws_scale(c, in, inStride, 0, sh, out, outStride), dh);
    sws_freeContext(c);
    EXPECT_TRUE(ours == one);
}
