// SPDX-License-Identifier: MIT
#include "MyMovieView.h"

#include <QAbstractButton>
#include <QAction>
#include <QImage>
#include <QLabel>
#include <QLocale>
#include <QPaintEvent>
#include <QPainter>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <ctime>

#include "CompressionDialog.h"
#include "camera_lost_overlay.h"
#include "effect_matrix.h"
#include "error_msg.h"
#include "frame_history.h"
#include "ingest.h"
#include "opaque_pixels.h"

namespace {

constexpr QSize kDefaultSize(640, 480);  // before the camera is known
constexpr QSize kMinimumSize(160, 120);   // the least a layout gives the picture
constexpr int kFlashStep = 40;            // flash level lost per 20 ms tick

int state_of(const QAbstractButton* b) { return b && b->isChecked() ? 1 : 0; }
int state_of(const QAction* a) { return a && a->isChecked() ? 1 : 0; }

}  // namespace

QRect letterbox_rect(QSize image, QSize area) {
    if (image.isEmpty() || area.isEmpty()) return {};
    const QSize fitted = image.scaled(area, Qt::KeepAspectRatio);
    return {(area.width() - fitted.width()) / 2, (area.height() - fitted.height()) / 2,
            fitted.width(), fitted.height()};
}

MyMovieView::MyMovieView(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::black);
    setPalette(p);
    hooks.draw = [this](const OutputBitmap& bm) {
        // Byte 3 is never shown; some of Qt's paths read it as alpha. Once per new picture: a
        // repaint of the same picture finds it opaque already.
        make_pixels_opaque(bm.data, bm.rowBytes, bm.width, bm.height);
        drawBitmap(bm);
        if (pictureShown) pictureShown(bm);
    };
}

void MyMovieView::initWithFrame(PipelineState& s, ViewState& v, CaptureState& c) {
    pipeline = &s;
    view = &v;
    capture = &c;
    init_view_state(s, v, static_cast<long>(std::time(nullptr)));
}

void MyMovieView::setRecordingHook(const uint8_t* recordingOn,
                                   std::function<bool(const uint8_t*, int)> add) {
    hooks.RecordingOn = recordingOn;
    hooks.add_media_samples = std::move(add);
}

Controls MyMovieView::controls() const {
    Controls c;
    c.effectEnabled = deformMode && deformMode->isEnabled();
    c.selectedRow = deformMode ? deformMode->selectedRow() : -1;
    c.selectedColumn = deformMode ? deformMode->selectedColumn() : -1;
    c.sizeSwitchState = state_of(sizeSwitch);
    return c;
}

bool MyMovieView::setupCameraProcs() {
    if (!create_output_bitmaps(*pipeline)) return false;
    view->currentSize = kHalfSize;
    if (!try_setup_size_params(*pipeline, kHalfSize, false)) return false;
    if (!cameraProcs.install_grab_complete(*capture, this)) return false;
    updateGeometry();
    return true;
}

void MyMovieView::MyMovieDrawingCompleteMethod() {
    ViewCallbacks cb;
    cb.showFrameRate = [this](double fps) {
        if (fpsText) fpsText->setText(QLocale().toString(fps, 'f', 1));
    };
    cb.setNeedsDisplay = [this] { update(); };
    ingest_frame(*pipeline, *view, cb);
}

QSize MyMovieView::sizeHint() const {
    if (!pipeline || pipeline->largeBitmap.displayWidth <= 0) return kDefaultSize;
    return QSize(static_cast<int>(std::lround(pipeline->largeBitmap.displayWidth)),
                 static_cast<int>(std::lround(pipeline->largeBitmap.displayHeight)));
}

QSize MyMovieView::minimumSizeHint() const { return kMinimumSize; }

void MyMovieView::setImageSize(QSizeF size) {
    set_image_size(*pipeline, static_cast<float>(size.width()), static_cast<float>(size.height()));
    updateGeometry();
    update();
}

void MyMovieView::setEffect(QObject* sender) {
    // A key for an effect while Normal is on ends Normal first: the user asked for the effect.
    if (!deformMode->isEnabled() && normalMenuItem) switchNormal(normalMenuItem);
    const int tag = sender->property("tag").toInt();
    deformMode->selectCellAtRow(tag / 10, tag % 10);
}

void MyMovieView::switchNormal(QObject* sender) {
    int state;
    if (sender->metaObject() == &QAction::staticMetaObject) {
        auto* item = static_cast<QAction*>(sender);
        state = state_of(item) == 1 ? 0 : 1;
        item->setChecked(state == 1);
        normalSwitch->setChecked(state == 1);
    } else {
        state = state_of(qobject_cast<QAbstractButton*>(sender));
        normalMenuItem->setChecked(state == 1);
    }
    deformMode->setEnabled(state == 0);
}

void MyMovieView::switchSize(QObject* sender) {
    const int s = state_of(sizeSwitch) == 1 ? 0 : 1;
    if (auto* item = qobject_cast<QAction*>(sender)) item->setChecked(s == 1);
    sizeSwitch->setChecked(s == 1);
}

void MyMovieView::switchMirrorMode(QObject* sender) {
    view->mirrorMode = !view->mirrorMode;
    if (auto* item = qobject_cast<QAction*>(sender)) item->setChecked(view->mirrorMode);
}

bool MyMovieView::validateMenuItem(QAction* item) {
    const QString action = item->property("action").toString();
    if (action == QLatin1String("switchMirrorMode")) item->setChecked(view && view->mirrorMode);
    if (action == QLatin1String("switchSize")) item->setChecked(state_of(sizeSwitch) == 1);
    if (action != QLatin1String("setEffect")) return true;
    // The twins that carry keys 1 to 6 while Normal is on.
    if (item->property("keyTwin").toBool()) return !deformMode->isEnabled();
    const int tag = item->property("tag").toInt();
    item->setChecked(tag == deformMode->selectedRow() * 10 + deformMode->selectedColumn());
    return deformMode->isEnabled();
}

void MyMovieView::cameraTask() {
    if (alert_is_shown()) return;  // the frame loop waits for the alert
    cameraProcs.camera_idle(*capture);
}

void MyMovieView::compressMethod(QObject*) {
    if (!recordingState || !pipeline || !pipeline->bitmap) return;
    call_compression_dialog(*recordingState, *pipeline, pipeline->bitmap->data,
                            pipeline->bitmap->rowBytes, window());
}

QImage MyMovieView::shownPicture() const {
    if (drawnCount == 0 || !pipeline || !pipeline->bitmap) return {};
    const OutputBitmap& bm = *pipeline->bitmap;
    return QImage(bm.data, bm.width, bm.height, bm.rowBytes, QImage::Format_RGBX8888)
        .convertToFormat(QImage::Format_RGB888);
}

void MyMovieView::setOverlayText(const QString& text) {
    overlay = text;
    update();
}

void MyMovieView::flash() {
    flashLevel = 255;
    auto* tick = new QTimer(this);
    connect(tick, &QTimer::timeout, this, [this, tick] {
        flashLevel = std::max(0, flashLevel - kFlashStep);
        if (flashLevel == 0) tick->deleteLater();
        update();
    });
    tick->start(20);
    update();
}

void MyMovieView::paintEvent(QPaintEvent* event) {
    drawRect(event->rect());
    paint_camera_lost_overlay(this);
    if (overlay.isEmpty() && flashLevel == 0) return;
    QPainter painter(this);
    drawOverlay(painter);
}

void MyMovieView::drawOverlay(QPainter& painter) {
    if (flashLevel > 0) painter.fillRect(rect(), QColor(255, 255, 255, flashLevel));
    if (overlay.isEmpty()) return;
    QFont font = painter.font();
    font.setPixelSize(std::max(24, height() / 4));
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(QColor(0, 0, 0, 160));
    painter.drawText(rect().translated(3, 3), Qt::AlignCenter, overlay);
    painter.setPen(Qt::white);
    painter.drawText(rect(), Qt::AlignCenter, overlay);
}

// Smooth software scaling (bilinear): about 3 ms per picture into a 1280 x 960 or 1920 x 1080
// window on the build machine (app_bench), where an OpenGL upload and blit through Mesa's
// software renderer took about 14 ms; without a GPU the software path is the faster one.
void MyMovieView::drawBitmap(const OutputBitmap& bm) {
    const QImage image(bm.data, bm.width, bm.height, bm.rowBytes, QImage::Format_RGBX8888);
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(letterbox_rect(image.size(), size()), image);
}

void MyMovieView::drawRect(const QRect&) {
    if (!pipeline || !pipeline->bitmap) return;
    if (alert_is_shown()) {
        // While an alert is open (perhaps raised by the pass that this paint would interrupt),
        // the last picture is shown again and the pipeline is left alone.
        if (drawnCount > 0) drawBitmap(*pipeline->bitmap);
        return;
    }
    if (render_pass(*pipeline, *view, controls(), hooks)) ++drawnCount;
}
