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
        for (int x = 0; x < kW; ++x) {
            const int sx = kW - 1 - x;
            b.insert(b.end(), {testcam::pattern(n, sx, y, 2), testcam::pattern(n, sx, y, 1),
                               testcam::pattern(n, sx, y, 0), 0xFF});
        }
    return b;
}

int count_of(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// The window with its settings in a directory of its own, and a private daemon unless the test
// runs without one.
class VirtualCameraWindow : public WindowTest {
protected:
    virtual bool withDaemon() const { return true; }
    virtual void beforeLoad() {}

    void SetUp() override {
        ASSERT_TRUE(settingsDir.isValid());
        QSettings::setDefaultFormat(QSettings::IniFormat);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
        QCoreApplication::setOrganizationName(QStringLiteral("WobblescopeTests"));
        QCoreApplication::setApplicationName(QStringLiteral("Wobblescope"));
        QSettings().clear();
        if (withDaemon()) {
            std::string why;
            if (!daemon.start(why)) GTEST_SKIP() << "cannot run a PipeWire daemon here: " << why;
        }
        beforeLoad();
        WindowTest::SetUp();
        item = controller.virtualCameraMenuItem;
        ASSERT_NE(item, nullptr);
    }
    void TearDown() override {
        controller.virtualCamera.reset();
        daemon.stop();
        WindowTest::TearDown();
    }

    QTemporaryDir settingsDir;
    PipeWireDaemon daemon;
    QAction* item = nullptr;
    const std::string node = "wobble-window";
};

class VirtualCameraOnStart : public VirtualCameraWindow {
    void beforeLoad() override {
        controller.virtualCameraArgument = std::make_unique<std::string>(node);
    }
};

// What the window shows goes out at the camera size, mirrored, and the format stays the same
// when Full Size is switched on; the indicator shows while the consumer takes pictures.
TEST_F(VirtualCameraOnStart, DeliversThePicturesAsShownAtTheCameraSize) {
    EXPECT_TRUE(item->isChecked());
    CameraConsumer consumer(daemon.dir(), "window");
    bool indicatorShown = false, indicatorHiddenAfter = false;
    const int status = launch([&] {
        ui->normalSwitch->click();
        EXPECT_TRUE(testcam::wait_until([&] { return view->picturesDrawn() >= 3; }));
        ASSERT_TRUE(consumer.start(node, "BGRx", 24));
        indicatorShown = testcam::wait_until(
            [&] { return controller.virtualCameraIndicator->isVisible(); }, 30000);
        const long long drawn = view->picturesDrawn();
        testcam::wait_until([&] { return view->picturesDrawn() >= drawn + 8; });
        ui->sizeSwitch->click();
        testcam::wait_until([&] { return !consumer.running(); }, 30000);
        indicatorHiddenAfter =
            testcam::wait_until([&] { return !controller.virtualCameraIndicator->isVisible(); });
        QCoreApplication::exit(0);
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(consumer.wait(1s), 0) << consumer.log();
    EXPECT_TRUE(indicatorShown);
    EXPECT_TRUE(indicatorHiddenAfter);
    // One format for the whole run: the camera's size.
    const std::string log = consumer.log();
    EXPECT_GT(count_of(log, "width=(int)64, height=(int)48"), 0) << log;
    EXPECT_EQ(count_of(log, "width=(int)32"), 0) << log;
    const Bytes got = consumer.bytes();
    const size_t size = 4u * kW * kH;
    ASSERT_EQ(got.size(), 24 * size);
    // The last pictures are full size: exactly frames of the camera, mirrored, in order.
    int last = -1, exact = 0;
    for (size_t at = 16 * size; at < got.size(); at += size) {
        for (int n = last + 1; n < testcam::camera().frame; ++n) {
            if (std::equal(got.begin() + at, got.begin() + at + size, mirrored_bgrx(n).begin())) {
                last = n;
                ++exact;
                break;
            }
        }
    }
    EXPECT_EQ(exact, 8) << "full-size pictures that are not frames as shown";
}

// Nobody watching: each drawn picture is handed over and dropped at once, none is sent.
TEST_F(VirtualCameraOnStart, WithoutConsumerEveryPictureIsDroppedAtOnce) {
    const int status = launch([&] {
        EXPECT_TRUE(testcam::wait_until([&] { return view->picturesDrawn() >= 12; }));
        QCoreApplication::exit(0);
    });
    EXPECT_EQ(status, 0);
    ASSERT_NE(controller.virtualCamera, nullptr);
    const VirtualCamera::Stats st = controller.virtualCamera->stats();
    EXPECT_EQ(st.fed, view->picturesDrawn());
    EXPECT_EQ(st.dropped, st.fed);
    EXPECT_EQ(st.sent, 0);
    EXPECT_FALSE(controller.virtualCameraIndicator->isVisible());
}

struct StoredRow {
    const char* name;
    const char* stored;  // null: nothing stored
    bool on;
};
void PrintTo(const StoredRow& row, std::ostream* os) {
    *os << row.name;
}

class VirtualCameraStored : public VirtualCameraWindow,
                            public ::testing::WithParamInterface<StoredRow> {
    void beforeLoad() override {
        if (GetParam().stored) QSettings().setValue("virtualCamera", GetParam().stored);
    }
};

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

class VirtualCameraNoDaemon : public VirtualCameraWindow {
    bool withDaemon() const override { return false; }
    void beforeLoad() override {
        ASSERT_TRUE(emptyRuntime.isValid());
        qputenv("XDG_RUNTIME_DIR", emptyRuntime.path().toLocal8Bit());
        qunsetenv("PIPEWIRE_REMOTE");
        controller.virtualCameraArgument = std::make_unique<std::string>("");
        ::testing::internal::CaptureStderr();
    }
    void TearDown() override {
        VirtualCameraWindow::TearDown();
        if (oldRuntime.isNull())
            qunsetenv("XDG_RUNTIME_DIR");
        else
            qputenv("XDG_RUNTIME_DIR", oldRuntime);
    }
    QTemporaryDir emptyRuntime;
    const QByteArray oldRuntime = qgetenv("XDG_RUNTIME_DIR");
};

// Without a daemon the window runs as ever; the item says why it is off, and so does the
// program, once.
TEST_F(VirtualCameraNoDaemon, StartsAndSaysSoOnce) {
    const int status = launch([&] {
        EXPECT_TRUE(testcam::wait_until([&] { return view->picturesDrawn() >= 10; }));
        QCoreApplication::exit(0);
    });
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 0);
    EXPECT_EQ(count_of(said, "no PipeWire daemon is reachable"), 1) << said;
    EXPECT_FALSE(item->isEnabled());
    EXPECT_FALSE(item->isChecked());
    EXPECT_FALSE(item->toolTip().isEmpty());
    EXPECT_EQ(controller.virtualCamera, nullptr);
}

struct RenderRow {
    const char* format;
    int r, g, b;  // where red, green and blue are in the consumer's pixels
};
void PrintTo(const RenderRow& row, std::ostream* os) {
    *os << row.format;
}

class CameraRenderTool : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        if (!daemon.start(why)) GTEST_SKIP() << "cannot run a PipeWire daemon here: " << why;
    }
    std::vector<std::string> render(const std::string& output) {
        return {WOBBLESCOPE_BIN, "render",   "--quiet", "--effect",
                "wave",          "--seed",   "5",       "--size",
                "full",          "--frames", "20",      "lavfi:testsrc2=size=64x48:rate=30",
                output};
    }
    PipeWireDaemon daemon;
};

class RenderToCamera : public CameraRenderTool, public ::testing::WithParamInterface<RenderRow> {};

// The render tool's pictures reach the consumer as the .rgb output has them, every one, at
// the input's pace.
TEST_P(RenderToCamera, PicturesArriveAsInTheRgbOutput) {
    const std::string dir = daemon.dir();
    const pid_t tool = spawn_program(render("pipewire:wobble-render"), dir + "/render.log");
    ASSERT_GT(tool, 0);
    const auto end = std::chrono::steady_clock::now() + 30s;
    while (read_text(dir + "/render.log").find("waiting for a program") == std::string::npos) {
        ASSERT_LT(std::chrono::steady_clock::now(), end) << read_text(dir + "/render.log");
        std::this_thread::sleep_for(10ms);
    }
    CameraConsumer consumer(dir, "render");
    ASSERT_TRUE(consumer.start("wobble-render", GetParam().format, 17));
    EXPECT_EQ(consumer.wait(30s), 0) << consumer.log();
    EXPECT_EQ(wait_program(tool, 30s), 0) << read_text(dir + "/render.log");

    const pid_t file = spawn_program(render(dir + "/out.rgb"), dir + "/file.log");
    ASSERT_EQ(wait_program(file, 30s), 0) << read_text(dir + "/file.log");
    const std::string rgb = read_text(dir + "/out.rgb");
    const Bytes got = consumer.bytes();
    ASSERT_EQ(rgb.size(), 17u * kW * kH * 3);
    ASSERT_EQ(got.size(), 17u * kW * kH * 4);
    for (size_t i = 0, j = 0; i < rgb.size(); i += 3, j += 4) {
        ASSERT_EQ(static_cast<uint8_t>(rgb[i]), got[j + GetParam().r]) << "byte " << i;
        ASSERT_EQ(static_cast<uint8_t>(rgb[i + 1]), got[j + GetParam().g]) << "byte " << i;
        ASSERT_EQ(static_cast<uint8_t>(rgb[i + 2]), got[j + GetParam().b]) << "byte " << i;
    }
}

// With --loop the input starts over: a clip of 15 frames (13 pictures) gives 37 pictures for 40
// frames; the consumer takes 30 of them, so a picture dropped on a loaded machine does not
// matter.
TEST_F(CameraRenderTool, LoopStartsTheInputOver) {
    const std::string dir = daemon.dir();
    const pid_t tool = spawn_program(
        {WOBBLESCOPE_BIN, "render", "--quiet", "--loop", "--frames", "40", "--size", "full",
         "lavfi:testsrc2=size=64x48:rate=30:duration=0.5", "pipewire:wobble-loop"},
        dir + "/loop.log");
    ASSERT_GT(tool, 0);
    const auto end = std::chrono::steady_clock::now() + 30s;
    while (read_text(dir + "/loop.log").find("waiting for a program") == std::string::npos) {
        ASSERT_LT(std::chrono::steady_clock::now(), end) << read_text(dir + "/loop.log");
        std::this_thread::sleep_for(10ms);
    }
    CameraConsumer consumer(dir, "loop");
    ASSERT_TRUE(consumer.start("wobble-loop", "BGRx", 30));
    EXPECT_EQ(consumer.wait(30s), 0) << consumer.log();
    EXPECT_EQ(wait_program(tool, 30s), 0) << read_text(dir + "/loop.log");
    EXPECT_EQ(consumer.bytes().size(), 30u * kW * kH * 4);
}

INSTANTIATE_TEST_SUITE_P(Formats, RenderToCamera,
                         ::testing::Values(RenderRow{"BGRx", 2, 1, 0}, RenderRow{"RGBx", 0, 1, 2}),
                         [](const auto& info) { return std::string(info.param.format); });

}  // namespace

namespace {

struct RefusalRow {
    const char* name;
    std::vector<std::string> args;
    const char* says;
};
void PrintTo(const RefusalRow& row, std::ostream* os) {
    *os << row.name;
}

class VirtualCameraRefusal : public ::testing::TestWithParam<RefusalRow> {};

// Bad virtual camera arguments end with status 2 and a message that says what to do.
TEST_P(VirtualCameraRefusal, EndsWithAClearMessage) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    std::vector<std::string> args = {WOBBLESCOPE_BIN};
    args.insert(args.end(), GetParam().args.begin(), GetParam().args.end());
    const std::string log = dir.filePath("out.log").toStdString();
    const pid_t pid = spawn_program(args, log);
    ASSERT_GT(pid, 0);
    EXPECT_EQ(wait_program(pid, 30s), 2) << read_text(log);
    EXPECT_NE(read_text(log).find(GetParam().says), std::string::npos) << read_text(log);
}

const char* const kClip = "lavfi:testsrc2=size=64x48:rate=30";
INSTANTIATE_TEST_SUITE_P(
    Arguments, VirtualCameraRefusal,
    ::testing::Values(
        RefusalRow{"EmptyName", {"--virtual-camera="}, "--virtual-camera= wants a camera name"},
        RefusalRow{"NotALoopbackDevice",
                   {"render", "--frames", "5", kClip, "v4l2:/dev/null"},
                   "/dev/null: not a V4L2 device; load the v4l2loopback module: sudo modprobe"},
        RefusalRow{"LoopIntoAFile",
                   {"render", "--loop", kClip, "/tmp/wobble-never.rgb"},
                   "--loop applies to virtual camera outputs"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
