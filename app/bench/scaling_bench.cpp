// SPDX-License-Identifier: MIT
// Scaling the picture to the window: Qt's software paths against an OpenGL path (texture upload
// and a linear-filtered quad, as a QOpenGLWidget would draw it). The window is 1280 x 960 (twice
// the camera) or 1920 x 1080 (letterboxed to 1440 x 1080). The OpenGL case needs a display
// with GLX (run under xvfb-run with QT_QPA_PLATFORM=xcb); elsewhere it reports the skip.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QOpenGLFunctions>
#include <QPainter>
#include <memory>
#include <vector>

#include "MyMovieView.h"

namespace {

QImage camera_picture() {
    QImage image(640, 480, QImage::Format_RGBX8888);
    for (int y = 0; y < image.height(); ++y) {
        uchar* row = image.scanLine(y);
        for (int i = 0; i < image.bytesPerLine(); ++i)
            row[i] = static_cast<uchar>((i * 37 + y) >> 3);
        for (int x = 0; x < image.width(); ++x) row[4 * x + 3] = 0xFF;
    }
    return image;
}

QRect target_rect(const benchmark::State& state) {
    return letterbox_rect(
        QSize(640, 480), QSize(static_cast<int>(state.range(0)), static_cast<int>(state.range(1))));
}

// range(2): 0 nearest pixel, 1 QPainter's smooth (bilinear) transform, 2 QImage::scaled with
// Qt::SmoothTransformation, then an unscaled draw.
void BM_ScaleSoftware(benchmark::State& state) {
    const QImage picture = camera_picture();
    QImage window(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
                  QImage::Format_RGB32);
    const QRect r = target_rect(state);
    for (auto _ : state) {
        QPainter painter(&window);
        painter.fillRect(window.rect(), Qt::black);
        if (state.range(2) == 2) {
            painter.drawImage(r.topLeft(), picture.scaled(r.size(), Qt::IgnoreAspectRatio,
                                                          Qt::SmoothTransformation));
        } else {
            painter.setRenderHint(QPainter::SmoothPixmapTransform, state.range(2) == 1);
            painter.drawImage(r, picture);
        }
    }
}
BENCHMARK(BM_ScaleSoftware)
    ->ArgNames({"w", "h", "path"})
    ->Args({1280, 960, 0})
    ->Args({1280, 960, 1})
    ->Args({1280, 960, 2})
    ->Args({1920, 1080, 0})
    ->Args({1920, 1080, 1})
    ->Args({1920, 1080, 2})
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

struct GlScene {
    QOpenGLContext context;
    QOffscreenSurface surface;
    std::unique_ptr<QOpenGLFramebufferObject> fbo, source;
};

// Upload of every picture, then a linear-filtered blit into a framebuffer of the window's size,
// finished before the next one.
void BM_ScaleOpenGL(benchmark::State& state) {
    if (!qGuiApp) return state.SkipWithError("no QGuiApplication");
    GlScene gl;
    gl.surface.create();
    if (!gl.context.create() || !gl.context.makeCurrent(&gl.surface)) {
        return state.SkipWithError("no OpenGL context on this display");
    }
    const QImage picture = camera_picture();
    const QSize window(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    gl.fbo = std::make_unique<QOpenGLFramebufferObject>(window);
    gl.source = std::make_unique<QOpenGLFramebufferObject>(picture.size());
    QOpenGLFunctions* f = gl.context.functions();
    const QRect r = target_rect(state);
    for (auto _ : state) {
        f->glBindTexture(GL_TEXTURE_2D, gl.source->texture());
        f->glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, picture.width(), picture.height(), GL_RGBA,
                           GL_UNSIGNED_BYTE, picture.constBits());
        gl.fbo->bind();
        f->glClear(GL_COLOR_BUFFER_BIT);
        QOpenGLFramebufferObject::blitFramebuffer(gl.fbo.get(), r, gl.source.get(), picture.rect(),
                                                  GL_COLOR_BUFFER_BIT, GL_LINEAR);
        f->glFinish();
    }
    gl.context.doneCurrent();
}
BENCHMARK(BM_ScaleOpenGL)
    ->ArgNames({"w", "h"})
    ->Args({1280, 960})
    ->Args({1920, 1080})
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    // The OpenGL case needs the application object; the software ones run without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
