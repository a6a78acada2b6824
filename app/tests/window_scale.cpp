// SPDX-License-Identifier: MIT
// The window at three sizes, run once per QT_SCALE_FACTOR (1, 1.5, 2; see CMakeLists.txt): the
// picture fills its area with the camera's proportions, letterboxed on black, and every control
// lies inside the window.
#include <QAbstractButton>
#include <QLabel>
#include <QStatusBar>

#include "window_fixture.h"

namespace {

struct SizeCase {
    std::string name;
    QSize window;  // device-independent pixels
};
void PrintTo(const SizeCase& c, std::ostream* os) { *os << c.name; }

// The bounding box of the pixels that are not black.
QRect picture_box(const QImage& shot) {
    QRect box;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            if ((shot.pixel(x, y) & 0xFFFFFF) != 0) box |= QRect(x, y, 1, 1);
    return box;
}

class WindowScale : public WindowTest, public ::testing::WithParamInterface<SizeCase> {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        startCamera(8);
        controller.window->resize(GetParam().window);
        controller.window->show();
        for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    }
};

}  // namespace

TEST_P(WindowScale, PictureFillsItsAreaWithTheCameraProportions) {
    ASSERT_EQ(controller.window->size(), GetParam().window);
    const QSize area = view->size();
    ASSERT_GT(area.height(), GetParam().window.height() / 2);  // the picture has most of it
    const QImage shot = view->grab().toImage();
    // Device pixels back to the view's own: the grab is at the scale factor.
    const QRect box = picture_box(shot.scaled(area));
    const QRect expected = letterbox_rect(QSize(pipeline.Width, pipeline.Height), area);
    // The drawn picture fills the letterbox rectangle within a pixel of rounding at its edges,
    // less the one column of the bitmap that is never written.
    const int column = (expected.width() + pipeline.Width - 1) / pipeline.Width;
    EXPECT_NEAR(box.left(), expected.left(), 2);
    EXPECT_NEAR(box.top(), expected.top(), 2);
    EXPECT_NEAR(box.bottom(), expected.bottom(), 2);
    EXPECT_NEAR(box.right(), expected.right() - column, column + 2);
    EXPECT_TRUE(expected.width() == area.width() || expected.height() == area.height());
    EXPECT_NEAR(double(expected.width()) / expected.height(), 4.0 / 3.0, 0.02);
}

TEST_P(WindowScale, EveryControlIsInsideTheWindow) {
    const QRect inside = controller.window->rect();
    QList<QWidget*> controls;
    for (QAbstractButton* b : controller.window->findChildren<QAbstractButton*>()) controls << b;
    controls << ui->fpsText << ui->fpsLabel << controller.window->statusBar();
    for (QWidget* w : std::as_const(controls)) {
        if (!w->isVisibleTo(controller.window)) continue;
        const QRect r(w->mapTo(controller.window, QPoint(0, 0)), w->size());
        EXPECT_TRUE(inside.contains(r)) << w->objectName().toStdString() << " at " << r.x() << ","
                                        << r.y() << " " << r.width() << "x" << r.height();
        // Nothing lies on the picture.
        const QRect picture(view->mapTo(controller.window, QPoint(0, 0)), view->size());
        EXPECT_FALSE(picture.intersects(r)) << w->objectName().toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(WindowSizes, WindowScale,
                         ::testing::Values(SizeCase{"Narrow480x420", QSize(480, 420)},
                                           SizeCase{"Camera640x600", QSize(640, 600)},
                                           SizeCase{"Wide1280x800", QSize(1280, 800)}),
                         [](const ::testing::TestParamInfo<SizeCase>& info) {
                             return info.param.name;
                         });

// A screen 1000 device pixels wide at scale factor 2 holds the window at its least width.
TEST_F(WindowTest, LeastWidthFitsHalfOfAThousandPixels) {
    controller.window->show();
    QCoreApplication::processEvents();
    EXPECT_LE(controller.window->minimumSizeHint().width(), 500);
}
