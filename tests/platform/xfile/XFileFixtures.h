#pragma once
// Builders for .x files in memory: text as it stands, binary token streams, and MSZIP
// compression of either, so tests can state a file in a few lines in every encoding.

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "support/Raised.h"

namespace fixtures {

using testsupport::raised;

inline std::vector<std::byte> bytesOf(std::string_view text) {
    std::vector<std::byte> bytes(text.size());
    if (!text.empty()) std::memcpy(bytes.data(), text.data(), text.size());  // an empty view's data() may be null
    return bytes;
}

// A binary .x stream: call the token methods in file order, then bytes().
class BinaryWriter {
public:
    explicit BinaryWriter(std::string_view header = "xof 0303bin 0032") { raw(header); }

    template <class T>
    BinaryWriter& pod(T v) { return raw(std::string_view(reinterpret_cast<const char*>(&v), sizeof v)); }
    BinaryWriter& word(uint16_t v) { return pod(v); }
    BinaryWriter& dword(uint32_t v) { return pod(v); }
    BinaryWriter& name(std::string_view s) { return word(1).dword(static_cast<uint32_t>(s.size())).raw(s); }
    BinaryWriter& string(std::string_view s) { return word(2).dword(static_cast<uint32_t>(s.size())).raw(s).word(20); }
    BinaryWriter& integer(uint32_t v) { return word(3).dword(v); }
    BinaryWriter& integers(const std::vector<uint32_t>& values) {
        word(6).dword(static_cast<uint32_t>(values.size()));
        for (uint32_t v : values) dword(v);
        return *this;
    }
    // Floats in the file's width: 4 bytes each, or 8 when `doubles`.
    BinaryWriter& floats(const std::vector<float>& values, bool doubles = false) {
        word(7).dword(static_cast<uint32_t>(values.size()));
        for (float f : values) doubles ? pod(double{f}) : pod(f);
        return *this;
    }
    BinaryWriter& open() { return word(10); }
    BinaryWriter& close() { return word(11); }
    BinaryWriter& raw(std::string_view s) {
        bytes_.insert(bytes_.end(), s.begin(), s.end());
        return *this;
    }
    std::vector<std::byte> bytes() const { return bytesOf(bytes_); }

private:
    std::string bytes_;
};

// The unit square as two triangles over 4 vertices, with one textured material, in binary;
// the texture name's string token ends with a WORD separator, or a DWORD when `dwordSeparator`.
inline std::vector<std::byte> binarySquare(std::string_view header = "xof 0303bin 0032", bool doubles = false,
                                           bool dwordSeparator = false) {
    BinaryWriter w(header);
    w.name("Mesh").name("M").open().integer(4).floats({0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0}, doubles);
    w.integers({2, 3, 0, 1, 2, 3, 0, 2, 3}).name("MeshMaterialList").open().integers({1, 2, 0, 0});
    w.name("Material").open().floats({1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0}, doubles);
    w.name("TextureFilename").open().string("tex.bmp");
    if (dwordSeparator) w.word(0);
    return w.close().close().close().close().bytes();
}

// Compresses the body of an uncompressed .x file (everything after its 16-byte header) into
// MSZIP blocks of at most `blockSize` bytes, each block allowed to refer back into the
// previous output. `format` is "tzip" or "bzip".
inline std::vector<std::byte> compress(const std::vector<std::byte>& file, std::string_view format, size_t blockSize = 32768) {
    std::string out(reinterpret_cast<const char*>(file.data()), 16);
    out.replace(8, 4, format);
    uint32_t total = static_cast<uint32_t>(file.size());
    out.append(reinterpret_cast<const char*>(&total), 4);
    const auto* body = reinterpret_cast<const Bytef*>(file.data()) + 16;
    for (size_t at = 0; at < file.size() - 16; at += blockSize) {
        const size_t size = std::min(blockSize, file.size() - 16 - at), history = std::min<size_t>(at, 32768);
        z_stream z{};
        deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
        if (history > 0) deflateSetDictionary(&z, body + at - history, static_cast<uInt>(history));
        std::vector<Bytef> packed(deflateBound(&z, static_cast<uLong>(size)) + 16);
        z.next_in = const_cast<Bytef*>(body + at);
        z.avail_in = static_cast<uInt>(size);
        z.next_out = packed.data();
        z.avail_out = static_cast<uInt>(packed.size());
        deflate(&z, Z_FINISH);
        size_t packedSize = packed.size() - z.avail_out;
        deflateEnd(&z);
        uint16_t sizes[2] = {static_cast<uint16_t>(size), static_cast<uint16_t>(packedSize + 2)};
        out.append(reinterpret_cast<const char*>(sizes), 4).append("CK");
        out.append(reinterpret_cast<const char*>(packed.data()), packedSize);
    }
    return bytesOf(out);
}

}  // namespace fixtures
