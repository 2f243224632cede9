#pragma once
// The Qt application object that fonts, windows and widgets need: made once for the test
// program, of the kind asked for, and kept until it ends.

#include <QCoreApplication>

namespace testsupport {

template <class Application>
void ensureApplication() {
    static int argc = 1;
    static char name[] = "celshade-tests";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance() == nullptr) new Application(argc, argv);
}

}  // namespace testsupport
