#pragma once
// Reader for DirectX .x files (text, binary and their MSZIP-compressed forms, 32- or 64-bit
// floats). It turns the bytes into plain data objects: meshes with their normals, texture
// coordinates, vertex colours and materials, and the frames that place them. Everything else
// in a file (templates, skin weights, animation, effect data ...) is read past.
//
// Every malformed file raises rt::Error with status D3DXERR_INVALIDDATA; the text names the
// file, the line (text files) or the byte offset (binary files; for compressed files the
// offset in the decompressed stream, header included) and the reason. A file that is missing
// raises runtime error 53 "File not found" naming the path.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace xfile {

enum class Encoding { Text, Binary };

struct Header {
    uint32_t majorVersion = 3;
    uint32_t minorVersion = 3;
    Encoding encoding = Encoding::Text;
    bool compressed = false;
    uint32_t floatBits = 32;  // 32 or 64
};

// A line number (text) or byte offset (binary) in the file, for error messages.
struct SourcePos {
    uint32_t value = 0;
};

struct Vec2 {
    float u, v;
};
struct Vec3 {
    float x, y, z;
};
struct ColorRGBA {
    float r, g, b, a;
};
struct ColorRGB {
    float r, g, b;
};

// Row-major 4 × 4 for row vectors (a point is v × M), element [row * 4 + column].
using Matrix4 = std::array<float, 16>;
Matrix4 identityMatrix();
// a × b: applies a first, then b.
Matrix4 multiply(const Matrix4& a, const Matrix4& b);

// Polygons as a flat index list: polygon i has sizes[i] corners, stored one after the other.
struct Polygons {
    std::vector<uint32_t> sizes;
    std::vector<uint32_t> indices;
    std::vector<SourcePos> where;  // where each polygon starts, for error messages
};

struct Material {
    std::string name;
    SourcePos pos;
    ColorRGBA faceColor{};
    float power = 0;
    ColorRGB specular{};
    ColorRGB emissive{};
    std::string textureFilename;  // empty when the material has none
};

// A material of a list as written: inline, or a reference `{ name }` resolved after parsing.
// A reference names a material declared before it, at any depth of the file (top level, in a
// frame, a mesh or another list), as the format has it ("a reference to a previously
// encountered data object"); where a name repeats, the first declaration counts. A name
// declared only after the reference is refused, as the reference reader does.
struct MaterialSlot {
    std::optional<Material> inlineMaterial;
    std::string reference;
    SourcePos pos;
    uint32_t declaredBefore = 0;  // how many named materials precede the reference
};

struct MaterialList {
    SourcePos pos;
    uint32_t materialCount = 0;
    std::vector<uint32_t> faceMaterials;  // one per polygon of the mesh
    std::vector<MaterialSlot> entries;  // as written (not "slots": a Qt keyword macro)
    std::vector<Material> materials;  // entries resolved; filled by validation
};

struct MeshNormals {
    SourcePos pos;
    std::vector<Vec3> normals;
    Polygons faces;  // same polygon sizes as the mesh; indices into `normals`
    // Normal i belongs to vertex i at every corner, and `faces` stays empty rather than repeat
    // the mesh's own: a document made in memory for a model with a normal per vertex (never
    // a file's). Then there are as many normals as positions.
    bool perVertex = false;
};

struct VertexColor {
    uint32_t index;
    ColorRGBA color;
};

struct Mesh {
    std::string name;
    SourcePos pos;
    std::vector<Vec3> positions;
    Polygons faces;
    std::optional<MeshNormals> normals;
    std::optional<std::vector<Vec2>> texCoords;
    SourcePos texCoordsPos;
    std::optional<std::vector<VertexColor>> vertexColors;
    SourcePos vertexColorsPos;
    std::optional<MaterialList> materialList;
    int32_t frame = -1;  // index into Document::frames, -1 at top level
};

// A FrameTransformMatrix applies to what follows it in its frame (meshes and child frames);
// a second one in the same frame applies before the first, as a frame nested at that point
// would; a mesh before any transform keeps the frame's own placement. Where a transform follows
// a mesh or a child frame, the frame continues as a new entry (same name, parent: the frame so
// far) holding that transform. The usual layout, one transform first, is a single entry.
struct Frame {
    std::string name;
    Matrix4 transform = identityMatrix();  // relative to the parent frame
    int32_t parent = -1;
};

struct Document {
    std::string fileName;
    Header header;
    std::vector<Frame> frames;    // parents come before their children
    std::vector<Mesh> meshes;     // in file order, at top level and inside frames
    std::vector<Material> namedMaterials;  // every material with a name, in file order, for references

    // The product of the frame transforms from the mesh up to the root: v × M_frame × M_parent ...
    Matrix4 worldTransform(const Mesh& mesh) const;
};

// Reads the 16-byte header; D3DXERR_INVALIDDATA when it is not a .x header of version 3.2 or 3.3.
Header readHeader(std::span<const std::byte> bytes, std::string_view fileName);

// Parses and validates a whole file held in memory. `fileName` is used in error messages only.
Document parse(std::span<const std::byte> bytes, std::string_view fileName);

// Reads the file at `path` and parses it.
Document load(const std::string& path);
std::vector<std::byte> readFileBytes(const std::string& path);

// Checks what parsing cannot: indices against counts, matching face lists, material
// indices and references. parse() calls it; exposed for documents built by hand.
void validate(Document& document);

// The status text of a format error: "<file>: <where>: <reason>".
[[noreturn]] void raiseFormatError(std::string_view fileName, const Header& header, SourcePos pos,
                                   std::string_view reason);

}  // namespace xfile
