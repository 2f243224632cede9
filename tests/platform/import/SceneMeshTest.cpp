// The importer's own work on what Assimp has read: normals where a file has none (smooth across
// shallow edges, split at sharp ones), the turn into the program's space, the node tree walked
// however deep, vertices no face uses left out, and more materials than a mesh can have refused
// as the file's fault.

#include <assimp/scene.h>
#include <gtest/gtest.h>
#include <pthread.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <memory>
#include <numeric>
#include <vector>

#include "SceneMesh.h"
#include "SmoothNormals.h"

namespace {

using modelimport::Float2;
using modelimport::Float3;
using modelimport::ImportedMesh;
using Face = std::array<uint32_t, 3>;

float dot(Float3 a, Float3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// A roof along z: two slopes of two triangles each, rising `rise` over a run of 1 to a ridge
// (positions 0 and 1), eaves 2, 3 on the left and 4, 5 on the right; fronts face up.
const std::vector<Face> kRoof = {{2, 1, 0}, {2, 3, 1}, {4, 0, 1}, {4, 1, 5}};
std::vector<Float3> roof(float rise) { return {{0, rise, 0}, {0, rise, 1}, {-1, 0, 0}, {-1, 0, 1}, {1, 0, 0}, {1, 0, 1}}; }

// A cube's twelve faces, every edge a right angle.
const std::vector<Float3> kCube = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {0, 0, 1}, {1, 0, 1}, {0, 1, 1}, {1, 1, 1}};
const std::vector<Face> kCubeFaces = {{0, 2, 1}, {1, 2, 3}, {4, 5, 6}, {5, 7, 6}, {0, 1, 4}, {1, 5, 4},
                                      {2, 6, 3}, {3, 6, 7}, {0, 4, 2}, {2, 4, 6}, {1, 3, 5}, {3, 7, 5}};

ImportedMesh smoothed(const std::vector<Float3>& positions, const std::vector<Face>& faces,
                      const std::vector<Float2>& cornerTexCoords = {}) {
    ImportedMesh out;
    for (const Face& f : faces) out.indices.insert(out.indices.end(), f.begin(), f.end());
    importchild::appendSmoothed(out, {positions, out.indices, cornerTexCoords}, !cornerTexCoords.empty());
    return out;
}

Float3 faceNormal(const ImportedMesh& m, size_t f) {
    const Float3 a = m.positions[m.indices[3 * f]], b = m.positions[m.indices[3 * f + 1]], c = m.positions[m.indices[3 * f + 2]];
    const Float3 u{b.x - a.x, b.y - a.y, b.z - a.z}, v{c.x - a.x, c.y - a.y, c.z - a.z};
    const Float3 n{u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x};
    const float length = std::sqrt(dot(n, n));
    return {n.x / length, n.y / length, n.z / length};
}

TEST(SmoothNormals, AreSmoothAcrossShallowEdgesAndSplitOnlyAtSharpOnes) {
    // Texture coordinates that differ across the ridge split it without creasing it.
    std::vector<Float2> seam;
    for (const Face& f : kRoof) seam.insert(seam.end(), 3, Float2{f[0] == 2 ? 0.0f : 1.0f, 0});
    struct Case {
        const char* shape;
        ImportedMesh mesh;
        size_t vertices;
        float ridgeUp;  // the y of the ridge's normals, when the shape has a ridge
    };
    const Case cases[] = {
        {"20-degree roof", smoothed(roof(std::tan(0.1745f)), kRoof), 6, 1},
        {"20-degree roof, seam at the ridge", smoothed(roof(std::tan(0.1745f)), kRoof, seam), 8, 1},
        {"60-degree roof", smoothed(roof(std::tan(0.5236f)), kRoof), 8, std::cos(0.5236f)},
        {"cube", smoothed(kCube, kCubeFaces), 24, -1},
    };
    for (const Case& c : cases) {
        const ImportedMesh& m = c.mesh;
        EXPECT_EQ(m.positions.size(), c.vertices) << c.shape;
        ASSERT_EQ(m.normals.size(), m.positions.size()) << c.shape;
        for (size_t f = 0; f < m.indices.size() / 3; ++f)
            for (size_t k = 0; k < 3; ++k) {
                const uint32_t v = m.indices[3 * f + k];
                const Float3 n = m.normals[v];
                EXPECT_NEAR(dot(n, n), 1, 1e-5) << c.shape;
                if (c.ridgeUp >= 0 && m.positions[v].x == 0) {
                    EXPECT_NEAR(n.y, c.ridgeUp, 1e-5) << c.shape << " face " << f;
                } else if (c.ridgeUp < 0) {
                    EXPECT_NEAR(dot(n, faceNormal(m, f)), 1, 1e-6) << c.shape << " face " << f;
                }
            }
    }
}

// A scene as Assimp's readers leave it: one mesh (faces counter-clockwise from the front, as
// files hold them) in the first of `materials` materials, and an empty mesh in each of the others,
// placed by the node at the end of a chain of `depth` nodes.
std::unique_ptr<aiScene> sceneOf(const std::vector<aiVector3D>& positions, const std::vector<Face>& faces,
                                 unsigned depth = 1, unsigned materials = 1) {
    auto scene = std::make_unique<aiScene>();
    auto* mesh = new aiMesh;
    mesh->mPrimitiveTypes = aiPrimitiveType_TRIANGLE;
    mesh->mNumVertices = static_cast<unsigned>(positions.size());
    mesh->mVertices = new aiVector3D[positions.size()];
    std::copy(positions.begin(), positions.end(), mesh->mVertices);
    mesh->mNumFaces = static_cast<unsigned>(faces.size());
    mesh->mFaces = new aiFace[faces.size()];
    for (size_t f = 0; f < faces.size(); ++f) {
        mesh->mFaces[f].mNumIndices = 3;
        mesh->mFaces[f].mIndices = new unsigned[3]{faces[f][0], faces[f][1], faces[f][2]};
    }
    scene->mNumMeshes = scene->mNumMaterials = materials;
    scene->mMeshes = new aiMesh*[materials]{mesh};
    scene->mMaterials = new aiMaterial*[materials];
    for (unsigned i = 0; i < materials; ++i) {
        scene->mMaterials[i] = new aiMaterial;
        if (i == 0) continue;
        scene->mMeshes[i] = new aiMesh;
        scene->mMeshes[i]->mPrimitiveTypes = aiPrimitiveType_TRIANGLE;
        scene->mMeshes[i]->mMaterialIndex = i;
    }
    scene->mRootNode = new aiNode;
    aiNode* at = scene->mRootNode;
    for (unsigned level = 1; level < depth; ++level) {
        at->mNumChildren = 1;
        at->mChildren = new aiNode*[1]{new aiNode};
        at->mChildren[0]->mParent = at;
        at = at->mChildren[0];
        at->mTransformation = aiMatrix4x4(aiVector3D(1), aiQuaternion(), aiVector3D(1, 0, 0));
    }
    at->mNumMeshes = materials;
    at->mMeshes = new unsigned[materials];
    std::iota(at->mMeshes, at->mMeshes + materials, 0u);
    return scene;
}

// Runs `work` on a thread with a stack of 256 KB, which a walk by recursion of a deep tree
// would overflow.
void onSmallStack(const std::function<void()>& work) {
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, 256 << 10);
    pthread_t thread;
    auto run = [](void* w) -> void* {
        (*static_cast<const std::function<void()>*>(w))();
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attributes, run, const_cast<std::function<void()>*>(&work)), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
}

const std::vector<aiVector3D> kTetrahedron = {{0, 0, 0}, {2, 0, 0}, {0, 1, 0}, {0, 0, -3}};
const std::vector<Face> kTetrahedronFaces = {{0, 1, 2}, {0, 3, 1}, {0, 2, 3}, {1, 3, 2}};

TEST(SceneMesh, LeavesOutVerticesNoFaceUsesWithTheFilesNormalsOrWithout) {
    std::vector<aiVector3D> positions = kTetrahedron;
    positions.insert(positions.begin() + 2, aiVector3D(100, 100, 100));  // far away, in no face
    std::vector<Face> faces = kTetrahedronFaces;
    for (Face& f : faces)
        for (uint32_t& v : f) v += v >= 2;
    for (const bool normals : {false, true}) {
        const auto scene = sceneOf(positions, faces);
        if (normals) {
            scene->mMeshes[0]->mNormals = new aiVector3D[positions.size()];
            for (size_t v = 0; v < positions.size(); ++v) scene->mMeshes[0]->mNormals[v] = positions[v] - aiVector3D(0.5f, 0.25f, -0.75f);
        }
        const ImportedMesh m = importchild::sceneMesh(*scene, {});
        EXPECT_EQ(m.faceCount(), 4u);
        for (const Float3& p : m.positions) EXPECT_LT(p.x, 100) << "with normals: " << normals;
        EXPECT_EQ(m.positions.size() == 4u, normals);  // without normals the sharp corners split
    }
}

// Into the program's left-handed space: z negated, positions and normals alike, and v of the
// texture coordinates counted from the other edge, as Direct3D has them.
TEST(SceneMesh, TurnsTheFileIntoTheProgramsSpaceTextureCoordinatesToo) {
    const auto scene = sceneOf(kTetrahedron, kTetrahedronFaces);
    aiMesh& mesh = *scene->mMeshes[0];
    mesh.mNormals = new aiVector3D[kTetrahedron.size()];
    mesh.mTextureCoords[0] = new aiVector3D[kTetrahedron.size()];
    mesh.mNumUVComponents[0] = 2;
    for (size_t v = 0; v < kTetrahedron.size(); ++v) {
        mesh.mNormals[v] = kTetrahedron[v] - aiVector3D(0.5f, 0.25f, -0.75f);
        mesh.mTextureCoords[0][v] = aiVector3D(0.125f * float(v), 0.25f * float(v), 0);
    }
    const ImportedMesh m = importchild::sceneMesh(*scene, {});
    ASSERT_EQ(m.positions.size(), kTetrahedron.size());
    ASSERT_EQ(m.texCoords.size(), kTetrahedron.size());
    for (size_t out = 0; out < m.positions.size(); ++out) {
        const Float3 p = m.positions[out];
        const auto in = std::find(kTetrahedron.begin(), kTetrahedron.end(), aiVector3D(p.x, p.y, -p.z));
        ASSERT_NE(in, kTetrahedron.end()) << out;
        const float v = float(in - kTetrahedron.begin());
        EXPECT_LT(m.normals[out].z * mesh.mNormals[size_t(v)].z, 0.0f) << out;  // turned with the positions
        EXPECT_EQ(m.texCoords[out].u, 0.125f * v) << out;
        EXPECT_EQ(m.texCoords[out].v, 1 - 0.25f * v) << out;
    }
}

TEST(SceneMesh, WalksANodeTreeOfAnyDepth) {
    const auto scene = sceneOf(kTetrahedron, kTetrahedronFaces, 20000);
    onSmallStack([&] {
        const ImportedMesh m = importchild::sceneMesh(*scene, {});
        EXPECT_EQ(m.faceCount(), 4u);
        EXPECT_EQ(m.positions[0].x, 19999);  // each node below the root moves it by 1
    });
}

TEST(SceneMesh, MoreMaterialsThanAMeshCanHaveAreTheFilesFault) {
    const auto scene = sceneOf(kTetrahedron, kTetrahedronFaces, 1, modelimport::kMaxMaterials + 1);
    try {
        importchild::sceneMesh(*scene, {});
        ADD_FAILURE() << "no failure";
    } catch (const importchild::Failure& failure) {
        EXPECT_EQ(failure.reason, modelimport::FailureReason::Unreadable);
        EXPECT_EQ(failure.text, "its faces use more than the 65536 materials a mesh can have");
    }
}

}  // namespace
