// Vertex shaders as the program creates them: code arrays, range checks, creation from the
// data files and its failures; and the programmable vertex stage that runs them.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <set>
#include <string>

#include "d3d8/Direct3D8.h"
#include "d3d8/Direct3DDevice8.h"
#include "d3d8/ShaderStage.h"
#include "d3dx8/D3DX8.h"
#include "runtime/Status.h"
#include "shaderbind/D3DShaders.h"
#include "shaderbind/ShaderCreation.h"
#include "support/Raised.h"
#include "vs/Assembler.h"

namespace {

using namespace D3DShaders;
using testsupport::raised;

std::string writeTemp(const std::string& name, const std::string& text) {
    const std::string path = ::testing::TempDir() + name;
    std::ofstream(path) << text;
    return path;
}

std::string dataPath(const char* name) { return std::string(CELSHADE_SOURCE_DIR) + "/data/" + name; }

// A declaration's data type goes through a 32-bit signed product with 65536.
TEST(DeclarationTokens, DataTypeBeyondSixteenBitsIsAnOverflow) {
    for (int32_t type : {32768, -32769, 1 << 30}) EXPECT_EQ(raised([&] { vsdReg(0, type); }).first, rt::errc::Overflow) << type;
}

// The code array holds the code and one spare zero word after it, however its size rounds.
TEST(CodeArray, OneSpareZeroWordAfterTheCode) {
    D3DX8 d3dx;
    for (auto [size, words] : {std::pair{0u, 1u}, {4u, 2u}, {1200u, 301u}, {5u, 2u}, {6u, 3u}, {10u, 3u}}) {
        std::vector<std::byte> code(size);
        for (size_t i = 0; i < size; ++i) code[i] = std::byte(0xA0 + i % 16);
        const std::vector<uint32_t> array = codeArrayOf(d3dx, D3DXBuffer(code));
        ASSERT_EQ(array.size(), words) << size;
        std::vector<std::byte> expected(4 * words);
        std::copy(code.begin(), code.end(), expected.begin());
        EXPECT_EQ(std::memcmp(array.data(), expected.data(), expected.size()), 0) << size;
    }
}

// Ranges beyond the buffer or the constant registers are refused, with no 32-bit wrap.
TEST(RangeChecks, BufferCopyAndConstantRegisters) {
    D3DX8 d3dx;
    const D3DXBuffer buffer(std::vector<std::byte>(8));
    uint32_t out[4];
    EXPECT_EQ(raised([&] { d3dx.BufferGetData(buffer, 4, 2, 2, out); }).first, 0);
    EXPECT_EQ(raised([&] { d3dx.BufferGetData(buffer, 4, 2, 3, out); }).first, D3DERR_INVALIDCALL);
    EXPECT_EQ(raised([&] { d3dx.BufferGetData(buffer, 0, 0x10000, 0x10001, out); }).first, D3DERR_INVALIDCALL);
    const auto device = createOffscreenDevice(8, 8);
    const float four[16] = {};
    EXPECT_EQ(raised([&] { device->SetVertexShaderConstant(92, four, 4); }).first, 0);
    EXPECT_EQ(raised([&] { device->SetVertexShaderConstant(93, four, 4); }).first, D3DERR_INVALIDCALL);
    EXPECT_EQ(raised([&] { device->SetVertexShaderConstant(0xFFFFFFFFu, four, 2); }).first, D3DERR_INVALIDCALL);
}

class ShaderCreation : public ::testing::Test {
protected:
    std::shared_ptr<Direct3DDevice8> device = createOffscreenDevice(8, 8);
    std::shared_ptr<D3DX8> d3dx;

    int32_t create(const std::string& path, bool edge = false) {
        return createVertexShaderFromFile(d3dx, *device, path, edge ? edgeShaderDeclaration() : celShaderDeclaration());
    }
};

TEST_F(ShaderCreation, BothProgramsCreateSelectAndGetDistinctHandles) {
    const int32_t cel = create(dataPath("celshading.txt"));
    ASSERT_TRUE(d3dx);  // created on first use
    EXPECT_EQ(device->GetVertexShader(), uint32_t(cel));
    const int32_t edge = create(dataPath("shver2.txt"), true);
    EXPECT_EQ(device->GetVertexShader(), uint32_t(edge));
    const int32_t cel2 = create(dataPath("celshading.txt"));
    EXPECT_EQ((std::set<int32_t>{cel, edge, cel2}.size()), 3u);
    EXPECT_TRUE(uint32_t(cel) & 0x80000000u);  // a handle is never taken for a vertex format code
    device->DeleteVertexShader(uint32_t(cel2));
    EXPECT_NE(raised([&] { device->SetVertexShader(uint32_t(cel2)); }).first, 0);
    EXPECT_NE(raised([&] { device->DeleteVertexShader(uint32_t(cel2)); }).first, 0);
}

// A file the loader cannot read is the program's data fault, tested end to end
// (tests/e2e: EveryFileTheProgramReads).
TEST_F(ShaderCreation, FailuresRaiseTheirStatusAndCreateNothing) {
    const uint32_t before = device->GetVertexShader();
    const auto [number, text] = raised([&] { create(writeTemp("bad.vsh", "vs.1.1\nmov oPos, v0\nmvo r0, v0\n")); });
    EXPECT_EQ(number, D3DXERR_INVALIDDATA);
    EXPECT_NE(text.find("bad.vsh:3:1: unknown instruction 'mvo'"), std::string::npos) << text;
    const uint32_t code[] = {0xFFFE0101, 1, 0xC00F0000, 0x90E40000, 0x0000FFFF}, badCode[] = {0xFFFE0101, 0x1234, 0x0000FFFF};
    const uint32_t noStream[] = {0x40020000, 0xFFFFFFFF};
    EXPECT_EQ(raised([&] { device->CreateVertexShader(noStream, code, D3DUSAGE_SOFTWAREPROCESSING); }).first, D3DERR_INVALIDCALL);
    EXPECT_EQ(raised([&] { device->CreateVertexShader(celShaderDeclaration().data(), badCode, 0); }).first, D3DERR_INVALIDCALL);
    EXPECT_EQ(raised([&] { device->CreateVertexShader(celShaderDeclaration().data(), code, 0x8); }).first, D3DERR_INVALIDCALL);
    EXPECT_EQ(device->GetVertexShader(), before);
}

// Constants a program defines itself never reach the device: only the declaration given at
// creation does, and it has none.
TEST_F(ShaderCreation, ProgramDefinedConstantsAreDropped) {
    create(writeTemp("def.vsh", "vs.1.1\ndef c20, 1, 1, 1, 1\nmov oPos, v0\nmov oD0, c20\n"));
    device->SetRenderState(D3DRS_ZENABLE, 0);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0);
    // One triangle over the whole target in clip coordinates, as 32-byte cel-pass vertices; the
    // default stage 0 modulates the unbound (white) texture with the colour.
    const float tri[3][8] = {{-1, -1, 0.5f, 0, 0, 1, 0, 0}, {-1, 3, 0.5f, 0, 0, 1, 0, 0}, {3, -1, 0.5f, 0, 0, 1, 0, 0}};
    device->BeginScene();
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, 32);
    device->EndScene();
    EXPECT_EQ(device->readBackBuffer().at(4, 4) & 0xFFFFFF, 0u);  // c20 read as 0, not white
}

// The programmable vertex stage on its own: what it reads from stream 0 and the constants,
// and what it refuses.
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

// Even with a stride shorter than the declared vertex, no read goes past the last byte.
TEST_F(ShaderStageTest, VertexBeyondTheStreamIsRefused) {
    const auto [number, text] = testsupport::raised([&] { run("vs.1.1\nmov oPos, v0", {0, 3}); });
    EXPECT_EQ(number, D3DERR_INVALIDCALL);
    EXPECT_NE(text.find("DrawIndexedPrimitive"), std::string::npos) << text;
    EXPECT_NE(text.find("vertex 3"), std::string::npos) << text;
    EXPECT_THROW(run("vs.1.1\nmov oPos, v0", {9}, 4), rt::Error);  // bytes 36..51 of 48
    EXPECT_NO_THROW(run("vs.1.1\nmov oPos, v0", {8}, 4));
}

}  // namespace
