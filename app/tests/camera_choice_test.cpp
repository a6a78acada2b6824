// SPDX-License-Identifier: MIT
// Choosing, losing and getting back the camera, and choosing the processing resolution, in the
// real window on the real camera layer: each choice reopens the camera.
#include <QAbstractButton>
#include <QActionGroup>
#include <QApplication>
#include <QMenu>
#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>
#include <QTranslator>
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
    const char* stored;  // the camera remembered from the last run
    QString answer;      // the button pressed
    int status;
    std::string alert;    // its text and buttons
    bool german = false;  // under a German locale
    friend void PrintTo(const StartCase& c, std::ostream* os) { *os << c.name; }
};

class StartWithoutCamera : public RealCamera, public ::testing::WithParamInterface<StartCase> {
    void SetUp() override {
        if (*GetParam().stored) stored["camera"] = GetParam().stored;
        RealCamera::SetUp();
    }
};

TEST_P(StartWithoutCamera, OffersTheDemoUnlessACameraWasAskedFor) {
    const StartCase& row = GetParam();
    if (row.source.empty() && !list_v4l2_devices().empty()) GTEST_SKIP() << "a camera is here";
    install_error_alert();
    QTranslator* german = row.german ? install_translation(QLocale(QLocale::German)) : nullptr;
    capture.cameraSource = row.source;
    QString alert;
    QTimer poll;  // answers the alert box
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        poll.stop();
        alert = box->text();
        for (QAbstractButton* b : box->buttons()) alert += "|" + b->text();
        for (QAbstractButton* b : box->buttons())
            if (b->text() == row.answer) b->click();
    });
    poll.start(5);
    const int status = launch([&] {
        EXPECT_TRUE(drawsMore(3));
        controller.window->close();
    });
    set_error_msg_backend(nullptr, nullptr);
    delete german;  // and the catalogue is gone
    EXPECT_EQ(status, row.status);
    EXPECT_EQ(alert.toStdString(), "OpenDefaultComponent SeqGrabComponentType\n\n" + row.alert);
    EXPECT_EQ(capture.cameraSource, row.status == 0 ? "demo" : row.source);
    EXPECT_EQ(QSettings().value("camera").toString().toStdString(), row.stored) << "not stored";
}

INSTANTIATE_TEST_SUITE_P(
    Rows, StartWithoutCamera,
    ::testing::Values(StartCase{"UseDemoScene", "", "", "Use Demo Scene", 0,
                                "no camera found|Use Demo Scene|Quit"},
                      StartCase{"Quit", "", "", "Quit", 1, "no camera found|Use Demo Scene|Quit"},
                      StartCase{"GermanQuit", "", "", "Beenden", 1,
                                "keine Kamera gefunden|Demoszene verwenden|Beenden", true},
                      StartCase{"RememberedCameraGone", "", "/dev/video9", "Use Demo Scene", 0,
                                "/dev/video9: No such file or directory|Use Demo Scene|Quit"},
                      StartCase{"AskedForCamera", "/dev/video9", "", "OK", 1,
                                "/dev/video9: No such file or directory|OK"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RealCamera, MenuFollowsPluggedCamerasAndAFailingOneKeepsTheOld) {
    // Plain files stand in for device nodes, and their first line for the card's name.
    ASSERT_TRUE(QDir(dir.path()).mkdir("dev"));
    controller.cameraDeviceDir = dir.filePath("dev");
    controller.cameraProbe = [](const std::string& path) -> std::optional<std::string> {
        std::string card;
        std::getline(std::ifstream(path), card);
        return card;
    };
    controller.watchCameraDevices();
    const std::string node = dir.filePath("dev/video3").toStdString();
    capture.cameraSource = "lavfi:testsrc2=size=64x48:rate=30";
    std::string seen;
    const int status = launch([&] {
        QMenu* menu = controller.cameraMenu;
        std::ofstream(node) << "Fake Cam\n";
        EXPECT_TRUE(testcam::wait_until([&] { return menu->actions().size() == 5; }));
        seen = menu_texts(menu);
        // A node that is no camera after all: the alert says why, the old camera goes on.
        menu->actions().first()->trigger();
        seen += "\n" + menu_texts(menu);
        EXPECT_TRUE(drawsMore(3));
        std::remove(node.c_str());
        EXPECT_TRUE(testcam::wait_until([&] { return menu->actions().size() == 4; }));
        seen += "\n" + menu_texts(menu);
        menu->actions().first()->trigger();  // Demo Scene
        seen += "\n" + menu_texts(menu);
        EXPECT_TRUE(drawsMore(3));
        controller.window->close();
    });
    EXPECT_EQ(status, 0);
    const std::string graph = "lavfi:testsrc2=size=64x48:rate=30*|Open Video File...";
    const std::string plugged = "Fake Cam (" + node + ")|Demo Scene|" + graph;
    EXPECT_EQ(seen, plugged + "\n" + plugged + "\nDemo Scene|" + graph +
                        "\nDemo Scene*|Open Video File...");
    ASSERT_EQ(testcam::camera().alerts.size(), 1u);
    EXPECT_EQ(testcam::camera().alerts[0].text,
              "OpenDefaultComponent SeqGrabComponentType\n\nv4l2:" + node + ": not a video device");
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
    const char* size;    // the camera's
    int stored, chosen;  // lines remembered and chosen in the View menu; 0 for none
    bool fullSize;
    unsigned spareMB;          // address space for the choice, or for the start when none; 0: all
    int lines, width, height;  // what the camera then gives: lines kept, pixels
    std::string alert = {};    // the alert's beginning; "" for none
    friend void PrintTo(const ResolutionCase& c, std::ostream* os) { *os << c.name; }
};

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
    const auto remembered = [] { return QSettings().value(settings_key::maxHeight, 480).toInt(); };
    capture.cameraSource = std::string("lavfi:testsrc2=rate=30:size=") + row.size;
    view->sizeSwitch->setChecked(row.fullSize);
    std::optional<testkit::AddressSpaceLimit> limit;
    if (row.spareMB && !row.chosen) limit.emplace(size_t{row.spareMB} << 20);
    int during = 0;
    const int status = launch([&] {
        EXPECT_TRUE(drawsMore(3));
        if (row.spareMB && row.chosen) limit.emplace(size_t{row.spareMB} << 20);
        for (QAction* a : controller.resolutionItems->actions())
            if (a->property("lines").toInt() == row.chosen) a->trigger();
        EXPECT_TRUE(drawsMore(5));
        limit.reset();
        during = remembered();
        controller.window->close();
    });
    EXPECT_EQ(status, 0);
    std::string alerts;
    for (const auto& a : testcam::camera().alerts) alerts += a.text.substr(0, row.alert.size());
    EXPECT_EQ(alerts, row.alert);
    EXPECT_EQ(capture.maxHeight, row.lines);
    EXPECT_EQ(controller.resolutionItems->checkedAction()->property("lines"), row.lines);
    EXPECT_EQ(std::pair(pipeline.LargeWidth, pipeline.LargeHeight),
              std::pair(row.width, row.height));
    const int shrink = row.fullSize ? 1 : 2;
    EXPECT_EQ(std::pair(pipeline.Width, pipeline.Height),
              std::pair(row.width / shrink, row.height / shrink));
    EXPECT_EQ(view->shownPicture().size(), QSize(pipeline.Width, pipeline.Height)) << "shown";
    EXPECT_EQ(during, row.chosen ? row.lines : row.stored) << "remembered while it runs";
    EXPECT_EQ(remembered(), row.lines);
    EXPECT_EQ(pipeline.pool ? pipeline.pool->threads() : 0, default_thread_count());
}

// The camera's own resolution of a 2160-line camera at full size needs some 2.4 GB, at half size
// some 600 MB.
INSTANTIATE_TEST_SUITE_P(
    Items, Resolution,
    ::testing::Values(
        ResolutionCase{"Lines480", "2560x1440", 1080, 480, false, 0, 480, 853, 480},
        ResolutionCase{"Lines720", "2560x1440", 480, 720, false, 0, 720, 1280, 720},
        ResolutionCase{"Lines1080", "2560x1440", 480, 1080, false, 0, 1080, 1920, 1080},
        ResolutionCase{"CamerasOwn", "2560x1440", 480, 2160, false, 0, 2160, 2560, 1440},
        ResolutionCase{"NoMemoryForTheChoice", "3840x2160", 0, 2160, true, 1024, 480, 853, 480,
                       "memory allocation for sourceFrames[0 ..]\n\nThere is not enough free "
                       "memory for pictures of this size. (3840 x 2160, 1899 MB)"},
        ResolutionCase{"NoMemoryAtStart", "3840x2160", 2160, 0, false, 400, 480, 853, 480,
                       "memory allocation for sourceFrames[0 ..]"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
