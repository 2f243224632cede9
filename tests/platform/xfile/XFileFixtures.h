#pragma once
// Builders for .x files in memory: text as it stands, binary token streams, and MSZIP
// compression of either, so tests can state a file in a few lines in every encoding.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "XWriter.h"
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

// The body of an uncompressed .x file (everything after its 16-byte header) compressed by the
// data generator's writer into MSZIP blocks of at most `blockSize` bytes, each referring back
// into the output before it. `format` is "tzip" or "bzip".
inline std::vector<std::byte> compress(const std::vector<std::byte>& file, std::string_view format, size_t blockSize = 32768) {
    char header[17] = {};
    std::memcpy(header, file.data(), 16);
    std::memcpy(header + 8, format.data(), 4);
    const auto* bytes = reinterpret_cast<const uint8_t*>(file.data());
    const std::vector<uint8_t> out = datagen::compressXBody(header, {bytes + 16, bytes + file.size()}, blockSize, true);
    return bytesOf({reinterpret_cast<const char*>(out.data()), out.size()});
}

}  // namespace fixtures
