// SPDX-License-Identifier: MIT
// The virtual camera of the window and of the render tool, taken by GStreamer's pipewiresrc
// from a private PipeWire daemon.
#include <QAction>
#include <QLabel>
#include <QSettings>
#include <QTemporaryDir>
#include <memory>

#include "pipewire_daemon.h"
#include "window_fixture.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

constexpr int kW = 64, kH = 48;  // the stand-in camera's size

// Frame n of the stand-in camera as the plain, mirrored picture, in BGRx.
Bytes mirrored_bgrx(int n) {
    Bytes b;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            for (int c : {2, 1, 0, 3})
                b.push_back(c < 3 ? testcam::pattern(n, kW - 1 - x, y, c) : 0xFF);
    return b;
}

// The window on fresh settings and a private daemon, started with --virtual-camera=NAME as
// argument() says and with the switch stored as stored() says (null: none, nothing stored).
class VirtualCameraWindow : public WindowTest {
protected:
    virtual const char* argument() const { return "wobble-window"; }
    virtual const char* stored() const { return nullptr; }
    void SetUp() override {
        QSettings().clear();
        if (stored()) QSettings().setValue("virtualCamera", stored());
        if (argument())
            controller.virtualCameraArgument = std::make_unique<std::string>(argument());
        std::string why;
        if (!daemon.start(why)) GTEST_SKIP() << "no PipeWire daemon: " << why;
        WindowTest::SetUp();
        item = controller.virtualCameraMenuItem;
        ASSERT_NE(item, nullptr);
    }
    void TearDown() override {
        controller.virtualCamera.reset();
        daemon.stop();
        WindowTest::TearDown();
    }

    PipeWireDaemon daemon;
    QAction* item = nullptr;
};

struct StoredRow {
    const char* name;
    const char* stored;
    bool on;
    friend void PrintTo(const StoredRow& row, std::ostream* os) { *os << row.name; }
};

class VirtualCameraStored : public VirtualCameraWindow,
                            public ::testing::WithParamInterface<StoredRow> {
    const char* argument() const override { return nullptr; }
    const char* stored() const override { return GetParam().stored; }
};

}  // namespace

// Nobody watching, each drawn picture is dropped at once. Then what the window shows goes out
// at the camera size, mirrored, and the format stays the same when Full Size is switched on;
// the indicator shows while the consumer takes pictures.
TEST_F(VirtualCameraWindow, DeliversThePicturesAsShownAtTheCameraSize) {
    EXPECT_TRUE(item->isChecked());
    CameraConsumer consumer(daemon.dir(), "window");
    const int status = launch([&] {
        ui->normalSwitch->click();
        EXPECT_TRUE(testcam::wait_until([&] { return view->picturesDrawn() >= 3; }));
        ASSERT_NE(controller.virtualCamera, nullptr);
        const VirtualCamera::Stats st = controller.virtualCamera->stats();
        EXPECT_TRUE(st.fed == view->picturesDrawn() && st.dropped == st.fed && st.sent == 0)
            << st.fed << " fed, " << st.dropped << " dropped, " << st.sent << " sent";
        EXPECT_FALSE(controller.virtualCameraIndicator->isVisible());
        ASSERT_TRUE(consumer.start("wobble-window", "BGRx", 24));
        EXPECT_TRUE(testcam::wait_until(
            [&] { return controller.virtualCameraIndicator->isVisible(); }, 30000));
        const long long drawn = view->picturesDrawn();
        testcam::wait_until([&] { return view->picturesDrawn() >= drawn + 8; });
        ui->sizeSwitch->click();
        testcam::wait_until([&] { return !consumer.running(); }, 30000);
        EXPECT_TRUE(
            testcam::wait_until([&] { return !controller.virtualCameraIndicator->isVisible(); }));
        QCoreApplication::exit(0);
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(consumer.wait(1s), 0) << consumer.log();
    const Bytes got = consumer.bytes();
    const size_t size = 4u * kW * kH;
    ASSERT_EQ(got.size(), 24 * size);  // one format for the whole run: the camera's size
    // The last pictures are full size: exactly frames of the camera, mirrored, in order.
    int n = 0, exact = 0;
    for (size_t at = 16 * size; at < got.size(); at += size) {
        while (n < testcam::camera().frame &&
               !std::equal(got.begin() + at, got.begin() + at + size, mirrored_bgrx(n).begin()))
            ++n;
        exact += n++ < testcam::camera().frame;
    }
    EXPECT_EQ(exact, 8) << "full-size pictures that are not frames as shown";
}

// The menu item starts as stored (anything unclear is off) and its switch is remembered.
TEST_P(VirtualCameraStored, StartsAsStoredAndRemembersTheSwitch) {
    EXPECT_TRUE(item->isEnabled());
    EXPECT_EQ(item->isChecked(), GetParam().on);
    item->trigger();
    EXPECT_EQ(item->isChecked(), !GetParam().on);
    EXPECT_EQ(QSettings().value("virtualCamera").toBool(), !GetParam().on);
}

INSTANTIATE_TEST_SUITE_P(Settings, VirtualCameraStored,
                         ::testing::Values(StoredRow{"Nothing", nullptr, false},
                                           StoredRow{"On", "true", true},
                                           StoredRow{"Garbage", "maybe", false}),
                         [](const auto& info) { return std::string(info.param.name); });

// The window asked for the camera on the command line, on an empty runtime directory.
class VirtualCameraNoDaemon : public WindowTest {
protected:
    void SetUp() override {
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
        qunsetenv("PIPEWIRE_REMOTE");
        controller.virtualCameraArgument = std::make_unique<std::string>("");
        testing::internal::CaptureStderr();
        WindowTest::SetUp();
    }
    void TearDown() override {
        WindowTest::TearDown();
        oldRuntime.isNull() ? qunsetenv("XDG_RUNTIME_DIR") : qputenv("XDG_RUNTIME_DIR", oldRuntime);
    }
    QTemporaryDir runtime;
    const QByteArray oldRuntime = qgetenv("XDG_RUNTIME_DIR");
};

// Without a daemon the window runs as ever; the item is off, disabled and says why, and so does
// the program, once.
TEST_F(VirtualCameraNoDaemon, TheWindowRunsAndSaysSoOnce) {
    const int status = launch([&] {
        EXPECT_TRUE(testcam::wait_until([&] { return view->picturesDrawn() >= 10; }));
        QCoreApplication::exit(0);
    });
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 0);
    size_t times = 0;
    for (size_t at = 0; (at = said.find("no PipeWire daemon is reachable", at)) != said.npos; ++at)
        ++times;
    EXPECT_EQ(times, 1u) << said;
    const QAction* item = controller.virtualCameraMenuItem;
    ASSERT_NE(item, nullptr);
    EXPECT_FALSE(item->isEnabled() || item->isChecked() || item->toolTip().isEmpty());
    EXPECT_EQ(controller.virtualCamera, nullptr);
}

// The render tool's pictures reach the consumer as the .rgb output has them, every one; with
// --loop the input starts over: a clip of 15 frames (12 pictures) gives 37 pictures for 40
// frames, of which the consumer takes 30.
TEST(RenderToCamera, PicturesArriveAsInTheRgbOutputAndTheInputLoops) {
    PipeWireDaemon daemon;
    std::string why;
    if (!daemon.start(why)) GTEST_SKIP() << "no PipeWire daemon: " << why;
    const std::string dir = daemon.dir();
    std::vector<std::string> args{WOBBLESCOPE_BIN, "render", "--quiet", "--size", "full",
                                  "--effect", "wave", "--seed", "5",
                                  "lavfi:testsrc2=size=64x48:rate=30:duration=0.5",
                                  dir + "/out.rgb"};
    ASSERT_EQ(wait_program(spawn_program(args, dir + "/file.log"), 30s), 0);
    args.back() = "pipewire:wobble-render";
    args.insert(args.end() - 1, {"--loop", "--frames", "40"});
    const pid_t tool = spawn_program(args, dir + "/render.log");
    for (int i = 0; i < 3000 && read_text(dir + "/render.log").find("waiting for a program") ==
                                    std::string::npos; ++i)
        std::this_thread::sleep_for(10ms);
    CameraConsumer consumer(dir, "render");
    ASSERT_TRUE(consumer.start("wobble-render", "BGRx", 30));
    EXPECT_EQ(consumer.wait(30s), 0) << consumer.log();
    EXPECT_EQ(wait_program(tool, 30s), 0) << read_text(dir + "/render.log");
    const std::string rgb = read_text(dir + "/out.rgb");
    const Bytes got = consumer.bytes();
    ASSERT_EQ(rgb.size(), 12u * kW * kH * 3);
    ASSERT_EQ(got.size(), 30u * kW * kH * 4);
    for (size_t i = 0, j = 0; i < rgb.size(); i += 3, j += 4) {
        const Bytes bgr{got[j + 2], got[j + 1], got[j]};  // R, G, B of the camera's picture
        ASSERT_EQ(Bytes(rgb.begin() + i, rgb.begin() + i + 3), bgr) << "byte " << i;
    }
}

// An empty camera name ends the program with status 2 and says what to do.
TEST(VirtualCameraArgument, AnEmptyNameIsRefused) {
    QTemporaryDir dir;
    const std::string log = dir.filePath("out.log").toStdString();
    EXPECT_EQ(wait_program(spawn_program({WOBBLESCOPE_BIN, "--virtual-camera="}, log), 30s), 2);
    EXPECT_NE(read_text(log).find("--virtual-camera= wants a camera name"), std::string::npos)
        << read_text(log);
}
