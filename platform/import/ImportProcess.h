#pragma once
// Model files of formats other than .x are read by Assimp, a large parser of untrusted files,
// in a child process of their own (celshade-import, beside the executable): whatever the file
// does to it, a crash, an abort, a hang or runaway memory, this process only sees the child end
// and reports it as the file's error. The child hands the finished mesh back in the handover
// (Handover.h), which is checked before use. No child outlives the import: it is waited for
// on every path, killed at the time limit or when the import is abandoned, and dies with this
// process.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace modelimport {

// In import/Handover.h; not included here, so that code which only sets the child's settings
// (Qt code among it) need not see the .x reader's data objects.
struct ImportedMesh;

inline constexpr const char* kChildProgram = "celshade-import";
// The child's exit status when it has run out of the memory it may use.
inline constexpr int kExitOutOfMemory = 3;
// The child's descriptor of the memory file it writes the handover into.
inline constexpr int kHandoverDescriptor = 3;

struct ChildSettings {
    std::filesystem::path program;  // empty: kChildProgram beside this executable
    // Zero: no limit (the program's user cancels an import instead).
    std::chrono::milliseconds timeLimit{30000};
    // Address space of the child; 0: defaultMemoryLimit().
    uint64_t memoryLimitBytes = 0;
    // Tests only: makes the child misbehave instead of importing ("abort", "crash", "hang",
    // "hog", "garbage"; see the child's main.cpp).
    std::string fault;
    // Run about every 20 ms while the child works: the program runs its pending window events
    // here, so that it keeps drawing and taking input. It may throw to abandon the import: the
    // child is killed and reaped before the exception leaves importModel.
    std::function<void()> waitStep;
};

// The settings every import uses; tests and tools that run from elsewhere change them.
ChildSettings& childSettings();

// Half of the machine's memory (at least 1 GB), or the memory limit of this process's control
// group (cgroup v2's memory.max, v1's memory.limit_in_bytes, the lowest along its path) when
// that is smaller.
uint64_t defaultMemoryLimit();
// The lowest memory limit of the control groups that `procSelfCgroup` (the text of
// /proc/self/cgroup) names, under `cgroupRoot` (/sys/fs/cgroup); UINT64_MAX when none is set.
uint64_t cgroupMemoryLimit(const std::filesystem::path& cgroupRoot, std::string_view procSelfCgroup);

// The importer beside the program in `executableDirectory`. E_FAIL when that is empty (the
// kernel did not say where the program lies): a bare name would run whatever program of that
// name lies in the current folder.
std::filesystem::path childProgramBeside(const std::filesystem::path& executableDirectory);

// The extensions of the formats the importer reads ("glb", "obj", ...: lower case, without the
// dot), as the importer lists them; none when it cannot be run or says nothing sensible within
// a few seconds.
std::vector<std::string> importerExtensions(const ChildSettings& settings = childSettings());

// Kills and reaps the child of the import in progress, if any, at once; for a process that
// ends from inside the import's wait step.
void endRunningImport() noexcept;

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
