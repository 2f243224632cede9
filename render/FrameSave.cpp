// F12 / Ctrl+S: the frame on screen as a PNG. What the last present showed is still in the
// back buffer (the next frame is drawn only after this event step), so reading it back gives
// the picture exactly as shown, overlay included, at the window's device pixels; only a notice
// of an earlier save, which no picture has, is drawn away first.

#include "render/FrameSave.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cstdio>

#include "d3d8/Direct3DDevice8.h"
#include "d3dsupport/Mdx8.h"
#include "d3dx8/PngImage.h"
#include "render/Form1.h"
#include "runtime/Error.h"
#include "runtime/FileWrite.h"

namespace {

// "doom1" for the first of the five, the file's own name for a model of the user's.
QString modelName() {
    QString file = QString::fromStdString(Mdx8::modelFile);
    file.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QString name = QFileInfo(file).completeBaseName();
    return name.isEmpty() ? QStringLiteral("celshade") : name;
}

[[noreturn]] void cannotWrite(const QString& what, const char* why) {
    rt::raiseRuntime(rt::errc::PathFileAccess, "cannot write " + what.toStdString() + ": " + why);
}

}  // namespace

QString savedFramesFolder() {
    QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (!QDir::isAbsolutePath(pictures)) pictures = QDir::homePath() + QStringLiteral("/Pictures");
    if (!QDir::isAbsolutePath(pictures)) return {};
    return QDir::cleanPath(pictures + QStringLiteral("/celshade"));
}

QString saveAsNewPicture(const QString& folder, const QString& stem, const QByteArray& png) {
    if (!QDir().mkpath(folder)) cannotWrite(folder, "the folder cannot be made");
    // Names taken are passed over at a glance; the write itself refuses one taken meanwhile.
    for (int n = 1; n <= 10000; ++n) {
        const QString name = n == 1 ? stem + QStringLiteral(".png") : stem + QStringLiteral("-%1.png").arg(n);
        const QString path = QDir(folder).filePath(name);
        if (QFileInfo::exists(path)) continue;
        if (rt::createNewFile(QFile::encodeName(path).toStdString(), png.constData(), size_t(png.size()))) return path;
    }
    cannotWrite(QDir(folder).filePath(stem + QStringLiteral(".png")), "every numbered name is taken");
}

void Form1::saveFrame() {
    try {
        const QString folder = savedFramesFolder();
        if (folder.isEmpty()) cannotWrite(QStringLiteral("the frame"), "no absolute pictures folder (user-dirs.dirs, HOME)");
        if (saveNotice.inLastFrame()) {
            // A setup under way has already replaced parts of the scene that frame was drawn from
            // (while the importer reads, it has replaced nothing yet).
            if (sceneSetup_.running() && !importing_) cannotWrite(QStringLiteral("the frame"), "a model is being set up; save again once it shows");
            recipe::drawFrame(Mdx8::device(), *this);
            saveNotice.drawnAway();
        }
        const BackBufferImage frame = Mdx8::device().readBackBuffer();
        const QString stem = modelName() + QLatin1Char('-') +
                             QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
        const QString path = saveAsNewPicture(folder, stem, d3dx8::encodePng(frame.width, frame.height, frame.pixels.data()));
        std::printf("%s\n", qPrintable(path));
        std::fflush(stdout);
        saveNotice.show(u"已保存 (saved): " + path.toStdU16String());
    } catch (const rt::Error& e) {
        // Losing the session over a picture would lose more than the picture.
        std::fprintf(stderr, "celshade: cannot save the frame: %s\n", e.text().c_str());
        saveNotice.show(u"未能保存 (not saved): " + QString::fromStdString(e.text()).toStdU16String());
    }
}
