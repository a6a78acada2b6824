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
#include <optional>

#include "address_space_limit.h"
#include "error_alert.h"
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
        for (const auto& [key, value] : stored.asKeyValueRange()) QSettings().setValue(key, value);
        WindowTest::SetUp();
        view->cameraProcs = CameraProcs{};
    }
    // Waits for `n` more pictures drawn.
    bool drawsMore(long long n) {
        const long long drawn = view->picturesDrawn();
        return testcam::wait_until([&] { return view->picturesDrawn() >= drawn + n; }, 60000);
    }
    QTemporaryDir dir;
    QVariantMap stored;
};

// The menu's items, "|" between them, "*" after the one marked.
std::string menu_texts(const QMenu* menu) {
    QStringList out;
    for (const QAction* a : menu->actions())
        if (!a->isSeparator()) out.append(a->text() + (a->isChecked() ? "*" : ""));
    return out.join('|').toStdString();
}

struct CameraRun {
    const char* name;
    std::string source;     // --camera; "" for none
    const char* camera;     // remembered from the last run
    int stored, chosen;     // lines remembered, and chosen in the View menu; 0 for none
    unsigned spareMB;       // address space for the choice, or for the start when none; 0: all
    std::string seen;       // the status, the camera and its sizes, what is remembered, the alerts
    QString answer = "OK";  // the alert's button pressed
    bool german = false;    // under a German locale
    friend void PrintTo(const CameraRun& c, std::ostream* os) { *os << c.name; }
};

class CameraRuns : public RealCamera, public ::testing::WithParamInterface<CameraRun> {
    void SetUp() override {
        if (*GetParam().camera) stored["camera"] = GetParam().camera;
        if (GetParam().stored) stored["maxHeight"] = GetParam().stored;
        RealCamera::SetUp();
    }
};

// Without a camera asked for, the alert offers the demo scene, and a start stores no camera. A
// View menu item reaches the camera and the working size and is remembered; one whose blocks
// cannot be had shows the allocation alert and the old resolution goes on, and one remembered
// that cannot be had at start gives 480 lines. A source that ends, as a camera pulled out, is
// shown as gone and plays again once reopened.
TEST_P(CameraRuns, OpenReopenAndFallBackAsTheUserSees) {
    const CameraRun& row = GetParam();
    if (row.source.empty() && !list_v4l2_devices().empty()) GTEST_SKIP() << "a camera is here";
    install_error_alert();
    QTranslator* german = row.german ? install_translation(QLocale(QLocale::German)) : nullptr;
    capture.cameraSource = row.source;
    std::string alerts;
    QTimer poll;  // answers each alert box
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        alerts += "\n" + box->text().toStdString();
        for (QAbstractButton* b : box->buttons()) alerts += "|" + b->text().toStdString();
        for (QAbstractButton* b : box->buttons())
            if (b->text() == row.answer) b->click();
    });
    poll.start(5);
    const auto remembered = [](const char* key) {
        return QSettings().value(key).toString().toStdString();
    };
    std::optional<testkit::AddressSpaceLimit> limit;
    if (row.spareMB && !row.chosen) limit.emplace(size_t{row.spareMB} << 20);
    std::string lost, during;
    const int status = launch([&] {
        EXPECT_TRUE(drawsMore(3));
        if (row.source.find("duration=") != std::string::npos) {
            EXPECT_TRUE(testcam::wait_until([&] { return view->property("cameraLost").toBool(); }));
            lost = " lost as " + view->fpsText->text().toStdString();
            EXPECT_TRUE(
                testcam::wait_until([&] { return !view->property("cameraLost").toBool(); }));
        }
        if (row.spareMB && row.chosen) limit.emplace(size_t{row.spareMB} << 20);
        for (QAction* a : controller.resolutionItems->actions())
            if (a->property("lines").toInt() == row.chosen) a->trigger();
        EXPECT_TRUE(drawsMore(5));
        limit.reset();
        during = remembered("maxHeight");
        controller.window->close();
    });
    set_error_msg_backend(nullptr, nullptr);
    delete german;  // and the catalogue with it
    const QAction* marked = controller.resolutionItems->checkedAction();
    const auto wxh = [](int w, int h) { return std::to_string(w) + "x" + std::to_string(h); };
    const std::string now =
        capture.cameraSource == row.source ? "" : ", now " + capture.cameraSource;
    EXPECT_EQ("status " + std::to_string(status) + now + lost + ", " +
                  std::to_string(capture.maxHeight) + " lines" +
                  (marked->property("lines") == capture.maxHeight ? "*, " : ", ") +
                  wxh(pipeline.LargeWidth, pipeline.LargeHeight) + " at " +
                  wxh(pipeline.Width, pipeline.Height) + ", remembers '" + remembered("camera") +
                  "' and '" + during + "' then '" + remembered("maxHeight") + "'" + alerts,
              row.seen);
    EXPECT_EQ(view->shownPicture().size(), QSize(pipeline.Width, pipeline.Height));
}

const std::string kHd = "lavfi:testsrc2=rate=30:size=2560x1440";
const std::string kUhd = "lavfi:testsrc2=rate=30:size=3840x2160";
const std::string kDemo = "status 0, now demo, 480 lines*, 640x480 at 320x240, remembers '";
const std::string kNone = ", 480 lines*, 0x0 at 0x0, remembers '' and '' then '480'";
const std::string kNoCamera = "\nOpenDefaultComponent SeqGrabComponentType\n\n";
const std::string kNoMemory =
    "\nmemory allocation for sourceFrames[0 ..]\n\nThere is not enough free memory for pictures of "
    "this size. (1920 x 1080, 475 MB)|OK";
const std::string kOffer = "|Use Demo Scene|Quit";
INSTANTIATE_TEST_SUITE_P(
    Rows, CameraRuns,
    ::testing::Values(
        CameraRun("UseDemoScene", "", "", 0, 0, 0,
                  kDemo + "' and '' then '480'" + kNoCamera + "no camera found" + kOffer,
                  "Use Demo Scene"),
        CameraRun("Quit", "", "", 0, 0, 0,
                  "status 1" + kNone + kNoCamera + "no camera found" + kOffer, "Quit"),
        CameraRun("GermanQuit", "", "", 0, 0, 0,
                  "status 1" + kNone + kNoCamera +
                      "keine Kamera gefunden|Demoszene verwenden|Beenden",
                  "Beenden", true),
        CameraRun("RememberedCameraGone", "", "/dev/video9", 0, 0, 0,
                  kDemo + "/dev/video9' and '' then '480'" + kNoCamera +
                      "/dev/video9: No such file or directory" + kOffer,
                  "Use Demo Scene"),
        CameraRun("AskedForCamera", "/dev/video9", "", 0, 0, 0,
                  "status 1" + kNone + kNoCamera + "/dev/video9: No such file or directory|OK"),
        CameraRun(
            "SourceEnds", "lavfi:testsrc2=size=64x48:rate=30:duration=0.5", "", 0, 0, 0,
            "status 0 lost as \u2014, 480 lines*, 64x48 at 32x24, remembers '' and '' then '480'"),
        CameraRun("Lines480", kHd, "", 1080, 480, 0,
                  "status 0, 480 lines*, 853x480 at 426x240, remembers '' and '480' then '480'"),
        CameraRun(
            "CamerasOwn", kHd, "", 480, 2160, 0,
            "status 0, 2160 lines*, 2560x1440 at 1280x720, remembers '' and '2160' then '2160'"),
        // The camera's own resolution of a 2160-line camera needs some 600 MB at half size.
        CameraRun("NoMemoryForTheChoice", kUhd, "", 0, 2160, 400,
                  "status 0, 480 lines*, 853x480 at 426x240, remembers '' and '' then '480'" +
                      kNoMemory),
        CameraRun("NoMemoryAtStart", kUhd, "", 2160, 0, 400,
                  "status 0, 480 lines*, 853x480 at 426x240, remembers '' and '2160' then '480'" +
                      kNoMemory)),
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
    for (const testcam::Alert& a : testcam::camera().alerts) seen += "\n" + a.text;
    EXPECT_EQ(seen, plugged + "\n" + plugged + "\nDemo Scene|" + graph +
                        "\nDemo Scene*|Open Video File...\nOpenDefaultComponent "
                        "SeqGrabComponentType\n\nv4l2:" +
                        node + ": not a video device");
    EXPECT_EQ(QSettings().value("camera").toString(), "demo");
}

}  // namespace
