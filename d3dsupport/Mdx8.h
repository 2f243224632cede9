#pragma once
// The Direct3D support module: the objects every part of the program draws with, the
// current model, device set-up, the world matrix, the resource loaders and shutdown.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "d3d8/d3d8types.h"
#include "d3dx8/Mesh.h"

class DirectX8;
class Direct3D8;
class Direct3DDevice8;
class D3DX8;
class D3DXPMesh;
class D3DXFont;
class QFont;
namespace d3dx8 {
struct ModelFile;
}

struct MeshRecord {
    int32_t materialCount = 0;
    std::shared_ptr<D3DXMesh> mesh;
    std::vector<D3DMATERIAL8> materials;           // indices 0 .. materialCount
    std::vector<D3DXATTRIBUTERANGE> attribRanges;  // filled by scene setup
    int32_t numVertices = 0;
    int32_t numFaces = 0;
    std::shared_ptr<Direct3DVertexBuffer8> vertexBuffer;
    std::shared_ptr<Direct3DIndexBuffer8> indexBuffer;
};

// The result of loadProgressiveMesh; scene setup uses it only for its attribute table.
struct PMeshRecord {
    int32_t materialCount = 0;
    std::shared_ptr<D3DXPMesh> pmesh;
    std::vector<D3DMATERIAL8> materials;  // indices 0 .. materialCount
    int32_t maxVertices = 0;              // vertex count of the mesh in the file
    int32_t numVertices = 0;              // level of detail pmesh is set to: maxVertices
};

namespace Mdx8 {

extern std::shared_ptr<DirectX8> dx;
extern std::shared_ptr<Direct3D8> d3d;
extern std::shared_ptr<Direct3DDevice8> d3dDevice;
extern std::shared_ptr<D3DX8> d3dx;
extern D3DPRESENT_PARAMETERS presentParams;
extern D3DMATRIX matWorld;
extern D3DMATRIX matView;
extern D3DMATRIX matProj;

extern MeshRecord sceneMesh;
// The chosen model: a file name with a leading backslash, relative to the executable's
// directory, or the full path of a model of the user's own (see modelPath in Paths.h).
extern std::string modelFile;
// True while the chosen model's file is being read (a model of another format takes its
// importer a while): the start dialog's readout says so instead of a percentage.
extern bool readingModel;

// Creates dx (if needed), d3d, the device on hWnd and d3dx. In windowed mode the width,
// height, format and back-buffer count are not used: the back buffer takes the window's
// client size and the desktop's format. Full-screen with no window (hWnd null) gives an
// off-screen device of width × height: the program's frame drawn with no display.
void initDevice(int32_t width, int32_t height, int32_t backBufferFormat, HWND hWnd, bool windowed,
                int32_t backBufferCount, bool immediate);
// Default render states, identity world, the camera 40 units in front of the origin and
// the projection.
void initScene();
D3DVECTOR makeVector(float x, float y, float z);
// The fixed camera and projection that initScene sets (matView and matProj).
D3DMATRIX cameraView();
D3DMATRIX cameraProjection();
// Scale, then turn about X, Y and Z (whole degrees, through 3.14 / 180), then move.
D3DMATRIX makeWorldMatrix(float scaleX, float scaleY, float scaleZ, int32_t angleX, int32_t angleY,
                          int32_t angleZ, float transX, float transY, float transZ);

// Resource loaders. Each uses d3dx (made first if it does not exist) and d3dDevice, and
// hands what it made to the caller; a failing load raises the platform's error.
// A texture from an image file: with withColorKey, a full chain with linear filtering in
// the default pool and texels of colour colorKey made transparent (0: no key); without,
// the D3DX defaults and colorKey is ignored.
std::shared_ptr<Direct3DTexture8> loadTexture(const std::string& fileName, int32_t colorKey,
                                              bool withColorKey);
// A mesh in system memory with its materials (all left zero unless readMaterials) and counts.
// 16-bit indices unless with32BitIndices (a model of more than 65,535 vertices needs them).
// Of a file, or of a model file already read (both loads of a scene setup share one reading).
MeshRecord loadMesh(const std::string& fileName, bool readMaterials, bool with32BitIndices = false);
MeshRecord loadMesh(const d3dx8::ModelFile& model, bool readMaterials, bool with32BitIndices = false);
// A progressive mesh (managed pool, adjacency generated exactly) set to full detail.
PMeshRecord loadProgressiveMesh(const std::string& fileName, bool readMaterials, bool with32BitIndices = false);
PMeshRecord loadProgressiveMesh(const d3dx8::ModelFile& model, bool readMaterials, bool with32BitIndices = false);
// A D3DX font made from a window's font.
std::shared_ptr<D3DXFont> makeFont(const QFont& font);

// The device, for a call on it. Once shutdown has dropped it (or before initDevice made it)
// a call fails with error 91, like any call on an object that is not set.
Direct3DDevice8& device();

// Drops the Direct3D objects and the model's mesh and buffers, ignoring every error; ends
// the process at once when endProgram is true (and with it an import in progress, whose
// child is killed and reaped first).
void shutdown(bool endProgram);

}  // namespace Mdx8
