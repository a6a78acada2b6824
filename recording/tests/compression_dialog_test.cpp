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

// Calls act with the settings dialog once it is the active modal window; act ends it.
void when_shown(const std::function<void(CompressionDialog&)>& act) {
    QTimer::singleShot(5, [act] {
        auto* d = qobject_cast<CompressionDialog*>(QApplication::activeModalWidget());
        if (d && d->isVisible())
            act(*d);
        else
            when_shown(act);
    });
}

QComboBox* combo(CompressionDialog& d, const char* name) {
    return d.findChild<QComboBox*>(name);
}

void select_codec(CompressionDialog& d, uint32_t type) {
    QComboBox* c = combo(d, "codecCombo");
    c->setCurrentIndex(c->findData(QVariant::fromValue(type)));
}

QStringList items(QComboBox* c) {
    QStringList out;
    for (int i = 0; i < c->count(); ++i) out << c->itemText(i);
    return out;
}

class CompressionDialogTest : public RecordingFixture {
protected:
    CompressionDialogTest() : p(r, 160, 120) { p.drawPictures(3); }
    void open() { call_compression_dialog(r, p.s, p.s.bitmap->data, p.s.bitmap->rowBytes); }
    LivePipeline p;
};

}  // namespace

TEST_F(CompressionDialogTest, AcceptedSettingsGovernLaterRecordings) {
    when_shown([&](CompressionDialog& d) {
        select_codec(d, kAnimationCodecType);
        d.findChild<QCheckBox*>("keyFrameCheck")->setChecked(true);
        d.findChild<QSpinBox*>("keyFrameSpin")->setValue(5);
        d.accept();
    });
    open();
    EXPECT_EQ(r.RecCodecType, kAnimationCodecType);
    for (const char* name : {"one.mov", "two.mov"}) {
        const MovieInfo m = read_movie(record(p, name, every(40, 11)));
        EXPECT_EQ(fourcc_string(m.codecTag), "rle ");
        ASSERT_EQ(m.sync.size(), 11u);
        for (size_t i = 0; i < m.sync.size(); ++i) EXPECT_EQ(m.sync[i], i % 5 == 0) << i;
    }
    EXPECT_TRUE(alerts.texts().empty());
}

// Each compressor with its qualities and a preview that follows the quality; Cancel changes
// nothing.
TEST_F(CompressionDialogTest, OffersEachCompressorWithItsQualitiesAndCancelKeepsTheSettings) {
    QStringList codecs, jpegQualities, h264Qualities, pngQualities;
    bool pngQualityEnabled = true;
    int leastBytes = 0, bestBytes = 0;
    when_shown([&](CompressionDialog& d) {
        codecs = items(combo(d, "codecCombo"));
        QComboBox* quality = combo(d, "qualityCombo");
        jpegQualities = items(quality);
        quality->setCurrentIndex(0);
        leastBytes = d.previewBytes();
        quality->setCurrentIndex(quality->count() - 1);
        bestBytes = d.previewBytes();
        if (codec_available(kH264CodecType)) {
            select_codec(d, kH264CodecType);
            h264Qualities = items(quality);
        }
        select_codec(d, kPNGCodecType);
        pngQualities = items(quality);
        pngQualityEnabled = quality->isEnabled();
        d.reject();
    });
    open();
    EXPECT_EQ(codecs.value(0), "Photo-JPEG ('jpeg')");
    EXPECT_TRUE(codecs.contains("Apple ProRes 422 ('apcn')"));
    EXPECT_TRUE(codecs.contains("Animation ('rle ')"));
    EXPECT_TRUE(codecs.contains("PNG ('png ')"));
    EXPECT_TRUE(codecs.contains("None ('raw ')"));
    EXPECT_EQ(jpegQualities, (QStringList{"Least", "Low", "Normal", "High", "Best"}));
    if (codec_available(kH264CodecType)) {
        EXPECT_TRUE(codecs.contains("H.264 ('avc1')"));
        EXPECT_EQ(h264Qualities.value(5), "Lossless");
    }
    EXPECT_EQ(pngQualities, (QStringList{"Lossless"}));
    EXPECT_FALSE(pngQualityEnabled);
    EXPECT_GT(leastBytes, 0);
    EXPECT_GT(bestBytes, leastBytes);
    EXPECT_EQ(r.RecCodecType, kJPEGCodecType);
    SCSpatialSettings sp;
    r.RecVideoCI->getInfo(sp);
    EXPECT_EQ(sp.codecType, kJPEGCodecType);
    EXPECT_EQ(sp.spatialQuality, codecNormalQuality);
    EXPECT_TRUE(alerts.texts().empty());
}
