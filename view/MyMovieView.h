// SPDX-License-Identifier: MIT
// The live view: takes in camera frames, runs the render pass when it paints, and keeps the
// controls that steer the pipeline. Its actions only change a control's state or a flag; the
// render pass reads them on every pass.
#pragma once

#include <QSizeF>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>

#include "QTMovie.h"
#include "pipeline_state.h"
#include "render_pass.h"

class QAbstractButton;
class QAction;
class QLabel;
class EffectMatrix;
struct RecordingState;

// Where a picture of `image` pixels is drawn in `area`: as large as fits with its proportions
// kept, centred; the rest of the area is black.
QRect letterbox_rect(QSize image, QSize area);

// The camera calls of the view and of the start-up. Each is the camera layer's function unless
// replaced (tests replace them where this machine has no camera).
struct CameraProcs {
    bool (*setup_camera)(PipelineState&, CaptureState&) = ::setup_camera;
    bool (*install_grab_complete)(CaptureState&, FrameReceiver*) = ::install_grab_complete;
    bool (*start_camera)(CaptureState&) = ::start_camera;
    void (*camera_idle)(CaptureState&) = ::camera_idle;
};

class MyMovieView : public QWidget, public FrameReceiver {
    Q_OBJECT

public:
    explicit MyMovieView(QWidget* parent = nullptr);

    // Outlets, connected by the interface file. The controller and the schedule act on the
    // view through these.
    EffectMatrix* deformMode = nullptr;   // enabled exactly when an effect runs
    QAbstractButton* sizeSwitch = nullptr;  // checked asks for full working size
    QAbstractButton* normalSwitch = nullptr;  // checked shows the plain picture
    QLabel* fpsText = nullptr;              // frame-rate readout
    QAction* normalMenuItem = nullptr;      // the menu twin of normalSwitch

    CameraProcs cameraProcs;

    // The view's initialisation on the state that main hands out: seeds the random generator
    // with the calendar time, draws the four wave phases and turns mirroring on.
    void initWithFrame(PipelineState& s, ViewState& v, CaptureState& c);
    PipelineState* pipelineState() const { return pipeline; }
    ViewState* viewState() const { return view; }
    CaptureState* captureState() const { return capture; }

    // While *RecordingOn is nonzero, every picture drawn goes to add_media_samples (bitmap data,
    // row bytes) and the size switch waits.
    void setRecordingHook(const uint8_t* RecordingOn,
                          std::function<bool(const uint8_t*, int)> add_media_samples);

    // Called with every picture a render pass draws, once it is drawn (the virtual camera).
    std::function<void(const OutputBitmap&)> pictureShown;

    // The recording whose compressor the settings dialog (compressMethod) configures.
    RecordingState* recordingState = nullptr;

    // The controls' states as the next render pass will read them.
    Controls controls() const;

    // Creates both output bitmaps, sizes the pipeline for half size and installs the
    // grab-complete callback. A failing step (blocks that cannot be had included) has shown its
    // alert; returns false.
    bool setupCameraProcs();

    // The ingestion entry, called for every completed camera frame.
    void MyMovieDrawingCompleteMethod() override;

    // Render passes that drew a picture since the view was made.
    long long picturesDrawn() const { return drawnCount; }

    // The camera's display size (setImageSize): the size the window starts from.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // The picture as last drawn (mirrored where mirroring is on), at the output bitmap's pixel
    // size; null before the first picture.
    QImage shownPicture() const;
    // Text shown large over the picture (a countdown); empty for none.
    void setOverlayText(const QString& text);
    QString overlayText() const { return overlay; }
    // A brief white flash over the picture, as a camera's shutter.
    void flash();
    bool flashing() const { return flashLevel > 0; }

public slots:
    // The display size of both output bitmaps, which the view asks of its window; the picture
    // itself fills the view with its proportions kept. Pixels and working size stay.
    void setImageSize(QSizeF size);
    // sender: an effect menu item; its "tag" (row * 10 + column) selects the matrix cell.
    void setEffect(QObject* sender);
    // sender: the normal button (already toggled) or the normal menu item (toggled here).
    void switchNormal(QObject* sender);
    // sender: the size menu item. Flips the size switch; the next render pass applies it.
    void switchSize(QObject* sender);
    void switchMirrorMode(QObject* sender);
    // Whether item is enabled; marks the item of the selected effect.
    bool validateMenuItem(QAction* item);
    // The camera timer's action: camera idle time, during which a frame may be ingested.
    void cameraTask();
    // Opens the compression settings dialog on the current picture.
    void compressMethod(QObject* sender);

protected:
    void paintEvent(QPaintEvent* event) override;
    // One render pass, drawn into the view.
    void drawRect(const QRect& rect);

private:
    // Draws the output bitmap scaled into the view, letterboxed on black.
    void drawBitmap(const OutputBitmap& bm);
    void drawOverlay(QPainter& painter);

    PipelineState* pipeline = nullptr;
    ViewState* view = nullptr;
    CaptureState* capture = nullptr;
    RenderHooks hooks;  // built once: the draw callback and the recording hook
    long long drawnCount = 0;
    QString overlay;
    int flashLevel = 0;  // 0 to 255, falls to 0 within a quarter of a second
};
