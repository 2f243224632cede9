#include "import/Handover.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <functional>

#include "runtime/Error.h"
#include "runtime/Status.h"

static_assert(std::endian::native == std::endian::little, "the handover is read and written as little-endian bytes");

namespace modelimport {

namespace {

constexpr char kMagic[8] = {'C', 'S', 'I', 'M', 'P', 'R', 'T', '1'};
constexpr uint32_t kKindMesh = 0, kKindFailure = 1;
constexpr uint32_t kFlagTexCoords = 1;
constexpr size_t kMaterialBytes = 4 + 11 * 4;
constexpr size_t kPrefixBytes = 8 + 8 + 4;  // magic, size, kind

uint64_t meshSize(const ImportedMesh& mesh) {
    const uint64_t perVertex = sizeof(Float3) * 2 + (mesh.texCoords.empty() ? 0 : sizeof(Float2));
    return kPrefixBytes + 4 + std::min<size_t>(mesh.format.size(), kMaxText) + 16 + mesh.materials.size() * kMaterialBytes +
           mesh.positions.size() * perVertex + mesh.faceCount() * 16;
}

static_assert(sizeof(Float3) == 12 && sizeof(Float2) == 8, "vertex data is copied as it lies in the handover");

// Small fields gather in a buffer; the arrays go to the sink as they lie. The gathered bytes go
// out at the next array or at flush(), never from the destructor: a sink that fails would be
// called again while its exception leaves, and the program would end there.
class Writer {
public:
    explicit Writer(const HandoverSink& sink) : sink_(sink) {}
    void bytes(const void* data, size_t size) {
        const auto* p = static_cast<const std::byte*>(data);
        gathered_.insert(gathered_.end(), p, p + size);
    }
    void u32(uint32_t value) { bytes(&value, 4); }
    void u64(uint64_t value) { bytes(&value, 8); }
    void f32(float value) { bytes(&value, 4); }
    void text(std::string_view s) {
        const size_t size = std::min<size_t>(s.size(), kMaxText);
        u32(static_cast<uint32_t>(size));
        bytes(s.data(), size);
    }
    template <class T>
    void array(const std::vector<T>& values) {
        flush();
        if (!values.empty()) sink_(values.data(), values.size() * sizeof(T));
    }
    void flush() {
        if (!gathered_.empty()) sink_(gathered_.data(), gathered_.size());
        gathered_.clear();
    }

private:
    const HandoverSink& sink_;
    std::vector<std::byte> gathered_;
};

HandoverSink appendingTo(std::vector<std::byte>& out) {
    return [&out](const void* data, size_t size) {
        const auto* p = static_cast<const std::byte*>(data);
        out.insert(out.end(), p, p + size);
    };
}

class Reader {
public:
    Reader(std::span<const std::byte> bytes, std::string_view fileName) : bytes_(bytes), fileName_(fileName) {}

    [[noreturn]] void fail(const std::string& rule) const { failAt(at_, rule); }
    [[noreturn]] void failAt(size_t offset, const std::string& rule) const {
        rt::raiseStatus(D3DXERR_INVALIDDATA, "importing model",
                        std::string(fileName_) + ": the importer's handover, byte " + std::to_string(offset) + ": " +
                            rule);
    }

    size_t offset() const { return at_; }
    size_t left() const { return bytes_.size() - at_; }
    void need(uint64_t size, const char* what) const {
        if (size > left())
            fail(std::string(what) + " needs " + std::to_string(size) + " bytes, " + std::to_string(left()) + " are left");
    }
    void read(void* out, size_t size, const char* what) {
        need(size, what);
        std::memcpy(out, bytes_.data() + at_, size);
        at_ += size;
    }
    uint32_t u32(const char* what) {
        uint32_t value;
        read(&value, 4, what);
        return value;
    }
    uint64_t u64(const char* what) {
        uint64_t value;
        read(&value, 8, what);
        return value;
    }
    float f32(const char* what) {
        float value;
        read(&value, 4, what);
        return value;
    }
    // Control characters (line breaks among them) become spaces: the text ends up in a
    // one-line report.
    std::string text(const char* what) {
        const size_t start = at_;
        const uint32_t size = u32(what);
        if (size > kMaxText) failAt(start, std::string(what) + " of " + std::to_string(size) + " bytes, more than " + std::to_string(kMaxText));
        std::string s(size, '\0');
        read(s.data(), size, what);
        for (char& c : s)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
        return s;
    }
    template <class T>
    std::vector<T> array(size_t count, const char* what) {
        std::vector<T> values(count);
        read(values.data(), count * sizeof(T), what);
        return values;
    }

private:
    std::span<const std::byte> bytes_;
    std::string_view fileName_;
    size_t at_ = 0;
};

void writeMaterial(Writer& out, const Material& m) {
    out.u32(static_cast<uint32_t>(m.origin));
    for (float f : m.diffuse) out.f32(f);
    out.f32(m.power);
    for (float f : m.specular) out.f32(f);
    for (float f : m.emissive) out.f32(f);
}

Material readMaterial(Reader& in, uint32_t index) {
    const size_t start = in.offset();
    Material m;
    const uint32_t origin = in.u32("material origin");
    if (origin > static_cast<uint32_t>(MaterialOrigin::None))
        in.failAt(start, "material " + std::to_string(index) + " has origin " + std::to_string(origin) + " (0 or 1)");
    m.origin = static_cast<MaterialOrigin>(origin);
    for (float& f : m.diffuse) f = in.f32("material");
    m.power = in.f32("material");
    for (float& f : m.specular) f = in.f32("material");
    for (float& f : m.emissive) f = in.f32("material");
    std::array<float, 11> all;
    std::memcpy(all.data(), m.diffuse.data(), 16);
    all[4] = m.power;
    std::memcpy(&all[5], m.specular.data(), 12);
    std::memcpy(&all[8], m.emissive.data(), 12);
    if (!std::all_of(all.begin(), all.end(), [](float f) { return std::isfinite(f); }))
        in.failAt(start, "material " + std::to_string(index) + " has a number that is not finite");
    return m;
}

// The first element of `values` (read from `start` on) with a coordinate that is not finite.
template <class T>
void requireFinite(const Reader& in, size_t start, const std::vector<T>& values, const char* what) {
    constexpr size_t n = sizeof(T) / sizeof(float);
    const auto* floats = reinterpret_cast<const float*>(values.data());
    const size_t total = values.size() * n;
    for (size_t i = 0; i < total; ++i)
        if (!std::isfinite(floats[i]))
            in.failAt(start + 4 * i, std::string(what) + " " + std::to_string(i / n) + " is not finite");
}

void requireBelow(const Reader& in, size_t start, const std::vector<uint32_t>& values, uint32_t limit,
                  const char* what, const char* ofWhat) {
    const auto beyond = std::find_if(values.begin(), values.end(), [limit](uint32_t v) { return v >= limit; });
    if (beyond == values.end()) return;
    const size_t i = static_cast<size_t>(beyond - values.begin());
    in.failAt(start + 4 * i, std::string(what) + " " + std::to_string(i) + " is " + std::to_string(*beyond) +
                                 ", beyond the " + std::to_string(limit) + " " + ofWhat);
}

uint32_t count(Reader& in, const char* what, uint32_t low, uint32_t high) {
    const size_t start = in.offset();
    const uint32_t value = in.u32(what);
    if (value < low || value > high)
        in.failAt(start, std::string(what) + " " + std::to_string(value) + " is outside " + std::to_string(low) + " .. " +
                             std::to_string(high));
    return value;
}

[[noreturn]] void raiseFailure(Reader& in, std::string_view fileName) {
    const size_t start = in.offset();
    const uint32_t reason = in.u32("failure reason");
    const std::string text = in.text("failure text");
    if (in.left() != 0) in.fail(std::to_string(in.left()) + " bytes after the failure");
    const std::string where = std::string(fileName) + ": " + text;
    switch (static_cast<FailureReason>(reason)) {
    case FailureReason::Unreadable: rt::raiseStatus(D3DXERR_INVALIDDATA, "importing model", where);
    case FailureReason::NoTriangles: rt::raiseStatus(D3DXERR_LOADEDMESHASNODATA, "importing model", where);
    }
    in.failAt(start, "failure reason " + std::to_string(reason) + " (1 or 2)");
}

ImportedMesh readMesh(Reader& in) {
    ImportedMesh mesh;
    mesh.format = in.text("format name");
    const uint32_t vertices = count(in, "vertex count", 1, kMaxVertices);
    const uint32_t faces = count(in, "face count", 1, kMaxFaces);
    const uint32_t materials = count(in, "material count", 1, kMaxMaterials);
    const size_t flagsAt = in.offset();
    const uint32_t flags = in.u32("flags");
    if ((flags & ~kFlagTexCoords) != 0) in.failAt(flagsAt, "unknown flags " + std::to_string(flags));
    const bool texCoords = (flags & kFlagTexCoords) != 0;
    // Every size is known now: nothing is allocated for counts the bytes do not back.
    const uint64_t perVertex = sizeof(Float3) * 2 + (texCoords ? sizeof(Float2) : 0);
    const uint64_t expected = uint64_t{materials} * kMaterialBytes + uint64_t{vertices} * perVertex + uint64_t{faces} * 16;
    if (expected != in.left())
        in.fail(std::to_string(vertices) + " vertices, " + std::to_string(faces) + " faces and " +
                std::to_string(materials) + " materials take " + std::to_string(expected) + " bytes, but " +
                std::to_string(in.left()) + " follow");

    mesh.materials.reserve(materials);
    for (uint32_t i = 0; i < materials; ++i) mesh.materials.push_back(readMaterial(in, i));
    size_t start = in.offset();
    mesh.positions = in.array<Float3>(vertices, "positions");
    requireFinite(in, start, mesh.positions, "position");
    start = in.offset();
    mesh.normals = in.array<Float3>(vertices, "normals");
    requireFinite(in, start, mesh.normals, "normal");
    if (texCoords) {
        start = in.offset();
        mesh.texCoords = in.array<Float2>(vertices, "texture coordinates");
        requireFinite(in, start, mesh.texCoords, "texture coordinate");
    }
    start = in.offset();
    mesh.indices = in.array<uint32_t>(size_t{faces} * 3, "indices");
    requireBelow(in, start, mesh.indices, vertices, "index", "vertices");
    start = in.offset();
    mesh.faceMaterials = in.array<uint32_t>(faces, "face materials");
    requireBelow(in, start, mesh.faceMaterials, materials, "material of face", "materials");
    return mesh;
}

}  // namespace

void writeMesh(const ImportedMesh& mesh, const HandoverSink& sink) {
    Writer out(sink);
    out.bytes(kMagic, sizeof kMagic);
    out.u64(meshSize(mesh));
    out.u32(kKindMesh);
    out.text(mesh.format);
    out.u32(static_cast<uint32_t>(mesh.positions.size()));
    out.u32(static_cast<uint32_t>(mesh.faceCount()));
    out.u32(static_cast<uint32_t>(mesh.materials.size()));
    out.u32(mesh.texCoords.empty() ? 0 : kFlagTexCoords);
    for (const Material& m : mesh.materials) writeMaterial(out, m);
    out.array(mesh.positions);
    out.array(mesh.normals);
    out.array(mesh.texCoords);
    out.array(mesh.indices);
    out.array(mesh.faceMaterials);
    out.flush();
}

void writeFailure(FailureReason reason, std::string_view text, const HandoverSink& sink) {
    Writer out(sink);
    out.bytes(kMagic, sizeof kMagic);
    out.u64(kPrefixBytes + 8 + std::min<size_t>(text.size(), kMaxText));
    out.u32(kKindFailure);
    out.u32(static_cast<uint32_t>(reason));
    out.text(text);
    out.flush();
}

std::vector<std::byte> encodeMesh(const ImportedMesh& mesh) {
    std::vector<std::byte> out;
    out.reserve(meshSize(mesh));
    writeMesh(mesh, appendingTo(out));
    return out;
}

std::vector<std::byte> encodeFailure(FailureReason reason, std::string_view text) {
    std::vector<std::byte> out;
    writeFailure(reason, text, appendingTo(out));
    return out;
}

uint64_t announcedSize(std::span<const std::byte> start) {
    uint64_t size = 0;
    if (start.size() >= 16 && std::memcmp(start.data(), kMagic, sizeof kMagic) == 0) std::memcpy(&size, start.data() + 8, 8);
    return size;
}

ImportedMesh decodeHandover(std::span<const std::byte> bytes, std::string_view fileName) {
    Reader in(bytes, fileName);
    char magic[sizeof kMagic];
    in.read(magic, sizeof magic, "the header");
    if (std::memcmp(magic, kMagic, sizeof kMagic) != 0) in.failAt(0, "it does not start with \"CSIMPRT1\"");
    const uint64_t size = in.u64("the size");
    if (size != bytes.size())
        in.failAt(8, "it says it has " + std::to_string(size) + " bytes, but " + std::to_string(bytes.size()) + " arrived");
    const size_t kindAt = in.offset();
    const uint32_t kind = in.u32("the kind");
    if (kind == kKindFailure) raiseFailure(in, fileName);
    if (kind != kKindMesh) in.failAt(kindAt, "kind " + std::to_string(kind) + " (0 or 1)");
    return readMesh(in);
}

}  // namespace modelimport
