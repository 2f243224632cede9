#pragma once
// The D3DX utility object: loaders for meshes, textures and fonts, shader assembly and a few
// helpers. Each group of methods is implemented in its own file (D3DX8Mesh.cpp,
// D3DX8Texture.cpp, D3DX8Font.cpp, D3DX8Shader.cpp). Every method raises an rt::Error on
// failure (the status as number, a text naming the file and the reason).

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "d3d8/Resources.h"
#include "d3dx8/Mesh.h"

class Direct3DDevice8;
class D3DXPMesh;
namespace d3dx8 {
struct ModelFile;
}
class D3DXFont;
class QFont;

// Our stand-in for a system font handle: the window's font.
using HFONT = const QFont*;

// A block of bytes handed out by D3DX (assembled code, materials, adjacency).
class D3DXBuffer {
public:
    explicit D3DXBuffer(std::vector<std::byte> bytes) : bytes_(std::move(bytes)) {}
    uint32_t GetBufferSize() const { return static_cast<uint32_t>(bytes_.size()); }
    const std::byte* GetBufferPointer() const { return bytes_.data(); }

private:
    std::vector<std::byte> bytes_;
};

inline constexpr uint32_t D3DX_DEFAULT = 0xFFFFFFFFu;
inline constexpr uint32_t D3DX_FILTER_NONE = 1;
inline constexpr uint32_t D3DX_FILTER_POINT = 2;
inline constexpr uint32_t D3DX_FILTER_LINEAR = 3;
inline constexpr uint32_t D3DX_FILTER_TRIANGLE = 4;
inline constexpr uint32_t D3DX_FILTER_BOX = 5;

struct D3DXIMAGE_INFO {
    uint32_t Width, Height, Depth, MipLevels;
    D3DFORMAT Format;
};

class D3DX8 {
public:
    // Fonts and text (D3DX8Font.cpp).
    std::shared_ptr<D3DXFont> CreateFont(const std::shared_ptr<Direct3DDevice8>& device, HFONT font);

    // Shaders and buffers (D3DX8Shader.cpp).
    uint32_t GetFVFVertexSize(uint32_t fvf);
    // Assembles a vertex-shader file. On failure raises the status; *errors (when given)
    // receives the assembler's message naming file, line, column and reason.
    std::shared_ptr<D3DXBuffer> AssembleShaderFromFile(const std::string& fileName, uint32_t flags,
                                                       std::string* errors,
                                                       std::shared_ptr<D3DXBuffer>* constants);
    // Copies count elements of elementSize bytes from offset of buffer to dest.
    void BufferGetData(const D3DXBuffer& buffer, uint32_t offset, uint32_t elementSize,
                       uint32_t count, void* dest);

    // Textures (D3DX8Texture.cpp).
    std::shared_ptr<Direct3DTexture8> CreateTextureFromFile(const std::shared_ptr<Direct3DDevice8>& device,
                                                            const std::string& fileName);
    std::shared_ptr<Direct3DTexture8> CreateTextureFromFileEx(
        const std::shared_ptr<Direct3DDevice8>& device, const std::string& fileName, uint32_t width,
        uint32_t height, uint32_t mipLevels, uint32_t usage, D3DFORMAT format, D3DPOOL pool,
        uint32_t filter, uint32_t mipFilter, D3DCOLOR colorKey, D3DXIMAGE_INFO* srcInfo,
        void* palette);

    // Meshes (D3DX8Mesh.cpp). LoadMeshFromX reads the file; a model file already read (see
    // d3dx8/ModelFile.h) may be loaded as often as needed. Outputs passed as null are not made.
    std::shared_ptr<D3DXMesh> LoadMeshFromX(const std::string& fileName, uint32_t options,
                                            const std::shared_ptr<Direct3DDevice8>& device,
                                            std::shared_ptr<D3DXBuffer>* adjacency,
                                            std::shared_ptr<D3DXBuffer>* materials,
                                            int32_t* materialCount);
    std::shared_ptr<D3DXMesh> LoadMeshFromX(const d3dx8::ModelFile& model, uint32_t options,
                                            const std::shared_ptr<Direct3DDevice8>& device,
                                            std::shared_ptr<D3DXBuffer>* adjacency,
                                            std::shared_ptr<D3DXBuffer>* materials,
                                            int32_t* materialCount);
    D3DMATERIAL8 BufferGetMaterial(const D3DXBuffer& materials, int32_t index);
    std::shared_ptr<D3DXPMesh> GeneratePMesh(const D3DXMesh& mesh, const uint32_t* adjacency,
                                             const void* attributeWeights, const float* vertexWeights,
                                             int32_t minValue, uint32_t options);
    // The same with adjacency made when first read: a progressive mesh that does not simplify
    // (this platform's) never reads it, so it is never generated.
    std::shared_ptr<D3DXPMesh> GeneratePMesh(const D3DXMesh& mesh, const D3DXAdjacency& adjacency,
                                             const void* attributeWeights, const float* vertexWeights,
                                             int32_t minValue, uint32_t options);
    void ComputeBoundingSphereFromMesh(const D3DXMesh& mesh, D3DVECTOR& centre, float& radius);
};
