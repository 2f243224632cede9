// The programmable vertex stage on its own: what it reads from stream 0 and the constants,
// and what it refuses.
#include <gtest/gtest.h>

#include "d3d8/ShaderStage.h"
#include "runtime/Error.h"
#include "runtime/Status.h"
#include "vs/Assembler.h"

namespace {

using Vec4 = std::array<float, 4>;

struct Vertex { float x, y, z; uint32_t colour; };

// v0 the position, v5 the colour.
const std::vector<uint32_t> kDecl = {0x20000000, 0x40020000, 0x40040005, 0xFFFFFFFF};

class ShaderStageTest : public ::testing::Test {
protected:
    // Selects a stage for `source` and shades the vertices numbered `numbers`.
    void run(const char* source, std::vector<uint32_t> numbers, uint32_t stride = sizeof(Vertex)) {
        ShaderStage stage(vs::parseDeclaration(kDecl), vs::decodeProgram(vs::assemble(source, "t").function));
        VertexInput in;
        in.streams[0] = {std::as_bytes(std::span(vertices)), stride};
        in.constants = constants;
        stage.process(in, numbers, out, "DrawIndexedPrimitive");
    }

    std::vector<Vertex> vertices = {{1, 2, 3, 0x80FF4000}, {4, 5, 6, 0xFFFFFFFF}, {7, 8, 9, 0x0000FF00}};
    std::array<D3DXVECTOR4, 96> constants{};
    ProcessedVertices out;
};

// D3DCOLOR inputs read as (r, g, b, a) in 1/255 steps. Colours are clamped on the way out;
// texture coordinates are not.
TEST_F(ShaderStageTest, ShadesTheListedVerticesInOrder) {
    constants[3] = {0.25f, 2.0f, -1.0f, 0.5f};
    run("vs.1.1\nmov oPos, v0\nmov oD0, v5\nmov oD1, c3\nmov oT0, v0.zyxw", {2, 0});
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ((Vec4{out.x[0], out.y[0], out.z[0], out.w[0]}), (Vec4{7, 8, 9, 1}));
    EXPECT_EQ((Vec4{out.x[1], out.y[1], out.z[1], out.w[1]}), (Vec4{1, 2, 3, 1}));
    EXPECT_EQ((Vec4{out.r[0], out.g[0], out.b[0], out.a[0]}), (Vec4{0, 1, 0, 0}));
    EXPECT_EQ((Vec4{out.r[1], out.g[1], out.b[1], out.a[1]}), (Vec4{1, 64 / 255.0f, 0, 128 / 255.0f}));
    EXPECT_EQ((Vec4{out.sr[0], out.sg[0], out.sb[0], out.sa[0]}), (Vec4{0.25f, 1, 0, 0.5f}));
    EXPECT_EQ((std::array{out.u[0], out.v[0]}), (std::array{9.0f, 8.0f}));
}

// Even with a stride shorter than the declared vertex, no read goes past the last byte.
TEST_F(ShaderStageTest, VertexBeyondTheStreamIsRefused) {
    try {
        run("vs.1.1\nmov oPos, v0", {0, 3});
        ADD_FAILURE();
    } catch (const rt::Error& e) {
        EXPECT_EQ(e.number(), D3DERR_INVALIDCALL);
        EXPECT_NE(e.text().find("DrawIndexedPrimitive"), std::string::npos) << e.text();
        EXPECT_NE(e.text().find("vertex 3"), std::string::npos) << e.text();
    }
    EXPECT_THROW(run("vs.1.1\nmov oPos, v0", {9}, 4), rt::Error);  // bytes 36..51 of 48
    EXPECT_NO_THROW(run("vs.1.1\nmov oPos, v0", {8}, 4));
}

}  // namespace
