// Without a usable EGL driver the off-screen context fails with an error that says what to
// install, instead of crashing later in a null GL call.
#include <gtest/gtest.h>

#include <cstdlib>

#include "gl/OffscreenContext.h"
#include "runtime/Error.h"
#include "runtime/Status.h"

namespace {

TEST(OffscreenContextWithoutDriver, RaisesAnErrorNamingThePackages) {
    // The vendor list of the EGL dispatcher is read on first use; point it nowhere.
    setenv("__EGL_VENDOR_LIBRARY_FILENAMES", "/nonexistent/vendor.json", 1);
    setenv("__EGL_VENDOR_LIBRARY_DIRS", "/nonexistent", 1);
    try {
        gl::OffscreenContext context;
        GTEST_SKIP() << "an EGL driver was found anyway";
    } catch (const rt::Error& e) {
        EXPECT_EQ(e.number(), D3DERR_NOTAVAILABLE);
        EXPECT_NE(e.text().find("libegl-mesa0"), std::string::npos) << e.text();
    }
}

}  // namespace
