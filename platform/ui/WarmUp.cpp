#include "ui/WarmUp.h"

#include <QBuffer>
#include <QImageReader>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QSurfaceFormat>
#include <QTimer>
#include "ui/GlWindow.h"

namespace ui {

namespace {

void loadOpenGLDriver() {
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setVersion(3, 3);
    format.setProfile(QSurfaceFormat::CoreProfile);
    QOffscreenSurface surface;
    surface.setFormat(format);
    surface.create();
    QOpenGLContext context;
    context.setFormat(format);
    if (!context.create() || !context.makeCurrent(&surface)) return;
    context.doneCurrent();
}

void loadImageFormatPlugins() {
    QByteArray nothing;
    QBuffer buffer(&nothing);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    reader.canRead();
}

}  // namespace

void warmUp() {
    // A STAR pressed before the warm-up was due has done all this already, and a window is
    // drawing: the work would only stall it.
    if (GlWindow::anyContextMade()) return;
    loadOpenGLDriver();
    loadImageFormatPlugins();
}

void warmUpSoon() { QTimer::singleShot(250, [] { warmUp(); }); }

}  // namespace ui
