#pragma once
// The program from the build, started on the X display as the end-to-end tests start it: its
// error report goes to standard error instead of a dialog, and its windows are found by their
// client sizes (at `ratio` times them under QT_SCALE_FACTOR).

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringList>

#include <filesystem>

#include "X11Session.h"

namespace e2e {

constexpr int kDialogWidth = 286, kDialogHeight = 204, kRenderWidth = 574, kRenderHeight = 441;

// A control's centre in the dialog, from its twip geometry (15 twips per pixel).
constexpr QPoint twips(int left, int top, int width, int height) { return {(left + width / 2) / 15, (top + height / 2) / 15}; }
constexpr QPoint kStar = twips(240, 840, 1095, 495);
// The five model choices, Option1 index 0 to 4, inside Frame1.
constexpr QPoint kOption[] = {twips(1920, 600, 855, 375), twips(1920, 1320, 855, 375), twips(1920, 2160, 855, 375),
                              twips(3000, 600, 855, 375), twips(3000, 1320, 855, 375)};

// Starts `program` (the celshade in `directory`) and waits for its dialog: the dialog's place
// on the screen, empty when it did not appear. Its error reports go to standard error only,
// unless `env` says otherwise (CELSHADE_NO_ERROR_DIALOG set empty: message boxes too).
inline QRect startProgram(QProcess& program, X11Session& x, const QStringList& arguments,
                          QProcessEnvironment env = QProcessEnvironment::systemEnvironment(),
                          const QString& directory = QStringLiteral(CELSHADE_RUNTIME_DIR), int ratio = 1) {
    if (env.value(QStringLiteral("CELSHADE_NO_ERROR_DIALOG"), QStringLiteral("1")).isEmpty())
        env.remove(QStringLiteral("CELSHADE_NO_ERROR_DIALOG"));
    else
        env.insert(QStringLiteral("CELSHADE_NO_ERROR_DIALOG"), QStringLiteral("1"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    program.setProcessEnvironment(env);
    program.start(directory + QStringLiteral("/celshade"), arguments);
    if (!program.waitForStarted(10000)) return {};  // also what moves the process to Running without an event loop
    return x.waitForWindow(kDialogWidth * ratio, kDialogHeight * ratio, 20000).value_or(QRect());
}

// Presses STAR in `dialog` and waits for the render window: its place, empty when it did not appear.
inline QRect pressStar(X11Session& x, QRect dialog, int patienceMs = 60000, int ratio = 1) {
    x.click(dialog.topLeft() + kStar * ratio);
    return x.waitForWindow(kRenderWidth * ratio, kRenderHeight * ratio, patienceMs).value_or(QRect());
}

// The build's files `names` (the program, its data) in `folder`: hard links where the file
// system allows them, copies elsewhere.
inline bool linkFromBuild(const QString& folder, const QStringList& names) {
    const QDir build(QStringLiteral(CELSHADE_RUNTIME_DIR)), into(folder);
    for (const QString& name : names) {
        std::error_code error;
        std::filesystem::create_hard_link(build.filePath(name).toStdString(), into.filePath(name).toStdString(), error);
        if (error && !QFile::copy(build.filePath(name), into.filePath(name))) return false;
    }
    return true;
}

// Ends `program` if a test left it running.
inline void stopProgram(QProcess& program) {
    if (program.state() == QProcess::NotRunning) return;
    program.kill();
    program.waitForFinished(5000);
}

}  // namespace e2e
