// SPDX-License-Identifier: MIT
// Why a camera could not be opened, in words a user understands; sources that hold decimals
// under a user's locale; the V4L2 device list and its watch on the device directory.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <clocale>
#include <fstream>

#include "QTMovie.h"
#include "camera_test_support.h"
#include "frame_history.h"
#include "seq_grabber.h"
#include "v4l2_devices.h"

namespace {

struct CauseCase {
    const char* name;
    std::string source;  // "@" stands for the test's directory
    std::string cause;   // likewise
};

void PrintTo(const CauseCase& c, std::ostream* os) {
    *os << c.name;
}

std::string in_dir(std::string text, const std::string& dir) {
    for (size_t at; (at = text.find('@')) != std::string::npos;) text.replace(at, 1, dir);
    return text;
}

class OpenFailure : public ::testing::TestWithParam<CauseCase> {};

}  // namespace

TEST_P(OpenFailure, AlertKeepsItsTextAndGainsTheCause) {
    const CauseCase& row = GetParam();
    if (row.source.empty() && !list_v4l2_devices().empty())
        GTEST_SKIP() << "this machine has a camera";
    TempDir dir;
    const std::string base = dir.path("");
    std::ofstream(dir.path("holiday.mp4")) << "these are not the pictures you are looking for\n";
    ErrorSpy spy;
    PipelineState s;
    CaptureState c;
    c.cameraSource = in_dir(row.source, base);
    EXPECT_FALSE(setup_camera(s, c));
    ASSERT_EQ(ErrorSpy::calls().size(), 1u);
    EXPECT_EQ(ErrorSpy::calls()[0].message, "OpenDefaultComponent SeqGrabComponentType");
    EXPECT_EQ(ErrorSpy::calls()[0].code, 0);
    EXPECT_EQ(ErrorSpy::calls()[0].cause, in_dir(row.cause, base));
    EXPECT_EQ(s.grabber, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    EachCause, OpenFailure,
    ::testing::Values(
        CauseCase{"MissingDevice", "/dev/video9", "/dev/video9: No such file or directory"},
        CauseCase{"NotADevice", "/dev/null", "/dev/null: not a video device"},
        CauseCase{"DirectoryAsDevice", "v4l2:@", "v4l2:@: Is a directory"},
        CauseCase{"MissingFile", "@holiday.mov", "@holiday.mov: No such file or directory"},
        CauseCase{"CorruptFile", "@holiday.mp4",
                  "@holiday.mp4: Invalid data found when processing input"},
        CauseCase{"BadGraph", "lavfi:testsrc3", "lavfi:testsrc3: No such filter: 'testsrc3'"},
        CauseCase{"BadOption", "lavfi:testsrc2=speed=2",
                  "lavfi:testsrc2=speed=2: Option 'speed' not found"},
        CauseCase{"NoCamera", "", "no camera found"}),
    [](const ::testing::TestParamInfo<CauseCase>& info) { return std::string(info.param.name); });

// The number format of the user's locale (a decimal comma) does not reach FFmpeg's parser.
class UserLocale : public ::testing::TestWithParam<const char*> {
protected:
    void TearDown() override { std::setlocale(LC_ALL, "C"); }
};

TEST_P(UserLocale, DemoSceneAndDecimalGraphOpen) {
    ASSERT_NE(std::setlocale(LC_ALL, GetParam()), nullptr)
        << GetParam() << " is not installed; scripts/install-deps.sh generates it";
    ASSERT_EQ(std::string(std::localeconv()->decimal_point), ",");
    for (const char* source : {"demo", "lavfi:testsrc2=size=64x48:rate=12.5"}) {
        ErrorSpy spy;
        PipelineState s;
        CaptureState c;
        CountingReceiver view(s);
        c.cameraSource = source;
        ASSERT_TRUE(setup_camera(s, c)) << source;
        ASSERT_TRUE(create_output_bitmaps(s));
        setup_size_params(s, kHalfSize, false);
        ASSERT_TRUE(install_grab_complete(c, &view) && start_camera(c));
        EXPECT_TRUE(idle_until_delivery(c, view)) << source;
        EXPECT_TRUE(ErrorSpy::calls().empty()) << source;
        close_camera(c);
        release_pipeline(s);
    }
}

INSTANTIATE_TEST_SUITE_P(DecimalComma, UserLocale, ::testing::Values("de_DE.UTF-8", "fr_FR.UTF-8"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param).substr(0, 5);
                         });

// The device directory of the tests: plain files stand in for device nodes, and the card query
// stands in for VIDIOC_QUERYCAP (this machine has no camera).
TEST(HotPlug, WatchSeesVideoNodesComeAndGo) {
    TempDir dir;
    const std::string root = dir.path("");
    const V4l2Probe probe = [](const std::string& path) -> std::optional<std::string> {
        if (path.find("video7") != std::string::npos) return std::nullopt;  // a metadata node
        std::ifstream f(path);
        std::string card;
        std::getline(f, card);
        return card;
    };
    DeviceWatch watch(root.substr(0, root.size() - 1));
    ASSERT_GE(watch.fd(), 0);
    EXPECT_FALSE(watch.changed());

    std::ofstream(dir.path("video10")) << "Second Cam\n";
    std::ofstream(dir.path("video2")) << "USB Camera\n";
    std::ofstream(dir.path("video7")) << "USB Camera metadata\n";
    EXPECT_TRUE(watch.changed());
    std::vector<V4l2Device> found = list_v4l2_devices(root.substr(0, root.size() - 1), probe);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].card, "USB Camera");
    EXPECT_EQ(found[0].path, dir.path("video2"));
    EXPECT_EQ(found[1].card, "Second Cam");

    std::ofstream(dir.path("vide0")) << "not a node\n";
    std::ofstream(dir.path("video1x")) << "not a node\n";
    EXPECT_FALSE(watch.changed());

    ASSERT_EQ(std::remove(dir.path("video2").c_str()), 0);
    EXPECT_TRUE(watch.changed());
    found = list_v4l2_devices(root.substr(0, root.size() - 1), probe);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].card, "Second Cam");
    EXPECT_FALSE(watch.changed());
}

TEST(HotPlug, CardQueryRefusesWhatIsNoCaptureDevice) {
    EXPECT_EQ(query_v4l2_card("/dev/null"), std::nullopt);
    EXPECT_EQ(query_v4l2_card("/dev/video9"), std::nullopt);
}
