// F12 / Ctrl+S: the frame on screen as a PNG. What the last present showed is still in the
// back buffer (the next frame is drawn only after this event step), so reading it back gives
// the picture exactly as shown, overlay included, at the window's device pixels.

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QStandardPaths>

#include <cstdio>
#include <cstring>

#include "d3d8/Direct3DDevice8.h"
#include "d3dsupport/Mdx8.h"
#include "render/Form1.h"

namespace {

// XDG_PICTURES_DIR when set; else the one the user's folders name, or ~/Pictures.
QString picturesFolder() {
    const QString set = qEnvironmentVariable("XDG_PICTURES_DIR");
    if (!set.isEmpty()) return set;
    return QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
}

// "doom1" for the first of the five, the file's own name for a model of the user's.
QString modelName() {
    QString file = QString::fromStdString(Mdx8::modelFile);
    file.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QString name = QFileInfo(file).completeBaseName();
    return name.isEmpty() ? QStringLiteral("celshade") : name;
}

// A name no picture has yet: a second save within the same second gets "-2", and so on.
QString freshPath(const QDir& folder, const QString& stem) {
    QString path = folder.filePath(stem + QStringLiteral(".png"));
    for (int n = 2; QFileInfo::exists(path); ++n) path = folder.filePath(stem + QStringLiteral("-%1.png").arg(n));
    return path;
}

}  // namespace

void Form1::saveFrame() {
    const BackBufferImage frame = Mdx8::device().readBackBuffer();
    QImage image(static_cast<int>(frame.width), static_cast<int>(frame.height), QImage::Format_RGB32);
    for (uint32_t y = 0; y < frame.height; ++y)
        std::memcpy(image.scanLine(static_cast<int>(y)), &frame.pixels[std::size_t{y} * frame.width], frame.width * 4u);

    const QDir folder(picturesFolder() + QStringLiteral("/celshade"));
    const QString stem = modelName() + QLatin1Char('-') +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString path = folder.mkpath(QStringLiteral(".")) ? freshPath(folder, stem) : QString();
    if (path.isEmpty() || !image.save(path, "PNG")) {
        // Losing the session over a picture would lose more than the picture.
        std::fprintf(stderr, "celshade: cannot save the frame in %s\n", qPrintable(folder.path()));
        return;
    }
    std::printf("%s\n", qPrintable(path));
    std::fflush(stdout);
}
