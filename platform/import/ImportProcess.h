#pragma once
// Model files of formats other than .x are read by Assimp, a large parser of untrusted files,
// in a child process of their own (celshade-import, beside the executable): whatever the file
// does to it, a crash, an abort, a hang or runaway memory, this process only sees the child end
// and reports it as the file's error. The child hands the finished mesh back in the handover
// (Handover.h), which is checked before use. No child outlives the import: it is waited for
// on every path, killed at the time limit, and dies with this process.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>

namespace modelimport {

// In import/Handover.h; not included here, so that code which only sets the child's settings
// (Qt code among it) need not see the .x reader's data objects.
struct ImportedMesh;

inline constexpr const char* kChildProgram = "celshade-import";
// The child's exit status when it has run out of the memory it may use.
inline constexpr int kExitOutOfMemory = 3;

struct ChildSettings {
    std::filesystem::path program;  // empty: kChildProgram beside this executable
    std::chrono::milliseconds timeLimit{30000};
    uint64_t memoryLimitBytes = 0;  // address space of the child; 0: half the machine's memory
    // Tests only: makes the child misbehave instead of importing ("abort", "crash", "hang",
    // "hog", "garbage"; see the child's main.cpp).
    std::string fault;
};

// The settings every import uses; tests and tools that run from elsewhere change them.
ChildSettings& childSettings();

// The first `count` bytes of a model file (fewer when it is shorter). Runtime error 53 when
// there is no such file, 75 when it is not a regular file or cannot be read;
// D3DXERR_INVALIDDATA when it is empty.
std::string readFileStart(const std::string& path, size_t count);

// The model file at `path`, read by the child and checked. Errors name the file: those of
// readFileStart; D3DXERR_INVALIDDATA with Assimp's text when it cannot read the file, or when
// the child crashes, aborts, exceeds the time limit or hands over anything malformed;
// D3DXERR_LOADEDMESHASNODATA when the file holds no triangle; E_OUTOFMEMORY when the child
// exceeds its memory limit; E_FAIL when the child cannot be started.
ImportedMesh importModel(const std::string& path, const ChildSettings& settings = childSettings());

}  // namespace modelimport
