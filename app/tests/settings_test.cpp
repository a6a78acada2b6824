// SPDX-License-Identifier: MIT
// The remembered settings: a round trip through the file, garbage of every kind in every key, and
// the window that comes back with them.
#include <QAction>
#include <QSettings>
#include <QTemporaryDir>
#include <QVariant>

#include "effect_matrix.h"
#include "recording_types.h"
#include "schedule_app_fixture.h"
#include "settings_store.h"
#include "ui_MainWindow.h"

namespace {

StoredSettings non_default() {
    StoredSettings s;
    s.effect = 4;
    s.normal = true;
    s.mirror = false;
    s.fullSize = true;
    s.maxHeight = 1080;
    s.virtualCamera = true;
    s.camera = QStringLiteral("lavfi:testsrc2=size=320x240:rate=30");
    s.hasCompression = true;
    s.codecType = kH264CodecType;
    s.spatialQuality = codecHighQuality;
    s.keyFrameRate = 12;
    s.windowGeometry = QByteArray("\x01\xd9\xd0\xcb\x00\x03", 6);
    s.snapshotCountdown = true;
    return s;
}

TEST(SettingsStore, RoundTripThroughTheFileKeepsEveryValueAndWritesNoTimerArray) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Wobblescope.conf"));
    {
        QSettings s(path, QSettings::IniFormat);
        write_settings(s, non_default());
        EXPECT_FALSE(s.contains(QStringLiteral("TimerArray")));
    }
    QSettings s(path, QSettings::IniFormat);
    EXPECT_EQ(read_settings(s), non_default());
}

struct Garbage {
    std::string name;
    const char* key;
    QVariant value;
};
void PrintTo(const Garbage& g, std::ostream* os) { *os << g.name; }

class SettingsGarbage : public ::testing::TestWithParam<Garbage> {};

TEST_P(SettingsGarbage, FallsBackToTheDefault) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Wobblescope.conf"));
    {
        QSettings s(path, QSettings::IniFormat);
        s.setValue(QLatin1String(GetParam().key), GetParam().value);
    }
    QSettings s(path, QSettings::IniFormat);
    EXPECT_EQ(read_settings(s), StoredSettings{});
}

std::vector<Garbage> garbage_rows() {
    const std::vector<std::pair<std::string, QVariant>> anyKey = {
        {"Word", QStringLiteral("banana")},
        {"List", QStringList{QStringLiteral("1"), QStringLiteral("2")}},
        {"Bytes", QByteArray("\x00\xff\x10", 3)},
        {"Fraction", 2.5},
        {"Huge", QStringLiteral("99999999999999999999")},
        {"Empty", QString()},
        {"Map", QVariantMap{{QStringLiteral("a"), 1}}}};
    const std::vector<std::pair<std::string, const char*>> keys = {
        {"Effect", settings_key::effect},
        {"Normal", settings_key::normal},
        {"Mirror", settings_key::mirror},
        {"FullSize", settings_key::fullSize},
        {"MaxHeight", settings_key::maxHeight},
        {"VirtualCamera", settings_key::virtualCamera},
        {"Codec", settings_key::codec},
        {"Quality", settings_key::quality},
        {"KeyFrameRate", settings_key::keyFrameRate},
        {"Countdown", settings_key::snapshotCountdown}};
    std::vector<Garbage> rows;
    for (const auto& [keyName, key] : keys)
        for (const auto& [kind, value] : anyKey) rows.push_back({keyName + kind, key, value});
    // Numbers out of range, and texts that are no value of their key.
    rows.push_back({"EffectSix", settings_key::effect, 6});
    rows.push_back({"EffectNegative", settings_key::effect, -1});
    rows.push_back({"NormalTwo", settings_key::normal, 2});
    rows.push_back({"MaxHeightNoChoice", settings_key::maxHeight, 600});
    rows.push_back({"MaxHeightNegative", settings_key::maxHeight, -480});
    rows.push_back({"MaxHeightBeyondOwn", settings_key::maxHeight, 4320});
    rows.push_back({"CodecUnknown", settings_key::codec, QStringLiteral("vp09")});
    rows.push_back({"QualityAboveLossless", settings_key::quality, codecLosslessQuality + 1});
    rows.push_back({"KeyFrameRateNegative", settings_key::keyFrameRate, -24});
    rows.push_back({"CameraList", settings_key::camera, QStringList{QStringLiteral("a")}});
    rows.push_back({"CameraTwoLines", settings_key::camera, QStringLiteral("demo\n/dev/video0")});
    rows.push_back({"CameraBytes", settings_key::camera, QByteArray("\x00\x01", 2)});
    rows.push_back({"GeometryWord", settings_key::windowGeometry, QStringLiteral("banana")});
    rows.push_back({"GeometryList", settings_key::windowGeometry, QStringList{}});
    return rows;
}

INSTANTIATE_TEST_SUITE_P(EveryKeyAndKind, SettingsGarbage, ::testing::ValuesIn(garbage_rows()),
                         [](const ::testing::TestParamInfo<Garbage>& info) {
                             return info.param.name;
                         });

// The window with stored settings (the fixture's own settings file).
class RememberedWindow : public AppFixture {
protected:
    void storeSettings(QSettings& s) override {
        if (garbage) {
            for (const char* key :
                 {settings_key::effect, settings_key::normal, settings_key::mirror,
                  settings_key::fullSize, settings_key::windowGeometry,
                  settings_key::snapshotCountdown, settings_key::camera}) {
                s.setValue(QLatin1String(key), QByteArray("\xff\xfe garbage", 10));
            }
        }
        s.setValue(QStringLiteral("TimerArray"), QStringLiteral("1 10 2 5"));
    }
    bool garbage = false;
};

class GarbageWindow : public RememberedWindow {
protected:
    void SetUp() override {
        garbage = true;
        RememberedWindow::SetUp();
    }
};

TEST_F(RememberedWindow, StateComesBackAtTheNextStartAndTimerArrayIsLeftAsItWas) {
    Ui::MainWindow& ui = *controller->ui;
    view->deformMode->selectCellAtRow(1, 1);
    ui.normalMenuItem->trigger();
    ui.actionMirror->trigger();
    ui.sizeSwitch->click();
    ui.actionSnapshotCountdown->trigger();
    controller->saveSettings();
    controller->applicationWillTerminate();
    controller.reset();

    ViewState again;
    controller = std::make_unique<Controller>();
    load_interface_file(*controller, pipeline, again, capture);
    view = controller->myMovieView;
    EXPECT_EQ(view->deformMode->selectedRow(), 1);
    EXPECT_EQ(view->deformMode->selectedColumn(), 1);
    EXPECT_TRUE(view->normalSwitch->isChecked());
    EXPECT_TRUE(controller->ui->normalMenuItem->isChecked());
    EXPECT_FALSE(view->deformMode->isEnabled());
    EXPECT_FALSE(again.mirrorMode);
    EXPECT_FALSE(controller->ui->actionMirror->isChecked());
    EXPECT_TRUE(view->sizeSwitch->isChecked());
    EXPECT_TRUE(controller->ui->actionFullSize->isChecked());
    EXPECT_TRUE(controller->ui->actionSnapshotCountdown->isChecked());
    EXPECT_EQ(QSettings().value(QStringLiteral("TimerArray")).toString(), "1 10 2 5");
}

TEST_F(GarbageWindow, StartsWithTheDefaults) {
    EXPECT_EQ(view->deformMode->selectedRow(), 0);
    EXPECT_EQ(view->deformMode->selectedColumn(), 0);
    EXPECT_TRUE(view->deformMode->isEnabled());
    EXPECT_FALSE(view->normalSwitch->isChecked());
    EXPECT_TRUE(viewState.mirrorMode);
    EXPECT_FALSE(view->sizeSwitch->isChecked());
    EXPECT_FALSE(controller->ui->actionSnapshotCountdown->isChecked());
    EXPECT_TRUE(capture.cameraSource.empty());
    EXPECT_TRUE(recorded_alerts().empty());
}

}  // namespace
