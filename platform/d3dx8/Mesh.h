#pragma once
// D3DX meshes: an indexed triangle list in a vertex buffer and an index buffer, one
// attribute id per face, and an attribute table once the faces are sorted by attribute.

#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "d3d8/Resources.h"
#include "math/d3dmath.h"
#include "runtime/SharedArray.h"
#include "runtime/Status.h"

class Direct3DDevice8;
class D3DXAdjacency;

inline constexpr uint32_t D3DXMESH_32BIT = 0x001;
inline constexpr uint32_t D3DXMESH_VB_SYSTEMMEM = 0x010;
inline constexpr uint32_t D3DXMESH_VB_MANAGED = 0x020;
inline constexpr uint32_t D3DXMESH_IB_SYSTEMMEM = 0x100;
inline constexpr uint32_t D3DXMESH_IB_MANAGED = 0x200;
inline constexpr uint32_t D3DXMESH_SYSTEMMEM = 0x110;
inline constexpr uint32_t D3DXMESH_MANAGED = 0x220;

inline constexpr uint32_t D3DXMESHSIMP_VERTEX = 1;
inline constexpr uint32_t D3DXMESHSIMP_FACE = 2;

// An entry of the material buffer of LoadMeshFromX; the texture name points into the same
// buffer (null when the material has none) and lives as long as the buffer.
struct D3DXMATERIAL {
    D3DMATERIAL8 MatD3D;
    char* pTextureFilename;
};

struct D3DXATTRIBUTERANGE {
    uint32_t AttribId;
    uint32_t FaceStart;
    uint32_t FaceCount;
    uint32_t VertexStart;
    uint32_t VertexCount;
};

class D3DXMesh {
public:
    // A mesh of zero-filled buffers. 16-bit indices unless options has D3DXMESH_32BIT;
    // D3DERR_INVALIDCALL if a 16-bit mesh has more than 65,535 vertices.
    D3DXMesh(uint32_t numFaces, uint32_t numVertices, uint32_t options, uint32_t fvf,
             std::shared_ptr<Direct3DDevice8> device);
    // A mesh with the contents of `source` (vertices, indices, attributes and attribute table)
    // in buffers of its own that share the source's bytes until either mesh is written; the
    // pools are as `options` say, whose index size must be the source's. Vertices of another
    // format `fvf` are not shared: they start zero-filled.
    D3DXMesh(const D3DXMesh& source, uint32_t options, uint32_t fvf, std::shared_ptr<Direct3DDevice8> device);
    virtual ~D3DXMesh() = default;

    uint32_t GetNumFaces() const { return numFaces_; }
    uint32_t GetNumVertices() const { return numVertices_; }
    uint32_t GetFVF() const { return fvf_; }
    uint32_t GetOptions() const { return options_; }
    uint32_t vertexSize() const { return fvfVertexSize(fvf_); }
    const std::shared_ptr<Direct3DDevice8>& device() const { return device_; }

    std::shared_ptr<Direct3DVertexBuffer8> GetVertexBuffer() const { return vertexBuffer_; }
    std::shared_ptr<Direct3DIndexBuffer8> GetIndexBuffer() const { return indexBuffer_; }

    // One attribute id per face.
    std::span<const uint32_t> attributes() const { return attributes_.view(); }
    std::span<uint32_t> mutableAttributes() { return attributes_.writableView(); }

    // With `table` null, stores the entry count in *count; otherwise also copies that many
    // entries to `table`. A mesh whose faces were never sorted by attribute has no table.
    void GetAttributeTable(D3DXATTRIBUTERANGE* table, uint32_t* count) const;
    void setAttributeTable(std::vector<D3DXATTRIBUTERANGE> table) { attributeTable_ = std::move(table); }
    std::span<const D3DXATTRIBUTERANGE> attributeTable() const { return attributeTable_; }

    // Reorders the faces stably by attribute id and builds the attribute table: one range
    // per run of equal ids, in ascending id order, with the span of vertices it uses.
    void sortFacesByAttribute();

    // A copy in vertex format `fvf` with the index size and pools that `options` ask for.
    // Elements present in both formats are copied, the others zero-filled; attributes and
    // attribute table come along.
    std::shared_ptr<D3DXMesh> CloneMeshFVF(uint32_t options, uint32_t fvf,
                                           std::shared_ptr<Direct3DDevice8> device) const;

    // Three entries per face: entry 3f + k is the face across the edge from corner k to
    // corner k + 1 (mod 3), or 0xFFFFFFFF when there is none. Vertices whose positions are
    // at most `epsilon` apart count as one. `adjacency` must hold 3 × GetNumFaces() entries.
    void GenerateAdjacency(float epsilon, uint32_t* adjacency) const;
    // The same adjacency of the mesh as it is now, generated only when first read (a caller that
    // hands it on to a reader that may not need it pays nothing).
    D3DXAdjacency GenerateAdjacency(float epsilon) const;

    // The index buffer as 32-bit values, whatever its index size; and the reverse.
    std::vector<uint32_t> indices() const;
    void setIndices(std::span<const uint32_t> indices);
    // Index i of the index buffer, whatever its index size, without a copy of the buffer.
    uint32_t index(size_t i) const {
        const Direct3DIndexBuffer8& buffer = *indexBuffer_;
        const std::byte* at = buffer.bytes().data() + i * buffer.indexSize();
        if (buffer.indexSize() == 4) {
            uint32_t value;
            std::memcpy(&value, at, 4);
            return value;
        }
        uint16_t value;
        std::memcpy(&value, at, 2);
        return value;
    }
    // The positions (first three floats of every vertex), and one of them without a copy.
    std::vector<D3DVECTOR> positions() const;
    D3DVECTOR position(uint32_t v) const {
        D3DVECTOR p;
        std::memcpy(&p, vertexBuffer_->bytes().data() + size_t{v} * vertexSize(), 12);
        return p;
    }

private:
    static std::shared_ptr<Direct3DVertexBuffer8> makeVertexBuffer(uint32_t numVertices, uint32_t fvf, uint32_t options);
    std::vector<uint32_t> faceOrderByAttribute() const;
    // This mesh's vertices into `clone`'s buffer, in its format.
    void copyVertices(D3DXMesh& clone) const;

    uint32_t numFaces_;
    uint32_t numVertices_;
    uint32_t options_;
    uint32_t fvf_;
    std::shared_ptr<Direct3DDevice8> device_;
    std::shared_ptr<Direct3DVertexBuffer8> vertexBuffer_;
    std::shared_ptr<Direct3DIndexBuffer8> indexBuffer_;
    rt::SharedArray<uint32_t> attributes_;
    std::vector<D3DXATTRIBUTERANGE> attributeTable_;
};

// Face adjacency of a mesh as GenerateAdjacency(epsilon, entries) fills it, made when first
// read from the mesh as it was when asked for (later writes to the mesh do not reach it).
class D3DXAdjacency {
public:
    // Three entries per face; generated on the first call.
    std::span<const uint32_t> entries() const;

private:
    friend class D3DXMesh;
    D3DXAdjacency(std::shared_ptr<const D3DXMesh> mesh, float epsilon) : mesh_(std::move(mesh)), epsilon_(epsilon) {}

    std::shared_ptr<const D3DXMesh> mesh_;
    float epsilon_;
    mutable std::vector<uint32_t> entries_;
    mutable bool generated_ = false;
};

// The adjacency entry of an edge that no other face shares.
inline constexpr uint32_t D3DX_NO_NEIGHBOUR = 0xFFFFFFFFu;

// Copy `size` bytes from `offset` of the mesh's vertex (index) buffer to `dest`.
// D3DERR_INVALIDCALL when the range passes the buffer's end.
HRESULT D3DXMeshVertexBuffer8GetData(const D3DXMesh& mesh, uint32_t offset, uint32_t size,
                                     uint32_t flags, void* dest);
HRESULT D3DXMeshIndexBuffer8GetData(const D3DXMesh& mesh, uint32_t offset, uint32_t size,
                                    uint32_t flags, void* dest);
