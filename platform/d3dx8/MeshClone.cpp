// Cloning a mesh into another vertex format: each element both formats share is copied
// (as much of it as both hold), everything else stays zero.

#include <algorithm>
#include <cstring>
#include <vector>

#include "d3dx8/Mesh.h"

namespace {

struct Element {
    uint32_t offset;
    uint32_t size;
};

// Byte offset and size of each element of an FVF vertex, in the order the format lays them
// out: position, normal, point size, diffuse, specular, texture coordinate sets.
struct VertexLayout {
    Element position{0, 0}, normal{0, 0}, pointSize{0, 0}, diffuse{0, 0}, specular{0, 0};
    std::vector<Element> texCoords;

    explicit VertexLayout(uint32_t fvf) {
        uint32_t at = 0;
        auto take = [&](Element& e, uint32_t size) {
            e = {at, size};
            at += size;
        };
        take(position, fvfVertexSize(fvf & D3DFVF_POSITION_MASK));
        if (fvf & D3DFVF_NORMAL) take(normal, 12);
        if (fvf & D3DFVF_PSIZE) take(pointSize, 4);
        if (fvf & D3DFVF_DIFFUSE) take(diffuse, 4);
        if (fvf & D3DFVF_SPECULAR) take(specular, 4);
        uint32_t texCount = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
        for (uint32_t i = 0; i < texCount; ++i) {
            static constexpr uint32_t kFloats[4] = {2, 3, 4, 1};
            Element e{};
            take(e, 4 * kFloats[(fvf >> (16 + 2 * i)) & 3]);
            texCoords.push_back(e);
        }
    }
};

// The pairs (source element, destination element) that a clone copies.
std::vector<std::pair<Element, Element>> sharedElements(const VertexLayout& from, const VertexLayout& to) {
    std::vector<std::pair<Element, Element>> pairs;
    auto add = [&](Element a, Element b) {
        if (a.size > 0 && b.size > 0) pairs.push_back({a, b});
    };
    add(from.position, to.position);
    add(from.normal, to.normal);
    add(from.pointSize, to.pointSize);
    add(from.diffuse, to.diffuse);
    add(from.specular, to.specular);
    for (size_t i = 0; i < std::min(from.texCoords.size(), to.texCoords.size()); ++i)
        add(from.texCoords[i], to.texCoords[i]);
    return pairs;
}

}  // namespace

// What a clone keeps unchanged (the vertices in the same format, the indices at the same
// size, the attributes) it shares with this mesh until either is written.
std::shared_ptr<D3DXMesh> D3DXMesh::CloneMeshFVF(uint32_t options, uint32_t fvf,
                                                 std::shared_ptr<Direct3DDevice8> device) const {
    const bool sameIndexSize = (indexBuffer_->indexSize() == 4) == ((options & D3DXMESH_32BIT) != 0);
    auto clone = sameIndexSize ? std::make_shared<D3DXMesh>(*this, options, fvf, std::move(device))
                               : std::make_shared<D3DXMesh>(numFaces_, numVertices_, options, fvf, std::move(device));
    if (!sameIndexSize) {
        clone->setIndices(indices());
        clone->attributes_ = attributes_;
        clone->attributeTable_ = attributeTable_;
    }
    if (fvf != fvf_ || !sameIndexSize) copyVertices(*clone);
    return clone;
}

void D3DXMesh::copyVertices(D3DXMesh& clone) const {
    const VertexLayout from(fvf_), to(clone.fvf_);
    const auto pairs = sharedElements(from, to);
    const uint32_t fromStride = vertexSize(), toStride = clone.vertexSize();
    std::span<const std::byte> src = vertexBuffer_->bytes();
    std::span<std::byte> dst = clone.vertexBuffer_->mutableBytes();
    for (uint32_t v = 0; v < numVertices_; ++v) {
        const std::byte* in = src.data() + size_t{v} * fromStride;
        std::byte* out = dst.data() + size_t{v} * toStride;
        for (const auto& [a, b] : pairs) std::memcpy(out + b.offset, in + a.offset, std::min(a.size, b.size));
    }
}
