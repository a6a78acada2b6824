// SPDX-License-Identifier: MIT
// The whole program on a generated clip as its camera: the window's pictures against those that
// `wobblescope render` draws from the same clip, and the command line of the program.
#include <QProcess>
#include <QTemporaryDir>
#include <set>

#include "clip_writer.h"
#include "window_fixture.h"

namespace {

constexpr int kClipWidth = 96, kClipHeight = 72, kClipFrames = 60;  // pixels, pixels, frames

// The clip's pixels carry alpha 0, as some cameras deliver it.
void paint_clear_alpha(int n, uint8_t* argb, int rowBytes, int width, int height) {
    paint_pattern(n % kClipFrames, argb, rowBytes, width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) argb[static_cast<size_t>(y) * rowBytes + 4 * x] = 0;
}

std::string rgb_of(const PipelineState& s) {
    std::string out;
    const OutputBitmap& bm = *s.bitmap;
    for (int y = 0; y < s.Height; ++y)
        for (int x = 0; x < s.Width; ++x)
            out.append(reinterpret_cast<const char*>(bm.data) + y * bm.rowBytes + 4 * x, 3);
    return out;
}

QByteArray run_program(const QStringList& args, int* status) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(WOBBLESCOPE_BIN, args);
    EXPECT_TRUE(p.waitForFinished(120000));
    *status = p.exitCode();
    return p.readAll();
}

}  // namespace

class LiveCamera : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        view->cameraProcs = CameraProcs{};  // the real camera layer
        ASSERT_TRUE(dir.isValid());
        clip = dir.filePath("clip.nut").toStdString();
        ClipSettings clipSettings;
        clipSettings.path = clip;
        clipSettings.width = kClipWidth;
        clipSettings.height = kClipHeight;
        clipSettings.frames = kClipFrames;
        clipSettings.fps = 30;
        clipSettings.paint = paint_clear_alpha;
        ASSERT_EQ(write_clip(clipSettings), "");
        // The camera plays the clip over and over; the render tool gets it twice in a row, so
        // that its plain pictures cover every frame, the three it draws nothing for included.
        twice = dir.filePath("twice.nut").toStdString();
        clipSettings.path = twice;
        clipSettings.frames = 2 * kClipFrames;
        ASSERT_EQ(write_clip(clipSettings), "");
    }

    QTemporaryDir dir;
    std::string clip, twice;
};

TEST_F(LiveCamera, PlainPictureIsOneTheRenderToolDrawsAndAnEffectChangesIt) {
    // Every plain picture of the clip, mirrored, at half size, as the render tool draws it.
    // A plain picture depends on the newest frame alone.
    const QString rendered = dir.filePath("plain.rgb");
    int status = -1;
    const QByteArray out = run_program({"render", "--effect", "normal", "--mirror", "on",
                                        "--size", "half", "--quiet", QString::fromStdString(twice),
                                        rendered},
                                       &status);
    ASSERT_EQ(status, 0) << out.toStdString();
    QFile file(rendered);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray all = file.readAll();
    const int pictureBytes = kClipWidth / 2 * (kClipHeight / 2) * 3;
    ASSERT_EQ(all.size(), (2 * kClipFrames - 3) * pictureBytes);
    std::set<std::string> plain;
    for (int i = 0; i + pictureBytes <= all.size(); i += pictureBytes)
        plain.insert(all.mid(i, pictureBytes).toStdString());
    EXPECT_EQ(plain.size(), static_cast<size_t>(kClipFrames));

    capture.cameraSource = clip;
    view->normalSwitch->click();
    std::string livePlain, liveEffect;
    status = launch([&] {
        EXPECT_TRUE(testcam::wait_until([&] { return view->picturesDrawn() >= 40; }, 60000));
        livePlain = rgb_of(pipeline);
        view->normalSwitch->click();  // the wave time warp, selected at launch
        const long long drawn = view->picturesDrawn();
        EXPECT_TRUE(testcam::wait_until([&] { return view->picturesDrawn() >= drawn + 20; }, 60000));
        liveEffect = rgb_of(pipeline);
        controller.window->close();
    });
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(testcam::camera().alerts.empty());
    ASSERT_EQ(livePlain.size(), static_cast<size_t>(pictureBytes));
    EXPECT_EQ(plain.count(livePlain), 1u) << "the window's plain picture is none the render tool drew";
    EXPECT_EQ(plain.count(liveEffect), 0u) << "the effect did not change the picture";
    EXPECT_NE(view->fpsText->text(), "");
}

TEST_F(LiveCamera, MissingCameraShowsTheAlertAndQuits) {
    capture.cameraSource = dir.filePath("no-such-clip.nut").toStdString();
    const int status = launch([] {});
    EXPECT_EQ(status, 1);
    ASSERT_EQ(testcam::camera().alerts.size(), 1u);
    EXPECT_EQ(testcam::camera().alerts[0].text, "OpenDefaultComponent SeqGrabComponentType\n\n" +
                                                    capture.cameraSource +
                                                    ": No such file or directory");
    EXPECT_EQ(view->findChild<QTimer*>("cameraTimer"), nullptr);
}

TEST(CommandLine, HelpVersionCameraListAndBadArguments) {
    int status = -1;
    QByteArray out = run_program({"--help"}, &status);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(out.contains("--camera SOURCE")) << out.toStdString();
    EXPECT_TRUE(out.contains("lavfi:GRAPH"));
    out = run_program({"--version"}, &status);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(out.startsWith("wobblescope ")) << out.toStdString();
    out = run_program({"--list-cameras"}, &status);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(out.contains("demo")) << out.toStdString();
    out = run_program({"--frobnicate"}, &status);
    EXPECT_EQ(status, 2);
    EXPECT_TRUE(out.contains("unknown argument '--frobnicate'")) << out.toStdString();
    out = run_program({"--camera"}, &status);
    EXPECT_EQ(status, 2);
    EXPECT_TRUE(out.contains("--camera wants a camera source")) << out.toStdString();
    out = run_program({"render", "--help"}, &status);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(out.contains("wobblescope render")) << out.toStdString();
}
