#pragma once
// A job that may be requested again while it runs (from an event step inside it). Such a
// request is not served re-entrantly: it is remembered and served once the running job
// returns, and several requests made meanwhile collapse into one.

#include <functional>

class DeferredCall {
public:
    void request(const std::function<void()>& job) {
        if (running_) {
            pending_ = true;
            return;
        }
        do {
            pending_ = false;
            Running scope(running_);
            job();
        } while (pending_);
    }

    bool running() const { return running_; }

private:
    // Clears the flag however the job ends, so an error leaves no stale "running".
    struct Running {
        explicit Running(bool& flag) : flag_(flag) { flag_ = true; }
        ~Running() { flag_ = false; }
        bool& flag_;
    };

    bool running_ = false;
    bool pending_ = false;
};
