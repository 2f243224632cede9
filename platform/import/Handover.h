#pragma once
// The handover: the bytes in which the importer child gives its parent the finished mesh of a
// model file, or the reason it has none. The child writes it to its standard output; the parent
// trusts nothing in it: decodeHandover checks every count against the bytes that carry it, every
// index against its range and every number for being finite before anything is used.
//
// Little-endian, packed, in this order:
//   magic          8 bytes "CSIMPRT1"
//   size           u64     the whole handover's length in bytes, these fields included
//   kind           u32     0: a mesh follows, 1: a failure follows
// a failure:
//   reason         u32     1: the importer could not read the file, 2: the file holds no triangle
//   text           u32 length (at most kMaxText) + that many bytes: what the importer said
// a mesh:
//   format         u32 length (at most kMaxText) + that many bytes: the format the file was read as
//   vertexCount    u32     1 .. kMaxVertices
//   faceCount      u32     1 .. kMaxFaces
//   materialCount  u32     1 .. kMaxMaterials
//   flags          u32     bit 0: texture coordinates follow the normals; no other bit is set
//   materials      materialCount × (u32 origin: 0 the file's, 1 the file gave none; then 11
//                  floats: diffuse r g b a, power, specular r g b, emissive r g b)
//   positions      vertexCount × 3 floats
//   normals        vertexCount × 3 floats
//   texCoords      vertexCount × 2 floats, when flagged
//   indices        faceCount × 3 u32, each below vertexCount
//   faceMaterials  faceCount × u32, each below materialCount
// and not a byte more.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "xfile/XFile.h"

namespace modelimport {

inline constexpr uint32_t kMaxText = 4096;
inline constexpr uint32_t kMaxVertices = 0xFFFFFFFEu;
inline constexpr uint32_t kMaxFaces = 0x55555555u;  // 3 × faces indices still count in a u32
inline constexpr uint32_t kMaxMaterials = 65536;

// The .x reader's own vectors: what arrives becomes the data objects of a .x file unchanged.
using Float3 = xfile::Vec3;
using Float2 = xfile::Vec2;

enum class MaterialOrigin : uint32_t { File = 0, None = 1 };

// A material as the cel pass and a .x file know it.
struct Material {
    MaterialOrigin origin = MaterialOrigin::File;
    std::array<float, 4> diffuse{};  // r, g, b, a
    float power = 0;
    std::array<float, 3> specular{};
    std::array<float, 3> emissive{};
};

// The whole scene as one triangle mesh, in the program's left-handed space.
struct ImportedMesh {
    std::string format;
    std::vector<Float3> positions;
    std::vector<Float3> normals;      // one per position
    std::vector<Float2> texCoords;    // one per position, or none
    std::vector<uint32_t> indices;    // three per face
    std::vector<uint32_t> faceMaterials;  // one per face
    std::vector<Material> materials;
    size_t faceCount() const { return faceMaterials.size(); }
};

enum class FailureReason : uint32_t { Unreadable = 1, NoTriangles = 2 };

// The child's side, piece by piece to a sink (the arrays without a copy), or as one buffer.
// A mesh is expected to be one that decodeHandover accepts.
using HandoverSink = std::function<void(const void* data, size_t size)>;
void writeMesh(const ImportedMesh& mesh, const HandoverSink& sink);
void writeFailure(FailureReason reason, std::string_view text, const HandoverSink& sink);
std::vector<std::byte> encodeMesh(const ImportedMesh& mesh);
std::vector<std::byte> encodeFailure(FailureReason reason, std::string_view text);

// The size the start of a handover announces (to make room for the rest at once); 0 when the
// start is too short or not a handover's. Only a hint: decodeHandover checks it.
uint64_t announcedSize(std::span<const std::byte> start);

// The parent's side: the mesh, or rt::Error. A failure the child reports raises
// D3DXERR_INVALIDDATA (could not read) or D3DXERR_LOADEDMESHASNODATA (no triangle) with its
// text; a handover that breaks any rule above raises D3DXERR_INVALIDDATA naming the byte
// offset and the rule. `fileName` is the model file, named in every error.
ImportedMesh decodeHandover(std::span<const std::byte> bytes, std::string_view fileName);

}  // namespace modelimport
