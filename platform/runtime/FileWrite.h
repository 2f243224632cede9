#pragma once
// Writing a whole file so that nobody ever sees it half written: the bytes go to a temporary
// file in the same folder, which then takes the file's name in one step. A failure on the way
// (a full disk, a file size limit) leaves whatever had that name as it was, and removes the
// temporary. Failures raise rt::Error 75 (Path/File access error): "cannot write PATH: the
// system's reason".

#include <cstddef>
#include <string>

namespace rt {

// Writes `path`, replacing a regular file of that name (a symbolic link keeps pointing at the
// new file). Anything else of that name, a device or a FIFO, is written into as it is.
void replaceFile(const std::string& path, const void* bytes, size_t size);

// Writes `path` only as a new file: false, with nothing written, when something has that name,
// even if it appeared while the bytes were being written.
bool createNewFile(const std::string& path, const void* bytes, size_t size);

}  // namespace rt
