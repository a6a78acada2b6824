// SPDX-License-Identifier: MIT
// The remembered settings: a round trip through the file, garbage of every kind in every key, and
// the window that comes back with them.
#include <QSettings>

#include "recording_types.h"
#include "schedule_app_fixture.h"
#include "settings_store.h"
#include "ui_MainWindow.h"

namespace {

using namespace settings_key;

// Writes `values`, or one key, to a fresh file and reads the file back.
StoredSettings through_file(const StoredSettings& values, const char* key = nullptr,
                            const QVariant& value = {}) {
    QTemporaryDir dir;
    QSettings s(dir.filePath("Wobblescope.conf"), QSettings::IniFormat);
    key ? s.setValue(key, value) : write_settings(s, values);
    s.sync();
    EXPECT_FALSE(s.contains("TimerArray"));
    return read_settings(QSettings(s.fileName(), QSettings::IniFormat));
}

TEST(SettingsStore, RoundTripThroughTheFileKeepsEveryValue) {
    const StoredSettings s(4, true, false, true, 1080, true, "lavfi:testsrc2", true, kH264CodecType,
                           codecHighQuality, 12, "\1\xd9", true);
    EXPECT_EQ(through_file(s), s);
}

struct Garbage {
    std::string name;
    const char* key;
    QVariant value;
    friend void PrintTo(const Garbage& g, std::ostream* os) { *os << g.name; }
};

class SettingsGarbage : public ::testing::TestWithParam<Garbage> {};

TEST_P(SettingsGarbage, FallsBackToTheDefault) {
    EXPECT_EQ(through_file({}, GetParam().key, GetParam().value), StoredSettings{});
}

// Every kind of value in every key, then numbers out of range and texts that are no value of
// their key.
std::vector<Garbage> garbage_rows() {
    using Kind = std::pair<const char*, QVariant>;
    const Kind kinds[] = {Kind("Word", "banana"),
                          Kind("List", QStringList{"1", "2"}),
                          Kind("Bytes", QByteArray("\0\xff", 2)),
                          Kind("Fraction", 2.5),
                          Kind("Huge", "99999999999999999999"),
                          Kind("Empty", QString()),
                          Kind("Map", QVariantMap{{"a", 1}})};
    std::vector<Garbage> rows;
    for (const char* key : {effect, normal, mirror, fullSize, maxHeight, virtualCamera, codec,
                            quality, keyFrameRate, snapshotCountdown})
        for (const auto& [kind, value] : kinds)
            rows.push_back(Garbage(QString(key).remove('/').toStdString() + kind, key, value));
    rows.insert(
        rows.end(),
        {Garbage("EffectSix", effect, 6), Garbage("EffectNegative", effect, -1),
         Garbage("NormalTwo", normal, 2), Garbage("MaxHeightNoChoice", maxHeight, 600),
         Garbage("MaxHeightNegative", maxHeight, -480),
         Garbage("MaxHeightBeyondOwn", maxHeight, 4320), Garbage("CodecUnknown", codec, "vp09"),
         Garbage("QualityAboveLossless", quality, codecLosslessQuality + 1),
         Garbage("KeyFrameRateNegative", keyFrameRate, -24),
         Garbage("CameraList", camera, QStringList{"a"}),
         Garbage("CameraTwoLines", camera, "demo\n/dev/video0"),
         Garbage("CameraBytes", camera, QByteArray("\0\1", 2)),
         Garbage("GeometryWord", windowGeometry, "banana"),
         Garbage("GeometryList", windowGeometry, QStringList{})});
    return rows;
}

INSTANTIATE_TEST_SUITE_P(EveryKeyAndKind, SettingsGarbage, ::testing::ValuesIn(garbage_rows()),
                         [](const auto& info) { return info.param.name; });

// The window on a settings file of garbage and a schedule.
class RememberedWindow : public AppFixture {
protected:
    void storeSettings(QSettings& s) override {
        for (const char* key :
             {effect, normal, mirror, fullSize, windowGeometry, snapshotCountdown, camera})
            s.setValue(key, QByteArray("\xff\xfe garbage"));
        s.setValue("TimerArray", "1 10 2 5");
    }
    // The effect, then 1 or 0 for: effect choice open, Normal (switch, menu item), mirror (mode,
    // menu item), Full Size (switch, menu item), countdown.
    std::string shown() {
        const Ui::MainWindow& ui = *controller->ui;
        const EffectMatrix& m = *view->deformMode;
        std::string s = std::to_string(m.selectedRow() * 3 + m.selectedColumn()) + " ";
        for (bool on : {m.isEnabled(), view->normalSwitch->isChecked(),
                        ui.normalMenuItem->isChecked(), view->viewState()->mirrorMode != 0,
                        ui.actionMirror->isChecked(), view->sizeSwitch->isChecked(),
                        ui.actionFullSize->isChecked(), ui.actionSnapshotCountdown->isChecked()})
            s += on ? '1' : '0';
        return s;
    }
};

// Garbage gives the defaults without an alert; what is chosen then comes back at the next start,
// and the schedule is left as it was.
TEST_F(RememberedWindow, StartsWithTheDefaultsOnGarbageAndGivesBackWhatWasChosen) {
    EXPECT_EQ(shown(), "0 10011000");
    EXPECT_TRUE(capture.cameraSource.empty() && recorded_alerts().empty());
    view->deformMode->selectCellAtRow(1, 1);
    controller->ui->normalMenuItem->trigger();
    controller->ui->actionMirror->trigger();
    controller->ui->sizeSwitch->click();
    controller->ui->actionSnapshotCountdown->trigger();
    controller->saveSettings();
    controller = std::make_unique<Controller>();
    ViewState again;
    load_interface_file(*controller, pipeline, again, capture);
    view = controller->myMovieView;
    EXPECT_EQ(shown(), "4 01100111");
    EXPECT_EQ(QSettings().value("TimerArray").toString(), "1 10 2 5");
}

}  // namespace
