// SPDX-License-Identifier: MIT
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QSpinBox>
#include <QTimer>
#include <functional>

#include "CompressionDialog.h"
#include "av_movie.h"
#include "recording_test_kit.h"

namespace {

struct AcceptRow {
    const char* name;
    uint32_t type;
    const char* quality;
    int keyFrames;  // 0: unticked
    int syncEvery;  // every how many samples one is a key frame; 0: only the first
    int32_t spatialQuality;
    friend void PrintTo(const AcceptRow& row, std::ostream* os) { *os << row.name; }
};

// The compression dialog opened on a drawn picture; act runs once it shows, and ends it.
class CompressionDialogTest : public RecordingFixture {
protected:
    void open(const std::function<void(CompressionDialog&)>& act) {
        whenShown(act);
        call_compression_dialog(r, pictures.s, pictures.draw(0), pictures.rowBytes);
    }
    static void whenShown(const std::function<void(CompressionDialog&)>& act) {
        QTimer::singleShot(5, [act] {
            auto* d = qobject_cast<CompressionDialog*>(QApplication::activeModalWidget());
            d && d->isVisible() ? act(*d) : whenShown(act);
        });
    }
    static void selectCodec(CompressionDialog& d, uint32_t type) {
        auto* codecs = d.findChild<QComboBox*>("codecCombo");
        codecs->setCurrentIndex(codecs->findData(type));
    }
    SCSpatialSettings spatial() {
        SCSpatialSettings sp;
        r.RecVideoCI->getInfo(sp);
        return sp;
    }
};

class AcceptedSettings : public CompressionDialogTest,
                         public ::testing::WithParamInterface<AcceptRow> {};

// The compressor, quality and key frames accepted govern the recordings after.
TEST_P(AcceptedSettings, GovernLaterRecordings) {
    const AcceptRow& c = GetParam();
    open([&](CompressionDialog& d) {
        selectCodec(d, c.type);
        d.findChild<QComboBox*>("qualityCombo")->setCurrentText(c.quality);
        d.findChild<QCheckBox*>("keyFrameCheck")->setChecked(c.keyFrames > 0);
        d.findChild<QSpinBox*>("keyFrameSpin")->setValue(c.keyFrames);
        d.accept();
    });
    EXPECT_EQ(r.RecCodecType, c.type);
    EXPECT_EQ(spatial().spatialQuality, c.spatialQuality);
    const MovieInfo m = read_movie(record("after.mov", every(40, 11)));
    EXPECT_EQ(m.codecTag, c.type);
    ASSERT_EQ(m.sync.size(), 11u);
    for (size_t i = 0; i < m.sync.size(); ++i)
        EXPECT_EQ(m.sync[i], c.syncEvery ? i % c.syncEvery == 0 : i == 0) << i;
    EXPECT_TRUE(alerts.calls().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Dialog, AcceptedSettings,
    ::testing::Values(
        AcceptRow{"AnimationKeyFrameEvery5", kAnimationCodecType, "Lossless", 5, 5, codecLosslessQuality},
        AcceptRow{"AnimationNoKeyFrames", kAnimationCodecType, "Lossless", 0, 0, codecLosslessQuality},
        AcceptRow{"PhotoJpegBest", kJPEGCodecType, "Best", 3, 1, codecMaxQuality}),
    [](const auto& info) { return std::string(info.param.name); });

// Each compressor with its qualities, the current one chosen; a preview that follows the
// quality and shows a lossless compressor's picture unchanged; Cancel changes nothing.
TEST_F(CompressionDialogTest, OffersEachCompressorWithItsQualitiesAndCancelKeepsTheSettings) {
    QStringList codecs, jpegQualities, pngQualities;
    QString shownQuality;
    bool pngQualityEnabled = true, pngKeyFramesEnabled = true;
    int leastBytes = 0, bestBytes = 0;
    open([&](CompressionDialog& d) {
        auto items = [](QComboBox* c) {
            QStringList out;
            for (int i = 0; i < c->count(); ++i) out << c->itemText(i);
            return out;
        };
        codecs = items(d.findChild<QComboBox*>("codecCombo"));
        QComboBox* quality = d.findChild<QComboBox*>("qualityCombo");
        jpegQualities = items(quality);
        shownQuality = quality->currentText();
        quality->setCurrentIndex(0);
        leastBytes = d.previewBytes();
        quality->setCurrentIndex(quality->count() - 1);
        bestBytes = d.previewBytes();
        for (const CodecInfo& c : available_codecs()) {
            selectCodec(d, c.type);
            int wrong = 0;
            for (int i = 0; i < 3 * 160 * 120 && !c.hasQuality; ++i)
                wrong += d.previewImage().constBits()[i / 3 * 4 + i % 3] != pictures.rgb[i];
            EXPECT_EQ(wrong, 0) << c.name;
        }
        selectCodec(d, kPNGCodecType);
        pngQualities = items(quality);
        pngQualityEnabled = quality->isEnabled();
        pngKeyFramesEnabled = d.findChild<QCheckBox*>("keyFrameCheck")->isEnabled();
        d.reject();
    });
    EXPECT_EQ(codecs.value(0), "Photo-JPEG ('jpeg')");
    for (const char* name : {"Apple ProRes 422 ('apcn')", "Animation ('rle ')", "PNG ('png ')",
                             "None ('raw ')"})
        EXPECT_TRUE(codecs.contains(name)) << name;
    EXPECT_EQ(jpegQualities, (QStringList{"Least", "Low", "Normal", "High", "Best"}));
    EXPECT_EQ(shownQuality, "Normal");
    EXPECT_EQ(pngQualities, (QStringList{"Lossless"}));
    EXPECT_FALSE(pngQualityEnabled);
    EXPECT_FALSE(pngKeyFramesEnabled);
    EXPECT_GT(leastBytes, 0);
    EXPECT_GT(bestBytes, leastBytes);
    EXPECT_EQ(r.RecCodecType, kJPEGCodecType);
    EXPECT_EQ(spatial().codecType, kJPEGCodecType);
    EXPECT_EQ(spatial().spatialQuality, codecNormalQuality);
    EXPECT_TRUE(alerts.calls().empty());
}

}  // namespace
