// SPDX-License-Identifier: MIT
// What the view draws: the output bitmap as it is, whatever its unshown fourth byte holds, on
// paint devices with and without an alpha channel (a translucent window, a 30-bit screen).
#include "window_fixture.h"

namespace {

struct DrawCase {
    const char* name;
    uint8_t alpha;  // the camera's alpha byte, which ends up in byte 3 of the output pixels
    QImage::Format target;
    friend void PrintTo(const DrawCase& r, std::ostream* os) { *os << r.name; }
};

class Drawing : public WindowTest, public ::testing::WithParamInterface<DrawCase> {};

}  // namespace

TEST_P(Drawing, ThePlainPictureIsDrawnOpaquePixelForPixel) {
    testcam::camera().alpha = GetParam().alpha;
    view->normalSwitch->click();      // the plain picture
    view->switchMirrorMode(nullptr);  // unmirrored, so pixel x shows camera pixel x
    startCamera(5);
    view->setImageSize(QSizeF(pipeline.Width, pipeline.Height));
    // Drawn centred on black: 4 columns each side.
    QImage shot(QSize(40, 24), GetParam().target);
    shot.fill(Qt::transparent);
    detachView();
    view->resize(shot.size());
    view->render(&shot);
    shot = shot.convertToFormat(QImage::Format_ARGB32);
    const int n = testcam::camera().frame - 1;  // the newest frame
    EXPECT_EQ(shot.pixel(3, 12), qRgb(0, 0, 0));
    int wrong = 0;
    for (int y = 0; y < 24; ++y) {
        for (int x = 0; x < 31; ++x) {  // the last output byte of a row is never written
            const QRgb want = qRgb(testcam::pattern(n, x, y, 0), testcam::pattern(n, x, y, 1),
                                   testcam::pattern(n, x, y, 2));
            if (shot.pixel(x + 4, y) != want && ++wrong <= 3)
                ADD_FAILURE() << "pixel " << x << "," << y;
        }
    }
    EXPECT_EQ(wrong, 0);
}

INSTANTIATE_TEST_SUITE_P(
    AlphaByteAndTarget, Drawing,
    ::testing::Values(DrawCase{"Alpha0_RGB32", 0x00, QImage::Format_RGB32},
                      DrawCase{"Alpha0_ARGB32PM", 0x00, QImage::Format_ARGB32_Premultiplied},
                      DrawCase{"Alpha0_A2RGB30PM", 0x00, QImage::Format_A2RGB30_Premultiplied},
                      DrawCase{"Alpha128_ARGB32PM", 0x80, QImage::Format_ARGB32_Premultiplied}),
    RowName());
