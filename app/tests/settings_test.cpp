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

// Writes `values` (or one key) to a fresh file and reads the file back.
StoredSettings through_file(const StoredSettings& values, const char* key = nullptr,
                            const QVariant& value = {}) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Wobblescope.conf"));
    {
        QSettings s(path, QSettings::IniFormat);
        if (key) s.setValue(QLatin1String(key), value);
        else write_settings(s, values);
        EXPECT_FALSE(s.contains(QStringLiteral("TimerArray")));
    }
    return read_settings(QSettings(path, QSettings::IniFormat));
}

TEST(SettingsStore, RoundTripThroughTheFileKeepsEveryValue) {
    const StoredSettings s{4, true, false, true, 1080, true,
                           QStringLiteral("lavfi:testsrc2=size=320x240:rate=30"), true,
                           kH264CodecType, codecHighQuality, 12,
                           QByteArray("\x01\xd9\xd0\xcb\x00\x03", 6), true};
    EXPECT_EQ(through_file(s), s);
}

struct Garbage {
    std::string name;
    const char* key;
    QVariant value;
};
void PrintTo(const Garbage& g, std::ostream* os) { *os << g.name; }

class SettingsGarbage : public ::testing::TestWithParam<Garbage> {};

TEST_P(SettingsGarbage, FallsBackToTheDefault) {
    EXPECT_EQ(through_file({}, GetParam().key, GetParam().value), StoredSettings{});
}

// Every kind of value in every key, then numbers out of range and texts that are no value of
// their key.
std::vector<Garbage> garbage_rows() {
    using namespace settings_key;
    const std::pair<const char*, QVariant> kinds[] = {
        {"Word", QStringLiteral("banana")},  {"List", QStringList{"1", "2"}},
        {"Bytes", QByteArray("\x00\xff\x10", 3)}, {"Fraction", 2.5},
        {"Huge", QStringLiteral("99999999999999999999")}, {"Empty", QString()},
        {"Map", QVariantMap{{"a", 1}}}};
    std::vector<Garbage> rows;
    for (const char* key : {effect, normal, mirror, fullSize, maxHeight, virtualCamera, codec,
                            quality, keyFrameRate, snapshotCountdown})
        for (const auto& [kind, value] : kinds)
            rows.push_back({QString(key).remove('/').toStdString() + kind, key, value});
    rows.insert(rows.end(),
                {{"EffectSix", effect, 6}, {"EffectNegative", effect, -1}, {"NormalTwo", normal, 2},
                 {"MaxHeightNoChoice", maxHeight, 600}, {"MaxHeightNegative", maxHeight, -480},
                 {"MaxHeightBeyondOwn", maxHeight, 4320}, {"CodecUnknown", codec, "vp09"},
                 {"QualityAboveLossless", quality, codecLosslessQuality + 1},
                 {"KeyFrameRateNegative", keyFrameRate, -24},
                 {"CameraList", camera, QStringList{"a"}},
                 {"CameraTwoLines", camera, "demo\n/dev/video0"},
                 {"CameraBytes", camera, QByteArray("\x00\x01", 2)},
                 {"GeometryWord", windowGeometry, "banana"},
                 {"GeometryList", windowGeometry, QStringList{}}});
    return rows;
}

INSTANTIATE_TEST_SUITE_P(EveryKeyAndKind, SettingsGarbage, ::testing::ValuesIn(garbage_rows()),
                         [](const auto& info) { return info.param.name; });

// The window on a settings file of garbage and a schedule.
class RememberedWindow : public AppFixture {
protected:
    void storeSettings(QSettings& s) override {
        using namespace settings_key;
        for (const char* key : {effect, normal, mirror, fullSize, windowGeometry, snapshotCountdown,
                                camera})
            s.setValue(QLatin1String(key), QByteArray("\xff\xfe garbage", 10));
        s.setValue(QStringLiteral("TimerArray"), QStringLiteral("1 10 2 5"));
    }
};

// Garbage gives the defaults without an alert; what is chosen then comes back at the next start,
// and the schedule is left as it was.
TEST_F(RememberedWindow, StartsWithTheDefaultsOnGarbageAndGivesBackWhatWasChosen) {
    Ui::MainWindow& ui = *controller->ui;
    EXPECT_EQ(view->deformMode->selectedRow() * 3 + view->deformMode->selectedColumn(), 0);
    EXPECT_TRUE(view->deformMode->isEnabled());
    EXPECT_FALSE(view->normalSwitch->isChecked());
    EXPECT_TRUE(viewState.mirrorMode);
    EXPECT_FALSE(view->sizeSwitch->isChecked() || ui.actionSnapshotCountdown->isChecked());
    EXPECT_TRUE(capture.cameraSource.empty());
    EXPECT_TRUE(recorded_alerts().empty());

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
    EXPECT_TRUE(view->normalSwitch->isChecked() && controller->ui->normalMenuItem->isChecked());
    EXPECT_FALSE(view->deformMode->isEnabled());
    EXPECT_FALSE(again.mirrorMode || controller->ui->actionMirror->isChecked());
    EXPECT_TRUE(view->sizeSwitch->isChecked() && controller->ui->actionFullSize->isChecked());
    EXPECT_TRUE(controller->ui->actionSnapshotCountdown->isChecked());
    EXPECT_EQ(QSettings().value(QStringLiteral("TimerArray")).toString(), "1 10 2 5");
}

}  // namespace
