#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <fstream>
#include <string>

#include "OffscreenShaderDevice.h"
#include "d3dx8/D3DX8.h"
#include "runtime/Error.h"
#include "runtime/Status.h"
#include "shaders/ShaderCreation.h"

namespace {

using namespace D3DShaders;

std::string writeTemp(const std::string& name, const std::string& text) {
    const std::string path = ::testing::TempDir() + name;
    std::ofstream(path) << text;
    return path;
}

std::string dataPath(const char* name) { return std::string(CELSHADE_SOURCE_DIR) + "/data/" + name; }

// A code buffer of 4k bytes gives k + 1 words, the last one spare and 0; other sizes round
// to the nearest word count, ties to even, and never lose a byte.
TEST(CodeArray, OneSpareZeroWordAfterTheCode) {
    D3DX8 d3dx;
    for (uint32_t k : {0u, 1u, 5u, 300u}) {
        std::vector<std::byte> bytes(4 * k);
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = std::byte(0xA0 + i % 16);
        const std::vector<uint32_t> words = codeArrayOf(d3dx, D3DXBuffer(bytes));
        ASSERT_EQ(words.size(), k + 1) << k;
        EXPECT_EQ(words.back(), 0u);
        EXPECT_EQ(std::memcmp(words.data(), bytes.data(), bytes.size()), 0);
    }
    EXPECT_EQ(codeArrayOf(d3dx, D3DXBuffer(std::vector<std::byte>(6, std::byte{0xFF}))).size(), 3u);  // 1.5 -> 2
    EXPECT_EQ(codeArrayOf(d3dx, D3DXBuffer(std::vector<std::byte>(10, std::byte{0xFF}))).size(), 3u);  // 2.5 -> 2
    const auto words = codeArrayOf(d3dx, D3DXBuffer(std::vector<std::byte>(5, std::byte{0xFF})));     // 1.25 -> 1
    EXPECT_EQ(words, (std::vector<uint32_t>{0xFFFFFFFFu, 0x000000FFu}));
}

TEST(BufferCopy, RangeBeyondTheBufferIsRefused) {
    D3DX8 d3dx;
    const D3DXBuffer buffer(std::vector<std::byte>(8));
    uint32_t out[4];
    EXPECT_NO_THROW(d3dx.BufferGetData(buffer, 4, 2, 2, out));
    try {
        d3dx.BufferGetData(buffer, 4, 2, 3, out);
        ADD_FAILURE();
    } catch (const rt::Error& e) {
        EXPECT_EQ(e.number(), D3DERR_INVALIDCALL);
    }
    EXPECT_THROW(d3dx.BufferGetData(buffer, 0, 0x10000, 0x10001, out), rt::Error);  // no 32-bit wrap
}

class ShaderCreation : public ::testing::Test {
protected:
    std::shared_ptr<Direct3DDevice8> device = shadertest::makeDevice(8, 8);
    std::shared_ptr<D3DX8> d3dx;
};

TEST_F(ShaderCreation, BothProgramsCreateSelectAndGetDistinctHandles) {
    const int32_t cel = createVertexShaderFromFile(d3dx, *device, dataPath("celshading.txt"), celShaderDeclaration());
    ASSERT_TRUE(d3dx);  // created on first use
    EXPECT_EQ(device->GetVertexShader(), uint32_t(cel));
    const int32_t edge = createVertexShaderFromFile(d3dx, *device, dataPath("shver2.txt"), edgeShaderDeclaration());
    EXPECT_EQ(device->GetVertexShader(), uint32_t(edge));
    const int32_t cel2 = createVertexShaderFromFile(d3dx, *device, dataPath("celshading.txt"), celShaderDeclaration());
    const int32_t edge2 = createVertexShaderFromFile(d3dx, *device, dataPath("shver2.txt"), edgeShaderDeclaration());
    EXPECT_EQ((std::set<int32_t>{cel, edge, cel2, edge2}.size()), 4u);
    // A handle is never taken for a vertex format code.
    EXPECT_TRUE(uint32_t(cel) & 0x80000000u);
    device->DeleteVertexShader(uint32_t(cel2));
    EXPECT_THROW(device->SetVertexShader(uint32_t(cel2)), rt::Error);
    EXPECT_THROW(device->DeleteVertexShader(uint32_t(cel2)), rt::Error);
}

TEST_F(ShaderCreation, SyntaxErrorRaisesTheAssemblerStatusAndCreatesNothing) {
    const uint32_t before = device->GetVertexShader();
    const std::string path = writeTemp("bad.vsh", "vs.1.1\nmov oPos, v0\nmvo r0, v0\n");
    try {
        createVertexShaderFromFile(d3dx, *device, path, celShaderDeclaration());
        ADD_FAILURE();
    } catch (const rt::Error& e) {
        EXPECT_EQ(e.number(), D3DXERR_INVALIDDATA);
        EXPECT_NE(e.text().find("bad.vsh:3:1: unknown instruction 'mvo'"), std::string::npos) << e.text();
    }
    EXPECT_EQ(device->GetVertexShader(), before);
}

// Constants a program defines itself never reach the device: only the declaration given at
// creation does, and it has none.
TEST_F(ShaderCreation, ProgramDefinedConstantsAreDropped) {
    const std::string path = writeTemp("def.vsh", "vs.1.1\ndef c20, 1, 1, 1, 1\nmov oPos, v0\nmov oD0, c20\n");
    createVertexShaderFromFile(d3dx, *device, path, celShaderDeclaration());
    device->SetRenderState(D3DRS_ZENABLE, 0);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0);
    // One triangle over the whole target, in clip coordinates; 32-byte cel-pass vertices.
    const float tri[3][8] = {{-1, -1, 0.5f, 0, 0, 1, 0, 0}, {-1, 3, 0.5f, 0, 0, 1, 0, 0}, {3, -1, 0.5f, 0, 0, 1, 0, 0}};
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->BeginScene();
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, 32);
    device->EndScene();
    EXPECT_EQ(device->readBackBuffer().at(4, 4) & 0xFFFFFF, 0u);  // c20 read as 0, not white
}

TEST_F(ShaderCreation, MissingFileRaisesNotFound) {
    try {
        createVertexShaderFromFile(d3dx, *device, dataPath("no-such-shader.txt"), celShaderDeclaration());
        ADD_FAILURE();
    } catch (const rt::Error& e) {
        EXPECT_EQ(e.number(), D3DERR_NOTFOUND);
    }
}

TEST_F(ShaderCreation, DeviceRefusesMalformedDeclarationsAndConstantRanges) {
    const uint32_t code[] = {0xFFFE0101, 1, 0xC00F0000, 0x90E40000, 0x0000FFFF};
    const uint32_t noStream[] = {0x40020000, 0xFFFFFFFF};
    EXPECT_THROW(device->CreateVertexShader(noStream, code, D3DUSAGE_SOFTWAREPROCESSING), rt::Error);
    const uint32_t badCode[] = {0xFFFE0101, 0x1234, 0x0000FFFF};
    EXPECT_THROW(device->CreateVertexShader(celShaderDeclaration().data(), badCode, 0), rt::Error);
    EXPECT_THROW(device->CreateVertexShader(celShaderDeclaration().data(), code, 0x8), rt::Error);
    const float four[16] = {};
    EXPECT_NO_THROW(device->SetVertexShaderConstant(92, four, 4));
    EXPECT_THROW(device->SetVertexShaderConstant(93, four, 4), rt::Error);
    EXPECT_THROW(device->SetVertexShaderConstant(0xFFFFFFFFu, four, 2), rt::Error);  // no 32-bit wrap
}

}  // namespace
