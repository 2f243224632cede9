#pragma once
// Blocks of work prepared ahead of the thread that finishes them in order. The finishing
// thread (the window system's, which yields between faces) takes block after block; a helper
// thread prepares the blocks after it, and the finishing thread prepares one itself whenever
// the block it needs is not ready yet, so both cores stay busy and neither waits long. Prepared
// blocks wait in a few slots reused in turn, which bounds how far ahead the preparation runs.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace Module1::detail {

class BlockPipeline {
public:
    // Prepares block `block` into slot `slot`; called on either thread, never for one slot on
    // both at once. It must not touch what the finishing thread reads of a slot it holds.
    using Prepare = std::function<void(size_t block, unsigned slot)>;

    BlockPipeline(size_t blocks, unsigned slots, bool withHelper, Prepare prepare);
    ~BlockPipeline();
    BlockPipeline(const BlockPipeline&) = delete;
    BlockPipeline& operator=(const BlockPipeline&) = delete;

    // The slot that holds block `block` prepared; blocks are taken in order, each once.
    // Raises whatever preparing a block raised.
    unsigned take(size_t block);
    // The taken block is finished: its slot may take a later block.
    void release(size_t block);

private:
    bool claimable() const { return next_ < blocks_ && next_ < released_ + slots_; }
    void prepareNext(std::unique_lock<std::mutex>& lock);
    void helperLoop();

    const size_t blocks_;
    const unsigned slots_;
    const Prepare prepare_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<int64_t> ready_;  // per slot: the block it holds prepared, or -1
    size_t next_ = 0;             // the first block nobody has claimed
    size_t released_ = 0;         // blocks finished
    bool stop_ = false;
    std::exception_ptr error_;
    std::thread helper_;
};

}  // namespace Module1::detail
