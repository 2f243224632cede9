#pragma once
// A fixed set of worker threads, one per core beyond the caller's, for spreading one large
// job at a time. Callers never see the threads: run() returns when every task is done.

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace vs {

class WorkerPool {
public:
    static WorkerPool& shared();

    explicit WorkerPool(unsigned threads);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Threads that can take part, the caller included.
    unsigned threads() const { return unsigned(workers_.size()) + 1; }

    // Calls task(t, worker) for every t in [0, tasks) on at most maxThreads threads (0: all);
    // worker is in [0, threads()) and unique among concurrently running calls.
    void run(size_t tasks, unsigned maxThreads, const std::function<void(size_t, unsigned)>& task);

private:
    void workerLoop(unsigned id);
    void drain(unsigned worker, unsigned long generation);

    std::mutex runMutex_;  // one job at a time
    std::mutex mutex_;
    std::condition_variable wake_, done_;
    std::vector<std::thread> workers_;
    const std::function<void(size_t, unsigned)>* task_ = nullptr;
    size_t tasks_ = 0;
    size_t next_ = 0;
    unsigned limit_ = 0;
    unsigned busy_ = 0;
    unsigned long generation_ = 0;
    bool stop_ = false;
};

}  // namespace vs
