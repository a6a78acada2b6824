// SPDX-License-Identifier: MIT
// The application's controller: start-up, shutdown and the window-level features. It acts on
// the view only through the view's outlets and setImageSize.
//
// How a feature joins the controller (recording, schedule, full-screen presentation): it adds
// its members and slots in its own block below and puts the bodies in its own .cpp file
// (controller_<feature>.cpp, picked up by app/CMakeLists.txt).
// - Actions: a control in MainWindow.ui names its action with the dynamic properties
//   "action" (the slot's name) and "target" ("controller" or "view"). The slot takes the sender:
//   `void clickRecButton(QObject* sender);`. Buttons send on clicked, menu items on triggered.
//   A control whose slot does not exist is disabled.
// - Outlets: `ui` holds every widget of the main window by its object name.
// - Set-up: a slot tagged WOBBLE_AWAKE (`WOBBLE_AWAKE void awakeFromNib();`) runs once all
//   outlets and actions are connected, before the window is shown, in declaration order.
#pragma once

#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QRect>
#include <memory>

#include "display_mode.h"
#include "fullscreen_window.h"
#include "schedule_logic.h"
#include "settings_store.h"
#include "v4l2_devices.h"
#include "virtual_camera.h"

#ifndef Q_MOC_RUN
#define WOBBLE_AWAKE
#endif

class QAbstractButton;
class QActionGroup;
class QFileDialog;
class QLabel;
class QMainWindow;
class QMenu;
class QSocketNotifier;
class QTableView;
class QTimer;
class RowPool;
class ScheduleTableModel;
class TimerSheet;
class MyMovieView;
struct PipelineState;
struct CaptureState;
struct RecordingState;
struct OutputBitmap;
namespace Ui {
class MainWindow;
}

class Controller : public QObject {
    Q_OBJECT

public:
    explicit Controller(QObject* parent = nullptr);
    ~Controller() override;

    // Outlets, connected by load_interface_file.
    MyMovieView* myMovieView = nullptr;
    QMainWindow* window = nullptr;  // the main window; closing it quits
    std::unique_ptr<Ui::MainWindow> ui;

    // The process state that main hands out.
    PipelineState* pipeline = nullptr;
    CaptureState* capture = nullptr;

    // Makes the controller the delegate of `w`: windowWillClose runs when it is about to close.
    void setWindowDelegate(QWidget* w);

    // Ends the run: announces willTerminate, then the event loop returns `status` (0 for a
    // normal quit).
    void quitApplication(int status);

public slots:
    // The camera in its fixed order: setup_camera, setupCameraProcs, the 1/30 s camera timer,
    // start_camera. A failing step has shown its alert; the application then quits with status 1.
    void applicationDidFinishLaunching();
    // Closing the main window quits; closing any other window does not.
    void windowWillClose(QObject* closingWindow);
    // The Quit menu item.
    void terminate(QObject* sender);

signals:
    // The application is about to end with `status`; the event loop returns next.
    void willTerminate(int status);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

    // Recording controls
    // (members and slots of the record button; bodies in controller_recording.cpp)
public:
    RecordingState* recording = nullptr;  // handed out by main; without it there is no recording
    QAbstractButton* recButton = nullptr;  // on while recording or while its save sheet is open
    QFileDialog* savePanel = nullptr;      // the save sheet while it is open

public slots:
    // The record button's action: switched on, asks for the movie file in a save sheet on the
    // main window; switched off, ends the recording.
    void clickRecButton(QObject* sender);
    // The save sheet's end handler: an accepted sheet (QDialog::Accepted) starts the recording
    // and remembers the directory.
    void savePanelDidEnd(QFileDialog* panel, int returnCode, void* contextInfo);
    // A recording under way is finished, its movie complete, before the application ends.
    void finishRecordingBeforeQuit();

protected slots:
    // Binds the view's recording hook and settings dialog to `recording`.
    WOBBLE_AWAKE void awakeRecording();

protected:

    // Effect schedule
    // (members and slots of the schedule sheet; bodies in controller_schedule.cpp)
public:
    EffectSchedule schedule;           // effectNames, timerTableArray, timerIndex, timerCounter
    TimerSheet* timerSheet = nullptr;  // window-modal on the main window
    QTableView* timerTable = nullptr;  // the sheet's table
    QTimer* autoChanger = nullptr;     // the one-second tick while the schedule runs
public slots:
    // Builds the effect names and the schedule (TimerArray or every effect for 10 s) and the sheet.
    WOBBLE_AWAKE void awakeFromNibSchedule();
    // Opens the sheet with the schedule's current row selected (row 0 when none is selected).
    void clickTimer(QObject* sender);
    void clickTimerOK(QObject* sender);
    void clickTimerCancel(QObject* sender);
    // OK (1) restarts the schedule from the selected row; anything else stops it.
    void timerSheetDidEnd(int returnCode);
    void adjustModeForTimer();
    void timerFireMethod();
protected:
    int selectedTimerRow() const;  // -1 when no row is selected
    ScheduleTableModel* timerTableModel = nullptr;

    // Full-screen presentation
    // (members and slots of full-screen presentation; bodies in controller_fullscreen.cpp)
public:
    QMenu* fullScrMenu = nullptr;            // the view's context menu while full screen: STOP
    FullScreenWindow* fullScrWindow = nullptr;  // set exactly while full screen is on
    QRect originalFrame;                     // the view's frame in the main window before entry
    QPointF scrOrigin;                       // the full-screen window's origin, global coordinates
    bool ScreenReconfigured = false;         // the display's mode was switched on entry
    bool firstTime = true;                   // the hint has not been shown in this run
    // The display-mode service: opened on first entry where the session is X11; none elsewhere.
    std::unique_ptr<DisplayModes> displayModes;
    bool displayModesProbed = false;
public slots:
    WOBBLE_AWAKE void awakeFromNibFullScreen();
    // Shows the picture full screen on the display that holds the main window's centre. Does
    // nothing while full screen is on.
    void beginFullScreen(QObject* sender);
    // Puts the view back at its former frame and restores the display's mode.
    void endFullScreen(QObject* sender);
    void changeFullScreen(QObject* sender);
    // A move of the full-screen window is undone; moves of other windows are ignored.
    void windowDidMove(QObject* movedWindow);
    // Quitting while full screen first returns from it, so the display's mode is restored.
    void applicationWillTerminate();
protected:
    void showFullScreenHint();
    // The display that holds the window (its centre), else the primary one: its bounds.
    QRect fullScreenTarget() const;
    // Switches the display at bounds to the mode nearest the camera size (X11 only); bounds
    // become the display's bounds in that mode.
    void switchDisplayForCamera(QRect& bounds);
    // Moves the view into the full-screen window, leaving a stand-in in the main window.
    void moveViewToFullScreen(const QRect& bounds);
    QPointer<QWidget> viewPlaceholder;  // holds the view's place in the main window's layout
    QPointer<QWidget> viewParent;
    ContextMenuFilter* fullScrMenuFilter = nullptr;

    // The window as a desktop program shows it
    // (bodies in controller_window.cpp): controls that wrap, checked states that show in every
    // theme, marks in step, indicators, keys that work everywhere.
public:
    // Sizes the main window so the picture shows at the camera's display size where that fits the
    // screen, smaller (same proportions) where it does not.
    void fitWindowToCamera();
public slots:
    WOBBLE_AWAKE void awakeWindow();
    // The Record menu item: the record button's click.
    void switchRecord(QObject* sender);
    // Shows or hides the recording (with its elapsed time) and schedule indicators.
    void updateIndicators();
protected:
    QTimer* indicatorTimer = nullptr;
    qint64 recordingStartedMs = -1;  // monotonic ms when the running recording was seen to start

    // Snapshot
    // (bodies in controller_snapshot.cpp)
public:
    QTimer* countdownTimer = nullptr;  // ticks once a second while a countdown runs
    int countdownLeft = 0;             // seconds still to count
    QString lastPicturePath;           // the file written by the last snapshot
public slots:
    // Saves the picture as shown, after a three-second countdown when that setting is on.
    void savePicture(QObject* sender);
    void switchSnapshotCountdown(QObject* sender);
    // Writes the shown picture to the pictures folder now; the path goes to the status bar.
    bool takePicture();

    // Remembered settings
    // (bodies in controller_settings.cpp)
public:
    StoredSettings storedSettings;  // as read at start, updated when written
public slots:
    // Puts the stored effect, Normal, mirror, Full Size and countdown into place.
    WOBBLE_AWAKE void awakeSettings();
    // Window geometry and the compressor's settings, which need the shown window and the camera.
    void restoreLaunchSettings();
    void saveSettings();
    // Camera choice
    // (members and slots of the Camera menu and of a camera that goes away; bodies in
    // controller_camera.cpp)
public:
    QMenu* cameraMenu = nullptr;  // the cameras found, "Demo Scene", "Open Video File..."
    QString cameraDeviceDir = QStringLiteral("/dev");  // where V4L2 nodes are looked for
    V4l2Probe cameraProbe = query_v4l2_card;            // a node's card name, if it is a camera
public slots:
    WOBBLE_AWAKE void awakeFromNibCamera();
    // The first start-up step: setup_camera on the camera asked for (--camera, else the one
    // remembered, else the default). When it fails and none was asked for, the alert offers
    // "Use Demo Scene" and "Quit"; false when the application is to quit.
    bool setupCameraOrDemo();
    // Switches to `source` while running; a failure has shown its alert and keeps the old camera.
    bool switchCamera(const QString& source);
    void chooseCamera(QObject* sender);   // a Camera menu item; its "source" property
    void openVideoFile(QObject* sender);  // asks for a file, then switches to it
    // Lists the cameras found in cameraDeviceDir and marks the one in use.
    void rebuildCameraMenu();
    // (Re)starts the watch on cameraDeviceDir; the menu follows cameras plugged in and out.
    void watchCameraDevices();
    // Follows the camera going away and coming back: the view's overlay and the readout.
    void followCameraLink();
protected:
    std::unique_ptr<DeviceWatch> deviceWatch;
    QSocketNotifier* deviceNotifier = nullptr;  // reads deviceWatch
    QActionGroup* cameraItems = nullptr;
    bool cameraShownLost = false;

    // Virtual camera
    // (members and slots of the virtual camera; bodies in controller_virtual_camera.cpp)
public:
    // `--virtual-camera[=NAME|/dev/videoN]` as given ("" for the default node), set by main
    // before the interface file loads; null when not given.
    std::unique_ptr<std::string> virtualCameraArgument;
    QAction* virtualCameraMenuItem = nullptr;    // View > Virtual Camera, checked while on
    QLabel* virtualCameraIndicator = nullptr;    // shown while a consumer takes the pictures
    std::unique_ptr<VirtualCamera> virtualCamera;  // open while on, from the first picture
public slots:
    // Adds the menu item and the indicator; switches the camera on when asked to on the
    // command line or when it was on in the last run.
    WOBBLE_AWAKE void awakeVirtualCamera();
    // The menu item's action: on or off, remembered for the next run.
    void switchVirtualCamera(QObject* sender);
protected:
    // Every drawn picture; never waits.
    void feedVirtualCamera(const OutputBitmap& bm);
    void stopVirtualCamera(const std::string& why);
    CameraTarget virtualCameraTarget;
    bool virtualCameraOn = false;

    // Processing resolution and the render pass's threads
    // (bodies in controller_resolution.cpp)
public:
    QActionGroup* resolutionItems = nullptr;  // View > "480 lines" ... "camera's own"
    std::unique_ptr<RowPool> rowPool;         // the render pass's threads, set on the pipeline
public slots:
    // One pool of default_thread_count() threads for every render pass of the window.
    WOBBLE_AWAKE void awakeRenderThreads();
    // Marks the stored resolution and hands it to the camera, which has not opened yet.
    WOBBLE_AWAKE void awakeResolution();
    // A resolution item (its "lines" property): the camera opened again at that many lines and
    // the pipeline sized for it. A failure has shown its alert and keeps the old resolution.
    void chooseResolution(QObject* sender);
protected:
    void markResolution();  // checks the item of the resolution in force
};
