// SPDX-License-Identifier: MIT
// The processing resolution on the real window and the real camera layer, with a generated
// camera taller than every choice but the camera's own: each View menu item reaches the camera
// and the working size and is remembered; one whose blocks cannot be had shows the allocation
// alert and the program carries on at the old resolution.
#include <QAction>
#include <QSettings>
#include <QTranslator>

#include "address_space_limit.h"
#include "error_alert.h"
#include "row_pool.h"
#include "settings_store.h"
#include "window_fixture.h"

namespace {

using testkit::AddressSpaceLimit;

class Resolution : public WindowTest {
protected:
    void SetUp() override {
        QSettings settings;
        settings.clear();
        if (storedLines) settings.setValue(QLatin1String(settings_key::maxHeight), storedLines);
        settings.sync();
        WindowTest::SetUp();
        view->cameraProcs = CameraProcs{};  // the real camera layer
    }
    void TearDown() override {
        QSettings().clear();
        WindowTest::TearDown();
    }

    // Waits for `n` more pictures drawn.
    bool drawsMore(long long n) {
        const long long drawn = view->picturesDrawn();
        return testcam::wait_until([&] { return view->picturesDrawn() >= drawn + n; }, 60000);
    }
    QAction* item(int lines) {
        for (QAction* a : {ui->actionResolution480, ui->actionResolution720,
                           ui->actionResolution1080, ui->actionResolutionNative})
            if (a->property("lines").toInt() == lines) return a;
        return nullptr;
    }

    int storedLines = 0;  // the resolution remembered from the last run; 0 for none
};

struct ResolutionCase {
    const char* name;
    int lines;             // the item chosen
    int width, height;     // camera pixels the pipeline then works from
};
void PrintTo(const ResolutionCase& c, std::ostream* os) { *os << c.name; }

class ResolutionChoice : public Resolution, public ::testing::WithParamInterface<ResolutionCase> {
protected:
    void SetUp() override {
        // From another resolution to the row's, so that every row is a change.
        storedLines = GetParam().lines == 480 ? 1080 : 480;
        Resolution::SetUp();
    }
};

TEST_P(ResolutionChoice, ReachesTheCameraAndTheWorkingSizeAndIsRemembered) {
    const ResolutionCase row = GetParam();
    capture.cameraSource = "lavfi:testsrc2=size=2560x1440:rate=30";
    ASSERT_TRUE(item(storedLines)->isChecked());
    EXPECT_EQ(capture.maxHeight, storedLines);
    const int status = launch([&] {
        EXPECT_TRUE(drawsMore(3));
        item(row.lines)->trigger();
        EXPECT_TRUE(drawsMore(3));
        controller.window->close();
    });
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(testcam::camera().alerts.empty());
    EXPECT_EQ(capture.maxHeight, row.lines);
    EXPECT_EQ(pipeline.LargeWidth, row.width);
    EXPECT_EQ(pipeline.LargeHeight, row.height);
    EXPECT_EQ(pipeline.Width, row.width / 2);  // half size, as at launch
    EXPECT_EQ(pipeline.Height, row.height / 2);
    EXPECT_EQ(view->shownPicture().size(), QSize(row.width / 2, row.height / 2));
    EXPECT_TRUE(item(row.lines)->isChecked());
    EXPECT_EQ(QSettings().value(QLatin1String(settings_key::maxHeight)).toInt(), row.lines);
    // The passes ran on the window's pool.
    ASSERT_NE(pipeline.pool, nullptr);
    EXPECT_EQ(pipeline.pool->threads(), default_thread_count());
}

INSTANTIATE_TEST_SUITE_P(Items, ResolutionChoice,
                         ::testing::Values(ResolutionCase{"Lines480", 480, 853, 480},
                                           ResolutionCase{"Lines720", 720, 1280, 720},
                                           ResolutionCase{"Lines1080", 1080, 1920, 1080},
                                           ResolutionCase{"CamerasOwn", 2160, 2560, 1440}),
                         [](const auto& info) { return std::string(info.param.name); });

// The camera's own resolution of a 2160-line camera at full size needs some 2.4 GB; with 1 GB
// to spare the ring cannot be had.
TEST_F(Resolution, BlocksThatCannotBeHadShowTheAlertAndTheOldResolutionGoesOn) {
    capture.cameraSource = "lavfi:testsrc2=size=3840x2160:rate=30";
    view->sizeSwitch->setChecked(true);
    std::string alert;
    const int status = launch([&] {
        EXPECT_TRUE(drawsMore(3));
        {
            const AddressSpaceLimit limit(1u << 30);
            ui->actionResolutionNative->trigger();
            EXPECT_TRUE(drawsMore(5));
        }
        controller.window->close();
    });
    EXPECT_EQ(status, 0);
    ASSERT_EQ(testcam::camera().alerts.size(), 1u);
    EXPECT_EQ(testcam::camera().alerts[0].text,
              "memory allocation for sourceFrames[0 ..]\n\nThere is not enough free memory for "
              "pictures of this size. (3840 x 2160, 1899 MB)");
    EXPECT_EQ(capture.maxHeight, 480);
    EXPECT_EQ(pipeline.Width, 853);
    EXPECT_EQ(pipeline.Height, 480);
    EXPECT_EQ(view->shownPicture().size(), QSize(853, 480));
    EXPECT_TRUE(ui->actionResolution480->isChecked());
    EXPECT_EQ(QSettings().value(QLatin1String(settings_key::maxHeight)).toInt(), 480);
}

// A remembered camera's own resolution that cannot be had at the next start: the alert, then
// the program starts at 480 lines instead of ending.
class RememberedResolution : public Resolution {
protected:
    void SetUp() override {
        storedLines = 2160;
        Resolution::SetUp();
    }
};

TEST_F(RememberedResolution, ThatCannotBeHadAtStartFallsBackTo480Lines) {
    capture.cameraSource = "lavfi:testsrc2=size=3840x2160:rate=30";
    int status = -1;
    {
        const AddressSpaceLimit limit(400u << 20);  // half of 3840 x 2160 needs some 600 MB
        status = launch([&] {
            EXPECT_TRUE(drawsMore(5));
            controller.window->close();
        });
    }
    EXPECT_EQ(status, 0);
    ASSERT_EQ(testcam::camera().alerts.size(), 1u);
    EXPECT_EQ(testcam::camera().alerts[0].text.substr(0, 40),
              "memory allocation for sourceFrames[0 ..]");
    EXPECT_EQ(capture.maxHeight, 480);
    EXPECT_EQ(pipeline.LargeHeight, 480);
    EXPECT_EQ(pipeline.Width, 426);
    EXPECT_TRUE(ui->actionResolution480->isChecked());
}

TEST(ResolutionTexts, SpeakGerman) {
    QTranslator german;
    ASSERT_TRUE(german.load(QLocale(QLocale::German), "app", "_", ":/i18n"));
    QCoreApplication::installTranslator(&german);
    QStringList items;
    for (const char* text : {"480 lines", "720 lines", "1080 lines", "camera's own"})
        items << QCoreApplication::translate("MainWindow", text);
    const std::string cause =
        catalogue_lookup("There is not enough free memory for pictures of this size.");
    QCoreApplication::removeTranslator(&german);
    EXPECT_EQ(items.join('|'),
              QString::fromUtf8("480 Zeilen|720 Zeilen|1080 Zeilen|eigene der Kamera"));
    EXPECT_EQ(cause, "Für Bilder dieser Größe ist nicht genug Speicher frei.");
}

}  // namespace
