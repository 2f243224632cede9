#pragma once
// A file opened to be read whole. Every loader of the program opens its files through this,
// so that they agree on what cannot be read:
// - A path that does not lead to a file (a missing one, or one through something that is not
//   a folder) is not found.
// - A path that leads to something other than a regular file (a folder, a FIFO, a device, a
//   socket) is refused before it is opened: opening a FIFO waits for a writer, and a device
//   may never end. Should the path be swapped for one between the look and the open, the open
//   still does not wait, and the swap is refused the same way.

#include <cstddef>
#include <cstdint>
#include <string>

namespace rt {

class InputFile {
public:
    enum class Fault { None, NotFound, NotRegular, CannotOpen };

    // Never raises: the caller turns a fault into its own kind of error.
    explicit InputFile(const std::string& path);
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile();

    Fault fault() const { return fault_; }
    bool ok() const { return fault_ == Fault::None; }
    // Why it cannot be read: "file not found", "cannot read the file (it is a FIFO)", or the
    // system's reason.
    const std::string& reason() const { return reason_; }
    int descriptor() const { return fd_; }
    uint64_t size() const { return size_; }
    // Reads up to `bytes` from the start into `data`; returns how many were read (fewer when
    // the file shrank or a read failed).
    size_t readInto(std::byte* data, size_t bytes) const;

private:
    void fail(int error);

    int fd_ = -1;
    uint64_t size_ = 0;
    Fault fault_ = Fault::None;
    std::string reason_;
};

// The errors of a model file that cannot be read: runtime error 53 (file not found) when the
// path leads to no file, 75 (path/file access error) with the reason otherwise.
void raiseUnlessReadable(const InputFile& file, const std::string& path);

}  // namespace rt
