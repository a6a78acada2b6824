// SPDX-License-Identifier: MIT
// The window on the live camera: command line, application object, process state, start-up.
#include "window_main.h"

#include <QApplication>
#include <QLocale>
#include <QMainWindow>
#include <QTimer>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "Controller.h"
#include "QTMovie.h"
#include "error_alert.h"
#include "interface_file.h"
#include "pipeline_state.h"
#include "recording.h"
#include "signal_quit.h"

namespace {

const char* const kUsage =
    "Usage: wobblescope [--camera SOURCE] [--virtual-camera[=NAME|/dev/videoN]]\n"
    "       wobblescope --list-cameras\n"
    "       wobblescope render [OPTIONS] INPUT OUTPUT   (see wobblescope render --help)\n"
    "\n"
    "Opens the Wobblescope window on a live camera: a distorting mirror whose every picture is\n"
    "composed from the last 60 camera frames.\n"
    "\n"
    "Options:\n"
    "  --camera SOURCE   the camera to open instead of the default one (see --list-cameras)\n"
    "  --list-cameras    list the cameras that can be opened, then quit\n"
    "  --virtual-camera[=NAME|/dev/videoN]\n"
    "                    start with the virtual camera on: the picture as the PipeWire camera\n"
    "                    NAME (default wobblescope), or written to a v4l2loopback device\n"
    "  --version         print the version, then quit\n"
    "  -h, --help        this text\n"
    "\n";

struct Options {
    std::string camera;
    bool listCameras = false;
    std::unique_ptr<std::string> virtualCamera;  // null when not asked for
};

void print_usage(FILE* out) {
    std::fputs(kUsage, out);
    std::fputs(kCameraSourceHelp, out);
}

int usage_error(const std::string& message) {
    std::fprintf(stderr, "wobblescope: %s\n", message.c_str());
    print_usage(stderr);
    return 2;
}

// Returns -1 when the window is to open, else the exit status.
int parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "-h" || a == "--help") {
            print_usage(stdout);
            return 0;
        } else if (a == "--version") {
            std::puts("wobblescope " WOBBLE_VERSION);
            return 0;
        } else if (a == "--list-cameras") {
            o.listCameras = true;
        } else if (a == "--camera" || a.rfind("--camera=", 0) == 0) {
            if (a == "--camera") {
                if (i + 1 >= argc) return usage_error("--camera wants a camera source");
                o.camera = argv[++i];
            } else {
                o.camera = a.substr(std::strlen("--camera="));
            }
            if (o.camera.empty()) return usage_error("--camera wants a camera source");
        } else if (a == "--virtual-camera" || a.rfind("--virtual-camera=", 0) == 0) {
            std::string v;
            if (a != "--virtual-camera")
                v = a.substr(std::strlen("--virtual-camera="));
            else if (i + 1 < argc && argv[i + 1][0] != '-')
                v = argv[++i];
            if (v.empty() && a != "--virtual-camera")
                return usage_error("--virtual-camera= wants a camera name or a device path");
            o.virtualCamera = std::make_unique<std::string>(v);
        } else {
            return usage_error("unknown argument '" + a + "'");
        }
    }
    return -1;
}

}  // namespace

int window_main(int argc, char** argv) {
    Options options;
    if (const int status = parse(argc, argv, options); status >= 0) return status;
    if (options.listCameras) {
        std::fputs(camera_list_text().c_str(), stdout);
        return 0;
    }

    QApplication app(argc, argv);
    // QApplication took the user's locale for C's number format too: FFmpeg's parser then reads
    // "0.015" wrongly. What is shown keeps the user's format through QLocale.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName(QStringLiteral("Wobblescope"));
    QApplication::setApplicationVersion(QStringLiteral(WOBBLE_VERSION));
    install_translation(QLocale());
    install_error_alert();

    // The process state, handed out before the window is shown.
    PipelineState pipeline;
    ViewState viewState;
    CaptureState capture;
    capture.cameraSource = options.camera;
    RecordingState recording;

    Controller controller;
    controller.recording = &recording;
    controller.virtualCameraArgument = std::move(options.virtualCamera);
    load_interface_file(controller, pipeline, viewState, capture);
    // SIGTERM, SIGINT and SIGHUP quit as the Quit menu item does.
    const QuitSignals quitSignals([&controller](int sig) { controller.quitApplication(128 + sig); });
    controller.window->show();
    QTimer::singleShot(0, &controller, &Controller::applicationDidFinishLaunching);
    return QApplication::exec();
}
