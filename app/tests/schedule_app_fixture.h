// SPDX-License-Identifier: MIT
// The real main window and controller as main builds them, without a camera, for the schedule
// and full-screen tests; settings live in a temporary directory and alerts are recorded.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMainWindow>
#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

#include "Controller.h"
#include "MyMovieView.h"
#include "error_msg.h"
#include "frame_history.h"
#include "interface_file.h"
#include "pipeline_state.h"

// Every alert error_msg showed, as "title|text".
inline std::vector<std::string>& recorded_alerts() {
    static std::vector<std::string> alerts;
    return alerts;
}

// Answers every modal message box that opens while it lives with its first button, and records
// "title|text|button" of each.
class MessageBoxAnswerer {
public:
    MessageBoxAnswerer() {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || box->buttons().isEmpty()) return;
            QAbstractButton* button = box->buttons().first();
            seen.push_back(
                (box->windowTitle() + "|" + box->text() + "|" + button->text()).toStdString());
            if (onAnswer) onAnswer();
            button->click();
        });
        timer.start(5);
    }
    std::vector<std::string> seen;
    std::function<void()> onAnswer;

private:
    QTimer timer;
};

class AppFixture : public ::testing::Test {
protected:
    // Stored settings to be present before the window loads.
    virtual void storeSettings(QSettings&) {}

    void SetUp() override {
        ASSERT_TRUE(settingsDir.isValid());
        QSettings::setDefaultFormat(QSettings::IniFormat);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
        QCoreApplication::setOrganizationName(QStringLiteral("WobblescopeTests"));
        QCoreApplication::setApplicationName(QStringLiteral("Wobblescope"));
        QSettings settings;  // seen at once by the window's own QSettings
        storeSettings(settings);
        recorded_alerts().clear();
        set_error_msg_backend(
            nullptr, [](const std::string& title, const std::string& text, const std::string&) {
                recorded_alerts().push_back(title + "|" + text);
            });
        set_camera_geometry(pipeline, 640, 480);
        set_image_size(pipeline, 640, 480);
        controller = std::make_unique<Controller>();
        load_interface_file(*controller, pipeline, viewState, capture);
        view = controller->myMovieView;
        controller->window->move(40, 30);
        controller->window->show();
        // The layout settles, as before a user's first look.
        for (int i = 0; i < 3; ++i) QApplication::processEvents();
    }
    void TearDown() override {
        if (controller) controller->applicationWillTerminate();
        controller.reset();
        QApplication::processEvents();
        set_error_msg_backend(nullptr, nullptr);
    }

    QTemporaryDir settingsDir;
    PipelineState pipeline;
    ViewState viewState;
    CaptureState capture;
    std::unique_ptr<Controller> controller;
    MyMovieView* view = nullptr;
};
