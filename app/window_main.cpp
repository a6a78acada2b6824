// SPDX-License-Identifier: MIT
// The window on the live camera: command line, application object, process state, start-up.
#include "window_main.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
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
    "\n"
    "Qt's standard options (-platform, -style, -stylesheet, -reverse, -display, ...) are accepted\n"
    "and passed on to Qt.\n"
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

// Qt's standard options, accepted here and left in the arguments for QApplication: those that
// take a value, then those that do not.
const char* const kQtValueOptions[] = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qmljsdebugger",
    "qwindowgeometry", "qwindowicon", "qwindowtitle", "session", "style", "stylesheet",
    "display", "name", "geometry", "title", "dialogs", "fontengine", "visual"};
const char* const kQtFlagOptions[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

// Returns -1 when the window is to open, else the exit status.
int parse(int argc, char** argv, Options& o) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        // --virtual-camera takes an optional value, which the parser below cannot express.
        if (i > 0 && (a == "--virtual-camera" || a.rfind("--virtual-camera=", 0) == 0)) {
            std::string v;
            if (a != "--virtual-camera")
                v = a.substr(std::strlen("--virtual-camera="));
            else if (i + 1 < argc && argv[i + 1][0] != '-')
                v = argv[++i];
            if (v.empty() && a != "--virtual-camera")
                return usage_error("--virtual-camera= wants a camera name or a device path");
            o.virtualCamera = std::make_unique<std::string>(v);
            continue;
        }
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    QCommandLineParser parser;
    // Qt's options are written with one dash (-platform); -h stays the short help.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    const QCommandLineOption list(QStringLiteral("list-cameras"));
    const QCommandLineOption camera(QStringLiteral("camera"), QString(), QStringLiteral("SOURCE"));
    parser.addOptions({help, version, list, camera});
    for (const char* name : kQtValueOptions) {
        parser.addOption(QCommandLineOption(QString::fromLatin1(name), QString(), QStringLiteral("VALUE")));
    }
    for (const char* name : kQtFlagOptions) parser.addOption(QCommandLineOption(QString::fromLatin1(name)));
    if (!parser.parse(arguments)) {
        const QString last = arguments.last();
        if (last == QLatin1String("--camera") || last == QLatin1String("-camera")) {
            return usage_error("--camera wants a camera source");
        }
        for (const QString& name : parser.unknownOptionNames()) {
            for (const QString& a : std::as_const(arguments)) {
                const QString bare = a.section(QLatin1Char('='), 0, 0);
                if (bare == QLatin1Char('-') + name || bare == QLatin1String("--") + name) {
                    return usage_error("unknown argument '" + a.toStdString() + "'");
                }
            }
        }
        return usage_error(parser.errorText().toStdString());
    }
    if (!parser.positionalArguments().isEmpty()) {
        return usage_error("unknown argument '" + parser.positionalArguments().first().toStdString() + "'");
    }
    if (parser.isSet(help)) {
        print_usage(stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::puts("wobblescope " WOBBLE_VERSION);
        return 0;
    }
    o.listCameras = parser.isSet(list);
    if (parser.isSet(camera)) {
        o.camera = parser.value(camera).toStdString();
        if (o.camera.empty()) return usage_error("--camera wants a camera source");
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
    // Settings go to ~/.config/Wobblescope/Wobblescope.conf.
    QApplication::setOrganizationName(QStringLiteral("Wobblescope"));
    QApplication::setApplicationName(QStringLiteral("Wobblescope"));
    QApplication::setApplicationVersion(QStringLiteral(WOBBLE_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("org.wobblescope.Wobblescope"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/wobblescope.svg")));
    install_translation(QLocale());
    install_qt_translation(QLocale());
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
