// celshade-import --memory-limit BYTES --parent PID [--fault KIND] -- FILE
// celshade-import --formats
//
// The importer child: reads FILE with Assimp and writes the handover (import/Handover.h) to
// descriptor 3, a memory file of its parent's: the whole scene as one triangle mesh in the
// program's left-handed space, or the reason there is none. Its parent
// (import/ImportProcess.cpp) starts it and treats everything it writes as untrusted. Before
// reading anything it makes no core dump, limits its address space and what it may write to
// BYTES, and arranges to die with PID; running out of memory ends it with exit status 3.
//
// --formats lists the file name patterns of the formats it reads, for the program's file chooser.
//
// --fault, in test builds only (CELSHADE_IMPORT_FAULTS), makes it misbehave instead, for the
// parent's tests: abort, crash (SIGSEGV), hang, hog (allocate until the memory limit), garbage
// (a handover of random bytes). An importer built otherwise refuses it.

#include <malloc.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <assimp/Importer.hpp>
#include <assimp/config.h>
#include <assimp/importerdesc.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "SceneMesh.h"
#include "import/Handover.h"
#include "import/ImportProcess.h"
#include "runtime/Sanitizers.h"

namespace {

using importchild::Failure;
using modelimport::FailureReason;
using modelimport::ImportedMesh;

struct Options {
    uint64_t memoryLimit = 0;
    pid_t parent = 0;
    std::string fault;
    std::string file;
};

std::optional<Options> parseOptions(int argc, char** argv) {
    Options o;
    int i = 1;
    for (; i + 1 < argc && std::strcmp(argv[i], "--") != 0; i += 2) {
        const std::string name = argv[i], value = argv[i + 1];
        if (name == "--memory-limit") o.memoryLimit = std::strtoull(value.c_str(), nullptr, 10);
        else if (name == "--parent") o.parent = static_cast<pid_t>(std::strtol(value.c_str(), nullptr, 10));
#ifdef CELSHADE_IMPORT_FAULTS
        else if (name == "--fault") o.fault = value;
#endif
        else return std::nullopt;
    }
    if (i + 2 != argc || std::strcmp(argv[i], "--") != 0) return std::nullopt;
    o.file = argv[i + 1];
    return o;
}

// A crash or an abort is reported to the parent by its signal; a core dump of it would be left
// behind in whatever folder the program was started from.
void dumpNoCore() {
    const rlimit none{0, 0};
    ::setrlimit(RLIMIT_CORE, &none);
}

// SIGKILL when the parent goes; if it went before this was arranged, stop now.
void endWithParent(pid_t parent) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (parent > 0 && ::getppid() != parent) std::_Exit(1);
}

[[noreturn]] void outOfMemory() { std::_Exit(modelimport::kExitOutOfMemory); }

// The sanitizers reserve terabytes of address space at start (AddressSanitizer reports a failed
// allocation itself), so under them the child runs without the limit on its memory. The
// handover, which lies in memory too, may not grow beyond it either way.
bool limitMemory(uint64_t bytes) {
    if (bytes == 0) return false;
    const rlimit limit{bytes, bytes};
    ::setrlimit(RLIMIT_FSIZE, &limit);
#ifdef CELSHADE_SANITIZED
    return false;
#else
    return ::setrlimit(RLIMIT_AS, &limit) == 0;
#endif
}

void writeAll(const void* data, size_t size) {
    const auto* bytes = static_cast<const std::byte*>(data);
    for (size_t done = 0; done < size;) {
        const ssize_t n = ::write(modelimport::kHandoverDescriptor, bytes + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) std::_Exit(1);
        done += static_cast<size_t>(n);
    }
}

#ifdef CELSHADE_IMPORT_FAULTS
[[noreturn]] void misbehave(const std::string& fault, bool memoryLimited) {
    if (fault == "abort") std::abort();
    if (fault == "crash") {
        ::signal(SIGSEGV, SIG_DFL);  // past any sanitizer's handler
        ::raise(SIGSEGV);
    }
    if (fault == "hang")
        for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
    if (fault == "hog" && memoryLimited) {
        std::vector<std::unique_ptr<char[]>> held;
        for (;;) held.emplace_back(new char[size_t{64} << 20]);
    }
    if (fault == "garbage") {
        std::vector<std::byte> noise(4096);
        std::mt19937 random(1);
        for (std::byte& b : noise) b = static_cast<std::byte>(random());
        writeAll(noise.data(), noise.size());
        std::exit(0);
    }
    std::fprintf(stderr, "celshade-import: no fault %s here\n", fault.c_str());
    std::exit(2);
}
#endif

// Triangles apart from points and lines, less what the mesh does not need (vertex colours,
// skins, animation, lights and cameras). The rest (placing, joining, turning, and
// normals where the file has none) is sceneMesh's: Assimp's steps for it took longer than
// reading the file, its normals longer the larger the file.
constexpr unsigned kSteps = aiProcess_ValidateDataStructure | aiProcess_RemoveComponent | aiProcess_Triangulate |
                            aiProcess_SortByPType;

// An STL file's normals are its facets' normals, not the surface's: a curved surface would
// be drawn in facets. The mesh is given smooth normals instead, as a file without normals is.
void dropFacetNormals(const aiScene& scene) {
    for (unsigned m = 0; m < scene.mNumMeshes; ++m) {
        aiMesh& mesh = *scene.mMeshes[m];
        delete[] mesh.mNormals;
        mesh.mNormals = nullptr;
    }
}

// Whether the reader found a triangle (or a polygon, which is cut into triangles). Asked before
// Assimp's own check, which refuses a scene of points or lines as malformed rather than as
// empty; only counts and flags are read, nothing they point to.
bool hasTriangles(const aiScene& scene) {
    for (unsigned m = 0; m < scene.mNumMeshes && scene.mMeshes != nullptr; ++m) {
        const aiMesh* mesh = scene.mMeshes[m];
        if (mesh != nullptr && mesh->mNumFaces > 0 && (mesh->mPrimitiveTypes & (aiPrimitiveType_TRIANGLE | aiPrimitiveType_POLYGON)))
            return true;
    }
    return false;
}

ImportedMesh importFile(const std::string& path) {
    // Never freed (but still reachable, as a leak checker wants it): the process ends once the
    // mesh is handed over, and the system takes Assimp's scene back at once, where freeing it a
    // block per face took 7% of the importer's work.
    static Assimp::Importer* const kept = new Assimp::Importer;
    Assimp::Importer& importer = *kept;
    importer.SetPropertyInteger(AI_CONFIG_PP_RVC_FLAGS, aiComponent_TANGENTS_AND_BITANGENTS | aiComponent_COLORS |
                                                            aiComponent_BONEWEIGHTS | aiComponent_ANIMATIONS |
                                                            aiComponent_LIGHTS | aiComponent_CAMERAS);
    // Read first, checked after: Assimp's check refuses a scene without triangles as malformed.
    const aiScene* scene = importer.ReadFile(path, 0);
    if (scene != nullptr && !hasTriangles(*scene)) throw Failure{FailureReason::NoTriangles, importchild::kNoTriangles};
    if (scene != nullptr) scene = importer.ApplyPostProcessing(kSteps);
    if (scene == nullptr) throw Failure{FailureReason::Unreadable, importer.GetErrorString()};
    // The reader ReadFile chose, as it records it.
    const int reader = importer.GetPropertyInteger("importerIndex", -1);
    if (reader >= 0 && static_cast<size_t>(reader) == importer.GetImporterIndex(".stl")) dropFacetNormals(*scene);
    ImportedMesh mesh = importchild::sceneMesh(*scene, std::filesystem::path(path).parent_path());
    const aiImporterDesc* description = reader >= 0 ? importer.GetImporterInfo(static_cast<size_t>(reader)) : nullptr;
    mesh.format = description != nullptr ? description->mName : "unknown";
    return mesh;
}

}  // namespace

int main(int argc, char** argv) {
    dumpNoCore();
    if (argc == 2 && std::strcmp(argv[1], "--formats") == 0) {
        // The file name patterns of every format Assimp reads, "*.3ds;*.glb;...".
        aiString patterns;
        Assimp::Importer().GetExtensionList(patterns);
        std::printf("%s\n", patterns.C_Str());
        return 0;
    }
    const std::optional<Options> options = parseOptions(argc, argv);
    if (!options) {
        std::fprintf(stderr, "usage: celshade-import --memory-limit BYTES --parent PID [--fault KIND] -- FILE\n");
        return 2;
    }
    endWithParent(options->parent);
    const bool memoryLimited = limitMemory(options->memoryLimit);
    // Freed blocks stay with the heap for the next ones: Assimp frees and allocates large
    // buffers as it reads, and each fresh page costs a fault (the rose as .glb: 1850 faults
    // down to 1570, 52 ms of CPU down to 46).
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
    std::set_new_handler(outOfMemory);
#ifdef CELSHADE_IMPORT_FAULTS
    if (!options->fault.empty()) misbehave(options->fault, memoryLimited);
#else
    (void)memoryLimited;
#endif
    std::optional<ImportedMesh> mesh;
    try {
        mesh = importFile(options->file);
    } catch (const Failure& failure) {
        modelimport::writeFailure(failure.reason, failure.text, writeAll);
        return 0;
    }
    modelimport::writeMesh(*mesh, writeAll);
    return 0;
}
