#include "ui/ErrorReport.h"

#include <QApplication>
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

}  // namespace

std::string errorReportText(int32_t number, const std::string& text) {
    char head[64];
    if (number < 0)
        std::snprintf(head, sizeof head, "Run-time error '%d (%08X)':", number, static_cast<unsigned>(number));
    else
        std::snprintf(head, sizeof head, "Run-time error '%d':", number);
    return std::string(head) + "\n\n" + text;
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
