#include <gtest/gtest.h>

#include <stdexcept>

#include "render/DeferredCall.h"

namespace {

TEST(DeferredCall, RequestsDuringARunCollapseIntoOneRunAfterIt) {
    DeferredCall call;
    int runs = 0;
    std::function<void()> job = [&] {
        ++runs;
        if (runs == 1) {
            // Three presses while the first setup is suspended in its event step.
            call.request(job);
            call.request(job);
            call.request(job);
            EXPECT_EQ(runs, 1) << "a nested request must not run inside the running job";
        }
    };
    call.request(job);
    EXPECT_EQ(runs, 2);
    EXPECT_FALSE(call.running());
}

TEST(DeferredCall, AnErrorLeavesItReadyForTheNextRequest) {
    DeferredCall call;
    EXPECT_THROW(call.request([] { throw std::runtime_error("load failed"); }), std::runtime_error);
    EXPECT_FALSE(call.running());
    int runs = 0;
    call.request([&] { ++runs; });
    EXPECT_EQ(runs, 1);
}

}  // namespace
