// celshade-import --memory-limit BYTES --parent PID [--fault KIND] -- FILE
//
// The importer child: reads FILE with Assimp and writes the handover (import/Handover.h) to
// stdout, the whole scene as one triangle mesh in the program's left-handed space, or the
// reason there is none. Its parent (import/ImportProcess.cpp) starts it and treats everything
// it writes as untrusted. Before reading anything it limits its address space to BYTES and
// arranges to die with PID; running out of memory ends it with exit status 3.
//
// --fault makes it misbehave instead, for the parent's tests: abort, crash (SIGSEGV), hang,
// hog (allocate until the memory limit), garbage (a handover of random bytes).

#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <assimp/BaseImporter.h>
#include <assimp/Importer.hpp>
#include <assimp/config.h>
#include <assimp/material.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "import/Handover.h"
#include "import/ImportProcess.h"

#if defined(__SANITIZE_ADDRESS__)
#define CELSHADE_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CELSHADE_ASAN 1
#endif
#endif

namespace {

using modelimport::FailureReason;
using modelimport::ImportedMesh;

struct Options {
    uint64_t memoryLimit = 0;
    pid_t parent = 0;
    std::string fault;
    std::string file;
};

struct Failure {
    FailureReason reason;
    std::string text;
};

std::optional<Options> parseOptions(int argc, char** argv) {
    Options o;
    int i = 1;
    for (; i + 1 < argc && std::strcmp(argv[i], "--") != 0; i += 2) {
        const std::string name = argv[i], value = argv[i + 1];
        if (name == "--memory-limit") o.memoryLimit = std::strtoull(value.c_str(), nullptr, 10);
        else if (name == "--parent") o.parent = static_cast<pid_t>(std::strtol(value.c_str(), nullptr, 10));
        else if (name == "--fault") o.fault = value;
        else return std::nullopt;
    }
    if (i + 2 != argc || std::strcmp(argv[i], "--") != 0) return std::nullopt;
    o.file = argv[i + 1];
    return o;
}

// SIGKILL when the parent goes; if it went before this was arranged, stop now.
void endWithParent(pid_t parent) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (parent > 0 && ::getppid() != parent) std::_Exit(1);
}

[[noreturn]] void outOfMemory() { std::_Exit(modelimport::kExitOutOfMemory); }

// AddressSanitizer reserves terabytes of address space at start and reports a failed
// allocation itself, so under it the child runs without the limit.
bool limitMemory(uint64_t bytes) {
#ifdef CELSHADE_ASAN
    (void)bytes;
    return false;
#else
    if (bytes == 0) return false;
    const rlimit limit{bytes, bytes};
    return ::setrlimit(RLIMIT_AS, &limit) == 0;
#endif
}

void writeAll(const std::vector<std::byte>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(1, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) std::_Exit(1);
        done += static_cast<size_t>(n);
    }
}

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
        writeAll(noise);
        std::exit(0);
    }
    std::fprintf(stderr, "celshade-import: no fault %s here\n", fault.c_str());
    std::exit(2);
}

// The importer Assimp reads the file with, chosen as Assimp 5.2 chooses it: the one importer
// that claims the file's extension; of several, the first that recognises the content; of
// none, the first of all that does.
size_t readerOf(Assimp::Importer& importer, const std::string& path) {
    std::string extension = std::filesystem::path(path).extension().string();
    if (!extension.empty()) extension.erase(0, 1);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::vector<size_t> claiming;
    for (size_t i = 0; i < importer.GetImporterCount(); ++i) {
        std::istringstream words(importer.GetImporterInfo(i)->mFileExtensions);
        for (std::string word; words >> word;)
            if (word == extension) claiming.push_back(i);
    }
    if (claiming.size() == 1) return claiming[0];
    auto recognises = [&](size_t i) { return importer.GetImporter(i)->CanRead(path, importer.GetIOHandler(), true); };
    for (size_t i : claiming)
        if (recognises(i)) return i;
    for (size_t i = 0; i < importer.GetImporterCount(); ++i)
        if (recognises(i)) return i;
    return SIZE_MAX;
}

float finiteOr(float value, float otherwise) { return std::isfinite(value) ? value : otherwise; }

modelimport::Material materialOf(const aiMaterial& source) {
    modelimport::Material m;
    aiString name;
    const bool named = source.Get(AI_MATKEY_NAME, name) == AI_SUCCESS && name.length > 0;
    aiColor4D diffuse(1, 1, 1, 1);
    const bool baseColour = source.Get(AI_MATKEY_BASE_COLOR, diffuse) == AI_SUCCESS;
    if (!baseColour) source.Get(AI_MATKEY_COLOR_DIFFUSE, diffuse);
    // Assimp's stand-in for a file without materials: named so by most readers, nameless and
    // white by the PLY reader.
    const bool white = diffuse.r == 1 && diffuse.g == 1 && diffuse.b == 1;
    if ((named && std::strcmp(name.C_Str(), AI_DEFAULT_MATERIAL_NAME) == 0) || (!named && !baseColour && white)) {
        m.origin = modelimport::MaterialOrigin::None;
        return m;
    }
    aiColor3D specular(0, 0, 0), emissive(0, 0, 0);
    source.Get(AI_MATKEY_COLOR_SPECULAR, specular);
    source.Get(AI_MATKEY_COLOR_EMISSIVE, emissive);
    float power = 0;
    source.Get(AI_MATKEY_SHININESS, power);
    m.diffuse = {finiteOr(diffuse.r, 1), finiteOr(diffuse.g, 1), finiteOr(diffuse.b, 1), finiteOr(diffuse.a, 1)};
    m.power = finiteOr(power, 0);
    m.specular = {finiteOr(specular.r, 0), finiteOr(specular.g, 0), finiteOr(specular.b, 0)};
    m.emissive = {finiteOr(emissive.r, 0), finiteOr(emissive.g, 0), finiteOr(emissive.b, 0)};
    return m;
}

constexpr const char* kNoTriangles = "the file holds no triangle to draw";

// The scene's triangle meshes, already placed in the world by the post-processing, one after
// the other; materials no triangle uses are left out, the rest keep their order.
ImportedMesh flatten(const aiScene& scene) {
    ImportedMesh out;
    uint64_t vertices = 0;
    bool texCoords = false;
    std::vector<uint32_t> newMaterial(scene.mNumMaterials, UINT32_MAX);
    for (unsigned m = 0; m < scene.mNumMeshes; ++m) {
        const aiMesh& mesh = *scene.mMeshes[m];
        if (!(mesh.mPrimitiveTypes & aiPrimitiveType_TRIANGLE)) continue;
        vertices += mesh.mNumVertices;
        texCoords |= mesh.HasTextureCoords(0);
        if (mesh.mMaterialIndex < scene.mNumMaterials) newMaterial[mesh.mMaterialIndex] = 0;
    }
    if (vertices > modelimport::kMaxVertices)
        throw Failure{FailureReason::Unreadable, "the scene has " + std::to_string(vertices) + " vertices, more than a mesh can index"};
    for (unsigned i = 0; i < scene.mNumMaterials; ++i)
        if (newMaterial[i] == 0) {
            newMaterial[i] = static_cast<uint32_t>(out.materials.size());
            out.materials.push_back(materialOf(*scene.mMaterials[i]));
        }
    out.positions.reserve(vertices);
    out.normals.reserve(vertices);
    if (texCoords) out.texCoords.reserve(vertices);
    for (unsigned m = 0; m < scene.mNumMeshes; ++m) {
        const aiMesh& mesh = *scene.mMeshes[m];
        if (!(mesh.mPrimitiveTypes & aiPrimitiveType_TRIANGLE) || mesh.mMaterialIndex >= scene.mNumMaterials) continue;
        const auto base = static_cast<uint32_t>(out.positions.size());
        for (unsigned v = 0; v < mesh.mNumVertices; ++v) {
            const aiVector3D& p = mesh.mVertices[v];
            if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
                throw Failure{FailureReason::Unreadable, "a vertex of mesh " + std::to_string(m) + " is not a finite point"};
            out.positions.push_back({p.x, p.y, p.z});
            const aiVector3D n = mesh.HasNormals() ? mesh.mNormals[v] : aiVector3D(0, 0, 0);
            const bool finite = std::isfinite(n.x) && std::isfinite(n.y) && std::isfinite(n.z);
            out.normals.push_back(finite ? modelimport::Float3{n.x, n.y, n.z} : modelimport::Float3{0, 0, 0});
            if (texCoords) {
                const aiVector3D t = mesh.HasTextureCoords(0) ? mesh.mTextureCoords[0][v] : aiVector3D(0, 0, 0);
                out.texCoords.push_back({finiteOr(t.x, 0), finiteOr(t.y, 0)});
            }
        }
        for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
            const aiFace& face = mesh.mFaces[f];
            if (face.mNumIndices != 3) continue;
            for (unsigned k = 0; k < 3; ++k) {
                if (face.mIndices[k] >= mesh.mNumVertices)
                    throw Failure{FailureReason::Unreadable, "a face of mesh " + std::to_string(m) + " names a vertex it does not have"};
                out.indices.push_back(base + face.mIndices[k]);
            }
            out.faceMaterials.push_back(newMaterial[mesh.mMaterialIndex]);
        }
    }
    if (out.faceCount() == 0) throw Failure{FailureReason::NoTriangles, kNoTriangles};
    if (out.faceCount() > modelimport::kMaxFaces)
        throw Failure{FailureReason::Unreadable, "the scene has more triangles than a mesh can index"};
    return out;
}

// Triangles apart from points and lines, each mesh placed in the world (less what the mesh
// does not need: vertex colours, skins, animation, textures, lights and cameras), normals where
// the file has none, smooth across edges of less than 30 degrees (sharper ones stay creases) ...
constexpr unsigned kReading = aiProcess_ValidateDataStructure | aiProcess_RemoveComponent | aiProcess_Triangulate |
                              aiProcess_SortByPType | aiProcess_PreTransformVertices | aiProcess_GenSmoothNormals;
constexpr float kSmoothingAngle = 30.0f;
// ... then identical vertices joined, and all turned into the program's left-handed space with
// clockwise front faces. A separate step: in one with the turn, Assimp 5.2 would make the
// normals it generates point inwards.
constexpr unsigned kFinishing = aiProcess_JoinIdenticalVertices | aiProcess_ConvertToLeftHanded;

// An STL file's normals are its facets' normals, not the surface's: a curved surface would
// be drawn in facets. The mesh is given smooth normals instead, as a file without normals is.
void dropFacetNormals(const aiScene& scene) {
    for (unsigned m = 0; m < scene.mNumMeshes; ++m) {
        aiMesh& mesh = *scene.mMeshes[m];
        delete[] mesh.mNormals;
        mesh.mNormals = nullptr;
    }
}

ImportedMesh importFile(const std::string& path) {
    Assimp::Importer importer;
    importer.SetPropertyInteger(AI_CONFIG_PP_RVC_FLAGS, aiComponent_TANGENTS_AND_BITANGENTS | aiComponent_COLORS |
                                                            aiComponent_BONEWEIGHTS | aiComponent_ANIMATIONS |
                                                            aiComponent_TEXTURES | aiComponent_LIGHTS | aiComponent_CAMERAS);
    importer.SetPropertyFloat(AI_CONFIG_PP_GSN_MAX_SMOOTHING_ANGLE, kSmoothingAngle);
    // Read first, checked after: Assimp's check refuses a scene without meshes as malformed.
    const aiScene* scene = importer.ReadFile(path, 0);
    if (scene != nullptr && scene->mNumMeshes == 0) throw Failure{FailureReason::NoTriangles, kNoTriangles};
    if (scene != nullptr) scene = importer.ApplyPostProcessing(kReading);
    if (scene == nullptr) throw Failure{FailureReason::Unreadable, importer.GetErrorString()};
    const size_t reader = readerOf(importer, path);
    if (reader != SIZE_MAX && reader == importer.GetImporterIndex(".stl")) {
        dropFacetNormals(*scene);
        scene = importer.ApplyPostProcessing(aiProcess_GenSmoothNormals);
    }
    if (scene != nullptr) scene = importer.ApplyPostProcessing(kFinishing);
    if (scene == nullptr) throw Failure{FailureReason::Unreadable, importer.GetErrorString()};
    ImportedMesh mesh = flatten(*scene);
    const aiImporterDesc* description = reader == SIZE_MAX ? nullptr : importer.GetImporterInfo(reader);
    mesh.format = description != nullptr ? description->mName : "unknown";
    return mesh;
}

}  // namespace

int main(int argc, char** argv) {
    const std::optional<Options> options = parseOptions(argc, argv);
    if (!options) {
        std::fprintf(stderr, "usage: celshade-import --memory-limit BYTES --parent PID [--fault KIND] -- FILE\n");
        return 2;
    }
    endWithParent(options->parent);
    const bool memoryLimited = limitMemory(options->memoryLimit);
    std::set_new_handler(outOfMemory);
    if (!options->fault.empty()) misbehave(options->fault, memoryLimited);
    std::vector<std::byte> handover;
    try {
        handover = modelimport::encodeMesh(importFile(options->file));
    } catch (const Failure& failure) {
        handover = modelimport::encodeFailure(failure.reason, failure.text);
    }
    writeAll(handover);
    return 0;
}
