#include "animation/Output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "runtime/Error.h"

namespace animation {

void writeFile(const std::string& path, const void* bytes, size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) rt::raiseRuntime(rt::errc::PathFileAccess, "cannot write " + path + ": " + std::strerror(errno));
    const bool written = std::fwrite(bytes, 1, size, file) == size;
    const int error = errno;
    if (std::fclose(file) != 0 || !written) {
        std::remove(path.c_str());
        rt::raiseRuntime(rt::errc::PathFileAccess, "cannot write " + path + ": " + std::strerror(written ? errno : error));
    }
}

}  // namespace animation
