// Binary encoding (little-endian WORD tokens; every number goes in an integer or float list)
// and the compressed container (independent raw-deflate blocks behind a "CK" signature).
#include <bit>
#include <cstring>

#include <zlib.h>

#include "Bytes.h"
#include "XWriter.h"
#include "runtime/Error.h"

namespace datagen {
namespace {

enum Token : uint16_t { Name = 1, IntegerList = 6, FloatList = 7, OBrace = 10, CBrace = 11 };

class BinaryOut {
public:
    void word(uint16_t v) { bytes(&v, 2); }
    void dword(uint32_t v) { bytes(&v, 4); }
    void name(const std::string& n) {
        word(Name);
        dword(static_cast<uint32_t>(n.size()));
        bytes(n.data(), n.size());
    }
    void open(const std::string& type, const std::string& instance = {}) {
        name(type);
        if (!instance.empty()) name(instance);
        word(OBrace);
    }
    void close() { word(CBrace); }
    void integers(const std::vector<uint32_t>& values) {
        word(IntegerList);
        dword(static_cast<uint32_t>(values.size()));
        for (uint32_t v : values) dword(v);
    }
    void floats(const std::vector<float>& values) {
        word(FloatList);
        dword(static_cast<uint32_t>(values.size()));
        for (float v : values) bytes(&v, 4);
    }
    std::vector<uint8_t> take() { return std::move(out_); }

private:
    // Numbers are copied as the host holds them, which is the file's byte order.
    static_assert(std::endian::native == std::endian::little);
    void bytes(const void* p, size_t n) {
        const auto* b = static_cast<const uint8_t*>(p);
        out_.insert(out_.end(), b, b + n);
    }
    std::vector<uint8_t> out_;
};

std::vector<uint32_t> faceIntegers(const Model& m) {
    std::vector<uint32_t> v{static_cast<uint32_t>(m.faces.size())};
    for (const Face& f : m.faces) v.insert(v.end(), {3u, f.corners[0], f.corners[1], f.corners[2]});
    return v;
}

void vertexLists(BinaryOut& out, const Model& m, Float3 Vertex::*field) {
    out.integers({static_cast<uint32_t>(m.vertices.size())});
    std::vector<float> f;
    for (const Vertex& v : m.vertices) f.insert(f.end(), {(v.*field).x, (v.*field).y, (v.*field).z});
    out.floats(f);
}

void materialList(BinaryOut& out, const Model& m) {
    out.open("MeshMaterialList");
    std::vector<uint32_t> ints{static_cast<uint32_t>(m.materials.size()), static_cast<uint32_t>(m.faces.size())};
    for (const Face& f : m.faces) ints.push_back(f.material);
    out.integers(ints);
    for (const Material& mat : m.materials) {
        out.open("Material");
        const auto& c = mat.faceColor;
        const auto& s = mat.specularColor;
        const auto& e = mat.emissiveColor;
        out.floats({c[0], c[1], c[2], c[3], mat.power, s[0], s[1], s[2], e[0], e[1], e[2]});
        out.close();
    }
    out.close();
}

void mesh(BinaryOut& out, const Model& m) {
    out.open("Mesh", m.name + "_mesh");
    vertexLists(out, m, &Vertex::position);
    out.integers(faceIntegers(m));
    out.open("MeshNormals");
    vertexLists(out, m, &Vertex::normal);
    out.integers(faceIntegers(m));
    out.close();
    out.open("MeshTextureCoords");
    out.integers({static_cast<uint32_t>(m.vertices.size())});
    std::vector<float> uv;
    for (const Vertex& v : m.vertices) uv.insert(uv.end(), {v.u, v.v});
    out.floats(uv);
    out.close();
    materialList(out, m);
    out.close();
}

// One block: a raw-deflate stream that may refer back into the `history` bytes before `data`.
// Without history a reader may inflate every block on its own or keep its window across blocks
// and get the same bytes either way.
std::vector<uint8_t> deflateBlock(const uint8_t* data, size_t size, size_t history) {
    z_stream z{};
    if (deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        rt::raiseRuntime(rt::errc::OutOfMemory, "deflateInit2");
    if (history > 0) deflateSetDictionary(&z, data - history, static_cast<uInt>(history));
    std::vector<uint8_t> out(deflateBound(&z, static_cast<uLong>(size)));
    z.next_in = const_cast<Bytef*>(data);
    z.avail_in = static_cast<uInt>(size);
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    int rc = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    if (rc != Z_STREAM_END) rt::raiseRuntime(rt::errc::InvalidCall, "deflate did not finish a block");
    return out;
}

std::vector<uint8_t> withHeader(const char (&header)[17], const std::vector<uint8_t>& body) {
    std::vector<uint8_t> file(16 + body.size());
    std::memcpy(file.data(), header, 16);
    if (!body.empty()) std::memcpy(file.data() + 16, body.data(), body.size());
    return file;
}

}  // namespace

std::vector<uint8_t> xBinaryBody(const Model& m) {
    BinaryOut out;
    out.open("Frame", m.name);
    out.open("FrameTransformMatrix");
    out.floats({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
    out.close();
    mesh(out, m);
    out.close();
    return out.take();
}

std::vector<uint8_t> compressXBody(const char (&header)[17], const std::vector<uint8_t>& body, size_t blockSize,
                                   bool referBack) {
    if (body.size() > 0xFFFFFFFFu - 16) rt::raiseRuntime(rt::errc::Overflow, "file too large to compress");
    if (blockSize == 0 || blockSize > kCompressedBlockInput) rt::raiseRuntime(rt::errc::InvalidCall, "block size");
    std::vector<uint8_t> file(header, header + 16);
    appendLE32(file, static_cast<uint32_t>(body.size() + 16));
    for (size_t at = 0; at < body.size(); at += blockSize) {
        size_t n = std::min(blockSize, body.size() - at);
        std::vector<uint8_t> packed = deflateBlock(body.data() + at, n, referBack ? std::min<size_t>(at, 32768) : 0);
        if (packed.size() + 2 > 0xFFFF) rt::raiseRuntime(rt::errc::Overflow, "compressed block too large");
        appendLE16(file, static_cast<uint16_t>(n));
        appendLE16(file, static_cast<uint16_t>(packed.size() + 2));
        file.push_back('C');
        file.push_back('K');
        file.insert(file.end(), packed.begin(), packed.end());
    }
    return file;
}

std::vector<uint8_t> writeX(const Model& model, XEncoding encoding) {
    static const char text[17] = "xof 0303txt 0032";
    static const char binary[17] = "xof 0303bin 0032";
    static const char tzip[17] = "xof 0303tzip0032";
    static const char bzip[17] = "xof 0303bzip0032";
    auto textBody = [&] {
        std::string s = xTextBody(model);
        return std::vector<uint8_t>(s.begin(), s.end());
    };
    switch (encoding) {
    case XEncoding::Text: return withHeader(text, textBody());
    case XEncoding::Binary: return withHeader(binary, xBinaryBody(model));
    case XEncoding::CompressedText: return compressXBody(tzip, textBody());
    case XEncoding::CompressedBinary: return compressXBody(bzip, xBinaryBody(model));
    }
    rt::raiseRuntime(rt::errc::InvalidCall, "unknown .x encoding");
}

}  // namespace datagen
