// SPDX-License-Identifier: MIT
// Choosing, losing and getting back the camera in the real window, with the real camera layer.
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTranslator>
#include <fstream>

#include "error_alert.h"
#include "v4l2_devices.h"
#include "window_fixture.h"

namespace {

// Answers the next critical alert with the button labelled `answer`, keeping what it showed.
struct AlertAnswer {
    explicit AlertAnswer(QString answer) : answer(std::move(answer)) {
        QObject::connect(&poll, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            poll.stop();
            text = box->text();
            for (QAbstractButton* b : box->buttons()) {
                buttons.append(b->text());
                if (b->text() == this->answer) b->click();
            }
        });
        poll.start(5);
    }
    QString answer, text;
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

}  // namespace

class CameraChoice : public WindowTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        QSettings::setDefaultFormat(QSettings::IniFormat);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.filePath("settings"));
        QCoreApplication::setOrganizationName(QStringLiteral("WobblescopeTests"));
        WindowTest::SetUp();
        view->cameraProcs = CameraProcs{};  // the real camera layer
    }
    QTemporaryDir dir;
};

struct StartCase {
    const char* name;
    std::string source;  // --camera; "" for none
    QString stored;      // the camera remembered from the last run
    QString answer;      // the button pressed
    int status;
    QStringList buttons;
    QString cause;
};

void PrintTo(const StartCase& c, std::ostream* os) {
    *os << c.name;
}

class StartWithoutCamera : public CameraChoice, public ::testing::WithParamInterface<StartCase> {};

TEST_P(StartWithoutCamera, OffersTheDemoUnlessACameraWasAskedFor) {
    const StartCase& row = GetParam();
    if (row.source.empty() && !list_v4l2_devices().empty()) GTEST_SKIP() << "a camera is here";
    install_error_alert();
    capture.cameraSource = row.source;
    if (!row.stored.isEmpty()) QSettings().setValue("camera", row.stored);
    AlertAnswer alert(row.answer);
    const int status = launch([&] {
        EXPECT_TRUE(testcam::wait_until([&] { return view->picturesDrawn() >= 3; }));
        controller.window->close();
    });
    set_error_msg_backend(nullptr, nullptr);
    EXPECT_EQ(status, row.status);
    EXPECT_EQ(alert.buttons, row.buttons);
    EXPECT_EQ(alert.text, "OpenDefaultComponent SeqGrabComponentType\n\n" + row.cause);
    EXPECT_EQ(capture.cameraSource, row.status == 0 ? "demo" : row.source);
    EXPECT_EQ(QSettings().value("camera").toString(), row.stored) << "a start does not store";
}

INSTANTIATE_TEST_SUITE_P(
    Rows, StartWithoutCamera,
    ::testing::Values(
        StartCase{"UseDemoScene", "", "", "Use Demo Scene", 0, {"Use Demo Scene", "Quit"},
                  "no camera found"},
        StartCase{"Quit", "", "", "Quit", 1, {"Use Demo Scene", "Quit"}, "no camera found"},
        StartCase{"RememberedCameraGone", "", "/dev/video9", "Use Demo Scene", 0,
                  {"Use Demo Scene", "Quit"}, "/dev/video9: No such file or directory"},
        StartCase{"AskedForCamera", "/dev/video9", "", "OK", 1, {"OK"},
                  "/dev/video9: No such file or directory"}),
    [](const ::testing::TestParamInfo<StartCase>& info) { return std::string(info.param.name); });

TEST_F(CameraChoice, MenuFollowsPluggedCamerasAndAFailingOneKeepsTheOld) {
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
        const long long drawn = view->picturesDrawn();
        EXPECT_TRUE(testcam::wait_until([&] { return view->picturesDrawn() > drawn + 3; }));
        std::remove(node.c_str());
        EXPECT_TRUE(testcam::wait_until([&] { return menu->actions().size() == 4; }));
        unplugged = menu_texts(menu);
        menu->actions().first()->trigger();  // Demo Scene
        afterDemo = menu_texts(menu);
        const long long demoDrawn = view->picturesDrawn();
        EXPECT_TRUE(testcam::wait_until([&] { return view->picturesDrawn() > demoDrawn + 3; }));
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

TEST_F(CameraChoice, SourceThatEndsIsShownAsGoneAndResumesByItself) {
    // The source ends after half a second, as a camera pulled out; reopened, it plays again.
    capture.cameraSource = "lavfi:testsrc2=size=64x48:rate=30:duration=0.5";
    bool shownLost = false;
    QString readout;
    const int status = launch([&] {
        EXPECT_TRUE(testcam::wait_until([&] { return view->property("cameraLost").toBool(); }));
        shownLost = view->property("cameraLost").toBool();
        readout = view->fpsText->text();
        const long long drawn = view->picturesDrawn();
        EXPECT_TRUE(testcam::wait_until([&] {
            return !view->property("cameraLost").toBool() && view->picturesDrawn() > drawn;
        }));
        controller.window->close();
    });
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(shownLost);
    EXPECT_EQ(readout, QString::fromUtf8("\u2014"));
    EXPECT_TRUE(testcam::camera().alerts.empty());
}

TEST_F(CameraChoice, NewTextsSpeakGerman) {
    QTranslator german;
    ASSERT_TRUE(german.load(QLocale(QLocale::German), "app", "_", ":/i18n"));
    QCoreApplication::installTranslator(&german);
    controller.rebuildCameraMenu();
    const QString items = QString::fromStdString(menu_texts(controller.cameraMenu));
    const QString overlay = QCoreApplication::translate(
        "MyMovieView", "Camera disconnected \u2014 waiting for it to come back");
    const std::string noCamera = catalogue_lookup("no camera found");
    const std::string notADevice = catalogue_lookup("not a video device");
    const std::string noVideo = catalogue_lookup("has no video stream");
    const QString useDemo = Controller::tr("Use Demo Scene"), quit = Controller::tr("Quit");
    QCoreApplication::removeTranslator(&german);
    EXPECT_EQ(items, QString::fromUtf8("Demoszene|Videodatei öffnen ...")) << items.toStdString();
    EXPECT_EQ(overlay, QString::fromUtf8("Kamera getrennt \u2014 warte, bis sie wieder da ist"));
    EXPECT_EQ(noCamera, "keine Kamera gefunden");
    EXPECT_EQ(notADevice, "kein Videogerät");
    EXPECT_EQ(noVideo, "hat keinen Videostrom");
    EXPECT_EQ(useDemo, "Demoszene verwenden");
    EXPECT_EQ(quit, "Beenden");
}

// The whole program under a locale that writes decimals with a comma: the demo scene opens and
// runs, and no alert is raised (each would also be written to standard error).
TEST(WholeProgram, DemoSceneRunsUnderGermanAndFrenchLocales) {
    for (const char* locale : {"de_DE.UTF-8", "fr_FR.UTF-8"}) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("LANG", locale);
        env.insert("LC_ALL", locale);
        env.insert("QT_QPA_PLATFORM", "offscreen");
        p.setProcessEnvironment(env);
        p.start(WOBBLESCOPE_BIN, {"--camera", "demo"});
        ASSERT_TRUE(p.waitForStarted());
        p.waitForFinished(3000);  // runs until stopped, unless it fails
        const bool running = p.state() == QProcess::Running;
        p.kill();
        p.waitForFinished();
        const QByteArray err = p.readAllStandardError();
        EXPECT_TRUE(running) << locale << ": " << err.toStdString();
        EXPECT_FALSE(err.contains("Wobblescope:")) << locale << ": " << err.toStdString();
    }
}
