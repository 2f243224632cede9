// xfile-benchfiles OUTDIR: writes two large compressed binary .x files for load benchmarks:
//   soup141k.x  47,000 triangles with their own 141,000 vertices (normals, texture coordinates,
//               vertex duplication indices, four materials); needs 32-bit indices
//   grid60k.x   a 124 × 249 grid of shared vertices in 61,008 triangles (texture coordinates,
//               two materials)
// Positions follow a bumpy surface with noise in the low bits, as exported models do, so the
// files compress about as well as real ones. Same bytes on every run.

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "XWriter.h"

namespace {

class Body {
public:
    void word(uint16_t v) { put(&v, 2); }
    void dword(uint32_t v) { put(&v, 4); }
    void name(const std::string& n) {
        word(1);
        dword(static_cast<uint32_t>(n.size()));
        put(n.data(), n.size());
    }
    void open(const std::string& type) { name(type), word(10); }
    void close() { word(11); }
    void integers(const std::vector<uint32_t>& values) {
        word(6), dword(static_cast<uint32_t>(values.size()));
        for (uint32_t v : values) dword(v);
    }
    void floats(const std::vector<float>& values) {
        word(7), dword(static_cast<uint32_t>(values.size()));
        for (float v : values) put(&v, 4);
    }
    const std::vector<uint8_t>& bytes() const { return bytes_; }

private:
    void put(const void* p, size_t n) {
        const auto* b = static_cast<const uint8_t*>(p);
        bytes_.insert(bytes_.end(), b, b + n);
    }
    std::vector<uint8_t> bytes_;
};

uint32_t noise(uint32_t& state) {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
}

// A point of the surface for parameters (s, t) in [0, 1], with noise of up to `jitter`, each
// coordinate rounded to a multiple of `step` (0: not rounded).
void surfacePoint(float s, float t, float jitter, float step, uint32_t& state, std::vector<float>& out) {
    const float a = s * 6.2831853f, b = t * 3.1415926f;
    const float r = 10.0f + std::sin(7 * a) * std::sin(5 * b) + jitter * static_cast<float>(noise(state) % 1024) / 1024;
    for (float x : {r * std::cos(a) * std::sin(b), r * std::cos(b), r * std::sin(a) * std::sin(b)})
        out.push_back(step > 0 ? std::round(x / step) * step : x);
}

std::vector<uint32_t> faceList(const std::vector<uint32_t>& corners) {
    std::vector<uint32_t> list{static_cast<uint32_t>(corners.size() / 3)};
    for (size_t i = 0; i < corners.size(); i += 3) list.insert(list.end(), {3, corners[i], corners[i + 1], corners[i + 2]});
    return list;
}

void materials(Body& body, uint32_t count, const std::vector<uint32_t>& faceMaterials) {
    body.open("MeshMaterialList");
    std::vector<uint32_t> head{count, static_cast<uint32_t>(faceMaterials.size())};
    head.insert(head.end(), faceMaterials.begin(), faceMaterials.end());
    body.integers(head);
    for (uint32_t m = 0; m < count; ++m) {
        body.open("Material");
        body.floats({0.2f * static_cast<float>(m + 1), 0.5f, 0.5f, 1, 8, 0.3f, 0.3f, 0.3f, 0, 0, 0});
        body.close();
    }
    body.close();
}

std::vector<uint8_t> soup() {
    constexpr uint32_t kFaces = 47000, kVertices = 3 * kFaces;
    uint32_t state = 1;
    std::vector<float> positions, normals, uv;
    std::vector<uint32_t> corners(kVertices), faceMaterials(kFaces), duplicates{kVertices, kVertices};
    for (uint32_t f = 0; f < kFaces; ++f) {
        const float s = static_cast<float>(f % 235) / 235, t = static_cast<float>(f / 235) / 200;
        for (uint32_t k = 0; k < 3; ++k) {
            surfacePoint(s + (k == 1) * 0.004f, t + (k == 2) * 0.005f, 0, 1.0f / 64, state, positions);
            uv.insert(uv.end(), {s, t});
            corners[3 * f + k] = 3 * f + k;
            duplicates.push_back(3 * f + k);
        }
        const float* p = &positions[positions.size() - 9];
        const float ux = p[3] - p[0], uy = p[4] - p[1], uz = p[5] - p[2], vx = p[6] - p[0], vy = p[7] - p[1], vz = p[8] - p[2];
        const float nx = uy * vz - uz * vy, ny = uz * vx - ux * vz, nz = ux * vy - uy * vx;
        const float length = std::sqrt(nx * nx + ny * ny + nz * nz) + 1e-20f;
        for (int k = 0; k < 3; ++k)
            for (float n : {nx / length, ny / length, nz / length}) normals.push_back(std::round(n * 512) / 512);
        faceMaterials[f] = (f / 997) % 4;
    }
    Body body;
    body.open("Mesh");
    body.integers({kVertices});
    body.floats(positions);
    body.integers(faceList(corners));
    body.open("MeshNormals");
    body.integers({kVertices});
    body.floats(normals);
    body.integers(faceList(corners));
    body.close();
    body.open("MeshTextureCoords");
    body.integers({kVertices});
    body.floats(uv);
    body.close();
    body.open("VertexDuplicationIndices");
    body.integers(duplicates);
    body.close();
    materials(body, 4, faceMaterials);
    body.close();
    return body.bytes();
}

std::vector<uint8_t> grid() {
    constexpr uint32_t kColumns = 124, kRows = 249;
    uint32_t state = 2;
    std::vector<float> positions, uv;
    for (uint32_t r = 0; r < kRows; ++r)
        for (uint32_t c = 0; c < kColumns; ++c) {
            const float s = static_cast<float>(c) / (kColumns - 1), t = static_cast<float>(r) / (kRows - 1);
            surfacePoint(s, t, 0.01f, 0, state, positions);
            uv.insert(uv.end(), {s + static_cast<float>(noise(state) % 4096) * 1e-7f, t + static_cast<float>(noise(state) % 4096) * 1e-7f});
        }
    std::vector<uint32_t> corners, faceMaterials;
    for (uint32_t r = 0; r + 1 < kRows; ++r)
        for (uint32_t c = 0; c + 1 < kColumns; ++c) {
            const uint32_t v = r * kColumns + c;
            corners.insert(corners.end(), {v, v + kColumns, v + 1, v + 1, v + kColumns, v + kColumns + 1});
            faceMaterials.insert(faceMaterials.end(), 2, r < kRows / 2 ? 0u : 1u);
        }
    Body body;
    body.open("Mesh");
    body.integers({kColumns * kRows});
    body.floats(positions);
    body.integers(faceList(corners));
    body.open("MeshTextureCoords");
    body.integers({kColumns * kRows});
    body.floats(uv);
    body.close();
    materials(body, 2, faceMaterials);
    body.close();
    return body.bytes();
}

void write(const std::string& path, const std::vector<uint8_t>& body) {
    static const char header[17] = "xof 0303bzip0032";
    const std::vector<uint8_t> file = datagen::compressXBody(header, body);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    std::printf("%s: %zu bytes, %zu inflated\n", path.c_str(), file.size(), body.size() + 16);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: xfile-benchfiles OUTDIR\n");
        return 2;
    }
    write(std::string(argv[1]) + "/soup141k.x", soup());
    write(std::string(argv[1]) + "/grid60k.x", grid());
    return 0;
}
