// The programmable vertex stage on its own: what it reads from stream 0 and the constants,
// and what it refuses.
#include <gtest/gtest.h>

#include <cstring>

#include "d3d8/ShaderStage.h"
#include "runtime/Error.h"
#include "runtime/Status.h"
#include "vs/Assembler.h"

namespace {

struct Vertex {
    float x, y, z;
    uint32_t colour;
};

class ShaderStageTest : public ::testing::Test {
protected:
    ShaderStage makeStage(const std::vector<uint32_t>& declaration, const char* source) {
        return ShaderStage(vs::parseDeclaration(declaration), vs::decodeProgram(vs::assemble(source, "t").function));
    }

    VertexInput input() {
        VertexInput in;
        in.streams[0] = {std::as_bytes(std::span(vertices)), sizeof(Vertex)};
        in.constants = constants;
        return in;
    }

    std::vector<Vertex> vertices = {{1, 2, 3, 0xFF0000FF}, {4, 5, 6, 0x80FF0000}, {7, 8, 9, 0x0000FF00}};
    std::array<D3DXVECTOR4, 96> constants{};
    ProcessedVertices out;
};

const std::vector<uint32_t> kDecl = {0x20000000, 0x40020000, 0x40040005, 0xFFFFFFFF};

TEST_F(ShaderStageTest, ShadesTheListedVerticesInOrder) {
    ShaderStage stage = makeStage(kDecl, "vs.1.1\nmov oPos, v0\nmov oD0, v5\nmov oD1, c3\nmov oT0, v0.zyxw");
    EXPECT_EQ(stage.stream0VertexSize(), 16u);
    constants[3] = {0.25f, 2.0f, -1.0f, 0.5f};
    const uint32_t numbers[] = {2, 0};
    stage.process(input(), numbers, out, "DrawIndexedPrimitive");
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ((std::array<float, 4>{out.x[0], out.y[0], out.z[0], out.w[0]}), (std::array<float, 4>{7, 8, 9, 1}));
    EXPECT_EQ((std::array<float, 4>{out.x[1], out.y[1], out.z[1], out.w[1]}), (std::array<float, 4>{1, 2, 3, 1}));
    EXPECT_EQ((std::array<float, 4>{out.r[0], out.g[0], out.b[0], out.a[0]}), (std::array<float, 4>{0, 1, 0, 0}));
    EXPECT_EQ((std::array<float, 4>{out.r[1], out.g[1], out.b[1], out.a[1]}), (std::array<float, 4>{0, 0, 1, 1}));
    // Colours are clamped on the way out; texture coordinates are not.
    EXPECT_EQ((std::array<float, 4>{out.sr[0], out.sg[0], out.sb[0], out.sa[0]}), (std::array<float, 4>{0.25f, 1, 0, 0.5f}));
    EXPECT_EQ(out.u[0], 9.0f);
    EXPECT_EQ(out.v[0], 8.0f);
}

// Constants carried by the declaration are loaded into the device's registers when the
// stage is selected; the program then reads them like any other constant.
TEST_F(ShaderStageTest, DeclarationConstantsReachTheProgram) {
    std::vector<uint32_t> decl = {0x20000000, 0x40020000, 0x82000014, 0, 0, 0, 0, 0xFFFFFFFF};
    const float value[4] = {1.5f, -2.0f, 3.0f, 4.0f};
    std::memcpy(&decl[3], value, sizeof value);
    ShaderStage stage = makeStage(decl, "vs.1.1\nmov oPos, v0\nmov oT0, c20");
    constants[20] = {9, 9, 9, 9};
    stage.loadDeclaredConstants(constants);
    const uint32_t numbers[] = {1};
    stage.process(input(), numbers, out, "DrawPrimitive");
    EXPECT_EQ(out.u[0], 1.5f);
    EXPECT_EQ(out.v[0], -2.0f);
}

TEST_F(ShaderStageTest, VertexBeyondTheStreamIsRefused) {
    ShaderStage stage = makeStage(kDecl, "vs.1.1\nmov oPos, v0");
    const uint32_t numbers[] = {0, 3};
    try {
        stage.process(input(), numbers, out, "DrawIndexedPrimitive");
        ADD_FAILURE();
    } catch (const rt::Error& e) {
        EXPECT_EQ(e.number(), D3DERR_INVALIDCALL);
        EXPECT_NE(e.text().find("DrawIndexedPrimitive"), std::string::npos);
        EXPECT_NE(e.text().find("vertex 3"), std::string::npos);
    }
    // A stride shorter than the declared vertex still may not read past the last byte.
    VertexInput in = input();
    in.streams[0].stride = 4;
    const uint32_t last[] = {11};
    EXPECT_THROW(stage.process(in, last, out, "DrawPrimitive"), rt::Error);
}

}  // namespace
