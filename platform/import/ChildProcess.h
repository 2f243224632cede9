#pragma once
// A child process held through a pidfd until it has been reaped. It starts clean: standard
// input from /dev/null, the descriptors it is given and nothing else inherited, no signal
// blocked and every signal's disposition the default, whatever this process has set up (Qt's
// and glibc's own descriptors and handlers among them). It is signalled only through the
// pidfd, so a child already reaped, whose id another process may have taken since, is never
// signalled by mistake; and it is killed and reaped when the handle goes however it goes.

#include <sys/types.h>

#include <span>
#include <string>
#include <utility>
#include <vector>

namespace modelimport {

class ChildProcess {
public:
    // (descriptor of this process, number it has in the child)
    using Descriptor = std::pair<int, int>;

    // Starts `program` with `arguments` (the first is its name). Throws std::system_error with
    // the system's reason when it cannot be started or watched.
    ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                 std::span<const Descriptor> descriptors);
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();

    pid_t pid() const { return pid_; }
    // Readable once the child has ended; -1 once it has been reaped.
    int pidfd() const { return pidfd_; }
    bool reaped() const { return pid_ <= 0; }

    // SIGKILL while the child has not been reaped; nothing afterwards.
    void kill() noexcept;
    // Waits for the child to end and reaps it; the status waitpid gives.
    int wait() noexcept;

private:
    pid_t pid_ = -1;
    int pidfd_ = -1;
};

}  // namespace modelimport
