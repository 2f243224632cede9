#include "BlockPipeline.h"

#include "EdgeStages.h"
#include "vs/WorkerPool.h"

namespace Module1::detail {

void forEachTask(size_t tasks, bool spread, const std::function<void(size_t)>& task) {
    if (!spread || tasks < 2) {
        for (size_t t = 0; t < tasks; ++t) task(t);
        return;
    }
    vs::WorkerPool::shared().run(tasks, 0, [&](size_t t, unsigned) { task(t); });
}

BlockPipeline::BlockPipeline(size_t blocks, unsigned slots, bool withHelper, Prepare prepare)
    : blocks_(blocks), slots_(slots), prepare_(std::move(prepare)), ready_(slots, -1) {
    if (withHelper && blocks > 1) helper_ = std::thread([this] { helperLoop(); });
}

BlockPipeline::~BlockPipeline() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    if (helper_.joinable()) helper_.join();
}

// Claims the next block and prepares it with the lock dropped. A failure is kept for the
// finishing thread, which raises it when it takes a block.
void BlockPipeline::prepareNext(std::unique_lock<std::mutex>& lock) {
    const size_t block = next_++;
    const unsigned slot = static_cast<unsigned>(block % slots_);
    lock.unlock();
    std::exception_ptr failure;
    try {
        prepare_(block, slot);
    } catch (...) {
        failure = std::current_exception();
    }
    lock.lock();
    if (failure) error_ = failure;
    else ready_[slot] = static_cast<int64_t>(block);
    changed_.notify_all();
}

void BlockPipeline::helperLoop() {
    std::unique_lock lock(mutex_);
    while (!stop_ && !error_) {
        if (claimable()) prepareNext(lock);
        else changed_.wait(lock);
    }
}

unsigned BlockPipeline::take(size_t block) {
    const unsigned slot = static_cast<unsigned>(block % slots_);
    std::unique_lock lock(mutex_);
    for (;;) {
        if (ready_[slot] == static_cast<int64_t>(block)) return slot;
        if (error_) std::rethrow_exception(error_);
        // Rather than wait for the helper, prepare a later block (or this one, unclaimed).
        if (claimable()) prepareNext(lock);
        else changed_.wait(lock);
    }
}

void BlockPipeline::release(size_t block) {
    {
        std::lock_guard lock(mutex_);
        ready_[block % slots_] = -1;
        released_ = block + 1;
    }
    changed_.notify_all();
}

}  // namespace Module1::detail
