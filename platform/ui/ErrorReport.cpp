#include "ui/ErrorReport.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QString>
#include <cstdio>
#include <cstdlib>

#include "runtime/Error.h"
#include "runtime/Events.h"
#include "runtime/ProcessEnd.h"

namespace ui {

namespace {

bool canShowDialog() {
    if (std::getenv("CELSHADE_NO_ERROR_DIALOG") != nullptr) return false;
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) return false;
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

// "N", or "N (XXXXXXXX)" for a status.
std::string numberText(int32_t number) {
    char digits[32];
    if (number < 0)
        std::snprintf(digits, sizeof digits, "%d (%08X)", number, static_cast<unsigned>(number));
    else
        std::snprintf(digits, sizeof digits, "%d", number);
    return digits;
}

}  // namespace

std::string errorReportText(int32_t number, const std::string& text) {
    return "Run-time error '" + numberText(number) + "':\n\n" + text;
}

std::string modelErrorText(const std::string& modelPath, int32_t number, const std::string& text) {
    const std::string name = QFileInfo(QString::fromStdString(modelPath)).fileName().toStdString();
    return "Cannot open \"" + name + "\".\n\nError " + numberText(number) + ": " + text;
}

void reportModelError(const std::string& modelPath, int32_t number, const std::string& text) {
    const std::string report = modelErrorText(modelPath, number, text);
    std::fprintf(stderr, "celshade: %s\n", report.c_str());
    std::fflush(stderr);
    if (!canShowDialog()) return;
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("celshade"), QString::fromStdString(report));
    box->setObjectName(QStringLiteral("modelError"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void reportFatalError(int32_t number, const std::string& text) {
    const std::string report = errorReportText(number, text);
    std::fprintf(stderr, "celshade: %s\n", report.c_str());
    std::fflush(stderr);
    if (canShowDialog()) {
        QMessageBox::critical(nullptr, QStringLiteral("celshade"), QString::fromStdString(report));
    }
    rt::endProcessNow(1);
}

void runGuarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const rt::Error& e) {
        reportFatalError(e.number(), e.text());
    } catch (const std::bad_alloc&) {
        reportFatalError(rt::errc::OutOfMemory, std::string(rt::runtimeErrorText(rt::errc::OutOfMemory)));
    } catch (const std::exception& e) {
        reportFatalError(rt::errc::InvalidCall, e.what());
    }
}

void installQtEventProcessing() {
    rt::setPendingEventProcessor([] { QCoreApplication::processEvents(QEventLoop::AllEvents); });
    rt::setEventWaiter(
        [] { QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents); });
}

}  // namespace ui
