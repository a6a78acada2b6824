// SPDX-License-Identifier: MIT
// SIGTERM, SIGINT and SIGHUP end the window as its Quit does. The handlers only write the
// signal's number into a pipe; the event loop reads it and calls `quit` with it, so the
// recording is finished and full screen left by the same code as for the menu item.
#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

class QuitSignals : public QObject {
    Q_OBJECT

public:
    // Installs the handlers. One instance at a time. A second signal of the same kind while
    // the first is being handled ends the process as the signal does by default.
    explicit QuitSignals(std::function<void(int signal)> quit, QObject* parent = nullptr);
    // Puts the former handlers back.
    ~QuitSignals() override;
    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;

    // Whether the pipe and the handlers are in place.
    bool ok() const { return notifier != nullptr; }

private:
    void readSignal();

    std::function<void(int)> quit;
    QSocketNotifier* notifier = nullptr;
};
