// SPDX-License-Identifier: MIT
// The window at three sizes, run once per QT_SCALE_FACTOR (1, 1.5, 2; see CMakeLists.txt): every
// control lies inside the window, off the picture, which has most of the window.
#include <QStatusBar>

#include "window_fixture.h"

namespace {

struct SizeCase {
    const char* name;
    QSize window;  // device-independent pixels
    friend void PrintTo(const SizeCase& r, std::ostream* os) { *os << r.name; }
};

class WindowScale : public WindowTest, public ::testing::WithParamInterface<SizeCase> {};

}  // namespace

TEST_P(WindowScale, EveryControlIsInsideTheWindowOffThePicture) {
    startCamera(8);
    QMainWindow* window = controller.window;
    window->resize(GetParam().window);
    window->show();
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    ASSERT_EQ(window->size(), GetParam().window);
    EXPECT_LE(window->minimumSizeHint().width(), 500);  // half of a 1000-pixel screen at scale 2
    ASSERT_GT(view->height(), GetParam().window.height() / 2);
    const QRect picture(view->mapTo(window, QPoint(0, 0)), view->size());
    QList<QWidget*> controls{ui->fpsText, ui->fpsLabel, window->statusBar()};
    for (QAbstractButton* b : window->findChildren<QAbstractButton*>()) controls << b;
    for (QWidget* w : std::as_const(controls)) {
        if (!w->isVisibleTo(window)) continue;
        const QRect r(w->mapTo(window, QPoint(0, 0)), w->size());
        EXPECT_TRUE(window->rect().contains(r)) << w->objectName().toStdString();
        EXPECT_FALSE(picture.intersects(r)) << w->objectName().toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(WindowSizes, WindowScale,
                         ::testing::Values(SizeCase{"Narrow480x420", QSize(480, 420)},
                                           SizeCase{"Wide1280x800", QSize(1280, 800)}),
                         RowName());
