// The warm-up while the dialog waits (needs an X display: run under xvfb-run -a).
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QGuiApplication>

#include "support/QtApplication.h"
#include "ui/GlWindow.h"
#include "ui/WarmUp.h"

namespace {

long minorFaults() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

// A STAR pressed before the warm-up was due: the render window has its context and draws, and
// the warm-up, due now, must not stall it with a context of its own and megabytes to fault in.
TEST(WarmUp, DoesNothingOnceAWindowHasMadeItsContext) {
    testsupport::ensureApplication<QGuiApplication>();
    ui::GlWindow window;
    window.setClientSize(64, 48);
    window.makeCurrent();
    ASSERT_TRUE(ui::GlWindow::anyContextMade());
    const long before = minorFaults();
    ui::warmUp();
    EXPECT_LT(minorFaults() - before, 20);
}

}  // namespace
