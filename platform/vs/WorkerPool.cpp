#include "vs/WorkerPool.h"

#include <algorithm>

namespace vs {

WorkerPool& WorkerPool::shared() {
    static WorkerPool pool(std::max(1u, std::thread::hardware_concurrency()));
    return pool;
}

WorkerPool::WorkerPool(unsigned threads) {
    for (unsigned id = 1; id < threads; ++id) workers_.emplace_back([this, id] { workerLoop(id); });
}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    for (auto& t : workers_) t.join();
}

// Takes tasks until none are left; the lock is dropped while a task runs.
void WorkerPool::drain(unsigned worker, unsigned long generation) {
    std::unique_lock lock(mutex_);
    while (generation_ == generation && next_ < tasks_) {
        const size_t t = next_++;
        lock.unlock();
        (*task_)(t, worker);
        lock.lock();
    }
}

void WorkerPool::workerLoop(unsigned id) {
    unsigned long seen = 0;
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return stop_ || generation_ != seen; });
            if (stop_) return;
            seen = generation_;
            if (id >= limit_) continue;
            ++busy_;
        }
        drain(id, seen);
        {
            std::lock_guard lock(mutex_);
            --busy_;
        }
        done_.notify_all();
    }
}

void WorkerPool::run(size_t tasks, unsigned maxThreads, const std::function<void(size_t, unsigned)>& task) {
    std::lock_guard serial(runMutex_);
    const unsigned limit = maxThreads == 0 ? threads() : std::min(maxThreads, threads());
    unsigned long generation;
    {
        std::lock_guard lock(mutex_);
        task_ = &task;
        tasks_ = tasks;
        next_ = 0;
        limit_ = limit;
        generation = ++generation_;
    }
    if (limit > 1) wake_.notify_all();
    drain(0, generation);
    std::unique_lock lock(mutex_);
    // Workers that woke late find no task left and leave at once; wait for those that took one.
    done_.wait(lock, [&] { return busy_ == 0 && next_ >= tasks_; });
    task_ = nullptr;
}

}  // namespace vs
