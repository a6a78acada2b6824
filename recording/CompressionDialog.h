// SPDX-License-Identifier: MIT
// The compression settings dialog: compressor type, spatial quality and key-frame rate, with
// the current picture as its test image and a preview of it compressed and decoded back.
#pragma once

#include <QDialog>
#include <QImage>
#include <memory>

#include "recording.h"

namespace Ui {
class CompressionDialog;
}

class CompressionDialog : public QDialog {
    Q_OBJECT
public:
    CompressionDialog(const SCSpatialSettings& spatial, const SCTemporalSettings& temporal,
                      QWidget* parent = nullptr);
    ~CompressionDialog() override;

    // Takes the picture of pm (the whole map) as the test image. Negative when it cannot be
    // shown; test flags are accepted and ignored (the picture is always scaled to fit).
    int16_t setTestImagePixMap(PixMapHandle pm, const Rect16& rect, int16_t testFlags);

    // The settings as the controls show them.
    SCSpatialSettings spatialSettings() const;
    SCTemporalSettings temporalSettings() const;
    // The compressed size of the test image with these settings, bytes; -1 when it failed.
    int previewBytes() const { return previewBytes_; }
    const QImage& previewImage() const { return preview_; }

private slots:
    void codecChanged();
    void updatePreview();

private:
    void fillQualities(int32_t keep);

    std::unique_ptr<Ui::CompressionDialog> ui_;
    Ui::CompressionDialog& ui;
    SCSpatialSettings spatial_;
    SCTemporalSettings temporal_;
    PixMapHandle testImage_ = nullptr;
    QImage preview_;
    int previewBytes_ = -1;
};

// Runs the settings dialog on the output bitmap in use (bitmapData, bytesPerRow). Accepted
// settings stay in RecVideoCI for every later recording of the run and the chosen type goes to
// RecCodecType; cancelling changes nothing and reports nothing. Settings accepted while a
// recording runs take effect with the next recording.
void call_compression_dialog(RecordingState& r, const PipelineState& s, const uint8_t* bitmapData,
                             int bytesPerRow, QWidget* parent = nullptr);
