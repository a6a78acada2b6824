// SPDX-License-Identifier: MIT
// Every kind of camera source against what the grabber makes of it: the camera buffer's size
// (at most 480 lines) and pictures that keep coming, or the alert and its cause in plain words.
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <fstream>

extern "C" {
#include <libavutil/error.h>
}

#include "QTMovie.h"
#include "av_camera.h"
#include "camera_test_support.h"
#include "clip_writer.h"
#include "frame_history.h"
#include "seq_grabber.h"
#include "v4l2_devices.h"

namespace {

void save(const std::string& path, const std::vector<char>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The clips of the table: a generated one, damaged copies of a clip of PNG pictures (one packet
// each).
bool write_clips(const TempDir& dir) {
    ClipSettings plain, png;
    plain.path = dir.path("clip.mov");
    plain.fps = png.fps = 100;
    png.path = dir.path("clip.nut");
    png.codec = "png";
    png.pixelFormat = "rgba";
    png.frames = 20;
    if (!write_clip(plain).empty() || !write_clip(png).empty()) return false;
    const std::vector<char> bytes = file_bytes(png.path);
    std::vector<char> d = bytes;
    for (size_t i = d.size() / 2; i < d.size() / 2 + 300; ++i) d[i] = static_cast<char>(i * 37);
    save(dir.path("corrupt.nut"), d);
    save(dir.path("truncated.nut"), {bytes.begin(), bytes.begin() + bytes.size() * 6 / 10});
    save(dir.path("header.nut"), {bytes.begin(), bytes.begin() + 40});
    // The first half of the 5th to the 14th picture: ten bad pictures in a row.
    const std::string sig = "\x89PNG";
    std::vector<size_t> at;
    for (auto i = std::search(bytes.begin(), bytes.end(), sig.begin(), sig.end()); i != bytes.end();
         i = std::search(i + 1, bytes.end(), sig.begin(), sig.end()))
        at.push_back(static_cast<size_t>(i - bytes.begin()));
    if (at.size() < 15) return false;
    d = bytes;
    for (size_t k = 4; k < 14; ++k)
        for (size_t i = at[k]; i < (at[k] + at[k + 1]) / 2; ++i) d[i] = static_cast<char>(i * 37);
    save(dir.path("bad-run.nut"), d);
    return true;
}

// text with each "@" replaced by the directory of the clips, written on first use.
std::string in_clips(std::string text) {
    static const TempDir dir;
    static const bool written = write_clips(dir);
    EXPECT_TRUE(written);
    for (size_t at; (at = text.find('@')) != std::string::npos;) text.replace(at, 1, dir.path(""));
    return text;
}

struct SourceCase {
    const char* name;
    std::string source;  // "@" stands for the directory of the clips
    int width, height;   // of the camera buffer; 0 when the source cannot be opened
    std::string alert{}, cause{};  // then the alert and its cause
    const char* locale = "C";  // the user's locale while it is opened
};
void PrintTo(const SourceCase& k, std::ostream* os) { *os << k.name; }

const std::string kOpenAlert = "OpenDefaultComponent SeqGrabComponentType";
const std::string kGray = "lavfi:color=c=gray:rate=100:size=";

class Source : public ::testing::TestWithParam<SourceCase> {
protected:
    void TearDown() override { std::setlocale(LC_ALL, "C"); }
};

}  // namespace

TEST_P(Source, GivesPicturesOrSaysWhyNot) {
    const SourceCase& k = GetParam();
    if (k.source.empty() && !list_v4l2_devices().empty()) GTEST_SKIP() << "a camera is attached";
    ASSERT_NE(std::setlocale(LC_ALL, k.locale), nullptr)
        << k.locale << " is not installed; scripts/install-deps.sh generates it";
    ErrorSpy spy;
    LiveCamera cam;
    const bool opened = cam.start(in_clips(k.source));
    if (k.width == 0) {
        EXPECT_FALSE(opened);
        ASSERT_EQ(alerts(), std::vector<std::string>{k.alert});
        EXPECT_EQ(ErrorSpy::calls()[0].cause, in_clips(k.cause));
        EXPECT_EQ(cam.s.grabber, nullptr);
        return;
    }
    ASSERT_TRUE(opened) << ::testing::PrintToString(alerts());
    EXPECT_EQ(cam.c.theGWorld->bounds, (Rect16{0, 0, int16_t(k.height), int16_t(k.width)}));
    EXPECT_EQ(cam.s.LargeWidth, k.width);
    EXPECT_EQ(cam.s.LargeHeight, k.height);
    EXPECT_EQ(cam.s.LargeSrcRowBytes, 4 * k.width);
    EXPECT_EQ(cam.s.Width, k.width / 2);
    // Files start over at their end and skip what they cannot decode.
    for (int i = 0; i < 25; ++i) ASSERT_TRUE(idle_until_delivery(cam.c, cam.view)) << i;
    EXPECT_TRUE(alerts().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Each, Source,
    ::testing::Values(
        SourceCase{"Demo", "demo", 640, 480},
        SourceCase{"Hd720", kGray + "1280x720", 853, 480},
        SourceCase{"Uxga", kGray + "1600x1200", 640, 480},
        SourceCase{"Exactly480Lines", kGray + "720x480", 720, 480},
        SourceCase{"Small", kGray + "176x144", 176, 144},
        SourceCase{"File", "@clip.mov", 64, 48},
        SourceCase{"CorruptFile", "@corrupt.nut", 64, 48},
        SourceCase{"TruncatedFile", "@truncated.nut", 64, 48},
        SourceCase{"TenBadPicturesInARow", "@bad-run.nut", 64, 48},
        SourceCase{"DemoUnderDecimalComma", "demo", 640, 480, "", "", "de_DE.UTF-8"},
        SourceCase{"DecimalGraphUnderDecimalComma", "lavfi:testsrc2=size=64x48:rate=50.5", 64, 48,
                   "", "", "fr_FR.UTF-8"},
        SourceCase{"MissingFile", "@missing.mov", 0, 0, kOpenAlert,
                   "@missing.mov: No such file or directory"},
        SourceCase{"HeaderOnly", "@header.nut", 0, 0, kOpenAlert,
                   "@header.nut: Invalid data found when processing input"},
        SourceCase{"MissingDevice", "/dev/video9", 0, 0, kOpenAlert,
                   "/dev/video9: No such file or directory"},
        SourceCase{"NotADevice", "/dev/null", 0, 0, kOpenAlert, "/dev/null: not a video device"},
        SourceCase{"DirectoryAsDevice", "v4l2:@", 0, 0, kOpenAlert, "v4l2:@: Is a directory"},
        SourceCase{"BadGraph", "lavfi:testsrc3", 0, 0, kOpenAlert,
                   "lavfi:testsrc3: No such filter: 'testsrc3'"},
        SourceCase{"BadOption", "lavfi:testsrc2=speed=2", 0, 0, kOpenAlert,
                   "lavfi:testsrc2=speed=2: Option 'speed' not found"},
        SourceCase{"NoVideo", "lavfi:sine=frequency=440", 0, 0,
                   "SGNewChannel " + std::to_string(narrow_status(AVERROR_STREAM_NOT_FOUND)),
                   "lavfi:sine=frequency=440: has no video stream"},
        SourceCase{"NoCamera", "", 0, 0, kOpenAlert, "no camera found"}),
    [](const auto& info) { return std::string(info.param.name); });

// Read once through, as the render tool reads, a damaged clip stops at its first bad picture.
TEST(SourceReadOnce, StopsAtTheFirstBadPictureNamingIt) {
    for (const std::string& path : {in_clips("@corrupt.nut"), in_clips("@truncated.nut")}) {
        std::unique_ptr<AvInput> in = open_clip(path);
        ASSERT_TRUE(in) << path;
        ArgbFrame f;
        int good = 0;
        AvInput::Read r;
        while ((r = in->read(f)) == AvInput::Read::Frame) ++good;
        EXPECT_EQ(r, AvInput::Read::Error) << path;
        EXPECT_GT(good, 0);
        EXPECT_LT(good, 20);
        EXPECT_NE(in->status(), 0);
        EXPECT_EQ(in->error().rfind(path + ": cannot decode picture " + std::to_string(good + 1), 0),
                  0u)
            << in->error();
    }
}
