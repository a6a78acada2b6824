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
const std::string kNode = "wobble-window";

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

// The window on fresh settings and a private daemon; the test's beforeLoad runs before the
// window loads.
class VirtualCameraWindow : public WindowTest {
protected:
    virtual bool withDaemon() const { return true; }
    virtual void beforeLoad() {}
    void SetUp() override {
        QSettings().clear();
        std::string why;
        if (withDaemon() && !daemon.start(why)) GTEST_SKIP() << "cannot run a PipeWire daemon here: " << why;
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

    PipeWireDaemon daemon;
    QAction* item = nullptr;
};

class VirtualCameraOnStart : public VirtualCameraWindow {
    void beforeLoad() override {
        controller.virtualCameraArgument = std::make_unique<std::string>(kNode);
    }
};

}  // namespace

// Nobody watching, each drawn picture is dropped at once. Then what the window shows goes out
// at the camera size, mirrored, and the format stays the same when Full Size is switched on;
// the indicator shows while the consumer takes pictures.
TEST_F(VirtualCameraOnStart, DeliversThePicturesAsShownAtTheCameraSize) {
    EXPECT_TRUE(item->isChecked());
    CameraConsumer consumer(daemon.dir(), "window");
    bool indicatorShown = false, indicatorHiddenAfter = false;
    const int status = launch([&] {
        ui->normalSwitch->click();
        EXPECT_TRUE(testcam::wait_until([&] { return view->picturesDrawn() >= 3; }));
        ASSERT_NE(controller.virtualCamera, nullptr);
        const VirtualCamera::Stats st = controller.virtualCamera->stats();
        EXPECT_EQ(st.fed, view->picturesDrawn());
        EXPECT_EQ(st.dropped, st.fed);
        EXPECT_EQ(st.sent, 0);
        EXPECT_FALSE(controller.virtualCameraIndicator->isVisible());
        ASSERT_TRUE(consumer.start(kNode, "BGRx", 24));
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
    EXPECT_NE(log.find("width=(int)64, height=(int)48"), std::string::npos) << log;
    EXPECT_EQ(log.find("width=(int)32"), std::string::npos) << log;
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

namespace {

struct StoredRow {
    const char* name;
    const char* stored;  // null: nothing stored
    bool on;
    friend void PrintTo(const StoredRow& row, std::ostream* os) { *os << row.name; }
};

class VirtualCameraStored : public VirtualCameraWindow,
                            public ::testing::WithParamInterface<StoredRow> {
    void beforeLoad() override {
        if (GetParam().stored) QSettings().setValue("virtualCamera", GetParam().stored);
    }
};

}  // namespace

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

namespace {

// No daemon reachable: the runtime directory is an empty one.
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

}  // namespace

// Without a daemon the window runs as ever; the item says why it is off, and so does the
// program, once.
TEST_F(VirtualCameraNoDaemon, StartsAndSaysSoOnce) {
    const int status = launch([&] {
        EXPECT_TRUE(testcam::wait_until([&] { return view->picturesDrawn() >= 10; }));
        QCoreApplication::exit(0);
    });
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 0);
    const size_t at = said.find("no PipeWire daemon is reachable");
    EXPECT_TRUE(at != std::string::npos && said.rfind("no PipeWire daemon is reachable") == at)
        << said;
    EXPECT_FALSE(item->isEnabled());
    EXPECT_FALSE(item->isChecked());
    EXPECT_FALSE(item->toolTip().isEmpty());
    EXPECT_EQ(controller.virtualCamera, nullptr);
}

namespace {

struct RenderRow {
    const char* format;
    int r, g, b;  // where red, green and blue are in the consumer's pixels
    friend void PrintTo(const RenderRow& row, std::ostream* os) { *os << row.format; }
};

class CameraRenderTool : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        if (!daemon.start(why)) GTEST_SKIP() << "cannot run a PipeWire daemon here: " << why;
    }
    // Starts `wobblescope render args... output`; a camera output is waited for until it waits
    // for a program.
    pid_t start(std::vector<std::string> args, const std::string& output, const std::string& log) {
        args.insert(args.begin(), {WOBBLESCOPE_BIN, "render", "--quiet", "--size", "full"});
        args.push_back(output);
        const pid_t tool = spawn_program(args, daemon.dir() + "/" + log);
        const auto end = std::chrono::steady_clock::now() + 30s;
        while (output.find(':') != std::string::npos && std::chrono::steady_clock::now() < end &&
               read_text(daemon.dir() + "/" + log).find("waiting for a program") == std::string::npos)
            std::this_thread::sleep_for(10ms);
        return tool;
    }
    PipeWireDaemon daemon;
};

class RenderToCamera : public CameraRenderTool, public ::testing::WithParamInterface<RenderRow> {};

const std::vector<std::string> kWave{"--effect", "wave", "--seed", "5", "--frames", "20",
                                     "lavfi:testsrc2=size=64x48:rate=30"};

}  // namespace

// The render tool's pictures reach the consumer as the .rgb output has them, every one, at
// the input's pace.
TEST_P(RenderToCamera, PicturesArriveAsInTheRgbOutput) {
    const pid_t tool = start(kWave, "pipewire:wobble-render", "render.log");
    CameraConsumer consumer(daemon.dir(), "render");
    ASSERT_TRUE(consumer.start("wobble-render", GetParam().format, 17));
    EXPECT_EQ(consumer.wait(30s), 0) << consumer.log();
    EXPECT_EQ(wait_program(tool, 30s), 0) << read_text(daemon.dir() + "/render.log");

    ASSERT_EQ(wait_program(start(kWave, daemon.dir() + "/out.rgb", "file.log"), 30s), 0);
    const std::string rgb = read_text(daemon.dir() + "/out.rgb");
    const Bytes got = consumer.bytes();
    ASSERT_EQ(rgb.size(), 17u * kW * kH * 3);
    ASSERT_EQ(got.size(), 17u * kW * kH * 4);
    for (size_t i = 0, j = 0; i < rgb.size(); i += 3, j += 4) {
        ASSERT_EQ(static_cast<uint8_t>(rgb[i]), got[j + GetParam().r]) << "byte " << i;
        ASSERT_EQ(static_cast<uint8_t>(rgb[i + 1]), got[j + GetParam().g]) << "byte " << i;
        ASSERT_EQ(static_cast<uint8_t>(rgb[i + 2]), got[j + GetParam().b]) << "byte " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, RenderToCamera,
                         ::testing::Values(RenderRow{"BGRx", 2, 1, 0}, RenderRow{"RGBx", 0, 1, 2}),
                         [](const auto& info) { return std::string(info.param.format); });

// With --loop the input starts over: a clip of 15 frames (13 pictures) gives 37 pictures for 40
// frames; the consumer takes 30 of them, so a picture dropped on a loaded machine does not
// matter.
TEST_F(CameraRenderTool, LoopStartsTheInputOver) {
    const pid_t tool = start(
        {"--loop", "--frames", "40", "lavfi:testsrc2=size=64x48:rate=30:duration=0.5"},
        "pipewire:wobble-loop", "loop.log");
    CameraConsumer consumer(daemon.dir(), "loop");
    ASSERT_TRUE(consumer.start("wobble-loop", "BGRx", 30));
    EXPECT_EQ(consumer.wait(30s), 0) << consumer.log();
    EXPECT_EQ(wait_program(tool, 30s), 0) << read_text(daemon.dir() + "/loop.log");
    EXPECT_EQ(consumer.bytes().size(), 30u * kW * kH * 4);
}

// An empty camera name ends the program with status 2 and says what to do.
TEST(VirtualCameraArgument, AnEmptyNameIsRefused) {
    QTemporaryDir dir;
    const std::string log = dir.filePath("out.log").toStdString();
    EXPECT_EQ(wait_program(spawn_program({WOBBLESCOPE_BIN, "--virtual-camera="}, log), 30s), 2);
    EXPECT_NE(read_text(log).find("--virtual-camera= wants a camera name"), std::string::npos)
        << read_text(log);
}
