// SPDX-License-Identifier: MIT
#include "CompressionDialog.h"

#include <QPixmap>

#include "av_movie.h"
#include "error_msg.h"
#include "ui_CompressionDialog.h"

namespace {

struct QualityStep {
    int32_t value;
    const char* text;
};

const QualityStep kQualitySteps[] = {
    {codecMinQuality, QT_TRANSLATE_NOOP("CompressionDialog", "Least")},
    {codecLowQuality, QT_TRANSLATE_NOOP("CompressionDialog", "Low")},
    {codecNormalQuality, QT_TRANSLATE_NOOP("CompressionDialog", "Normal")},
    {codecHighQuality, QT_TRANSLATE_NOOP("CompressionDialog", "High")},
    {codecMaxQuality, QT_TRANSLATE_NOOP("CompressionDialog", "Best")},
    {codecLosslessQuality, QT_TRANSLATE_NOOP("CompressionDialog", "Lossless")},
};

// The compressors' names, shown through the catalogue.
[[maybe_unused]] const char* const kCodecNames[] = {
    QT_TRANSLATE_NOOP("CompressionDialog", "Photo-JPEG"),
    QT_TRANSLATE_NOOP("CompressionDialog", "H.264"),
    QT_TRANSLATE_NOOP("CompressionDialog", "Apple ProRes 422"),
    QT_TRANSLATE_NOOP("CompressionDialog", "Animation"),
    QT_TRANSLATE_NOOP("CompressionDialog", "PNG"),
    QT_TRANSLATE_NOOP("CompressionDialog", "None"),
};

constexpr int kDefaultKeyFrameRate = 24;  // frames
constexpr int kPreviewWidth = 320;        // pixels the two pictures are shown at, at most

QString fourcc_text(uint32_t type) {
    QString s;
    for (int shift = 24; shift >= 0; shift -= 8) s += QChar(static_cast<char>(type >> shift));
    return s;
}

// The pixel map's A, R, G, B pixels as an opaque picture.
QImage pixmap_image(PixMapHandle pm) {
    const PixMap& p = **pm;
    const int w = p.bounds.right - p.bounds.left, h = p.bounds.bottom - p.bounds.top;
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        const uint8_t* px = p.baseAddr + static_cast<size_t>(y) * pixmap_row_bytes(pm);
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) out[x] = qRgb(px[4 * x + 1], px[4 * x + 2], px[4 * x + 3]);
    }
    return image;
}

QPixmap fitted(const QImage& image) {
    if (image.width() <= kPreviewWidth) return QPixmap::fromImage(image);
    return QPixmap::fromImage(
        image.scaledToWidth(kPreviewWidth, Qt::SmoothTransformation));
}

}  // namespace

CompressionDialog::CompressionDialog(const SCSpatialSettings& spatial,
                                     const SCTemporalSettings& temporal, QWidget* parent)
    : QDialog(parent),
      ui_(std::make_unique<Ui::CompressionDialog>()),
      ui(*ui_),
      spatial_(spatial),
      temporal_(temporal) {
    ui.setupUi(this);
    for (const CodecInfo& c : available_codecs()) {
        ui.codecCombo->addItem(
            tr("%1 ('%2')").arg(tr(c.name), fourcc_text(c.type)), QVariant::fromValue(c.type));
    }
    const int codecIndex = ui.codecCombo->findData(QVariant::fromValue(spatial.codecType));
    ui.codecCombo->setCurrentIndex(codecIndex >= 0 ? codecIndex : 0);
    fillQualities(spatial.spatialQuality);
    ui.keyFrameCheck->setChecked(temporal.keyFrameRate > 0);
    ui.keyFrameSpin->setValue(temporal.keyFrameRate > 0 ? temporal.keyFrameRate
                                                        : kDefaultKeyFrameRate);
    codecChanged();

    connect(ui.codecCombo, &QComboBox::currentIndexChanged, this, &CompressionDialog::codecChanged);
    connect(ui.qualityCombo, &QComboBox::currentIndexChanged, this,
            &CompressionDialog::updatePreview);
    connect(ui.keyFrameCheck, &QCheckBox::toggled, ui.keyFrameSpin, &QWidget::setEnabled);
    connect(ui.keyFrameCheck, &QCheckBox::toggled, this, &CompressionDialog::updatePreview);
    connect(ui.keyFrameSpin, &QSpinBox::valueChanged, this, &CompressionDialog::updatePreview);
}

CompressionDialog::~CompressionDialog() = default;

void CompressionDialog::fillQualities(int32_t keep) {
    const CodecInfo* info = find_codec_info(ui.codecCombo->currentData().toUInt());
    const QSignalBlocker block(ui.qualityCombo);
    ui.qualityCombo->clear();
    for (const QualityStep& q : kQualitySteps) {
        const bool lossless = q.value == codecLosslessQuality;
        if (!info) continue;
        // A compressor that is lossless whatever the setting offers nothing else.
        if (info->hasQuality ? (lossless && !info->hasLossless) : !lossless) continue;
        ui.qualityCombo->addItem(tr(q.text), QVariant::fromValue(q.value));
    }
    int index = 0;
    for (int i = 0; i < ui.qualityCombo->count(); ++i)
        if (ui.qualityCombo->itemData(i).toInt() <= keep) index = i;
    ui.qualityCombo->setCurrentIndex(index);
    ui.qualityCombo->setEnabled(info && info->hasQuality);
}

void CompressionDialog::codecChanged() {
    const CodecInfo* info = find_codec_info(ui.codecCombo->currentData().toUInt());
    const int32_t keep = ui.qualityCombo->count() > 0 && ui.qualityCombo->isEnabled()
                             ? ui.qualityCombo->currentData().toInt()
                             : spatial_.spatialQuality;
    fillQualities(keep);
    const bool temporal = info && info->temporal;
    ui.keyFrameCheck->setEnabled(temporal);
    ui.keyFrameSpin->setEnabled(temporal && ui.keyFrameCheck->isChecked());
    updatePreview();
}

int16_t CompressionDialog::setTestImagePixMap(PixMapHandle pm, const Rect16& rect, int16_t) {
    if (!pm || !*pm || !(*pm)->baseAddr || (*pm)->pixelSize != 32 || !((*pm)->bounds == rect) ||
        rect.right <= rect.left || rect.bottom <= rect.top)
        return paramErr;
    testImage_ = pm;
    ui.originalImage->setPixmap(fitted(pixmap_image(pm)));
    updatePreview();
    return 0;
}

SCSpatialSettings CompressionDialog::spatialSettings() const {
    SCSpatialSettings s = spatial_;
    s.codecType = ui.codecCombo->currentData().toUInt();
    s.codec = 0;
    s.spatialQuality = ui.qualityCombo->currentData().toInt();
    return s;
}

SCTemporalSettings CompressionDialog::temporalSettings() const {
    SCTemporalSettings t = temporal_;
    t.keyFrameRate = ui.keyFrameCheck->isChecked() ? ui.keyFrameSpin->value() : 0;
    return t;
}

void CompressionDialog::updatePreview() {
    if (!testImage_) return;
    PreviewImage out;
    const int16_t err = compress_preview(spatialSettings(), temporalSettings(), testImage_, out);
    if (err != 0) {
        preview_ = QImage();
        previewBytes_ = -1;
        ui.previewImage->clear();
        ui.sizeLabel->setText(tr("The test image cannot be compressed this way (error %1).")
                                  .arg(err));
        return;
    }
    preview_ = QImage(out.rgbx.data(), out.width, out.height, out.rowBytes,
                      QImage::Format_RGBX8888)
                   .copy();
    previewBytes_ = out.compressedBytes;
    ui.previewImage->setPixmap(fitted(preview_));
    ui.sizeLabel->setText(
        tr("%1 KB per frame").arg(QLocale().toString(out.compressedBytes / 1024.0, 'f', 1)));
}

void call_compression_dialog(RecordingState& r, const PipelineState& s, const uint8_t* bitmapData,
                             int bytesPerRow, QWidget* parent) {
    if (!r.RecVideoCI && !create_video_compressor(r, s)) return;
    Rect16 rect;
    rect.bottom = static_cast<int16_t>(s.Height);
    rect.right = static_cast<int16_t>(s.Width);
    OffscreenWorld world;
    if (int16_t err = new_gworld(world, rect)) {
        error_msg("SCNewGWorld", err);
        return;
    }
    if (bitmapData) copy_bm_to_pm(s, bitmapData, bytesPerRow, gworld_pixmap(world));

    SCSpatialSettings spatial;
    SCTemporalSettings temporal;
    r.RecVideoCI->getInfo(spatial);
    r.RecVideoCI->getInfo(temporal);
    CompressionDialog dialog(spatial, temporal, parent);
    if (int16_t err = dialog.setTestImagePixMap(gworld_pixmap(world), rect, 3); err < 0) {
        error_msg("SCSetTestImagePixMap", err);
        return;
    }
    if (dialog.exec() != QDialog::Accepted) return;  // cancelled: nothing changes
    if (int16_t err = r.RecVideoCI->setInfo(dialog.spatialSettings())) {
        error_msg("SCRequestImageSettings", err);
        return;
    }
    if (int16_t err = r.RecVideoCI->setInfo(dialog.temporalSettings())) {
        error_msg("SCRequestImageSettings", err);
        return;
    }
    r.RecVideoCI->getInfo(spatial);
    r.RecCodecType = spatial.codecType;
}
