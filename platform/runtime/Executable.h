#pragma once
// The folder this process's executable lies in, found through its real path, so that a link
// to the executable in another folder (bin/ of an installation) still finds the programs and
// files installed beside it.

#include <filesystem>

namespace rt {

// Empty when the kernel does not say (no /proc).
std::filesystem::path executableDirectory();

}  // namespace rt
