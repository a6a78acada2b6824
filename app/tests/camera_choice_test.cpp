// SPDX-License-Identifier: MIT
// Choosing, losing and getting back the camera, and choosing the processing resolution, in the
// real window on the real camera layer: each choice reopens the camera.
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>
#include <fstream>
#include <map>
#include <optional>

#include "address_space_limit.h"
#include "error_alert.h"
#include "row_pool.h"
#include "settings_store.h"
#include "v4l2_devices.h"
#include "window_fixture.h"

namespace {

// The window on the real camera layer, with a settings file of its own holding `stored`.
class RealCamera : public WindowTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        QSettings::setDefaultFormat(QSettings::IniFormat);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.filePath("settings"));
        QCoreApplication::setOrganizationName(QStringLiteral("WobblescopeTests"));
        for (const auto& [key, value] : stored) QSettings().setValue(key, value);
        WindowTest::SetUp();
        view->cameraProcs = CameraProcs{};
    }
    // Waits for `n` more pictures drawn.
    bool drawsMore(long long n) {
        const long long drawn = view->picturesDrawn();
        return testcam::wait_until([&] { return view->picturesDrawn() >= drawn + n; }, 60000);
    }
    QTemporaryDir dir;
    std::map<QString, QVariant> stored;
};

// Answers the next critical alert with the button labelled `answer`, keeping what it showed.
struct AlertAnswer {
    explicit AlertAnswer(const QString& answer) {
        QObject::connect(&poll, &QTimer::timeout, [this, answer] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            poll.stop();
            text = box->text();
            for (QAbstractButton* b : box->buttons()) buttons.append(b->text());
            for (QAbstractButton* b : box->buttons())
                if (b->text() == answer) b->click();
        });
        poll.start(5);
    }
    QString text;
    QStringList buttons;
    QTimer poll;
};

// The menu's items, "|" between them, "*" after the one marked.
std::string menu_texts(const QMenu* menu) {
    QStringList out;
    for (const QAction* a : menu->actions())
        if (!a->isSeparator()) out.append(a->text() + (a->isChecked() ? "*" : ""));
    return out.join('|').toStdString();
}

struct StartCase {
    const char* name;
    std::string source;  // --camera; "" for none
    QString stored;      // the camera remembered from the last run
    QString answer;      // the button pressed
    int status;
    QString cause;
};
void PrintTo(const StartCase& c, std::ostream* os) { *os << c.name; }

class StartWithoutCamera : public RealCamera, public ::testing::WithParamInterface<StartCase> {
    void SetUp() override {
        if (!GetParam().stored.isEmpty()) stored["camera"] = GetParam().stored;
        RealCamera::SetUp();
    }
};

TEST_P(StartWithoutCamera, OffersTheDemoUnlessACameraWasAskedFor) {
    const StartCase& row = GetParam();
    if (row.source.empty() && !list_v4l2_devices().empty()) GTEST_SKIP() << "a camera is here";
    install_error_alert();
    capture.cameraSource = row.source;
    AlertAnswer alert(row.answer);
    const int status = launch([&] {
        EXPECT_TRUE(drawsMore(3));
        controller.window->close();
    });
    set_error_msg_backend(nullptr, nullptr);
    EXPECT_EQ(status, row.status);
    EXPECT_EQ(alert.buttons.join('|'), row.source.empty() ? "Use Demo Scene|Quit" : "OK");
    EXPECT_EQ(alert.text, "OpenDefaultComponent SeqGrabComponentType\n\n" + row.cause);
    EXPECT_EQ(capture.cameraSource, row.status == 0 ? "demo" : row.source);
    EXPECT_EQ(QSettings().value("camera").toString(), row.stored) << "a start does not store";
}

INSTANTIATE_TEST_SUITE_P(
    Rows, StartWithoutCamera,
    ::testing::Values(
        StartCase{"UseDemoScene", "", "", "Use Demo Scene", 0, "no camera found"},
        StartCase{"Quit", "", "", "Quit", 1, "no camera found"},
        StartCase{"RememberedCameraGone", "", "/dev/video9", "Use Demo Scene", 0,
                  "/dev/video9: No such file or directory"},
        StartCase{"AskedForCamera", "/dev/video9", "", "OK", 1,
                  "/dev/video9: No such file or directory"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RealCamera, MenuFollowsPluggedCamerasAndAFailingOneKeepsTheOld) {
    const QString devices = dir.filePath("dev");
    ASSERT_TRUE(QDir().mkpath(devices));
    // Plain files stand in for device nodes, and their first line for the card's name.
    controller.cameraDeviceDir = devices;
    controller.cameraProbe = [](const std::string& path) -> std::optional<std::string> {
        std::string card;
        std::getline(std::ifstream(path), card);
        return card;
    };
    controller.watchCameraDevices();
    const std::string node = devices.toStdString() + "/video3";
    capture.cameraSource = "lavfi:testsrc2=size=64x48:rate=30";
    std::string plugged, afterFailure, unplugged, afterDemo;
    const int status = launch([&] {
        QMenu* menu = controller.cameraMenu;
        std::ofstream(node) << "Fake Cam\n";
        EXPECT_TRUE(testcam::wait_until([&] { return menu->actions().size() == 5; }));
        plugged = menu_texts(menu);
        // A node that is no camera after all: the alert says why, the old camera goes on.
        menu->actions().first()->trigger();
        afterFailure = menu_texts(menu);
        EXPECT_TRUE(drawsMore(3));
        std::remove(node.c_str());
        EXPECT_TRUE(testcam::wait_until([&] { return menu->actions().size() == 4; }));
        unplugged = menu_texts(menu);
        menu->actions().first()->trigger();  // Demo Scene
        afterDemo = menu_texts(menu);
        EXPECT_TRUE(drawsMore(3));
        controller.window->close();
    });
    EXPECT_EQ(status, 0);
    const std::string graph = "lavfi:testsrc2=size=64x48:rate=30*|Open Video File...";
    EXPECT_EQ(plugged, "Fake Cam (" + node + ")|Demo Scene|" + graph);
    EXPECT_EQ(afterFailure, plugged);
    ASSERT_EQ(testcam::camera().alerts.size(), 1u);
    EXPECT_EQ(testcam::camera().alerts[0].text,
              "OpenDefaultComponent SeqGrabComponentType\n\nv4l2:" + node + ": not a video device");
    EXPECT_EQ(unplugged, "Demo Scene|" + graph);
    EXPECT_EQ(afterDemo, "Demo Scene*|Open Video File...");
    EXPECT_EQ(pipeline.LargeWidth, 640);
    EXPECT_EQ(QSettings().value("camera").toString(), "demo");
}

// A source that ends, as a camera pulled out, is shown as gone and plays again once reopened.
TEST_F(RealCamera, SourceThatEndsIsShownAsGoneAndResumesByItself) {
    capture.cameraSource = "lavfi:testsrc2=size=64x48:rate=30:duration=0.5";
    QString readout = "not lost";
    const int status = launch([&] {
        EXPECT_TRUE(testcam::wait_until([&] { return view->property("cameraLost").toBool(); }));
        readout = view->fpsText->text();
        const long long drawn = view->picturesDrawn();
        EXPECT_TRUE(testcam::wait_until([&] {
            return !view->property("cameraLost").toBool() && view->picturesDrawn() > drawn;
        }));
        controller.window->close();
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(readout, QString::fromUtf8("\u2014"));
    EXPECT_TRUE(testcam::camera().alerts.empty());
}

struct ResolutionCase {
    const char* name;
    const char* size;          // the camera's
    int stored, chosen;        // lines remembered and chosen in the View menu; 0 for none
    bool fullSize;
    unsigned spareMB;          // address space for the choice, or the start when none; 0: all
    int lines, width, height;  // what the camera then gives: lines kept, camera pixels
    std::string alert;         // the alert's beginning; "" for none
};
void PrintTo(const ResolutionCase& c, std::ostream* os) { *os << c.name; }

class Resolution : public RealCamera, public ::testing::WithParamInterface<ResolutionCase> {
    void SetUp() override {
        if (GetParam().stored) stored[settings_key::maxHeight] = GetParam().stored;
        RealCamera::SetUp();
    }
};

// A View menu item reaches the camera and the working size and is remembered; one whose blocks
// cannot be had shows the allocation alert and the old resolution goes on, and one remembered
// that cannot be had at start gives 480 lines.
TEST_P(Resolution, ReachesTheCameraAndIsRememberedOrFallsBackWhenItCannotBeHad) {
    const ResolutionCase& row = GetParam();
    const auto item = [&](int lines) {
        for (QAction* a : {ui->actionResolution480, ui->actionResolution720,
                           ui->actionResolution1080, ui->actionResolutionNative})
            if (a->property("lines").toInt() == lines) return a;
        return static_cast<QAction*>(nullptr);
    };
    capture.cameraSource = std::string("lavfi:testsrc2=rate=30:size=") + row.size;
    view->sizeSwitch->setChecked(row.fullSize);
    EXPECT_EQ(capture.maxHeight, row.stored ? row.stored : 480);
    ASSERT_TRUE(item(capture.maxHeight)->isChecked());
    std::optional<testkit::AddressSpaceLimit> limit;
    if (row.spareMB && !row.chosen) limit.emplace(size_t{row.spareMB} << 20);
    int remembered = row.lines;
    const int status = launch([&] {
        EXPECT_TRUE(drawsMore(3));
        if (row.spareMB && row.chosen) limit.emplace(size_t{row.spareMB} << 20);
        if (row.chosen) item(row.chosen)->trigger();
        EXPECT_TRUE(drawsMore(5));
        limit.reset();
        if (row.chosen) remembered = QSettings().value(settings_key::maxHeight, 480).toInt();
        controller.window->close();
    });
    EXPECT_EQ(status, 0);
    std::string alerts;
    for (const testcam::Alert& a : testcam::camera().alerts) alerts += a.text.substr(0, row.alert.size());
    EXPECT_EQ(alerts, row.alert);
    EXPECT_EQ(capture.maxHeight, row.lines);
    EXPECT_EQ(pipeline.LargeWidth, row.width);
    EXPECT_EQ(pipeline.LargeHeight, row.height);
    const QSize working = row.fullSize ? QSize(row.width, row.height) : QSize(row.width / 2, row.height / 2);
    EXPECT_EQ(QSize(pipeline.Width, pipeline.Height), working);
    EXPECT_EQ(view->shownPicture().size(), working);
    EXPECT_TRUE(item(row.lines)->isChecked());
    EXPECT_EQ(remembered, row.lines) << "remembered while the camera ran";
    EXPECT_EQ(QSettings().value(QLatin1String(settings_key::maxHeight)).toInt(), row.lines);
    EXPECT_EQ(pipeline.pool ? pipeline.pool->threads() : 0, default_thread_count());
}

// The camera's own resolution of a 2160-line camera at full size needs some 2.4 GB, at half size
// some 600 MB.
INSTANTIATE_TEST_SUITE_P(
    Items, Resolution,
    ::testing::Values(
        ResolutionCase{"Lines480", "2560x1440", 1080, 480, false, 0, 480, 853, 480, ""},
        ResolutionCase{"Lines720", "2560x1440", 480, 720, false, 0, 720, 1280, 720, ""},
        ResolutionCase{"Lines1080", "2560x1440", 480, 1080, false, 0, 1080, 1920, 1080, ""},
        ResolutionCase{"CamerasOwn", "2560x1440", 480, 2160, false, 0, 2160, 2560, 1440, ""},
        ResolutionCase{"NoMemoryForTheChoice", "3840x2160", 0, 2160, true, 1024, 480, 853, 480,
                       "memory allocation for sourceFrames[0 ..]\n\nThere is not enough free "
                       "memory for pictures of this size. (3840 x 2160, 1899 MB)"},
        ResolutionCase{"NoMemoryForTheRememberedAtStart", "3840x2160", 2160, 0, false, 400, 480,
                       853, 480, "memory allocation for sourceFrames[0 ..]"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
