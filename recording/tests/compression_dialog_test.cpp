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
class OnDialog {
public:
    explicit OnDialog(std::function<void(CompressionDialog&)> act) : act_(std::move(act)) {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* d = qobject_cast<CompressionDialog*>(QApplication::activeModalWidget());
            if (!d || !d->isVisible()) return;
            timer_.stop();
            seen = true;
            act_(*d);
        });
        timer_.start();
    }
    bool seen = false;

private:
    std::function<void(CompressionDialog&)> act_;
    QTimer timer_;
};

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

class CompressionDialogTest : public ::testing::Test {
protected:
    CompressionDialogTest() : p(r, 160, 120) { p.drawPictures(3); }
    void open() {
        call_compression_dialog(r, p.s, p.s.bitmap->data, p.s.bitmap->rowBytes);
    }
    AlertSpy alerts;
    TempDir dir;
    RecordingState r;
    LivePipeline p;
};

}  // namespace

TEST_F(CompressionDialogTest, CancelChangesNothingAndShowsNoAlert) {
    int previewBytes = -1;
    OnDialog on([&](CompressionDialog& d) {
        previewBytes = d.previewBytes();
        select_codec(d, kPNGCodecType);
        d.reject();
    });
    open();
    EXPECT_TRUE(on.seen);
    EXPECT_GT(previewBytes, 0);
    EXPECT_EQ(r.RecCodecType, kJPEGCodecType);
    ASSERT_TRUE(r.RecVideoCI);  // made by the dialog, before any recording
    SCSpatialSettings sp;
    SCTemporalSettings tp;
    r.RecVideoCI->getInfo(sp);
    r.RecVideoCI->getInfo(tp);
    EXPECT_EQ(sp.codecType, kJPEGCodecType);
    EXPECT_EQ(sp.spatialQuality, codecNormalQuality);
    EXPECT_EQ(tp.keyFrameRate, 24);
    EXPECT_EQ(tp.frameRate, 15 << 16);
    EXPECT_TRUE(alerts.texts().empty());

    // The first recording afterwards is Photo-JPEG.
    const std::string path = dir.file("after-cancel.mov");
    ASSERT_TRUE(setup_recording(r, p.s, path));
    p.drawPictures(2);
    ASSERT_TRUE(finish_recording(r));
    EXPECT_EQ(fourcc_string(read_movie(path).codecTag), "jpeg");
}

TEST_F(CompressionDialogTest, AcceptedSettingsGovernLaterRecordings) {
    OnDialog on([&](CompressionDialog& d) {
        select_codec(d, kAnimationCodecType);
        d.findChild<QCheckBox*>("keyFrameCheck")->setChecked(true);
        d.findChild<QSpinBox*>("keyFrameSpin")->setValue(5);
        d.accept();
    });
    open();
    EXPECT_TRUE(on.seen);
    EXPECT_EQ(r.RecCodecType, kAnimationCodecType);
    for (const char* name : {"one.mov", "two.mov"}) {
        const std::string path = dir.file(name);
        ASSERT_TRUE(setup_recording(r, p.s, path));
        p.drawPictures(11);
        ASSERT_TRUE(finish_recording(r));
        const MovieInfo m = read_movie(path);
        EXPECT_EQ(fourcc_string(m.codecTag), "rle ");
        ASSERT_EQ(m.sync.size(), 11u);
        for (size_t i = 0; i < m.sync.size(); ++i) EXPECT_EQ(m.sync[i], i % 5 == 0) << i;
    }
    EXPECT_TRUE(alerts.texts().empty());
}

TEST_F(CompressionDialogTest, OffersEachCompressorWithItsQualities) {
    QStringList codecs, jpegQualities, h264Qualities, pngQualities;
    bool pngQualityEnabled = true;
    int leastBytes = 0, bestBytes = 0;
    OnDialog on([&](CompressionDialog& d) {
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
    ASSERT_TRUE(on.seen);
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
    // The preview follows the chosen quality.
    EXPECT_GT(bestBytes, leastBytes);
}
