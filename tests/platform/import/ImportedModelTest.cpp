// Models of other formats as the program loads them: the same object written as .x (left-handed,
// clockwise front faces) and as OBJ (right-handed, counter-clockwise, as glTF and the rest hold
// it: tests/tools/ToolTest.cpp draws each format against the .x picture) must give the same
// triangles, corner for corner, with normals on their outer side; the reader is chosen by
// content; and the two loads of a scene setup import the file once.

#include <algorithm>
#include <array>
#include <cstring>
#include <tuple>
#include <vector>

#include "ImportFixtures.h"
#include "d3dx8/D3DX8.h"
#include "d3dx8/MeshLoader.h"
#include "d3dx8/ModelFile.h"
#include "math/d3dmath.h"
#include "runtime/Status.h"

namespace {

using importtest::raised;

class ImportedModel : public importtest::ImportFixture {};

// A tetrahedron with a different length on each axis, so that any mirror or turn shows:
// corners O (0,0,0), X (2,0,0), Y (0,1,0) and Z (0,0,3) in the program's left-handed space.
constexpr const char* kTetrahedronX = R"(xof 0303txt 0032
Mesh Tetra {
 4; 0;0;0;, 2;0;0;, 0;1;0;, 0;0;3;;
 4; 3;0,2,1;, 3;0,1,3;, 3;0,3,2;, 3;1,2,3;;
 MeshNormals { 4; 0;0;-1;, 0;-1;0;, -1;0;0;, 0.428571;0.857143;0.285714;;
  4; 3;0,0,0;, 3;1,1,1;, 3;2,2,2;, 3;3,3,3;; }
 MeshMaterialList { 1; 4; 0,0,0,0;; Material { 0.2;0.4;0.6;1;; 0; 0;0;0;; 0;0;0;; } }
}
)";

// The same object right-handed, as OBJ holds it: z negated, each face's corners in the other
// order; without normals or materials, which the importer makes.
constexpr const char* kTetrahedronObj = "v 0 0 0\nv 2 0 0\nv 0 1 0\nv 0 0 -3\nf 1 2 3\nf 1 4 2\nf 1 3 4\nf 2 4 3\n";

using Triangle = std::array<std::array<float, 3>, 3>;

// Each face's corners, starting at its smallest corner and keeping their order, faces sorted.
std::vector<Triangle> trianglesOf(const D3DXMesh& mesh) {
    std::vector<Triangle> triangles;
    for (uint32_t f = 0; f < mesh.GetNumFaces(); ++f) {
        Triangle t;
        for (uint32_t k = 0; k < 3; ++k) {
            const D3DVECTOR p = mesh.position(mesh.index(3 * f + k));
            t[k] = {p.x, p.y, p.z};
        }
        std::rotate(t.begin(), std::min_element(t.begin(), t.end()), t.end());
        triangles.push_back(t);
    }
    std::sort(triangles.begin(), triangles.end());
    return triangles;
}

// Faces whose vertex normals point away from the side their corners' order makes the front.
int facesWithNormalsInside(const D3DXMesh& mesh) {
    int inside = 0;
    for (uint32_t f = 0; f < mesh.GetNumFaces(); ++f) {
        const uint32_t v[3] = {mesh.index(3 * f), mesh.index(3 * f + 1), mesh.index(3 * f + 2)};
        const D3DVECTOR front = D3DXVec3Cross(D3DXVec3Subtract(mesh.position(v[1]), mesh.position(v[0])),
                                              D3DXVec3Subtract(mesh.position(v[2]), mesh.position(v[0])));
        for (uint32_t corner : v) {
            D3DVECTOR n;
            std::memcpy(&n, mesh.GetVertexBuffer()->bytes().data() + size_t{corner} * mesh.vertexSize() + 12, 12);
            inside += D3DXVec3Dot(n, front) <= 0;
        }
    }
    return inside;
}

d3dx8::MeshFromX load(const std::string& path) {
    return d3dx8::buildMesh(d3dx8::readModelFile(path), D3DXMESH_SYSTEMMEM, nullptr);
}

TEST_F(ImportedModel, IsTheSameObjectAsInXNeitherMirroredNorInsideOut) {
    const d3dx8::MeshFromX x = load(file("tetra.x", kTetrahedronX));
    ASSERT_EQ(x.mesh->GetNumFaces(), 4u);
    ASSERT_EQ(facesWithNormalsInside(*x.mesh), 0);
    const d3dx8::MeshFromX imported = load(file("tetra.obj", kTetrahedronObj));
    EXPECT_EQ(trianglesOf(*imported.mesh), trianglesOf(*x.mesh));
    EXPECT_EQ(facesWithNormalsInside(*imported.mesh), 0);
    ASSERT_EQ(imported.materials.size(), 1u);
    const D3DCOLORVALUE &d = imported.materials[0].Diffuse, &plain = d3dx8::defaultMaterial().Diffuse;
    EXPECT_EQ(std::make_tuple(d.r, d.g, d.b, d.a), std::make_tuple(plain.r, plain.g, plain.b, plain.a));
}

// A node that mirrors its mesh (here glTF's scale of -1 along x) keeps the mesh's faces facing
// out: their corners go the other way round with it.
TEST_F(ImportedModel, AMirroringNodeTurnsItsFacesWithIt) {
    const float corners[4][3] = {{0, 0, 0}, {2, 0, 0}, {0, 1, 0}, {0, 0, -3}};
    const int faces[4][3] = {{0, 1, 2}, {0, 3, 1}, {0, 2, 3}, {1, 3, 2}};  // as kTetrahedronObj
    std::vector<float> positions, normals;
    for (const auto& f : faces) {
        const D3DVECTOR a{corners[f[0]][0], corners[f[0]][1], corners[f[0]][2]},
            n = D3DXVec3Cross(D3DXVec3Subtract({corners[f[1]][0], corners[f[1]][1], corners[f[1]][2]}, a),
                              D3DXVec3Subtract({corners[f[2]][0], corners[f[2]][1], corners[f[2]][2]}, a));
        for (int k : f) positions.insert(positions.end(), corners[k], corners[k] + 3);
        for (int k = 0; k < 3; ++k) normals.insert(normals.end(), {n.x, n.y, n.z});
    }
    std::string bin(reinterpret_cast<const char*>(positions.data()), positions.size() * 4);
    bin.append(reinterpret_cast<const char*>(normals.data()), normals.size() * 4);
    file("tetra.bin", bin);
    const std::string gltf = file("mirrored.gltf", R"({"asset": {"version": "2.0"}, "scene": 0, "scenes": [{"nodes": [0]}],
 "nodes": [{"mesh": 0, "scale": [-1, 1, 1]}],
 "meshes": [{"primitives": [{"attributes": {"POSITION": 0, "NORMAL": 1}}]}],
 "buffers": [{"uri": "tetra.bin", "byteLength": 288}],
 "bufferViews": [{"buffer": 0, "byteLength": 144}, {"buffer": 0, "byteOffset": 144, "byteLength": 144}],
 "accessors": [{"bufferView": 0, "componentType": 5126, "count": 12, "type": "VEC3", "min": [0, 0, -3], "max": [2, 1, 0]},
               {"bufferView": 1, "componentType": 5126, "count": 12, "type": "VEC3"}]})");
    const d3dx8::MeshFromX mirrored = load(gltf);
    ASSERT_EQ(mirrored.mesh->GetNumFaces(), 4u);
    EXPECT_EQ(facesWithNormalsInside(*mirrored.mesh), 0);
}

// The reader follows the content: a .x file under another name is still read as .x (no child
// is needed), and a file named .x is held to the .x reader's rules whatever it holds.
TEST_F(ImportedModel, TheReaderIsChosenByContent) {
    modelimport::childSettings().program = path("no-importer-here");
    EXPECT_EQ(load(file("tetra.glb", kTetrahedronX)).mesh->GetNumFaces(), 4u);
    const auto [number, text] = raised([&] { load(file("tetra-obj.x", kTetrahedronObj)); });
    EXPECT_EQ(number, D3DXERR_INVALIDDATA);
    EXPECT_NE(text.find("header: does not start with \"xof \""), std::string::npos) << text;
}

// Both loads of a scene setup come from one reading of the file: once read, an imported model
// loads as often as needed with no importer to run.
TEST_F(ImportedModel, IsImportedOnceForBothLoadsOfASceneSetup) {
    const d3dx8::ModelFile model = d3dx8::readModelFile(file("tetra.obj", kTetrahedronObj));
    modelimport::childSettings().program = path("no-importer-here");
    D3DX8 d3dx;
    for (uint32_t options : {D3DXMESH_MANAGED, D3DXMESH_SYSTEMMEM})
        EXPECT_EQ(d3dx.LoadMeshFromX(model, options, nullptr, nullptr, nullptr, nullptr)->GetNumFaces(), 4u);
    EXPECT_EQ(raised([&] { d3dx.LoadMeshFromX(model.document.fileName, D3DXMESH_SYSTEMMEM, nullptr, nullptr, nullptr, nullptr); }).first,
              E_FAIL);
}

}  // namespace
