// Any input must either load or raise rt::Error; anything else (a crash, a sanitizer report,
// another exception such as bad_alloc from an allocation sized by an unchecked count) is a bug.
//
// The first byte picks the encoding, so every encoding gets inputs whose bodies are worth
// reading: 0-7 put a header for text, binary, compressed text or compressed binary, with 32-
// or 64-bit floats, in front of the rest (compressed here, in small blocks, so that mutations
// reach the tokens rather than break the DEFLATE data); 8 and above take the rest as a whole
// file, header and MSZIP blocks included.

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "d3dx8/MeshLoader.h"
#include "runtime/Error.h"

namespace {

constexpr const char* kFormats[] = {"txt ", "bin ", "tzip", "bzip"};
constexpr size_t kBlock = 4096;

void appendLE(std::vector<std::byte>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::byte>(value >> (8 * i)));
}

// MSZIP blocks of the body, each a raw DEFLATE stream with the output so far as its history.
void appendCompressed(std::vector<std::byte>& out, std::span<const std::byte> body) {
    appendLE(out, static_cast<uint32_t>(body.size() + 16), 4);
    for (size_t at = 0; at < body.size(); at += kBlock) {
        const size_t size = std::min(kBlock, body.size() - at), history = std::min<size_t>(at, 32768);
        z_stream z{};
        deflateInit2(&z, 1, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
        if (history > 0) deflateSetDictionary(&z, reinterpret_cast<const Bytef*>(body.data() + at - history), static_cast<uInt>(history));
        std::vector<Bytef> packed(deflateBound(&z, static_cast<uLong>(size)) + 16);
        z.next_in = const_cast<Bytef*>(reinterpret_cast<const Bytef*>(body.data() + at));
        z.avail_in = static_cast<uInt>(size);
        z.next_out = packed.data();
        z.avail_out = static_cast<uInt>(packed.size());
        deflate(&z, Z_FINISH);
        const size_t packedSize = packed.size() - z.avail_out;
        deflateEnd(&z);
        appendLE(out, static_cast<uint32_t>(size), 2);
        appendLE(out, static_cast<uint32_t>(packedSize + 2), 2);
        out.push_back(std::byte{'C'});
        out.push_back(std::byte{'K'});
        for (size_t i = 0; i < packedSize; ++i) out.push_back(static_cast<std::byte>(packed[i]));
    }
}

std::vector<std::byte> fileFor(uint8_t mode, std::span<const std::byte> body) {
    const std::string header = std::string("xof 0303") + kFormats[mode % 4] + (mode < 4 ? "0032" : "0064");
    std::vector<std::byte> file(reinterpret_cast<const std::byte*>(header.data()),
                                reinterpret_cast<const std::byte*>(header.data()) + header.size());
    if (mode % 4 >= 2)
        appendCompressed(file, body);
    else
        file.insert(file.end(), body.begin(), body.end());
    return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::span<const std::byte> rest(reinterpret_cast<const std::byte*>(data) + 1, size - 1);
    const std::vector<std::byte> file = data[0] < 8 ? fileFor(data[0], rest) : std::vector<std::byte>(rest.begin(), rest.end());
    try {
        d3dx8::MeshFromX loaded = d3dx8::loadMeshFromXInMemory(file, "fuzz.x", D3DXMESH_SYSTEMMEM | D3DXMESH_32BIT, nullptr);
        std::vector<uint32_t> adjacency(size_t{loaded.mesh->GetNumFaces()} * 3);
        loaded.mesh->GenerateAdjacency(0.0f, adjacency.data());
        auto materials = d3dx8::makeMaterialBuffer(loaded);
        if (d3dx8::materialBufferCount(*materials) != loaded.materials.size()) __builtin_trap();
    } catch (const rt::Error&) {
    }
    return 0;
}
