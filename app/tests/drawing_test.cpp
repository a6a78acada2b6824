// SPDX-License-Identifier: MIT
// What the view draws: the output bitmap as it is, whatever its unshown fourth byte holds, on
// paint devices with and without an alpha channel (a translucent window, a 30-bit screen).
#include <QImage>

#include "window_fixture.h"

namespace {

struct Case {
    const char* name;
    uint8_t alpha;  // the camera's alpha byte, which ends up in byte 3 of the output pixels
    QImage::Format target;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

// Mean of one channel (0 red, 1 green, 2 blue) over an image.
double mean_channel(const QImage& image, int c) {
    double sum = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            sum += c == 0 ? qRed(p) : c == 1 ? qGreen(p) : qBlue(p);
        }
    return sum / (image.width() * image.height());
}

}  // namespace

class DrawingTest : public WindowTest, public ::testing::WithParamInterface<Case> {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        testcam::camera().alpha = GetParam().alpha;
        view->normalSwitch->click();      // the plain picture
        view->switchMirrorMode(nullptr);  // unmirrored, so pixel x shows camera pixel x
        startCamera(5);
    }

    // One render pass, drawn into a transparent image of the case's format.
    QImage drawInto(QSize size) {
        QImage target(size, GetParam().target);
        target.fill(Qt::transparent);
        detachView();
        view->resize(size);
        view->render(&target);
        return target.convertToFormat(QImage::Format_ARGB32);
    }
};

TEST_P(DrawingTest, PlainPictureIsDrawnOpaquePixelForPixelAtItsOwnSize) {
    view->setImageSize(QSizeF(pipeline.Width, pipeline.Height));
    const QImage shot = drawInto(QSize(32, 24));
    const int n = testcam::camera().frame - 1;  // the newest frame
    int wrong = 0;
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 31; ++x) {  // the last output byte of a row is never written
            const QRgb p = shot.pixel(x, y);
            const QRgb want = qRgba(testcam::pattern(n, x, y, 0), testcam::pattern(n, x, y, 1),
                                    testcam::pattern(n, x, y, 2), 255);
            if (p != want && ++wrong <= 3)
                ADD_FAILURE() << "pixel " << x << "," << y << ": " << std::hex << p << " want " << want;
        }
    EXPECT_EQ(wrong, 0);
}

TEST_P(DrawingTest, ScaledPictureIsOpaqueAndKeepsItsColours) {
    // Half size drawn at the camera size: smoothly scaled by two.
    ASSERT_EQ(view->sizeHint(), QSize(64, 48));
    const QImage shot = drawInto(QSize(64, 48));
    const int n = testcam::camera().frame - 1;
    QImage source(31, 24, QImage::Format_ARGB32);
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 31; ++x)
            source.setPixel(x, y, qRgb(testcam::pattern(n, x, y, 0), testcam::pattern(n, x, y, 1),
                                       testcam::pattern(n, x, y, 2)));
    const QImage inner = shot.copy(0, 0, 61, 48);  // the columns drawn from written pixels
    for (int y = 0; y < inner.height(); ++y)
        for (int x = 0; x < inner.width(); ++x)
            ASSERT_EQ(qAlpha(inner.pixel(x, y)), 255) << x << "," << y;
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(mean_channel(inner, c), mean_channel(source, c), 3.0) << "channel " << c;
}

INSTANTIATE_TEST_SUITE_P(
    AlphaByteAndTarget, DrawingTest,
    ::testing::Values(Case{"Alpha0_RGB32", 0x00, QImage::Format_RGB32},
                      Case{"Alpha0_ARGB32PM", 0x00, QImage::Format_ARGB32_Premultiplied},
                      Case{"Alpha0_RGBA64PM", 0x00, QImage::Format_RGBA64_Premultiplied},
                      Case{"Alpha0_A2RGB30PM", 0x00, QImage::Format_A2RGB30_Premultiplied},
                      Case{"Alpha128_ARGB32PM", 0x80, QImage::Format_ARGB32_Premultiplied},
                      Case{"Alpha255_ARGB32PM", 0xFF, QImage::Format_ARGB32_Premultiplied}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });
